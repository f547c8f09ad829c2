// Messages for failed opens, probes and writes: one fixed text per error code, so the same
// failure reads the same wherever it arises.
#pragma once

#include <string>

// The engine's open-error codes (the numbers the messages are keyed on).
constexpr int OpenErrorUnknownFormat = -42;
constexpr int OpenErrorNumberExpected = -33;
constexpr int OpenErrorInvalidData = -22;
constexpr int OpenErrorNoMemory = -12;
constexpr int OpenErrorIO = -5;
constexpr int OpenErrorNoEntry = -2;

// The message for ErrorCode with FileName filled in; every code has one.
std::string FormatOpenError(const std::string &FileName, int ErrorCode);

// Turns a media-library result into an open-error code. Invalid data means an unknown format
// when no demuxer recognises the file at all, a broken header otherwise; an end of file while
// opening means a truncated input.
int InputOpenErrorCode(const std::string &FileName, int LibraryResult);

// The libraries' text for a negative result, "error N" when they have none.
std::string LibraryErrorText(int Result);
// The same for outputs and writes, where no file is probed.
int OpenErrorCode(int LibraryResult);
