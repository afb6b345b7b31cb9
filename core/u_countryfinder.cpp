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
#include <optional>
#include <queue>
#include <type_traits>

TCountryFinder CountryFinder;

namespace {

const char* const kUnknownName = "UNKNOWN";
// Addresses no range covers; a table code "-" shares the id, having the same text.
constexpr uint32_t kNoCountryId = 0;
// Marks a boundary stretch of the IPv6 lookup followed by stretches starting inside its block.
constexpr uint32_t kStretchesInside = 0x80000000u;
// The IPv4 lookup narrows its search by the address's top 16 bits.
constexpr uint32_t kBucketShift = 16;
constexpr uint32_t kBucketCount = 1u << (32 - kBucketShift);
constexpr size_t kBlockSize = 1 << 16; // bytes read from a table at a time

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

// The indexes of the ranges that hold addresses (start not past end) by first address, ties
// in file order; none when that is every range in file order, as in the shipped tables.
template <class TItem> std::optional<std::vector<uint32_t>> OrderByStart(const std::vector<TItem>& items) {
    bool ordered = true;
    for (size_t i = 0; i < items.size() && ordered; ++i)
        ordered = items[i].StartIP <= items[i].EndIP && (i == 0 || items[i - 1].StartIP <= items[i].StartIP);
    if (ordered) return std::nullopt;
    std::vector<uint32_t> order;
    for (uint32_t i = 0; i < items.size(); ++i)
        if (items[i].StartIP <= items[i].EndIP) order.push_back(i);
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        return items[a].StartIP < items[b].StartIP || (items[a].StartIP == items[b].StartIP && a < b);
    });
    return order;
}

// Cuts the whole address space into sorted stretches and calls add(start, codeId) for each:
// a stretch runs up to the next one's start and has the code of the first range in file order
// that contains it, or kNoCountryId, so a binary search gives the same answer as a scan in
// file order. The first stretch starts at address 0; neighbours never share a code.
template <class TAddress, class TItem, class TAdd>
void ForEachStretch(const std::vector<TItem>& items, const std::optional<std::vector<uint32_t>>& order, TAdd add) {
    const size_t count = order ? order->size() : items.size();
    const auto indexAt = [&](size_t k) { return order ? (*order)[k] : static_cast<uint32_t>(k); };
    bool started = false;
    uint32_t lastCode = kNoCountryId;
    const auto put = [&](const TAddress& start, uint32_t code) {
        if (!started || code != lastCode) add(start, code);
        started = true;
        lastCode = code;
    };

    // Ranges open at the current address, smallest file position on top; ranges that ended
    // stay below until they surface.
    std::priority_queue<uint32_t, std::vector<uint32_t>, std::greater<>> open;
    size_t next = 0;
    TAddress pos{};
    TAddress uncovered{}; // the first address not yet in a stretch
    for (;;) {
        while (!open.empty() && items[open.top()].EndIP < pos)
            open.pop();
        if (open.empty()) {
            if (next == count) break;
            pos = items[indexAt(next)].StartIP;
        }
        while (next < count && items[indexAt(next)].StartIP <= pos)
            open.push(indexAt(next++));
        const uint32_t winner = open.top();
        // The winner holds until it ends or the next range starts, whichever comes first.
        TAddress end = items[winner].EndIP;
        if (next < count && items[indexAt(next)].StartIP <= end) end = Prev(items[indexAt(next)].StartIP);
        if (pos != uncovered) put(uncovered, kNoCountryId);
        put(pos, items[winner].CodeId);
        if (IsLast(end)) return;
        pos = Next(end);
        uncovered = pos;
    }
    put(uncovered, kNoCountryId);
}

// read(), retried when interrupted; the byte count, 0 at the end or on an error.
size_t ReadSome(int fd, char* buffer, size_t size) {
    for (;;) {
        const ssize_t count = read(fd, buffer, size);
        if (count >= 0) return static_cast<size_t>(count);
        if (errno != EINTR) return 0;
    }
}

// Calls onLine(line) for each line of the file, read in blocks; lines end at "\n", and a last
// line without one counts.
template <class TOnLine> void ForEachLine(const std::string& fileName, TOnLine onLine) {
    const TUniqueFd fd(open(fileName.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.Valid()) return;
    std::vector<char> buffer(kBlockSize);
    size_t kept = 0; // an unfinished line, moved to the buffer's front
    for (;;) {
        if (kept == buffer.size()) buffer.resize(buffer.size() * 2);
        const size_t count = ReadSome(fd.Get(), buffer.data() + kept, buffer.size() - kept);
        if (count == 0) break;
        const std::string_view text(buffer.data(), kept + count);
        size_t lineStart = 0;
        for (size_t newline; (newline = text.find('\n', lineStart)) != std::string_view::npos; lineStart = newline + 1)
            onLine(text.substr(lineStart, newline - lineStart));
        kept = text.size() - lineStart;
        std::memmove(buffer.data(), buffer.data() + lineStart, kept);
    }
    if (kept > 0) onLine(std::string_view(buffer.data(), kept));
}

// The number of lines of a file, so that a table is allocated once at its full size
// (growing by doubling would hold two copies of a table of hundreds of thousands of rows).
size_t CountLines(const std::string& fileName) {
    const TUniqueFd fd(open(fileName.c_str(), O_RDONLY | O_CLOEXEC));
    size_t lines = 1;
    if (!fd.Valid()) return lines;
    std::vector<char> buffer(kBlockSize);
    while (const size_t count = ReadSome(fd.Get(), buffer.data(), buffer.size())) {
        const char* const end = buffer.data() + count;
        for (const char* p = buffer.data();
             (p = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)))); ++p)
            ++lines;
    }
    return lines;
}

// The fields of a table line "start","end","code","code3","name".
struct TTableLine {
    std::string_view Start;
    std::string_view End;
    std::string_view Code;
    std::string_view NameAndRest; // the name runs up to the first quote, which is there

    std::string_view Name() const { return NameAndRest.substr(0, NameAndRest.find('"')); }
};

// Cuts a line as the line parser cuts it with the format "\"%s\",\"%e\",\"%c\",\"%x\",\"%n\"":
// each separator is the first match after the previous one, text before the first quote and
// after the last one is ignored, and a separator is looked for only while two characters remain.
bool CutTableLine(std::string_view line, TTableLine& fields) {
    // Fields are short: a plain loop finds their quotes faster than memchr.
    const size_t size = line.size();
    const auto quoteFrom = [&](size_t from) {
        while (from < size && line[from] != '"')
            ++from;
        return from;
    };
    if (size < 2) return false;
    size_t p = quoteFrom(0) + 1;
    if (p > size) return false;
    // The fields ending in quote-comma-quote; the third-letter code is not kept.
    std::string_view* const innerFields[] = {&fields.Start, &fields.End, &fields.Code, nullptr};
    for (std::string_view* field : innerFields) {
        if (p + 1 >= size) return false;
        size_t hit = quoteFrom(p);
        while (hit < size && (hit + 3 > size || line[hit + 1] != ',' || line[hit + 2] != '"'))
            hit = quoteFrom(hit + 1);
        if (hit >= size) return false;
        if (field) *field = line.substr(p, hit - p);
        p = hit + 3;
    }
    // The name needs a closing quote somewhere after it; lines mostly end in one.
    if (p + 1 >= size) return false;
    fields.NameAndRest = line.substr(p);
    return fields.NameAndRest.rfind('"') != std::string_view::npos;
}

// TryParseInt64 on the text without surrounding blanks, quicker for the plain numbers of the
// table: up to 18 digits cannot overflow.
bool ParseAddressNumber(std::string_view text, int64_t& value) {
    if (text.empty() || text.size() > 18) return TryParseInt64(TrimView(text), value);
    int64_t number = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return TryParseInt64(TrimView(text), value);
        number = number * 10 + (c - '0');
    }
    value = number;
    return true;
}

// The value of each hex digit, -1 for other characters.
constexpr std::array<int8_t, 256> kHexValues = [] {
    std::array<int8_t, 256> values{};
    values.fill(-1);
    for (int c = 0; c < 10; ++c)
        values['0' + c] = static_cast<int8_t>(c);
    for (int c = 0; c < 6; ++c)
        values['a' + c] = values['A' + c] = static_cast<int8_t>(10 + c);
    return values;
}();

// inet_pton's reading of an IPv6 address written with hex digits and colons only, step by step
// as glibc does it: 1 with the address when it is one, 0 when it is not, -1 when the text holds
// another character (a dotted IPv4 tail, a NUL...), which is left to inet_pton itself.
int ParseHexColonIPv6(std::string_view text, TIPv6Address& address) {
    uint64_t groups[8] = {};
    int filled = 0;
    int gap = -1; // the group where "::" stands
    size_t i = 0;
    const size_t n = text.size();
    if (n == 0) return 0;
    if (text[0] == ':' && (n == 1 || text[1] != ':')) return 0;
    if (text[0] == ':') i = 1;
    int digits = 0;
    uint64_t value = 0;
    while (i < n) {
        const char c = text[i++];
        const int digit = kHexValues[static_cast<unsigned char>(c)];
        if (digit >= 0) {
            if (digits == 4) return 0;
            value = value << 4 | static_cast<uint64_t>(digit);
            ++digits;
            continue;
        }
        if (c != ':') return -1;
        if (digits == 0) {
            if (gap >= 0) return 0;
            gap = filled;
            continue;
        }
        if (i == n || filled == 8) return 0;
        groups[filled++] = value;
        digits = 0;
        value = 0;
    }
    if (digits > 0) {
        if (filled == 8) return 0;
        groups[filled++] = value;
    }
    if (gap >= 0) {
        if (filled == 8) return 0; // "::" must stand for at least one group
        const int zeros = 8 - filled;
        for (int k = filled - 1; k >= gap; --k)
            groups[k + zeros] = groups[k];
        for (int k = gap; k < gap + zeros; ++k)
            groups[k] = 0;
        filled = 8;
    }
    if (filled != 8) return 0;
    address.Hi = groups[0] << 48 | groups[1] << 32 | groups[2] << 16 | groups[3];
    address.Lo = groups[4] << 48 | groups[5] << 32 | groups[6] << 16 | groups[7];
    return 1;
}

// What names a pair of table files as they are now: their paths, sizes and times of change.
std::string TablesKey(const std::string& table, const std::string& table6) {
    std::string key = "quorvel country lookups 1\n";
    for (const std::string* path : {&table, &table6}) {
        struct stat st {};
        key += *path + '\n';
        if (stat(path->c_str(), &st) == 0)
            key += std::to_string(st.st_size) + ' ' + std::to_string(st.st_mtim.tv_sec) + '.' +
                   std::to_string(st.st_mtim.tv_nsec) + '\n';
        else
            key += "missing\n";
    }
    return key;
}

// Reads size bytes; false when the file ends first or cannot be read.
bool ReadFully(int fd, char* out, size_t size) {
    while (size > 0) {
        const size_t count = ReadSome(fd, out, size);
        if (count == 0) return false;
        out += count;
        size -= count;
    }
    return true;
}

// The cache file's numbers and texts, in this machine's byte order: it is made and read here.
struct TCacheWriter {
    std::string Bytes;
    void Number(uint64_t n) { Bytes.append(reinterpret_cast<const char*>(&n), sizeof n); }
    void Text(std::string_view text) {
        Number(text.size());
        Bytes.append(text);
    }
    template <class T> void Array(const std::vector<T>& items) {
        static_assert(std::is_trivially_copyable_v<T>);
        Number(items.size());
        Bytes.append(reinterpret_cast<const char*>(items.data()), items.size() * sizeof(T));
    }
};

// Reads a cache file back in the order it was written, through a small buffer: the large
// arrays go straight into their vectors, as a copy of the whole file would be one more block
// of megabytes for the heap to keep.
class TCacheReader {
public:
    // Anything but a regular file of sensible size reads as empty (a pipe in its place must
    // not hold the run up).
    explicit TCacheReader(const std::string& path) : Fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {
        struct stat st {};
        if (Fd.Valid() && fstat(Fd.Get(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
            st.st_size <= kMaxCacheBytes)
            FileLeft = static_cast<uint64_t>(st.st_size);
    }
    bool Number(uint64_t& n) { return Take(reinterpret_cast<char*>(&n), sizeof n); }
    bool Text(std::string& text) {
        uint64_t size = 0;
        if (!Number(size) || size > Remaining()) return false;
        text.resize(size);
        return Take(text.data(), size);
    }
    template <class T> bool Array(std::vector<T>& items) {
        static_assert(std::is_trivially_copyable_v<T>);
        uint64_t count = 0;
        if (!Number(count) || count > Remaining() / sizeof(T)) return false;
        items.resize(count);
        return Take(reinterpret_cast<char*>(items.data()), count * sizeof(T));
    }
    bool AtEnd() const { return Remaining() == 0; }
    // Whether count items of at least each bytes can still follow.
    bool Holds(uint64_t count, size_t each) const { return count <= Remaining() / each; }

private:
    uint64_t Remaining() const { return FileLeft + (End - At); }
    bool Take(char* out, size_t size) {
        if (size > Remaining()) return false;
        const size_t buffered = std::min(size, End - At);
        std::memcpy(out, Buffer.data() + At, buffered);
        At += buffered;
        out += buffered;
        size -= buffered;
        if (size == 0) return true;
        if (size >= Buffer.size()) {
            FileLeft -= size;
            return ReadFully(Fd.Get(), out, size);
        }
        const size_t fill = static_cast<size_t>(std::min<uint64_t>(Buffer.size(), FileLeft));
        if (!ReadFully(Fd.Get(), Buffer.data(), fill)) return false;
        FileLeft -= fill;
        At = 0;
        End = fill;
        std::memcpy(out, Buffer.data(), size);
        At = size;
        return true;
    }

    static constexpr off_t kMaxCacheBytes = off_t{256} << 20;
    TUniqueFd Fd;
    uint64_t FileLeft = 0; // bytes of the file not read yet
    std::array<char, 64 * 1024> Buffer{};
    size_t At = 0, End = 0; // the bytes read and not taken yet
};

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
    const int quick = ParseHexColonIPv6(text, address);
    if (quick >= 0) return quick == 1;
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
    ProgramTables = false;
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

uint32_t TCountryFinder::ReadCode(std::string_view code, TCodeReader& reader) {
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
    return id;
}

void TCountryFinder::ReadName(uint32_t codeId, std::string_view name, TCodeReader& reader) {
    std::string& slot = Names[CodeIndex(Codes[codeId])];
    if (slot.empty()) slot = UpperCase(name); // the first name read for a code wins
    reader.Named[codeId] = !slot.empty();
}

void TCountryFinder::Load(const std::string& fileName) {
    Clear();
    RangeList.reserve(CountLines(fileName));
    TCodeReader reader;
    TTableLine line;
    ForEachLine(fileName, [&](std::string_view text) {
        if (!CutTableLine(text, line)) return;
        int64_t start = 0;
        int64_t end = 0;
        // An address that is not a number would read as 0 and stretch the range down to 0.
        if (!ParseAddressNumber(line.Start, start) || !ParseAddressNumber(line.End, end)) return;
        const TCountryItem item{static_cast<uint32_t>(start), static_cast<uint32_t>(end), ReadCode(line.Code, reader)};
        if (!reader.Named[item.CodeId]) ReadName(item.CodeId, line.Name(), reader);
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
    RangeList6.reserve(CountLines(fileName));
    TCodeReader reader;
    TTableLine line;
    ForEachLine(fileName, [&](std::string_view text) {
        if (!CutTableLine(text, line)) return;
        TCountryItem6 item;
        if (!ParseIPv6(TrimView(line.Start), item.StartIP) || !ParseIPv6(TrimView(line.End), item.EndIP)) return;
        item.CodeId = ReadCode(line.Code, reader);
        if (!reader.Named[item.CodeId]) ReadName(item.CodeId, line.Name(), reader);
        RangeList6.push_back(item);
    });
    BuildLookup6();
}

void TCountryFinder::LoadProgramTables() {
    const std::string folder = ProgramFolder() + "static/";
    const std::string table = folder + "ip-to-country.csv", table6 = folder + "ip6-to-country.csv";
    // Reading the tables' 30 MB of text takes longer than the shortest runs' analysis: what
    // the lookups need is kept in the cache while the tables stay the same files.
    const std::string cacheFolder = CacheFolder();
    const std::string cache = cacheFolder.empty() ? std::string() : cacheFolder + "country-tables.bin";
    const std::string key = TablesKey(table, table6);
    if (!cache.empty() && ReadCache(cache, key)) {
        ProgramTables = true;
        return;
    }
    Load(table);
    LoadIPv6(table6);
    // Lookups need the stretches alone: the ranges in file order (some 13 MB) are given back.
    std::vector<TCountryItem>().swap(RangeList);
    std::vector<TCountryItem6>().swap(RangeList6);
    ScanFirst.fill(0);
    ScanEnd.fill(0);
    ProgramTables = true;
    if (!cache.empty()) WriteCache(cache, key);
}

void TCountryFinder::WriteCache(const std::string& path, const std::string& key) const {
    TCacheWriter out;
    out.Text(key);
    out.Array(Starts);
    out.Array(StartCodes);
    out.Array(BucketFirst);
    out.Array(Starts6Hi);
    out.Array(StartCodes6Hi);
    out.Array(Starts6Inside);
    out.Array(StartCodes6Inside);
    out.Number(Codes.size());
    for (const std::string& code : Codes)
        out.Text(code);
    out.Number(Names.size());
    for (const auto& [index, name] : Names) {
        out.Number(static_cast<uint32_t>(index));
        out.Text(name);
    }
    ForceFolders(ExtractFilePath(path));
    TReplaceOptions options;
    options.Sync = false; // a cache lost in a crash is made again
    ReplaceFileContents(path, out.Bytes, nullptr, options);
}

bool TCountryFinder::ReadCache(const std::string& path, const std::string& key) {
    Clear();
    TCacheReader in(path);
    std::string storedKey;
    if (!in.Text(storedKey) || storedKey != key) return false;
    std::vector<std::string> codes;
    std::unordered_map<int, std::string> names;
    bool read = in.Array(Starts) && in.Array(StartCodes) && in.Array(BucketFirst) && in.Array(Starts6Hi) &&
                in.Array(StartCodes6Hi) && in.Array(Starts6Inside) && in.Array(StartCodes6Inside);
    uint64_t count = 0;
    read = read && in.Number(count) && count >= 1 && in.Holds(count, sizeof(uint64_t));
    for (uint64_t i = 0; read && i < count; ++i)
        read = in.Text(codes.emplace_back());
    read = read && in.Number(count) && in.Holds(count, 2 * sizeof(uint64_t));
    for (uint64_t i = 0; read && i < count; ++i) {
        uint64_t index = 0;
        read = in.Number(index) && in.Text(names[static_cast<int>(index)]);
    }
    // Every index a lookup takes from the file must stay inside the tables.
    const auto codesOk = [&](const std::vector<uint32_t>& ids, uint32_t mask) {
        return std::all_of(ids.begin(), ids.end(), [&](uint32_t id) { return (id & mask) < codes.size(); });
    };
    const bool sound = read && in.AtEnd() && codes[kNoCountryId] == "-" && !Starts.empty() && Starts[0] == 0 &&
                       StartCodes.size() == Starts.size() && codesOk(StartCodes, ~0u) &&
                       BucketFirst.size() == kBucketCount + 1 &&
                       std::is_sorted(BucketFirst.begin(), BucketFirst.end()) && BucketFirst.back() < Starts.size() &&
                       !Starts6Hi.empty() && Starts6Hi[0] == 0 && StartCodes6Hi.size() == Starts6Hi.size() &&
                       codesOk(StartCodes6Hi, ~kStretchesInside) && StartCodes6Inside.size() == Starts6Inside.size() &&
                       codesOk(StartCodes6Inside, ~0u);
    if (!sound) {
        Clear();
        return false;
    }
    Codes.clear();
    CodeIds.clear();
    for (const std::string& code : codes)
        CodeId(code);
    // A code listed twice would shift the ids the lookups hold.
    if (Codes.size() != codes.size()) {
        Clear();
        return false;
    }
    Names = std::move(names);
    return true;
}

void TCountryFinder::BuildLookup() {
    const auto order = OrderByStart(RangeList);
    size_t count = 0;
    ForEachStretch<uint32_t>(RangeList, order, [&](uint32_t, uint32_t) { ++count; });
    Starts.clear();
    StartCodes.clear();
    Starts.reserve(count);
    StartCodes.reserve(count);
    ForEachStretch<uint32_t>(RangeList, order, [&](uint32_t start, uint32_t code) {
        Starts.push_back(start);
        StartCodes.push_back(code);
    });
    // The stretch holding the bucket's first address; Starts[0] is 0, so there is always one.
    BucketFirst.assign(kBucketCount + 1, 0);
    uint32_t k = 0;
    for (uint32_t b = 0; b < kBucketCount; ++b) {
        while (k + 1 < Starts.size() && Starts[k + 1] <= b << kBucketShift)
            ++k;
        BucketFirst[b] = k;
    }
    BucketFirst[kBucketCount] = static_cast<uint32_t>(Starts.size() - 1);
}

void TCountryFinder::BuildLookup6() {
    const auto order = OrderByStart(RangeList6);
    size_t onBoundary = 0;
    size_t inside = 0;
    ForEachStretch<TIPv6Address>(RangeList6, order,
                                 [&](const TIPv6Address& start, uint32_t) { ++(start.Lo == 0 ? onBoundary : inside); });
    Starts6Hi.clear();
    StartCodes6Hi.clear();
    Starts6Inside.clear();
    StartCodes6Inside.clear();
    Starts6Hi.reserve(onBoundary);
    StartCodes6Hi.reserve(onBoundary);
    Starts6Inside.reserve(inside);
    StartCodes6Inside.reserve(inside);
    ForEachStretch<TIPv6Address>(RangeList6, order, [&](const TIPv6Address& start, uint32_t code) {
        if (start.Lo == 0) {
            Starts6Hi.push_back(start.Hi);
            StartCodes6Hi.push_back(code);
        } else {
            StartCodes6Hi.back() |= kStretchesInside; // the first stretch starts on a boundary
            Starts6Inside.push_back(start);
            StartCodes6Inside.push_back(code);
        }
    });
}

const std::string& TCountryFinder::CountryOf(uint32_t ip) const {
    if (ip == 0) return Codes[kNoCountryId];
    const uint32_t bucket = ip >> kBucketShift;
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
    // The last stretch on a boundary starting at or before the address; the first stretch
    // starts at "::", on a boundary.
    const auto k =
        static_cast<size_t>(std::upper_bound(Starts6Hi.begin(), Starts6Hi.end(), address.Hi) - Starts6Hi.begin() - 1);
    const uint32_t code = StartCodes6Hi[k];
    if (!(code & kStretchesInside)) return Codes[code];
    // A stretch inside the block may start after it and still at or before the address.
    const auto inside = std::upper_bound(Starts6Inside.begin(), Starts6Inside.end(), address);
    if (inside != Starts6Inside.begin() && (inside - 1)->Hi >= Starts6Hi[k])
        return Codes[StartCodes6Inside[static_cast<size_t>(inside - 1 - Starts6Inside.begin())]];
    return Codes[code & ~kStretchesInside];
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
