// Whether a file already holds the conversion of an input, so that a batch run again over the
// same files converts only what is new. Reads both files with the media probe (the libraries
// must be loaded); main thread or any other.
#pragma once

#include <string>

// The "Progress" state of a row whose expected output already held its whole conversion: not
// converted again, and counted as no error.
inline constexpr char AlreadyConvertedState[] = "Already converted";

// True when Output is a regular file the media libraries read whose duration is Input's, to
// within the encoders' own padding. False whenever that cannot be known: either file
// unreadable, or Input's length unknown or only estimated from its bit rate.
bool HoldsConversionOf(const std::string &Output, const std::string &Input);
