#include "text/format_text.h"

#include <cstdarg>
#include <cstdio>

std::string FormatText(const char *Format, ...) {
  va_list Args;
  va_start(Args, Format);
  va_list Copy;
  va_copy(Copy, Args);
  const int Length = std::vsnprintf(nullptr, 0, Format, Copy);
  va_end(Copy);
  std::string Result;
  if (Length > 0) {
    Result.resize(static_cast<size_t>(Length));
    std::vsnprintf(Result.data(), Result.size() + 1, Format, Args);
  }
  va_end(Args);
  return Result;
}
