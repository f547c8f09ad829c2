#include "profiles/number_text.h"

#include <charconv>

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
