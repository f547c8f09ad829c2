// Reading the numbers back out of the settings lists' item texts ("1200 Kbps", "8000  Hz",
// "352 x 288 (CIF)").
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

// A text that should hold a whole number does not. The batch driver catches it and tells the
// user that the file could not be added.
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The characters before the first blank; empty when there is no blank.
std::string NumberPart(const std::string &Text);

// The frame size option's text: the part before the first "(", without any blanks.
std::string FrameSizeText(const std::string &Text);

// A frame size as "WIDTHxHEIGHT" reads (the frame size option's text, a job row's "Video Size"
// cell), blanks around it ignored; both 0 unless both numbers are above 0 and nothing follows.
struct TFrameDimensions {
  int Width = 0;
  int Height = 0;
};
TFrameDimensions FrameSizeValue(const std::string &Text);

// A signed decimal integer that fits 32 bits, nothing else around it; EConvertError otherwise.
int32_t NumberValue(const std::string &Text);

// The number before the first blank, in thousands: "1500 Kbps" gives 1500000, a text without
// a blank gives 0.
int32_t ThousandsValue(const std::string &Text);
