#pragma once
// The resolver behind UseDNS: host names of visitor addresses and addresses of host names,
// each looked up on a worker thread of its own, answered from an in-memory cache when asked
// again, with the successful answers of the last days kept in the cache file "dnscache.dta".

#include "core/HashTables.h"
#include "sources/DateTime.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// Delivers an answer: (context, address, host name). Runs on the caller's thread for answers
// already known, on a worker thread otherwise. It must return promptly and must not call the
// resolver; an address or name it did not get is 0 or "".
using TDNSCallback = void (*)(void* context, uint32_t address, const std::string& hostName);

enum class TDNSState : uint8_t { Pending = 0, Failed = 1, Resolved = 2 };

// One address or name asked about.
struct TDNSInfo {
    TDNSState State = TDNSState::Pending;
    std::string HostName; // for a forward lookup the name asked about
    uint32_t Address = 0; // a.b.c.d as a*2^24 + b*2^16 + c*2^8 + d; 0 = none
    TDateTime LookupTime = 0;
    std::string Address6; // canonical IPv6 text of a reverse IPv6 lookup, else empty
};

// The blocking name service the workers call; several workers call it at once.
class TNameResolver {
public:
    virtual ~TNameResolver() = default;
    // The host name of an IPv4 address; "" when it has none or on any error.
    virtual std::string ReverseLookup(uint32_t address) = 0;
    // The host name of an IPv6 address text; "" when it has none or on any error.
    virtual std::string ReverseLookup6(const std::string& address) = 0;
    // The first IPv4 address of a host name; 0 when it does not resolve.
    virtual uint32_t ForwardLookup(const std::string& name) = 0;
};

// The system's resolver (getnameinfo and getaddrinfo: hosts file, then DNS).
std::shared_ptr<TNameResolver> SystemNameResolver();

struct TBatchLookupLimits {
    int MaxAgeDays = 10;        // older cache-file lines are not loaded
    double TimeoutSeconds = 10; // a worker running longer is given up
    int MaxThreads = 50;        // workers in flight at most
    int LaunchDelayMs = 100;    // pause before every launch
};

struct TDNSLookupJob;

// Not thread-safe: one thread at a time asks, polls, loads, saves and clears; only the
// callbacks run elsewhere. A worker given up after its time-out never touches its entry
// and never calls its callback; it is joined at the next poll after it returns, at
// ClearDnsCache or at destruction.
class TBatchLookup {
public:
    explicit TBatchLookup(const TBatchLookupLimits& limits = {}, std::shared_ptr<TNameResolver> resolver = nullptr);
    ~TBatchLookup();
    TBatchLookup(const TBatchLookup&) = delete;
    TBatchLookup& operator=(const TBatchLookup&) = delete;

    // Replaces the name service for later lookups; nullptr restores the system's.
    void SetResolver(std::shared_ptr<TNameResolver> resolver);

    // Reverse lookup. A known address sets name (empty unless resolved) and calls the
    // callback at once; an unknown one sets name to "" and, with start, launches a lookup
    // whose callback comes later. Address 0 is answered at once with "".
    void LookupAddress(uint32_t address, bool start, std::string& name, TDNSCallback callback, void* context);
    // The same for an IPv6 address text; the callback gets address 0. Text that is not an
    // IPv6 address is answered at once with "".
    void LookupAddress6(std::string_view address, bool start, std::string& name, TDNSCallback callback, void* context);
    // Forward lookup: the address of a known name (0 unless resolved), with the callback
    // called at once; 0 for an unknown name, whose lookup (with start) answers later.
    uint32_t LookupName(std::string_view name, bool start, TDNSCallback callback, void* context);
    // Reaps finished workers, gives up timed-out ones (their entries fail); true when no
    // worker is left running.
    bool PollLookups();

    // Adds the entries of a cache file that are at most MaxAgeDays old; a missing file
    // or a line that does not fit is skipped.
    void LoadDnsCache(const std::string& path);
    // Writes every resolved entry as "day;address;name" CR LF, replacing the file through
    // a temporary file; false when it could not be written (the old file stays).
    bool SaveDnsCache(const std::string& path) const;
    // Gives up and joins every worker, then drops every entry.
    void ClearDnsCache();
    int DnsEntryCount() const { return static_cast<int>(Entries.size()); }

    // Cached entries, for inspection; null when unknown.
    const TDNSInfo* FindByAddress(uint32_t address) { return FindEntryByAddress(address); }
    const TDNSInfo* FindByName(std::string_view name) { return ByName.Value(name); }
    const TDNSInfo* FindByAddress6(std::string_view address);
    int RunningCount() const { return static_cast<int>(Running.size()); }
    // Workers given up that have not returned yet.
    int AbandonedCount() const { return static_cast<int>(Abandoned.size()); }

    const int MaxAgeDays;
    const double TimeoutSeconds;
    const int MaxThreads;
    const int LaunchDelayMs;

private:
    struct TDNSLookupThread {
        TDNSInfo* Entry; // not owned
        std::shared_ptr<TDNSLookupJob> Job;
        std::thread Thread;
        int64_t StartTick; // steady-clock milliseconds at launch
    };
    struct TAbandonedThread {
        std::shared_ptr<TDNSLookupJob> Job;
        std::thread Thread;
    };

    void StartLookup(uint32_t address, const std::string& address6, std::string_view name, TDNSCallback callback,
                     void* context);
    TDNSInfo* NewDnsInfo(uint32_t address, std::string_view name, TDNSState state);
    TDNSInfo* NewDnsInfo6(const std::string& address6, std::string_view name, TDNSState state);
    void CacheByAddress(TDNSInfo* entry);
    void CacheByName(TDNSInfo* entry);
    void CacheByAddress6(TDNSInfo* entry);
    TDNSInfo* FindEntryByAddress(uint32_t address);
    void JoinAbandoned(bool all);

    THashTable<TDNSInfo> ByAddress; // keyed by Address with bit 31 cleared; walk to the match
    TStringTable<TDNSInfo> ByName;
    TStringTable<TDNSInfo> ByAddress6;
    std::vector<TDNSLookupThread> Running;
    std::vector<TAbandonedThread> Abandoned;
    std::deque<TDNSInfo> Entries; // every entry since the last clear; stable addresses
    std::shared_ptr<TNameResolver> Resolver;
};

// The process-wide resolver.
TBatchLookup& BatchLookup();
// DataFolder() + "dnscache.dta".
std::string DnsCacheFileName();
