// Conversions of option texts into numbers. Decimal only; blanks around the number are
// allowed. A text that does not convert raises FFMpegException naming the text.
#pragma once

#include <cstdint>
#include <string>

int ParseOptionInt(const std::string &Text);
int64_t ParseOptionInt64(const std::string &Text);
float ParseOptionFloat(const std::string &Text);

// The same conversions, giving 0 for a text that does not convert.
int OptionIntOrZero(const std::string &Text);
float OptionFloatOrZero(const std::string &Text);

std::string TrimBlanks(const std::string &Text);

// A floating-point value as an integer of the target type, held at the type's limits (NaN
// gives 0): a float option can hold values no library field can.
template <typename TInteger>
TInteger SaturatedInteger(double Value);

extern template int SaturatedInteger<int>(double);
extern template int64_t SaturatedInteger<int64_t>(double);
