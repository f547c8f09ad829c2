// Option text conversions.

#include "engine/FFMPEG/option_values.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <optional>

#include "engine/FFMPEG/ffmpeg_exception.h"
#include "text/format_text.h"

namespace {

template <typename T>
std::optional<T> Convert(const std::string &Text) {
  std::string Trimmed = TrimBlanks(Text);
  const char *First = Trimmed.data();
  const char *Last = First + Trimmed.size();
  // from_chars takes no plus sign.
  if (First != Last && *First == '+' && Last - First > 1 && First[1] != '-') ++First;
  T Value{};
  auto [End, Error] = std::from_chars(First, Last, Value);
  if (Error != std::errc() || End != Last || First == Last) return std::nullopt;
  if constexpr (std::is_floating_point_v<T>)
    if (!std::isfinite(Value)) return std::nullopt;
  return Value;
}

}  // namespace

std::string TrimBlanks(const std::string &Text) {
  const char *Blanks = " \t\r\n";
  size_t First = Text.find_first_not_of(Blanks);
  if (First == std::string::npos) return "";
  return Text.substr(First, Text.find_last_not_of(Blanks) - First + 1);
}

int ParseOptionInt(const std::string &Text) {
  if (auto Value = Convert<int>(Text)) return *Value;
  throw FFMpegException(FormatText("'%s' is not a valid integer value", Text.c_str()));
}

int64_t ParseOptionInt64(const std::string &Text) {
  if (auto Value = Convert<int64_t>(Text)) return *Value;
  throw FFMpegException(FormatText("'%s' is not a valid integer value", Text.c_str()));
}

float ParseOptionFloat(const std::string &Text) {
  if (auto Value = Convert<double>(Text)) return static_cast<float>(*Value);
  throw FFMpegException(FormatText("'%s' is not a valid floating point value", Text.c_str()));
}

int OptionIntOrZero(const std::string &Text) {
  return Convert<int>(Text).value_or(0);
}

float OptionFloatOrZero(const std::string &Text) {
  return static_cast<float>(Convert<double>(Text).value_or(0));
}

template <typename TInteger>
TInteger SaturatedInteger(double Value) {
  if (std::isnan(Value)) return 0;
  // The upper limit as a double rounds up for 64 bits, so compare with >=.
  if (Value >= static_cast<double>(std::numeric_limits<TInteger>::max()))
    return std::numeric_limits<TInteger>::max();
  if (Value <= static_cast<double>(std::numeric_limits<TInteger>::min()))
    return std::numeric_limits<TInteger>::min();
  return static_cast<TInteger>(Value);
}

template int SaturatedInteger<int>(double);
template int64_t SaturatedInteger<int64_t>(double);
