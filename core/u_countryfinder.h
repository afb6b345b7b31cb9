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

// A range's code is TCountryFinder::CodeOf(CodeId).
struct TCountryItem {
    uint32_t StartIP = 0;
    uint32_t EndIP = 0;
    uint32_t CodeId = 0;
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
    uint32_t CodeId = 0;
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
    // the program folder, keeping only what lookups need: Ranges, Ranges6 and the lookups
    // by scan are empty afterwards. The lookups are kept in "country-tables.bin" of the
    // cache folder and read from there while both tables are the files they were made of.
    void LoadProgramTables();
    // LoadProgramTables has run (and no Load or Clear since).
    bool HasProgramTables() const { return ProgramTables; }
    void Clear();

    // The answers are the finder's own strings, valid until the next Load, LoadIPv6 or Clear.
    // The code of the first range in file order containing ip; "-" for 0 or no range.
    const std::string& CountryOf(uint32_t ip) const;
    // The same answer by walking the ranges of the address's first octet in file order (the
    // reference lookup).
    const std::string& CountryOfByScan(uint32_t ip) const;
    // The code of the first IPv6 range in file order containing the address; "-" when none.
    const std::string& CountryOfIPv6(const TIPv6Address& address) const;
    // Text form: "-" when it is not an IPv6 address. An IPv4-mapped address
    // ("::ffff:1.2.3.4") is looked up in the IPv4 table.
    const std::string& CountryOfIPv6(std::string_view address) const;
    const std::string& CountryOfIPv6ByScan(const TIPv6Address& address) const;
    // The first name read for the code (upper case), or "UNKNOWN".
    std::string CountryName(std::string_view code) const;
    // The upper-case code of a range's CodeId.
    const std::string& CodeOf(uint32_t codeId) const { return Codes[codeId]; }

    const std::vector<TCountryItem>& Ranges() const { return RangeList; }
    const std::vector<TCountryItem6>& Ranges6() const { return RangeList6; }

    // 0 for "", the first character for one character, else first + 256 x second.
    static int CodeIndex(std::string_view code);
    // inet_pton's reading of the text; false when it is not an IPv6 address.
    static bool ParseIPv6(std::string_view text, TIPv6Address& address);

private:
    struct TCodeReader;

    uint32_t CodeId(const std::string& code);
    uint32_t ReadCode(std::string_view code, TCodeReader& reader);
    void ReadName(uint32_t codeId, std::string_view name, TCodeReader& reader);
    void BuildLookup();
    void BuildLookup6();
    // The lookups and names from a cache file made for tables named by key; false (and the
    // finder cleared) when the file is missing, for other tables, or not whole and sound.
    bool ReadCache(const std::string& path, const std::string& key);
    // Writes them for key, whole or not at all; a cache that cannot be written is left out.
    void WriteCache(const std::string& path, const std::string& key) const;

    bool ProgramTables = false;
    std::vector<TCountryItem> RangeList;   // file order
    std::vector<TCountryItem6> RangeList6; // file order
    // The ranges touching first octet b lie in RangeList[ScanFirst[b], ScanEnd[b]).
    std::array<uint32_t, 256> ScanFirst{};
    std::array<uint32_t, 256> ScanEnd{};
    std::vector<std::string> Codes; // by code id; id 0 is "-"
    std::unordered_map<std::string, uint32_t> CodeIds;
    std::unordered_map<int, std::string> Names; // by code index

    // The lookup tables cut the whole address space into sorted stretches: stretch k runs from
    // its start up to the next one's and has the code of the first range in file order that
    // contains it (id 0, "-", where none does). The IPv4 addresses with top 16 bits b fall in
    // the stretches [BucketFirst[b], BucketFirst[b + 1]].
    std::vector<uint32_t> Starts;
    std::vector<uint32_t> StartCodes;
    std::vector<uint32_t> BucketFirst;
    // IPv6 stretches starting on a 64-bit boundary (nearly all) are kept by their high half; the
    // code of one followed by stretches starting inside its block carries a mark.
    std::vector<uint64_t> Starts6Hi;
    std::vector<uint32_t> StartCodes6Hi;
    std::vector<TIPv6Address> Starts6Inside;
    std::vector<uint32_t> StartCodes6Inside;
};

// The process-wide finder; the analyser loads it, every thread may read it afterwards.
extern TCountryFinder CountryFinder;
