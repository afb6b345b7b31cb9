#pragma once
// IP address to country code, and country code to name, from the range tables
// "static/ip-to-country.csv" (IPv4) and "static/ip6-to-country.csv" (IPv6). Load and Clear
// must not overlap any lookup; after loading, lookups are const reads safe on any thread.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct TCountryItem {
    uint32_t StartIP = 0;
    uint32_t EndIP = 0;
    std::string Code;
};

// A 128-bit IPv6 address as two halves, ordered like the address.
struct TIPv6Address {
    uint64_t Hi = 0;
    uint64_t Lo = 0;
    auto operator<=>(const TIPv6Address&) const = default;
};

struct TCountryItem6 {
    TIPv6Address StartIP;
    TIPv6Address EndIP;
    std::string Code;
};

class TCountryFinder {
public:
    TCountryFinder();

    // Empties the finder (both tables and every name), then reads the IPv4 table when the
    // file exists. Lines that do not fit the table format, or whose addresses are not
    // decimal numbers, are skipped.
    void Load(const std::string& fileName);
    // Replaces the IPv6 ranges with those of the file; names it brings fill codes that
    // have none yet.
    void LoadIPv6(const std::string& fileName);
    // Load and LoadIPv6 on "static/ip-to-country.csv" and "static/ip6-to-country.csv" of
    // the program folder.
    void LoadProgramTables();
    void Clear();

    // The code of the first range in file order containing ip; "-" for 0 or no range.
    std::string CountryOf(uint32_t ip) const;
    // The same answer by walking the address's bucket in file order (the reference lookup).
    std::string CountryOfByScan(uint32_t ip) const;
    // The code of the first IPv6 range in file order containing the address; "-" when none.
    std::string CountryOfIPv6(const TIPv6Address& address) const;
    // Text form: "-" when it is not an IPv6 address. An IPv4-mapped address
    // ("::ffff:1.2.3.4") is looked up in the IPv4 table.
    std::string CountryOfIPv6(std::string_view address) const;
    std::string CountryOfIPv6ByScan(const TIPv6Address& address) const;
    // The first name read for the code (upper case), or "UNKNOWN".
    std::string CountryName(std::string_view code) const;

    const std::vector<TCountryItem>& Ranges() const { return RangeList; }
    const std::vector<TCountryItem6>& Ranges6() const { return RangeList6; }

    // 0 for "", the first character for one character, else first + 256 x second.
    static int CodeIndex(std::string_view code);
    // inet_pton on the text; false when it is not an IPv6 address.
    static bool ParseIPv6(std::string_view text, TIPv6Address& address);

private:
    // A stretch of addresses whose first containing range has the code Codes[CodeId].
    struct TSegment6 {
        TIPv6Address Start;
        TIPv6Address End;
        uint32_t CodeId;
    };

    uint32_t CodeId(const std::string& code);
    void StoreName(const std::string& code, const std::string& name);
    void BuildSegments();
    void BuildSegments6();

    std::vector<TCountryItem> RangeList; // file order
    // Bucket b: indexes into RangeList, in file order, of the ranges whose first octets include b.
    std::array<std::vector<uint32_t>, 256> Buckets;
    std::vector<std::string> Names; // by code index
    std::vector<TCountryItem6> RangeList6;

    // The lookup tables: disjoint, sorted stretches with the winning range's code, split at
    // first-octet boundaries so that bucket b owns Segment*[BucketFirst[b], BucketFirst[b + 1]).
    std::vector<std::string> Codes; // by code id
    std::unordered_map<std::string, uint32_t> CodeIds;
    std::vector<uint32_t> SegmentStarts;
    std::vector<uint32_t> SegmentEnds;
    std::vector<uint32_t> SegmentCodes;
    std::array<uint32_t, 257> BucketFirst{};
    std::vector<TSegment6> Segments6;
};

// The process-wide finder; the analyser loads it, every thread may read it afterwards.
extern TCountryFinder CountryFinder;
