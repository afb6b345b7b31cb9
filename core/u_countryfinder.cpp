#include "core/u_countryfinder.h"

#include "sources/CUtils.h"
#include "sources/FileUtils.h"
#include "sources/SpecialFolders.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <queue>

TCountryFinder CountryFinder;

namespace {

const char* const kUnknownName = "UNKNOWN";
// Addresses no range covers; a table code "-" shares the id, having the same text.
constexpr uint32_t kNoCountryId = 0;

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

// Cuts the addresses the ranges cover into sorted, disjoint stretches, each with the code of
// the first range in file order that contains it, so a binary search gives the same answer
// as a scan in file order. Neighbouring stretches with one code are joined.
template <class TAddress, class TItem> std::vector<TItem> FirstWinsStretches(const std::vector<TItem>& items) {
    std::vector<uint32_t> order;
    order.reserve(items.size());
    for (uint32_t i = 0; i < items.size(); ++i)
        if (items[i].StartIP <= items[i].EndIP) order.push_back(i);
    // By first address, ties in file order; the shipped tables are already in that order.
    const auto before = [&](uint32_t a, uint32_t b) {
        return items[a].StartIP < items[b].StartIP || (items[a].StartIP == items[b].StartIP && a < b);
    };
    if (!std::is_sorted(order.begin(), order.end(), before)) std::sort(order.begin(), order.end(), before);

    // Ranges open at the current address, smallest file position on top; ranges that ended
    // stay below until they surface.
    std::priority_queue<uint32_t, std::vector<uint32_t>, std::greater<>> open;
    std::vector<TItem> stretches;
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
        const uint32_t code = items[winner].CodeId;
        TItem* last = stretches.empty() ? nullptr : &stretches.back();
        if (last && last->CodeId == code && !IsLast(last->EndIP) && Next(last->EndIP) == pos)
            last->EndIP = end;
        else
            stretches.push_back({pos, end, code});
        if (IsLast(end)) break;
        pos = Next(end);
    }
    return stretches;
}

// Calls add(start, codeId) for the stretches and for the gaps around them (with
// kNoCountryId), in address order from address 0, so that every address has a stretch.
template <class TAddress, class TItem, class TAdd> void ForEachStart(const std::vector<TItem>& stretches, TAdd add) {
    TAddress next{}; // the first address not yet in a stretch
    for (const TItem& stretch : stretches) {
        if (stretch.StartIP != next) add(next, kNoCountryId);
        add(stretch.StartIP, stretch.CodeId);
        if (IsLast(stretch.EndIP)) return;
        next = Next(stretch.EndIP);
    }
    add(next, kNoCountryId);
}

// The whole content of a file, read at once; empty when the file cannot be read.
class TFileText {
public:
    explicit TFileText(const std::string& fileName) {
        const TUniqueFd fd(open(fileName.c_str(), O_RDONLY | O_CLOEXEC));
        if (!fd.Valid()) return;
        struct stat info {};
        // One byte more than the size, so that the read seeing the end needs no growth.
        size_t capacity =
            fstat(fd.Get(), &info) == 0 && info.st_size > 0 ? static_cast<size_t>(info.st_size) + 1 : 65536;
        Data.reset(new char[capacity]);
        for (;;) {
            if (Size == capacity) {
                std::unique_ptr<char[]> grown(new char[capacity * 2]);
                std::memcpy(grown.get(), Data.get(), Size);
                Data = std::move(grown);
                capacity *= 2;
            }
            const ssize_t count = read(fd.Get(), Data.get() + Size, capacity - Size);
            if (count < 0 && errno == EINTR) continue;
            if (count <= 0) break;
            Size += static_cast<size_t>(count);
        }
    }

    std::string_view View() const { return {Data.get(), Size}; }

private:
    std::unique_ptr<char[]> Data;
    size_t Size = 0;
};

// The fields of a table line "start","end","code","code3","name".
struct TTableLine {
    std::string_view Start;
    std::string_view End;
    std::string_view Code;
    std::string_view Name;
};

// Cuts a line as the line parser cuts it with the format "\"%s\",\"%e\",\"%c\",\"%x\",\"%n\"":
// each separator is the first match after the previous one, text before the first quote and
// after the last one is ignored, and a separator is looked for only while two characters remain.
bool CutTableLine(std::string_view line, TTableLine& fields) {
    static constexpr std::string_view kSeparators[] = {"\"", "\",\"", "\",\"", "\",\"", "\",\"", "\""};
    std::string_view* const targets[] = {nullptr, &fields.Start, &fields.End, &fields.Code, nullptr, &fields.Name};
    size_t p = 0;
    for (size_t i = 0; i < std::size(kSeparators); ++i) {
        if (p + 1 >= line.size()) return false;
        const size_t hit = line.find(kSeparators[i], p);
        if (hit == std::string_view::npos) return false;
        if (targets[i]) *targets[i] = line.substr(p, hit - p);
        p = hit + kSeparators[i].size();
    }
    return true;
}

// Calls add(fields) for every line of text that fits the table format. Lines end at "\n";
// a last line without one counts.
template <class TAdd> void ForEachTableLine(std::string_view text, TAdd add) {
    TTableLine fields;
    while (!text.empty()) {
        const size_t newline = text.find('\n');
        if (CutTableLine(text.substr(0, newline), fields)) add(fields);
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
    }
}

// The number of lines of a text, so that a table is allocated once at its full size.
size_t CountLines(std::string_view text) {
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
}

} // namespace

// What one load has learnt about the codes it read: the id of each raw two-character code,
// and which ids already have a name, so that most lines cost one array look-up.
struct TCountryFinder::TCodeReader {
    std::vector<uint32_t> TwoCharIds = std::vector<uint32_t>(65536); // id + 1, 0 when not seen yet
    std::vector<bool> Named;                                         // by code id
};

TCountryFinder::TCountryFinder() {
    Clear();
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
    RangeList6.clear();
    ScanFirst.fill(0);
    ScanEnd.fill(0);
    Codes.clear();
    CodeIds.clear();
    CodeId("-"); // kNoCountryId
    Names.clear();
    BuildLookup();
    BuildLookup6();
}

uint32_t TCountryFinder::CodeId(const std::string& code) {
    const auto [it, added] = CodeIds.try_emplace(code, static_cast<uint32_t>(Codes.size()));
    if (added) Codes.push_back(code);
    return it->second;
}

uint32_t TCountryFinder::ReadCode(std::string_view code, std::string_view name, TCodeReader& reader) {
    uint32_t id;
    if (code.size() == 2) {
        uint32_t& known =
            reader.TwoCharIds[static_cast<unsigned char>(code[0]) | static_cast<unsigned char>(code[1]) << 8];
        if (known == 0) known = CodeId(UpperCase(code)) + 1;
        id = known - 1;
    } else {
        id = CodeId(UpperCase(code));
    }
    if (id >= reader.Named.size()) reader.Named.resize(id + 1);
    if (!reader.Named[id]) {
        std::string& slot = Names[CodeIndex(Codes[id])];
        if (slot.empty()) slot = UpperCase(name); // the first name read for a code wins
        reader.Named[id] = !slot.empty();
    }
    return id;
}

void TCountryFinder::Load(const std::string& fileName) {
    Clear();
    const TFileText file(fileName);
    RangeList.reserve(CountLines(file.View()));
    TCodeReader reader;
    ForEachTableLine(file.View(), [&](const TTableLine& line) {
        int64_t start = 0;
        int64_t end = 0;
        // An address that is not a number would read as 0 and stretch the range down to 0.
        if (!TryParseInt64(TrimView(line.Start), start) || !TryParseInt64(TrimView(line.End), end)) return;
        const TCountryItem item{static_cast<uint32_t>(start), static_cast<uint32_t>(end),
                                ReadCode(line.Code, line.Name, reader)};
        const auto index = static_cast<uint32_t>(RangeList.size());
        for (uint32_t b = item.StartIP >> 24; b <= item.EndIP >> 24; ++b) {
            if (ScanEnd[b] == 0) ScanFirst[b] = index;
            ScanEnd[b] = index + 1;
        }
        RangeList.push_back(item);
    });
    BuildLookup();
}

void TCountryFinder::LoadIPv6(const std::string& fileName) {
    RangeList6.clear();
    const TFileText file(fileName);
    RangeList6.reserve(CountLines(file.View()));
    TCodeReader reader;
    ForEachTableLine(file.View(), [&](const TTableLine& line) {
        TCountryItem6 item;
        if (!ParseIPv6(TrimView(line.Start), item.StartIP) || !ParseIPv6(TrimView(line.End), item.EndIP)) return;
        item.CodeId = ReadCode(line.Code, line.Name, reader);
        RangeList6.push_back(item);
    });
    BuildLookup6();
}

void TCountryFinder::LoadProgramTables() {
    const std::string folder = ProgramFolder() + "static/";
    Load(folder + "ip-to-country.csv");
    LoadIPv6(folder + "ip6-to-country.csv");
}

void TCountryFinder::BuildLookup() {
    const auto stretches = FirstWinsStretches<uint32_t>(RangeList);
    size_t count = 0;
    ForEachStart<uint32_t>(stretches, [&](uint32_t, uint32_t) { ++count; });
    Starts.clear();
    StartCodes.clear();
    Starts.reserve(count);
    StartCodes.reserve(count);
    ForEachStart<uint32_t>(stretches, [&](uint32_t start, uint32_t code) {
        Starts.push_back(start);
        StartCodes.push_back(code);
    });
    // The stretch holding the bucket's first address; Starts[0] is 0, so there is always one.
    for (uint32_t b = 0; b < 256; ++b)
        BucketFirst[b] =
            static_cast<uint32_t>(std::upper_bound(Starts.begin(), Starts.end(), b << 24) - Starts.begin() - 1);
    BucketFirst[256] = static_cast<uint32_t>(Starts.size() - 1);
}

void TCountryFinder::BuildLookup6() {
    const auto stretches = FirstWinsStretches<TIPv6Address>(RangeList6);
    size_t count = 0;
    bool anyLo = false;
    ForEachStart<TIPv6Address>(stretches, [&](const TIPv6Address& start, uint32_t) {
        ++count;
        anyLo = anyLo || start.Lo != 0;
    });
    Starts6Hi.clear();
    Starts6Lo.clear();
    StartCodes6.clear();
    Starts6Hi.reserve(count);
    if (anyLo) Starts6Lo.reserve(count);
    StartCodes6.reserve(count);
    ForEachStart<TIPv6Address>(stretches, [&](const TIPv6Address& start, uint32_t code) {
        Starts6Hi.push_back(start.Hi);
        if (anyLo) Starts6Lo.push_back(start.Lo);
        StartCodes6.push_back(code);
    });
}

const std::string& TCountryFinder::CountryOf(uint32_t ip) const {
    if (ip == 0) return Codes[kNoCountryId];
    const uint32_t bucket = ip >> 24;
    const auto first = Starts.begin() + BucketFirst[bucket];
    const auto last = Starts.begin() + BucketFirst[bucket + 1] + 1;
    // The last stretch starting at or before ip; the bucket's first one always does.
    const auto k = static_cast<size_t>(std::upper_bound(first, last, ip) - Starts.begin() - 1);
    return Codes[StartCodes[k]];
}

const std::string& TCountryFinder::CountryOfByScan(uint32_t ip) const {
    if (ip == 0) return Codes[kNoCountryId];
    const uint32_t bucket = ip >> 24;
    for (uint32_t i = ScanFirst[bucket]; i < ScanEnd[bucket]; ++i) {
        const TCountryItem& item = RangeList[i];
        if (item.StartIP <= ip && ip <= item.EndIP) return Codes[item.CodeId];
    }
    return Codes[kNoCountryId];
}

const std::string& TCountryFinder::CountryOfIPv6(const TIPv6Address& address) const {
    // Stretches [0, k) start at or before the address; the first one starts at "::".
    const auto afterHi = std::upper_bound(Starts6Hi.begin(), Starts6Hi.end(), address.Hi);
    auto k = static_cast<size_t>(afterHi - Starts6Hi.begin());
    if (!Starts6Lo.empty()) {
        // Of the stretches sharing the address's high half, those past its low half start later.
        const auto sameHi =
            static_cast<size_t>(std::lower_bound(Starts6Hi.begin(), afterHi, address.Hi) - Starts6Hi.begin());
        k = static_cast<size_t>(std::upper_bound(Starts6Lo.begin() + sameHi, Starts6Lo.begin() + k, address.Lo) -
                                Starts6Lo.begin());
    }
    return Codes[StartCodes6[k - 1]];
}

const std::string& TCountryFinder::CountryOfIPv6(std::string_view address) const {
    TIPv6Address parsed;
    if (!ParseIPv6(address, parsed)) return Codes[kNoCountryId];
    if (parsed.Hi == 0 && parsed.Lo >> 32 == 0xFFFF) return CountryOf(static_cast<uint32_t>(parsed.Lo));
    return CountryOfIPv6(parsed);
}

const std::string& TCountryFinder::CountryOfIPv6ByScan(const TIPv6Address& address) const {
    for (const auto& item : RangeList6)
        if (item.StartIP <= address && address <= item.EndIP) return Codes[item.CodeId];
    return Codes[kNoCountryId];
}

std::string TCountryFinder::CountryName(std::string_view code) const {
    const auto it = Names.find(CodeIndex(code));
    return it == Names.end() || it->second.empty() ? kUnknownName : it->second;
}
