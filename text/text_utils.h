// Text helpers shared by every layer (engine, profiles, application). Free of the toolkit and
// the media libraries, so that the profiles may use them without linking the engine.
#pragma once

#include <cctype>
#include <string>
#include <string_view>

// Text without the blanks (space, tab, line breaks) around it.
inline std::string TrimmedText(std::string_view Text) {
  constexpr std::string_view Blanks = " \t\r\n";
  const size_t First = Text.find_first_not_of(Blanks);
  if (First == std::string_view::npos) return std::string();
  return std::string(Text.substr(First, Text.find_last_not_of(Blanks) - First + 1));
}

// ASCII lower case; other bytes (UTF-8 sequences included) are kept as they are.
inline std::string LowerCaseText(std::string Text) {
  for (char &C : Text) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
  return Text;
}

// Text for one cell of a tab-separated row: tab, line feed, carriage return and the backslash
// itself become \t, \n, \r and \\, so a file name with them stays one cell of one row.
inline std::string EscapedCell(std::string_view Text) {
  std::string Result;
  Result.reserve(Text.size());
  for (char C : Text) {
    switch (C) {
      case '\t':
        Result += "\\t";
        break;
      case '\n':
        Result += "\\n";
        break;
      case '\r':
        Result += "\\r";
        break;
      case '\\':
        Result += "\\\\";
        break;
      default:
        Result += C;
    }
  }
  return Result;
}
