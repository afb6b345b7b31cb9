#include "core/u_countryfinder.h"

#include "sources/CUtils.h"
#include "sources/SpecialFolders.h"
#include "support/EnvOverride.h"
#include "support/Sandbox.h"
#include "support/TestFolder.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

std::string Line(const std::string& start, const std::string& end, const std::string& code, const std::string& name) {
    return "\"" + start + "\",\"" + end + "\",\"" + code + "\",\"" + code + "X\",\"" + name + "\"\n";
}

std::string Line(uint32_t start, uint32_t end, const std::string& code, const std::string& name = "N") {
    return Line(std::to_string(start), std::to_string(end), code, name);
}

std::string Text(const TIPv6Address& a) {
    unsigned char bytes[16];
    for (int i = 0; i < 8; ++i) {
        bytes[i] = static_cast<unsigned char>(a.Hi >> (56 - 8 * i));
        bytes[i + 8] = static_cast<unsigned char>(a.Lo >> (56 - 8 * i));
    }
    char text[INET6_ADDRSTRLEN];
    inet_ntop(AF_INET6, bytes, text, sizeof text);
    return text;
}

class CountryFinderTest : public ::testing::Test {
protected:
    TTestFolder Folder;
    TCountryFinder Finder;
};

TEST_F(CountryFinderTest, FindsFirstRangeInFileOrderAndSkipsLinesThatDoNotFit) {
    const std::string table = Line(16777216, 16777471, "XA", "SAMPLE COUNTRY") + // 1.0.0.0 - 1.0.0.255
                              Line(IPToInt("2.255.255.0"), IPToInt("4.0.0.255"), "yb", "spans octets") +
                              Line(IPToInt("20.0.1.0"), IPToInt("20.0.1.255"), "CC") +
                              Line(IPToInt("20.0.0.0"), IPToInt("20.0.3.255"), "DD") + // under CC: CC wins
                              Line(IPToInt("1.0.0.0"), IPToInt("1.0.0.255"), "XB") +   // fully shadowed
                              Line(IPToInt("250.0.0.0"), 4294967295u, "ZE") +
                              Line(IPToInt("30.0.0.9"), IPToInt("30.0.0.1"), "RV") + // ends before it starts
                              Line("4294967297", "4294967297", "MO", "x") +          // modulo 2^32: 0.0.0.1
                              "\"41.0.0.0\",\"" + std::to_string(IPToInt("41.0.0.255")) +
                              "\",\"JK\",\"J\",\"J\"\n" +              // start not a number
                              "\"687865856\",\"687866111\",\"QA\"\n" + // 41.0.0.0/24, field missing
                              "687866112,687866367,QB,QBX,NAME\n" +    // not quoted
                              "\n" +                                   // empty
                              "\"" + std::to_string(IPToInt("50.0.0.0")) + "\",\"" +
                              std::to_string(IPToInt("50.0.0.255")) + "\",\"CR\",\"CRX\",\"CRLF\"\r\n";
    Finder.Load(Folder.WriteFile("static/ip-to-country.csv", table));

    const struct {
        const char* Address;
        const char* Code;
    } cases[] = {
        {"1.0.0.10", "XA"},     {"1.0.0.0", "XA"},     {"1.0.0.255", "XA"}, {"1.0.1.0", "-"},
        {"2.255.254.255", "-"}, {"2.255.255.0", "YB"}, {"3.128.0.0", "YB"}, {"4.0.0.255", "YB"},
        {"4.0.1.0", "-"},       {"20.0.0.5", "DD"},    {"20.0.1.5", "CC"},  {"20.0.2.5", "DD"},
        {"20.0.3.255", "DD"},   {"30.0.0.5", "-"},     {"0.0.0.1", "MO"},   {"41.0.0.1", "-"},
        {"41.0.1.1", "-"},      {"50.0.0.1", "CR"},    {"250.0.0.0", "ZE"}, {"255.255.255.255", "ZE"},
        {"0.0.0.0", "-"},       {"99.1.2.3", "-"},
    };
    for (const auto& c : cases) {
        const uint32_t ip = IPToInt(c.Address);
        EXPECT_EQ(Finder.CountryOf(ip), c.Code) << c.Address;
        EXPECT_EQ(Finder.CountryOfByScan(ip), c.Code) << c.Address;
    }
    EXPECT_EQ(Finder.Ranges().size(), 9u);
}

TEST_F(CountryFinderTest, NamesAreUpperCaseFirstOneWinsAndUnknownOtherwise) {
    Finder.Load(Folder.WriteFile(
        "t.csv", Line(16777216, 16777471, "XA", "SAMPLE COUNTRY") + Line(16777472, 16777727, "xa", "Other Name") +
                     Line(16777728, 16777983, "fr", "France") + Line(16777984, 16778239, "Q", "one letter")));
    EXPECT_EQ(Finder.CountryOf(IPToInt("1.0.1.5")), "XA");
    const struct {
        const char* Code;
        const char* Name;
    } cases[] = {{"XA", "SAMPLE COUNTRY"}, {"FR", "FRANCE"},  {"Q", "ONE LETTER"},
                 {"-", "UNKNOWN"},         {"QQ", "UNKNOWN"}, {"", "UNKNOWN"}};
    for (const auto& c : cases)
        EXPECT_EQ(Finder.CountryName(c.Code), c.Name) << c.Code;
}

TEST_F(CountryFinderTest, MissingFileOrReloadLeavesOnlyWhatTheNewFileHolds) {
    Finder.Load(Folder.WriteFile("a.csv", Line(16777216, 16777471, "XA", "SAMPLE")));
    Finder.LoadIPv6(Folder.WriteFile("b.csv", Line("2001:db8::", "2001:db8::ff", "XB", "SIX")));
    Finder.Load(Folder.Path() + "missing.csv");
    EXPECT_TRUE(Finder.Ranges().empty());
    EXPECT_EQ(Finder.CountryOf(16777226), "-");
    EXPECT_EQ(Finder.CountryOfIPv6("2001:db8::1"), "-");
    EXPECT_EQ(Finder.CountryName("XA"), "UNKNOWN");
}

TEST_F(CountryFinderTest, LoadsBothTablesFromTheProgramFolder) {
    Folder.WriteFile("static/ip-to-country.csv", Line(16777216, 16777471, "XA", "SAMPLE"));
    Folder.WriteFile("static/ip6-to-country.csv", Line("2001:db8::", "2001:db8::ff", "XB", "SIX"));
    TEnvOverride home("QUORVEL_HOME", Folder.Path());
    Finder.LoadProgramTables();
    EXPECT_TRUE(Finder.HasProgramTables());
    EXPECT_EQ(Finder.CountryOf(16777226), "XA");
    EXPECT_EQ(Finder.CountryOfIPv6("2001:db8::7"), "XB");
    EXPECT_EQ(Finder.CountryName("XB"), "SIX");
    // Only the lookups stay: the ranges in file order are given back.
    EXPECT_TRUE(Finder.Ranges().empty() && Finder.Ranges6().empty());
    EXPECT_EQ(Finder.CountryOfByScan(16777226), "-");
    Finder.Clear();
    EXPECT_FALSE(Finder.HasProgramTables());
}

// The lookups come from the cache while the tables are the files it was made of (same path,
// size and time of change), from the tables again when one changes, and from the tables when
// the cache is damaged, which is then made again.
TEST_F(CountryFinderTest, ProgramTablesComeFromTheCacheWhileTheTablesStayTheSame) {
    TSandbox sandbox;
    TEnvOverride home("QUORVEL_HOME", Folder.Path());
    const std::string table = Folder.WriteFile("static/ip-to-country.csv", Line(16777216, 16777471, "XA", "SAMPLE"));
    Folder.WriteFile("static/ip6-to-country.csv", Line("2001:db8::", "2001:db8::ff", "XB", "SIX"));
    const std::string cache = CacheFolder() + "country-tables.bin";
    auto answers = [] {
        TCountryFinder finder;
        finder.LoadProgramTables();
        return finder.CountryOf(16777226) + " " + finder.CountryOfIPv6("2001:db8::7") + " " + finder.CountryName("XA") +
               " " + finder.CountryName("XB");
    };
    EXPECT_EQ(answers(), "XA XB SAMPLE SIX");
    ASSERT_TRUE(std::filesystem::exists(cache));
    // The same size and time of change: the cache answers, not the new text.
    struct stat before {};
    ASSERT_EQ(stat(table.c_str(), &before), 0);
    Folder.WriteFile("static/ip-to-country.csv", Line(16777216, 16777471, "XC", "SAMPLE"));
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, table.c_str(), times, 0), 0);
    EXPECT_EQ(answers(), "XA XB SAMPLE SIX");
    // A table changed: read again.
    Folder.WriteFile("static/ip-to-country.csv", Line(16777216, 16777471, "XD", "OTHER NAME"));
    EXPECT_EQ(answers(), "XD XB UNKNOWN SIX");
    // A damaged cache is not used, and is made again.
    const std::string whole = TTestFolder::ReadFile(cache);
    for (const size_t keep : {whole.size() / 2, whole.size() - 1, size_t{0}}) {
        std::filesystem::resize_file(cache, keep);
        EXPECT_EQ(answers(), "XD XB UNKNOWN SIX") << keep;
        EXPECT_EQ(TTestFolder::ReadFile(cache), whole) << keep;
    }
}

// Lines are cut like the format "\"%s\",\"%e\",\"%c\",\"%x\",\"%n\"": each separator is the
// first match after the previous one, text around the outer quotes is ignored, and the last
// quote is only looked for while two characters remain (so an empty name needs a character after it).
TEST_F(CountryFinderTest, OddLinesAreCutLikeTheTableFormat) {
    const auto at = [](int n) { return std::to_string(IPToInt("1.0.0.0") + (n << 8)); };
    const auto range = [&](int n) { return "\"" + at(n) + "\",\"" + at(n) + "\""; };
    const std::string table = "junk" + range(1) + ",\"AA\",\"AAX\",\"N\"tail\n" +              // text around the quotes
                              "\" " + at(2) + "\t\",\"" + at(2) + " \",\"Ab\",\"X\",\"N\"\n" + // padded numbers
                              "\"+" + at(3) + "\",\"" + at(3) + "\",\"AC\",\"X\",\"N\"\n" +    // explicit sign
                              range(4) + ",\"A\"D\",\"X\",\"NA\"ME\"\n" +                      // quotes inside fields
                              range(5) + ",\"AE\",\"X\",\"N\",\"extra\"\n" +                   // extra field
                              range(6) + ",\"AF\",\"X\",\"\"\n" +                              // empty name at line end
                              range(7) + ",\"AG\",\"X\",\"\"\r\n" +                            // empty name, then CR
                              range(8) + ",\"AH\",\"X\",\"NAME\n" +                            // name not closed
                              "\"" + at(9) + "x\",\"" + at(9) + "\",\"AI\",\"X\",\"N\"\n" +    // not a number
                              "\"\",\"" + at(10) + "\",\"AJ\",\"X\",\"N\"\n" +                 // empty number
                              "\"9223372036854775808\",\"1\",\"AK\",\"X\",\"N\"\n" +           // beyond int64
                              "\r\n\n\"\n" + range(11) + ",\"\",\"X\",\"EMPTY CODE\"\n" + range(12) +
                              ",\"AL\",\"X\",\"LAST\""; // no newline at the end
    Finder.Load(Folder.WriteFile("odd.csv", table));
    const char* const expected[] = {"-", "AA", "AB", "AC", "A\"D", "AE", "-", "AG", "-", "-", "-", "", "AL", "-"};
    for (int n = 0; n <= 13; ++n) {
        const uint32_t ip = IPToInt("1.0.0.0") + static_cast<uint32_t>(n << 8);
        EXPECT_EQ(Finder.CountryOf(ip), expected[n]) << n;
        EXPECT_EQ(Finder.CountryOfByScan(ip), expected[n]) << n;
    }
    EXPECT_EQ(Finder.Ranges().size(), 8u);
    EXPECT_EQ(Finder.CountryName("A\""), "NA");
    EXPECT_EQ(Finder.CountryName("AG"), "UNKNOWN");
    EXPECT_EQ(Finder.CountryName(""), "EMPTY CODE");
    EXPECT_EQ(Finder.CountryName("AL"), "LAST");

    // Names are kept by their first two letters; the IPv6 table only fills names still missing.
    const std::string noName = "\",\"X\",\"\"\r\n"; // kept thanks to the CR
    Finder.Load(Folder.WriteFile(
        "4.csv", "\"16777216\",\"16777471\",\"XAB" + noName + Line(16777472, 16777727, "XA", "FOUR") +
                     Line(16777728, 16777983, "XAC", "LATER") + "\"16777984\",\"16778239\",\"YY" + noName));
    Finder.LoadIPv6(Folder.WriteFile("6.csv", Line("2001:db8::", "2001:db8::ff", "xa", "SIX") +
                                                  Line("2001:db9::", "2001:db9::ff", "YY", "six")));
    EXPECT_EQ(Finder.CountryOf(16777300), "XAB");
    EXPECT_EQ(Finder.CountryName("XAB"), "FOUR");
    EXPECT_EQ(Finder.CountryName("XAC"), "FOUR");
    EXPECT_EQ(Finder.CountryName("YY"), "SIX");
    EXPECT_EQ(Finder.CountryOfIPv6("2001:db8::1"), "XA");

    // Ranges that end before they start hold no address, even when no other range is left.
    Finder.Load(Folder.WriteFile("4.csv", Line(IPToInt("1.0.9.0"), IPToInt("1.0.0.0"), "XA") +
                                              Line(IPToInt("1.0.6.0"), IPToInt("1.0.4.0"), "XB") +
                                              Line(IPToInt("1.0.4.5"), IPToInt("1.0.3.0"), "XC")));
    Finder.LoadIPv6(Folder.WriteFile("6.csv", Line("2001:db8:7::f5a4", "2001:db8::6650", "XA", "N") +
                                                  Line("2001:db8:6::fd72", "2001:db8:4::f2c9", "XB", "N") +
                                                  Line("2001:db8:4::6189", "2001:db8:3::36de", "XC", "N")));
    for (const char* address : {"1.0.0.0", "1.0.3.9", "1.0.4.5", "1.0.5.0", "1.0.8.0", "1.0.9.0", "1.0.9.1"})
        EXPECT_EQ(Finder.CountryOf(IPToInt(address)), "-") << address;
    for (const char* address : {"2001:db8::", "2001:db8:0:7::c8a4", "2001:db8:3::", "2001:db8:4::6189",
                                "2001:db8:5::", "2001:db8:6::fd72", "2001:db8:7::f5a5"})
        EXPECT_EQ(Finder.CountryOfIPv6(address), "-") << address;

    Finder.Load(Folder.WriteFile("empty.csv", ""));
    Finder.LoadIPv6(Folder.WriteFile("6.csv", "\"\t2001:db8:: \",\"2001:db8::ff\",\"XB\",\"X\",\"N\"\n"));
    EXPECT_TRUE(Finder.Ranges().empty());
    EXPECT_EQ(Finder.CountryOf(16777300), "-");
    EXPECT_EQ(Finder.CountryOfIPv6("2001:db8::1"), "XB");
}

TEST_F(CountryFinderTest, IPv6FirstRangeWinsAndTextIsChecked) {
    Finder.Load(Folder.WriteFile("4.csv", Line(16777216, 16777471, "XA", "FOUR")));
    Finder.LoadIPv6(Folder.WriteFile(
        "6.csv", Line("2001:db8::1:0", "2001:db8::1:ffff", "AA", "A") +
                     Line("2001:db8::", "2001:db8::ffff:ffff", "BB", "B") +                    // around AA
                     Line("2001:db8:0:0:ffff:ffff:ffff:fff0", "2001:db8:0:1::10", "CC", "C") + // carries into Hi
                     Line("ffff::", "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", "ZE", "E") +
                     Line("junk", "2001:db9::", "JK", "J") + Line("1.2.3.4", "2001:db9::", "JK", "J")));
    const struct {
        const char* Address;
        const char* Code;
    } cases[] = {
        {"2001:db8::1:5", "AA"},
        {"2001:db8::5", "BB"},
        {"2001:db8::2:0", "BB"},
        {"2001:db8::ffff:ffff", "BB"},
        {"2001:db8::1:0000:0", "-"},
        {"2001:db8:0:0:ffff:ffff:ffff:fff5", "CC"},
        {"2001:db8:0:1::", "CC"},
        {"2001:db8:0:1::11", "-"},
        {"ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", "ZE"},
        {"::", "-"},
        {"::ffff:1.0.0.9", "XA"},
        {"1.0.0.9", "-"},
        {"2001:db8::g", "-"},
        {"", "-"},
        {"2001:db8::5%eth0", "-"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Finder.CountryOfIPv6(c.Address), c.Code) << c.Address;
        TIPv6Address a;
        if (TCountryFinder::ParseIPv6(c.Address, a) && std::string(c.Address).find('.') == std::string::npos) {
            EXPECT_EQ(Finder.CountryOfIPv6ByScan(a), c.Code) << c.Address;
        }
    }
    EXPECT_EQ(Finder.Ranges6().size(), 4u);
}

// Addresses written in plain hex and colons are read without inet_pton: the answers must stay
// inet_pton's, valid or not, also around dotted tails, other characters and a NUL.
TEST(CountryFinderParse, IPv6TextReadsAsInetPtonDoes) {
    std::mt19937 rng(99);
    const char* const groups[] = {"0", "1", "ff", "FfFf", "0db8", "12345", "", "1.2.3.4", "g", "%1"};
    const char* const colons[] = {":", ":", ":", ":", ":", "::", "::", ":::"};
    int valid = 0;
    for (int i = 0; i < 30000; ++i) {
        std::string text = rng() % 8 ? "" : colons[rng() % 8];
        for (uint32_t n = 1 + rng() % 9, k = 0; k < n; ++k) {
            if (k > 0) text += colons[rng() % 8];
            text += groups[rng() % 16 < 14 ? rng() % 5 : 5 + rng() % 5];
        }
        if (rng() % 8 == 0) text += colons[rng() % 8];
        if (rng() % 50 == 0) text.insert(rng() % (text.size() + 1), 1, '\0');
        unsigned char bytes[16];
        const bool expected = inet_pton(AF_INET6, text.c_str(), bytes) == 1;
        TIPv6Address address;
        ASSERT_EQ(TCountryFinder::ParseIPv6(text, address), expected) << text;
        if (!expected) continue;
        ++valid;
        char out[INET6_ADDRSTRLEN];
        inet_ntop(AF_INET6, bytes, out, sizeof out);
        ASSERT_EQ(Text(address), out) << text;
    }
    EXPECT_GT(valid, 1000);
}

// Many small overlapping ranges, some reversed or spanning first octets: the fast lookup must
// agree with the scan in file order everywhere, above all at and beside every range's edges.
TEST_F(CountryFinderTest, FastLookupAgreesWithScanOnRandomOverlaps) {
    std::mt19937 rng(12345);
    std::string table4, table6;
    std::vector<uint32_t> probes4;
    std::vector<TIPv6Address> probes6;
    const char* const codes[] = {"AA", "BB", "CC", "DD"};
    for (int i = 0; i < 3000; ++i) {
        const uint32_t start = (rng() % 4 + 7) << 24 | (rng() % 64) << 16 | (rng() & 0xFFFF);
        const uint32_t end = start + (i % 50 == 0 ? rng() % 0x3000000 : rng() % 0x40000) - (i % 97 == 0 ? 5 : 0);
        table4 += Line(start, end, codes[rng() % 4]);
        for (const uint32_t p : {start - 1, start, start + 1, end - 1, end, end + 1, start + (end - start) / 2})
            probes4.push_back(p);
        const TIPv6Address s6{0x20010db800000000u + rng() % 3, uint64_t{rng()} << 32 | rng()};
        TIPv6Address e6 = s6;
        e6.Lo += uint64_t{rng()} << 24;
        if (e6.Lo < s6.Lo) ++e6.Hi;
        table6 += Line(Text(s6), Text(e6), codes[rng() % 4], "N");
        for (const TIPv6Address& p : {s6, e6})
            for (int d = -1; d <= 1; ++d)
                probes6.push_back({p.Hi, p.Lo + static_cast<uint64_t>(d)});
    }
    for (int i = 0; i < 20000; ++i)
        probes4.push_back((rng() % 5 + 6) << 24 | (rng() & 0xFFFFFF));
    Finder.Load(Folder.WriteFile("4.csv", table4));
    Finder.LoadIPv6(Folder.WriteFile("6.csv", table6));
    for (const uint32_t ip : probes4)
        ASSERT_EQ(Finder.CountryOf(ip), Finder.CountryOfByScan(ip)) << IntToIP(ip);
    for (const TIPv6Address& a : probes6)
        ASSERT_EQ(Finder.CountryOfIPv6(a), Finder.CountryOfIPv6ByScan(a)) << Text(a);
}

TEST(CountryFinderRealTable, FastLookupAgreesWithScan) {
    const std::string folder = ProgramFolder() + "static/";
    if (!std::filesystem::exists(folder + "ip-to-country.csv") ||
        !std::filesystem::exists(folder + "ip6-to-country.csv"))
        GTEST_SKIP() << "no country tables in " << folder << "; tools/build_country_tables.py builds them";
    TCountryFinder finder;
    finder.Load(folder + "ip-to-country.csv");
    finder.LoadIPv6(folder + "ip6-to-country.csv");
    ASSERT_GT(finder.Ranges().size(), 100000u);
    ASSERT_GT(finder.Ranges6().size(), 10000u);
    std::mt19937 rng(2024);
    int found = 0;
    for (int i = 0; i < 100000; ++i) {
        const uint32_t ip = rng();
        const std::string code = finder.CountryOf(ip);
        ASSERT_EQ(code, finder.CountryOfByScan(ip)) << IntToIP(ip);
        found += code != "-";
    }
    EXPECT_GT(found, 50000);
    const auto& ranges = finder.Ranges();
    for (int i = 0; i < 10000; ++i) {
        const TCountryItem& item = ranges[rng() % ranges.size()];
        for (const uint32_t ip : {item.StartIP - 1, item.StartIP, item.EndIP, item.EndIP + 1})
            ASSERT_EQ(finder.CountryOf(ip), finder.CountryOfByScan(ip)) << IntToIP(ip);
    }
    const auto& ranges6 = finder.Ranges6();
    for (int i = 0; i < 300; ++i) {
        const TCountryItem6& item = ranges6[rng() % ranges6.size()];
        for (const TIPv6Address& a : {item.StartIP, item.EndIP, TIPv6Address{item.EndIP.Hi, item.EndIP.Lo + 1}})
            ASSERT_EQ(finder.CountryOfIPv6(a), finder.CountryOfIPv6ByScan(a)) << Text(a);
    }
}

} // namespace
