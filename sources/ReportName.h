#pragma once
// Report folder names: a profile's name pattern with date tokens ("Report for %N")
// expanded for one date, so that successive reports land in their own folders.

#include "sources/DateTime.h"

#include <string>
#include <string_view>

// The folder name for pattern on date (its time is ignored). Characters that cannot be
// part of a folder name become "-"; an empty result, "." or ".." gives "Default Report".
std::string ExpandReportName(std::string_view pattern, TDateTime date);
