#include "app/cli/terminal_line.h"

#include <locale.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cwchar>
#include <vector>

namespace {

struct TCharacter {
  std::string Bytes;  // one UTF-8 character, or "?" for a byte that is none
  std::size_t Width;
};

// mbrtowc and wcwidth read UTF-8 whatever locale the program runs in: the terminal gets bytes
// of file names, which are UTF-8 here.
class TUtf8Locale {
 public:
  TUtf8Locale() : FLocale(newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0))) {
    if (FLocale != locale_t(0)) FWas = uselocale(FLocale);
  }
  ~TUtf8Locale() {
    if (FLocale == locale_t(0)) return;
    uselocale(FWas);
    freelocale(FLocale);
  }
  TUtf8Locale(const TUtf8Locale &) = delete;
  TUtf8Locale &operator=(const TUtf8Locale &) = delete;

 private:
  locale_t FLocale;
  locale_t FWas = locale_t(0);
};

std::vector<TCharacter> Characters(const std::string &Text) {
  TUtf8Locale Utf8;
  std::vector<TCharacter> Result;
  std::mbstate_t State{};
  for (std::size_t At = 0; At < Text.size();) {
    wchar_t Wide = 0;
    const std::size_t Length = std::mbrtowc(&Wide, Text.data() + At, Text.size() - At, &State);
    if (Length == 0 || Length > Text.size() - At) {
      // An invalid or cut sequence (or a NUL): one "?" for its first byte, then start afresh.
      Result.push_back({"?", 1});
      State = std::mbstate_t{};
      ++At;
      continue;
    }
    const int Columns = wcwidth(Wide);
    // A control character would move the cursor: it is shown as "?" too.
    if (Columns < 0)
      Result.push_back({"?", 1});
    else
      Result.push_back({Text.substr(At, Length), static_cast<std::size_t>(Columns)});
    At += Length;
  }
  return Result;
}

}  // namespace

std::size_t TerminalColumns(int Fd) {
  winsize Size{};
  if (ioctl(Fd, TIOCGWINSZ, &Size) == 0 && Size.ws_col > 0) return Size.ws_col;
  if (const char *Columns = std::getenv("COLUMNS")) {
    const long Value = std::strtol(Columns, nullptr, 10);
    if (Value > 0) return static_cast<std::size_t>(Value);
  }
  return 80;
}

std::size_t DisplayWidth(const std::string &Text) {
  std::size_t Width = 0;
  for (const TCharacter &Character : Characters(Text)) Width += Character.Width;
  return Width;
}

std::string FittedText(const std::string &Text, std::size_t Width) {
  std::string Result;
  std::size_t Used = 0;
  for (const TCharacter &Character : Characters(Text)) {
    if (Used + Character.Width > Width) break;
    Result += Character.Bytes;
    Used += Character.Width;
  }
  return Result;
}

std::string ShortenedName(const std::string &Name, std::size_t Width) {
  const std::vector<TCharacter> All = Characters(Name);
  std::size_t Total = 0;
  for (const TCharacter &Character : All) Total += Character.Width;
  if (Total <= Width) {
    std::string Whole;
    for (const TCharacter &Character : All) Whole += Character.Bytes;
    return Whole;
  }
  const std::string Dots = "...";
  if (Width <= Dots.size()) return Dots.substr(0, Width);
  // The end that fits beside the dots, gathered backwards.
  std::size_t Used = Dots.size(), First = All.size();
  while (First > 0 && Used + All[First - 1].Width <= Width) Used += All[--First].Width;
  std::string Result = Dots;
  for (std::size_t At = First; At < All.size(); ++At) Result += All[At].Bytes;
  return Result;
}

std::string TerminalLine(const std::string &Before, const std::string &Name,
                         const std::string &After, std::size_t Columns, std::size_t NameWidth) {
  const std::size_t Usable = Columns > 1 ? Columns - 1 : 0;
  const std::size_t Rest = DisplayWidth(Before) + DisplayWidth(After);
  // A third of the line goes to the name even when the rest must then be cut at its end: the
  // name tells which file it is.
  const std::size_t Left = Rest < Usable ? Usable - Rest : 0;
  const std::size_t Room = std::min(NameWidth, std::max(Left, Usable / 3));
  return FittedText(Before + ShortenedName(Name, Room) + After, Usable);
}
