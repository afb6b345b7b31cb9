#include "sources/SystemInfo.h"

#include "support/EnvOverride.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace {

TEST(SystemInfoTest, LocalUtcOffsetIsStandardTimeInWholeHours) {
    TEnvOverride zone("TZ", std::nullopt);
    const std::pair<const char*, int> cases[] = {
        {"UTC0", 0}, {"CET-1CEST", 1}, {"IST-5:30", 5}, {"EST5EDT", -5}, {"NST3:30NDT", -3}, {"NZST-12NZDT", 12},
    };
    for (const auto& [tz, hours] : cases) {
        zone.Set(tz);
        EXPECT_EQ(LocalUtcOffsetHours(), hours) << tz;
    }
}

TEST(SystemInfoTest, NextSortStateTogglesOnlyTheAscendingSortedColumn) {
    struct TCase {
        int State, Column, Expected;
    };
    const TCase cases[] = {
        {2, 2, 2 + kSortDescending}, {2 + kSortDescending, 2, 2}, {3, 2, 2},
        {3 + kSortDescending, 2, 2}, {0, 0, kSortDescending},     {2 + kSortDescending, 3, 3},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(NextSortState(c.State, c.Column), c.Expected) << c.State << " " << c.Column;
}

TEST(SystemInfoTest, FileVersionIsTheProjectVersion) {
    const std::string version = FileVersionString("/usr/bin/quorvel");
    ASSERT_FALSE(version.empty());
    EXPECT_EQ(std::count(version.begin(), version.end(), '.'), 2) << version;
    EXPECT_EQ(version.find_first_not_of("0123456789."), std::string::npos) << version;
    EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(version.front()))) << version;
}

} // namespace
