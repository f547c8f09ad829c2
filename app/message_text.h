// How a message of the window logic reads where it is shown. The logic's texts keep their
// "\n\r" line ends; a terminal or a message box shows the line feed alone, since a carriage
// return there is a stray blank line (a box) or a jump back over the line (a terminal).
#pragma once

#include <string>

inline std::string ShownMessageText(const std::string &Text) {
  std::string Shown;
  Shown.reserve(Text.size());
  for (char C : Text)
    if (C != '\r') Shown += C;
  return Shown;
}
