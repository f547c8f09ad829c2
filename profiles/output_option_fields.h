// The fields of an output option record by name, for showing what a job would be given.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "engine/component/option_records.h"

// Every field whose value differs from its default, in the record's order, as name and text:
// integers in decimal, Booleans as "true" or "false", decimals in their shortest form,
// strings and tag texts as they are.
std::vector<std::pair<std::string, std::string>> ChangedOutputOptions(
    const TOutputOptions &Options);
