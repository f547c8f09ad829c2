#include "profiles/number_text.h"

#include <charconv>
#include <climits>
#include <cstdlib>

#include "text/text_utils.h"

std::string NumberPart(const std::string &Text) {
  const std::size_t Blank = Text.find(' ');
  return Blank == std::string::npos ? std::string() : Text.substr(0, Blank);
}

std::string FrameSizeText(const std::string &Text) {
  std::string Result;
  for (char C : Text.substr(0, Text.find('(')))
    if (C != ' ') Result += C;
  return Result;
}

int32_t NumberValue(const std::string &Text) {
  const char *First = Text.data();
  const char *Last = First + Text.size();
  // from_chars takes no plus sign; a leading one is still a valid integer text.
  if (First != Last && *First == '+' && Last - First > 1 && First[1] != '-') ++First;
  int32_t Value = 0;
  const auto [End, Error] = std::from_chars(First, Last, Value);
  if (Error != std::errc() || End != Last || Text.empty())
    throw EConvertError("'" + Text + "' is not a valid integer value");
  return Value;
}

int32_t ThousandsValue(const std::string &Text) {
  return NumberValue(NumberPart(Text) + "000");
}

TFrameDimensions FrameSizeValue(const std::string &Text) {
  const std::string Size = TrimmedText(Text);
  const size_t X = Size.find('x');
  if (X == std::string::npos || X == 0 || X + 1 == Size.size()) return {};
  char *End = nullptr;
  const long Width = std::strtol(Size.c_str(), &End, 10);
  if (End != Size.c_str() + X || Width <= 0 || Width > INT_MAX) return {};
  const long Height = std::strtol(Size.c_str() + X + 1, &End, 10);
  if (*End != 0 || Height <= 0 || Height > INT_MAX) return {};
  return {static_cast<int>(Width), static_cast<int>(Height)};
}
