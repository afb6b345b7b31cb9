// Fuzz target: the input as a DNS cache file and as the IPv4 and IPv6 country tables.
// The cache must survive a save and reload unchanged in size; the country lookups must give
// the same answer as the reference scan in file order.

#include "core/u_countryfinder.h"
#include "sources/BatchLookup.h"
#include "sources/DateTime.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <string_view>

namespace {

// "Today" fixed, so that the day numbers of the seeds stay young enough to load.
class TFixedClock : public TClock {
public:
    TDateTime Now() const override { return 45000.5; }
};

const std::string& Root() {
    static const std::string root = [] {
        static const TFixedClock clock;
        SetClock(&clock);
        char pattern[] = "/tmp/quorvel-fuzz-loaders-XXXXXX";
        return std::string(mkdtemp(pattern) ? pattern : "/tmp") + "/";
    }();
    return root;
}

void NoAnswer(void*, uint32_t, const std::string&) {
}

uint32_t Read32(const uint8_t* data, size_t size, size_t at) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i)
        value = value << 8 | (at + i < size ? data[at + i] : 0);
    return value;
}

void CheckIPv4(const TCountryFinder& finder, uint32_t ip) {
    if (finder.CountryOf(ip) != finder.CountryOfByScan(ip)) __builtin_trap();
}

void CheckIPv6(const TCountryFinder& finder, const TIPv6Address& address) {
    if (finder.CountryOfIPv6(address) != finder.CountryOfIPv6ByScan(address)) __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string file = Root() + "input";
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

    TBatchLookup cache;
    cache.LoadDnsCache(file);
    std::string name;
    cache.LookupAddress(Read32(data, size, 0), false, name, NoAnswer, nullptr);
    cache.LookupName(std::string_view(reinterpret_cast<const char*>(data), std::min<size_t>(size, 24)), false, NoAnswer,
                     nullptr);
    const std::string saved = Root() + "saved";
    if (!cache.SaveDnsCache(saved)) __builtin_trap();
    TBatchLookup reloaded;
    reloaded.LoadDnsCache(saved);
    TBatchLookup again;
    again.LoadDnsCache(saved);
    if (reloaded.DnsEntryCount() != again.DnsEntryCount() || reloaded.DnsEntryCount() > cache.DnsEntryCount())
        __builtin_trap();

    static TCountryFinder finder; // its name table is large; build it once
    finder.Load(file);
    finder.LoadIPv6(file);
    for (size_t at = 0; at < size && at < 64; at += 4)
        CheckIPv4(finder, Read32(data, size, at));
    for (size_t i = 0; i < finder.Ranges().size() && i < 16; ++i) {
        const TCountryItem& item = finder.Ranges()[i];
        for (uint32_t ip : {item.StartIP, item.EndIP, item.StartIP - 1, item.EndIP + 1})
            CheckIPv4(finder, ip);
    }
    for (size_t i = 0; i < finder.Ranges6().size() && i < 16; ++i) {
        const TCountryItem6& item = finder.Ranges6()[i];
        CheckIPv6(finder, item.StartIP);
        CheckIPv6(finder, item.EndIP);
        CheckIPv6(finder, {item.EndIP.Hi, item.EndIP.Lo + 1});
    }
    finder.CountryOfIPv6(std::string_view(reinterpret_cast<const char*>(data), std::min<size_t>(size, 48)));
    finder.CountryName(std::string_view(reinterpret_cast<const char*>(data), std::min<size_t>(size, 2)));
    return 0;
}
