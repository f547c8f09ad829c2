// printf-style formatting into a std::string, for the engine's fixed message texts.
#pragma once

#include <string>

std::string FormatText(const char *Format, ...) __attribute__((format(printf, 1, 2)));
