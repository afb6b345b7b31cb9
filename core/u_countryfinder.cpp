#include "core/u_countryfinder.h"

#include "core/CParser.h"
#include "sources/CUtils.h"
#include "sources/SpecialFolders.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <limits>
#include <queue>

TCountryFinder CountryFinder;

namespace {

const char* const kNoCountry = "-";
const char* const kUnknownName = "UNKNOWN";
// First address, last address, two-letter code, three-letter code (ignored), name.
const char* const kTableFormat = "\"%s\",\"%e\",\"%c\",\"%x\",\"%n\"";
constexpr size_t kCodeIndexCount = 65536;

uint32_t Next(uint32_t a) {
    return a + 1;
}
uint32_t Prev(uint32_t a) {
    return a - 1;
}
bool IsLast(uint32_t a) {
    return a == std::numeric_limits<uint32_t>::max();
}
TIPv6Address Next(TIPv6Address a) {
    if (++a.Lo == 0) ++a.Hi;
    return a;
}
TIPv6Address Prev(TIPv6Address a) {
    if (a.Lo-- == 0) --a.Hi;
    return a;
}
bool IsLast(const TIPv6Address& a) {
    return a.Hi == std::numeric_limits<uint64_t>::max() && a.Lo == std::numeric_limits<uint64_t>::max();
}

template <class TAddress> struct TStretch {
    TAddress Start;
    TAddress End;
    uint32_t CodeId;
};

// Cuts the addresses the ranges cover into sorted, disjoint stretches, each with the code of
// the first range in file order that contains it, so a binary search gives the same answer
// as a scan in file order. Neighbouring stretches with one code are joined.
template <class TAddress, class TItem>
std::vector<TStretch<TAddress>> FirstWinsStretches(const std::vector<TItem>& items,
                                                   const std::vector<uint32_t>& codeIds) {
    std::vector<uint32_t> order;
    order.reserve(items.size());
    for (uint32_t i = 0; i < items.size(); ++i)
        if (items[i].StartIP <= items[i].EndIP) order.push_back(i);
    // By first address, ties in file order.
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        return items[a].StartIP < items[b].StartIP || (items[a].StartIP == items[b].StartIP && a < b);
    });

    // Ranges open at the current address, smallest file position on top; ranges that ended
    // stay below until they surface.
    std::priority_queue<uint32_t, std::vector<uint32_t>, std::greater<>> open;
    std::vector<TStretch<TAddress>> stretches;
    size_t next = 0;
    TAddress pos{};
    for (;;) {
        while (!open.empty() && items[open.top()].EndIP < pos)
            open.pop();
        if (open.empty()) {
            if (next == order.size()) break;
            pos = items[order[next]].StartIP;
        }
        while (next < order.size() && items[order[next]].StartIP <= pos)
            open.push(order[next++]);
        const uint32_t winner = open.top();
        // The winner holds until it ends or the next range starts, whichever comes first.
        TAddress end = items[winner].EndIP;
        if (next < order.size() && items[order[next]].StartIP <= end) end = Prev(items[order[next]].StartIP);
        const uint32_t code = codeIds[winner];
        TStretch<TAddress>* last = stretches.empty() ? nullptr : &stretches.back();
        if (last && last->CodeId == code && !IsLast(last->End) && Next(last->End) == pos)
            last->End = end;
        else
            stretches.push_back({pos, end, code});
        if (IsLast(end)) break;
        pos = Next(end);
    }
    return stretches;
}

// The number of lines of a file, so that a table is allocated once at its full size
// (growing by doubling would hold two copies of a table of hundreds of thousands of rows).
size_t CountLines(const std::string& fileName) {
    std::ifstream file(fileName, std::ios::binary);
    size_t lines = 0;
    char buffer[65536];
    while (file.read(buffer, sizeof buffer) || file.gcount() > 0) {
        lines += static_cast<size_t>(std::count(buffer, buffer + file.gcount(), '\n'));
        if (!file) break;
    }
    return lines + 1;
}

// Calls add(parser) for every line of the file that fits the table format.
template <class TAdd> void ReadTable(const std::string& fileName, TAdd add) {
    std::ifstream file(fileName, std::ios::binary);
    if (!file) return;
    TCParser parser;
    parser.SetFormat(kTableFormat);
    std::string line;
    while (std::getline(file, line)) {
        parser.SetLine(line);
        if (parser.Valid()) add(parser);
    }
}

} // namespace

TCountryFinder::TCountryFinder() : Names(kCodeIndexCount) {
}

int TCountryFinder::CodeIndex(std::string_view code) {
    if (code.empty()) return 0;
    const int first = static_cast<unsigned char>(code[0]);
    if (code.size() == 1) return first;
    return first + 256 * static_cast<unsigned char>(code[1]);
}

bool TCountryFinder::ParseIPv6(std::string_view text, TIPv6Address& address) {
    if (text.size() >= 64) return false;
    char buffer[64];
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
    unsigned char bytes[16];
    if (inet_pton(AF_INET6, buffer, bytes) != 1) return false;
    address = {};
    for (int i = 0; i < 8; ++i) {
        address.Hi = address.Hi << 8 | bytes[i];
        address.Lo = address.Lo << 8 | bytes[i + 8];
    }
    return true;
}

void TCountryFinder::Clear() {
    RangeList.clear();
    for (auto& bucket : Buckets)
        bucket.clear();
    for (auto& name : Names)
        name.clear();
    RangeList6.clear();
    Codes.clear();
    CodeIds.clear();
    SegmentStarts.clear();
    SegmentEnds.clear();
    SegmentCodes.clear();
    BucketFirst.fill(0);
    Segments6.clear();
}

void TCountryFinder::StoreName(const std::string& code, const std::string& name) {
    std::string& slot = Names[static_cast<size_t>(CodeIndex(code))];
    if (slot.empty()) slot = name; // the first name read for a code wins
}

uint32_t TCountryFinder::CodeId(const std::string& code) {
    const auto [it, added] = CodeIds.try_emplace(code, static_cast<uint32_t>(Codes.size()));
    if (added) Codes.push_back(code);
    return it->second;
}

void TCountryFinder::Load(const std::string& fileName) {
    Clear();
    RangeList.reserve(CountLines(fileName));
    ReadTable(fileName, [this](const TCParser& parser) {
        int64_t start = 0;
        int64_t end = 0;
        // An address that is not a number would read as 0 and stretch the range down to 0.
        if (!TryParseInt64(TrimView(parser.Field('s')), start) || !TryParseInt64(TrimView(parser.Field('e')), end))
            return;
        TCountryItem item{static_cast<uint32_t>(start), static_cast<uint32_t>(end), UpperCase(parser.Field('c'))};
        const auto index = static_cast<uint32_t>(RangeList.size());
        for (uint32_t b = item.StartIP >> 24; b <= item.EndIP >> 24; ++b)
            Buckets[b].push_back(index);
        StoreName(item.Code, UpperCase(parser.Field('n')));
        RangeList.push_back(std::move(item));
    });
    BuildSegments();
}

void TCountryFinder::LoadIPv6(const std::string& fileName) {
    RangeList6.clear();
    Segments6.clear();
    RangeList6.reserve(CountLines(fileName));
    ReadTable(fileName, [this](const TCParser& parser) {
        TCountryItem6 item;
        if (!ParseIPv6(TrimView(parser.Field('s')), item.StartIP) ||
            !ParseIPv6(TrimView(parser.Field('e')), item.EndIP))
            return;
        item.Code = UpperCase(parser.Field('c'));
        StoreName(item.Code, UpperCase(parser.Field('n')));
        RangeList6.push_back(std::move(item));
    });
    BuildSegments6();
}

void TCountryFinder::LoadProgramTables() {
    const std::string folder = ProgramFolder() + "static/";
    Load(folder + "ip-to-country.csv");
    LoadIPv6(folder + "ip6-to-country.csv");
}

void TCountryFinder::BuildSegments() {
    std::vector<uint32_t> codeIds;
    codeIds.reserve(RangeList.size());
    for (const auto& item : RangeList)
        codeIds.push_back(CodeId(item.Code));
    const auto stretches = FirstWinsStretches<uint32_t>(RangeList, codeIds);
    SegmentStarts.clear();
    SegmentEnds.clear();
    SegmentCodes.clear();
    for (const auto& stretch : stretches) {
        // Split at first-octet boundaries so that every bucket owns its own run.
        uint32_t start = stretch.Start;
        for (;;) {
            const uint32_t end = std::min(stretch.End, start | 0x00FFFFFFu);
            SegmentStarts.push_back(start);
            SegmentEnds.push_back(end);
            SegmentCodes.push_back(stretch.CodeId);
            if (end == stretch.End) break;
            start = end + 1;
        }
    }
    size_t k = 0;
    for (uint32_t b = 0; b < 256; ++b) {
        while (k < SegmentStarts.size() && (SegmentStarts[k] >> 24) < b)
            ++k;
        BucketFirst[b] = static_cast<uint32_t>(k);
    }
    BucketFirst[256] = static_cast<uint32_t>(SegmentStarts.size());
}

void TCountryFinder::BuildSegments6() {
    std::vector<uint32_t> codeIds;
    codeIds.reserve(RangeList6.size());
    for (const auto& item : RangeList6)
        codeIds.push_back(CodeId(item.Code));
    for (const auto& stretch : FirstWinsStretches<TIPv6Address>(RangeList6, codeIds))
        Segments6.push_back({stretch.Start, stretch.End, stretch.CodeId});
}

std::string TCountryFinder::CountryOf(uint32_t ip) const {
    if (ip == 0) return kNoCountry;
    const uint32_t bucket = ip >> 24;
    const auto first = SegmentStarts.begin() + BucketFirst[bucket];
    const auto last = SegmentStarts.begin() + BucketFirst[bucket + 1];
    const auto after = std::upper_bound(first, last, ip);
    if (after == first) return kNoCountry;
    const auto k = static_cast<size_t>(after - SegmentStarts.begin() - 1);
    return ip <= SegmentEnds[k] ? Codes[SegmentCodes[k]] : kNoCountry;
}

std::string TCountryFinder::CountryOfByScan(uint32_t ip) const {
    if (ip == 0) return kNoCountry;
    for (const uint32_t index : Buckets[ip >> 24]) {
        const TCountryItem& item = RangeList[index];
        if (item.StartIP <= ip && ip <= item.EndIP) return item.Code;
    }
    return kNoCountry;
}

std::string TCountryFinder::CountryOfIPv6(const TIPv6Address& address) const {
    const auto after = std::upper_bound(Segments6.begin(), Segments6.end(), address,
                                        [](const TIPv6Address& a, const TSegment6& s) { return a < s.Start; });
    if (after == Segments6.begin()) return kNoCountry;
    const TSegment6& segment = *(after - 1);
    return address <= segment.End ? Codes[segment.CodeId] : kNoCountry;
}

std::string TCountryFinder::CountryOfIPv6(std::string_view address) const {
    TIPv6Address parsed;
    if (!ParseIPv6(address, parsed)) return kNoCountry;
    if (parsed.Hi == 0 && parsed.Lo >> 32 == 0xFFFF) return CountryOf(static_cast<uint32_t>(parsed.Lo));
    return CountryOfIPv6(parsed);
}

std::string TCountryFinder::CountryOfIPv6ByScan(const TIPv6Address& address) const {
    for (const auto& item : RangeList6)
        if (item.StartIP <= address && address <= item.EndIP) return item.Code;
    return kNoCountry;
}

std::string TCountryFinder::CountryName(std::string_view code) const {
    const std::string& name = Names[static_cast<size_t>(CodeIndex(code))];
    return name.empty() ? kUnknownName : name;
}
