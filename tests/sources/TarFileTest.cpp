#include "sources/tarfile.h"

#include "support/TestFolder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// A ustar header block with a valid checksum; name is cut at 100 bytes.
std::string Header(std::string_view name, int64_t size, char type = '0', int64_t time = 0) {
    std::string h(512, '\0');
    name.substr(0, 100).copy(h.data(), 100);
    std::snprintf(&h[100], 8, "%07o", 0644);
    std::snprintf(&h[124], 12, "%011llo", static_cast<unsigned long long>(size));
    std::snprintf(&h[136], 12, "%011llo", static_cast<unsigned long long>(time));
    h[156] = type;
    std::memcpy(&h[257], "ustar", 6);
    std::memcpy(&h[263], "00", 2);
    std::memset(&h[148], ' ', 8);
    unsigned sum = 0;
    for (unsigned char c : h)
        sum += c;
    std::snprintf(&h[148], 8, "%06o", sum);
    return h;
}

std::string Padded(std::string data) {
    data.resize((data.size() + 511) / 512 * 512, '\0');
    return data;
}

std::string Member(std::string_view name, const std::string& data, char type = '0') {
    return Header(name, static_cast<int64_t>(data.size()), type) + Padded(data);
}

const std::string kEnd(1024, '\0');
const std::string kA(1000, 'a'), kB(512, 'b');
const std::string kTwoLogs = Member("a.log", kA) + Member("b.log", kB);

struct TWalk {
    std::vector<std::string> Names; // plain-file members with data
    std::vector<std::string> Data;
    TTarState Final = TarReady;
};

// Walks an archive the way the extractor does, reading data in small pieces.
TWalk Walk(const TTestFolder& folder, const std::string& bytes) {
    TTarFile tar;
    EXPECT_TRUE(tar.Open(folder.WriteFile("t.tar", bytes)));
    TWalk walk;
    char buffer[300];
    while (!tar.AtEnd() && tar.GetState() != TarError && tar.GetState() != TarEnd) {
        const std::string name = tar.ReadHeader();
        if (tar.ReadSize() < 1) continue;
        tar.ReadTime();
        if (!tar.IsRegularFile()) {
            tar.SkipData();
            continue;
        }
        std::string data;
        while (tar.GetState() == TarData)
            data.append(buffer, tar.ReadData(buffer, sizeof buffer));
        if (tar.GetState() == TarError) break;
        walk.Names.push_back(name);
        walk.Data.push_back(data);
    }
    walk.Final = tar.GetState();
    return walk;
}

TEST(TarFileTest, WalksMembersAndStopsAtDamage) {
    const std::string longName = std::string(150, 'L') + ".log";
    const std::string name100 = std::string(96, 'n') + ".log";
    std::string prefixed = Header("access.log", 3);
    std::memcpy(&prefixed[345], "var/log", 7);
    const std::string pax = "30 path=" + std::string(17, 'p') + ".log\n" + "12 size=512\n";

    const struct {
        const char* Case;
        std::string Bytes;
        std::vector<std::string> Names;
        TTarState Final;
    } cases[] = {
        {"end blocks", kTwoLogs + kEnd, {"a.log", "b.log"}, TarEnd},
        {"no end blocks", kTwoLogs, {"a.log", "b.log"}, TarReady},
        {"truncated data", kTwoLogs + Header("c.log", 1000) + std::string(600, 'c'), {"a.log", "b.log"}, TarError},
        {"header without data", kTwoLogs + Header("c.log", 10), {"a.log", "b.log"}, TarError},
        {"short header block", kTwoLogs + std::string(100, 'h'), {"a.log", "b.log"}, TarError},
        {"block with empty name", Header("", 0) + Member("b.log", kB) + kEnd, {"b.log"}, TarEnd},
        {"not plain files",
         Member("d", kA, '5') + Member("s", kA, '2') + Member("f", kA, '6') + Member("h", kA, '1') +
             Member("g", "30 path=should/not/be/used.log\n", 'g') + Member("K", kA, 'K') + Member("b.log", kB),
         {"b.log"},
         TarReady},
        {"gnu long name", Member("././@LongLink", longName + '\0', 'L') + Member("LLLL", kB), {longName}, TarReady},
        {"pax path and size", // the record's size wins over the header's
         Member("PaxHeaders/x", pax, 'x') + Header("short", 999) + Padded(kB),
         {std::string(17, 'p') + ".log"},
         TarReady},
        {"100-byte name", Member(name100, kB), {name100}, TarReady},
        {"ustar prefix", prefixed + Padded("abc"), {"var/log/access.log"}, TarReady},
        {"replaced characters",
         Member("logs/access+old log:1<2>|.txt", kB),
         {"logs/access_old_log_1_2__.txt"},
         TarReady},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Case);
        TTestFolder folder;
        const TWalk walk = Walk(folder, c.Bytes);
        EXPECT_EQ(walk.Names, c.Names);
        EXPECT_EQ(walk.Final, c.Final);
        for (const std::string& data : walk.Data)
            EXPECT_TRUE(data == kA || data == kB || data == "abc");
    }
}

TEST(TarFileTest, NumericFieldsSkipNonOctalCharactersAndReadBase256) {
    const struct {
        std::string Field; // 12 bytes at offset 124
        int64_t Size;
    } cases[] = {
        {std::string("00000001750\0", 12), 1000},
        {std::string("   1750 \0\0\0\0", 12), 1000},
        {std::string("1750\0\0\0\0\0\0\0\0", 12), 1000},
        {std::string(" 1 7 5 0\0 8 9", 12), 1000},
        {std::string(12, '\0'), 0},
        {std::string("\x80\0\0\0\0\0\0\x02\x40\0\0\0", 12), int64_t{9} << 30},
        {std::string("\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff", 12), 0}, // negative
    };
    for (const auto& c : cases) {
        TTestFolder folder;
        std::string header = Header("x.log", 0);
        header.replace(124, 12, c.Field);
        TTarFile tar;
        ASSERT_TRUE(tar.Open(folder.WriteFile("t.tar", header + kEnd)));
        tar.ReadHeader();
        EXPECT_EQ(tar.ReadSize(), c.Size);
        if (c.Size > int64_t{1} << 32) { // beyond the archive: reading must fail, not run on
            tar.ReadTime();
            char buffer[16];
            EXPECT_EQ(tar.ReadData(buffer, sizeof buffer), 0u);
            EXPECT_EQ(tar.GetState(), TarError);
        }
    }
}

TEST(TarFileTest, ReadTimeGivesCalendarParts) {
    const struct {
        int64_t Seconds;
        const char* Time;
    } cases[] = {{0, "1970-01-01 00:00:00"},
                 {68256000, "1972-03-01 00:00:00"},
                 {951868799, "2000-02-29 23:59:59"},
                 {4107542400, "2100-03-01 00:00:00"},
                 {8589934591, "2242-03-16 12:56:31"}}; // the largest 11-digit octal value
    for (const auto& c : cases) {
        TTestFolder folder;
        TTarFile tar;
        ASSERT_TRUE(tar.Open(folder.WriteFile("t.tar", Header("x", 1, '0', c.Seconds) + Padded("x"))));
        tar.ReadHeader();
        tar.ReadSize();
        const TTarTime t = tar.ReadTime();
        char text[32];
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.Year, t.Month, t.Day, t.Hour, t.Minute,
                      t.Second);
        EXPECT_STREQ(text, c.Time);
        EXPECT_EQ(tar.GetState(), TarData);
    }
}

} // namespace
