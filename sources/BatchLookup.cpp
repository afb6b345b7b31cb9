#include "sources/BatchLookup.h"

#include "core/CParser.h"
#include "sources/CUtils.h"
#include "sources/FileUtils.h"
#include "sources/SpecialFolders.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <mutex>
#include <system_error>

// What a worker and the resolver share. The request is fixed before the thread starts; the
// answer is written, and the callback called, under Mutex and only while not Abandoned.
struct TDNSLookupJob {
    uint32_t Address = 0;
    std::string Address6;
    std::string Name;
    TDNSCallback Callback = nullptr;
    void* Context = nullptr;

    std::mutex Mutex;
    bool Abandoned = false;
    bool Finished = false;
    TDNSState State = TDNSState::Failed;
    uint32_t AnswerAddress = 0;
    std::string AnswerName;
    TDateTime LookupTime = 0;
};

namespace {

constexpr int kFullPoolPollMs = 10;

int64_t TickMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int KeyOf(uint32_t address) {
    return static_cast<int>(address & 0x7FFFFFFFu);
}

// The inet_ntop form of an IPv6 address text ("2001:DB8:0::1" -> "2001:db8::1"); "" when invalid.
std::string CanonicalIPv6(std::string_view text) {
    const std::string copy(text);
    in6_addr addr{};
    if (inet_pton(AF_INET6, copy.c_str(), &addr) != 1) return {};
    char buffer[INET6_ADDRSTRLEN];
    return inet_ntop(AF_INET6, &addr, buffer, sizeof buffer) ? buffer : "";
}

// A reverse answer counts only as a dotted name without control characters.
bool IsUsableHostName(const std::string& name) {
    if (name.find('.') == std::string::npos) return false;
    return std::none_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 32; });
}

std::string NameOf(const sockaddr* addr, socklen_t length) {
    char host[NI_MAXHOST];
    if (getnameinfo(addr, length, host, sizeof host, nullptr, 0, NI_NAMEREQD) != 0) return {};
    return host;
}

class TSystemNameResolver : public TNameResolver {
public:
    std::string ReverseLookup(uint32_t address) override {
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        if (inet_pton(AF_INET, IntToIP(address).c_str(), &sa.sin_addr) != 1) return {};
        return NameOf(reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    }
    std::string ReverseLookup6(const std::string& address) override {
        sockaddr_in6 sa{};
        sa.sin6_family = AF_INET6;
        if (inet_pton(AF_INET6, address.c_str(), &sa.sin6_addr) != 1) return {};
        return NameOf(reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    }
    uint32_t ForwardLookup(const std::string& name) override {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* list = nullptr;
        if (getaddrinfo(name.c_str(), nullptr, &hints, &list) != 0 || !list) return 0;
        std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owner(list, freeaddrinfo);
        char dotted[INET_ADDRSTRLEN];
        const auto* sa = reinterpret_cast<const sockaddr_in*>(list->ai_addr);
        if (!inet_ntop(AF_INET, &sa->sin_addr, dotted, sizeof dotted)) return 0;
        return IPToInt(dotted);
    }
};

// The worker: one query, then the answer and the callback unless the job was given up.
void RunLookup(std::shared_ptr<TDNSLookupJob> job, std::shared_ptr<TNameResolver> resolver) {
    TDNSState state = TDNSState::Failed;
    uint32_t address = job->Address;
    std::string name = job->Name;
    try {
        if (!job->Name.empty()) {
            address = resolver->ForwardLookup(job->Name);
            if (address != 0) state = TDNSState::Resolved;
        } else if (!job->Address6.empty() || job->Address != 0) {
            name =
                job->Address6.empty() ? resolver->ReverseLookup(job->Address) : resolver->ReverseLookup6(job->Address6);
            if (IsUsableHostName(name))
                state = TDNSState::Resolved;
            else
                name.clear();
        }
    } catch (...) {
        state = TDNSState::Failed;
        address = job->Name.empty() ? job->Address : 0;
        name = job->Name;
    }
    const TDateTime now = Now();
    std::lock_guard lock(job->Mutex);
    if (!job->Abandoned) {
        job->State = state;
        job->AnswerAddress = address;
        job->AnswerName = name;
        job->LookupTime = now;
        if (job->Callback) {
            try {
                job->Callback(job->Context, address, name);
            } catch (...) {
                // An error of the receiver must not end the process from this thread.
            }
        }
    }
    job->Finished = true;
}

} // namespace

std::shared_ptr<TNameResolver> SystemNameResolver() {
    static const std::shared_ptr<TNameResolver> resolver = std::make_shared<TSystemNameResolver>();
    return resolver;
}

TBatchLookup::TBatchLookup(const TBatchLookupLimits& limits, std::shared_ptr<TNameResolver> resolver)
    : MaxAgeDays(limits.MaxAgeDays), TimeoutSeconds(limits.TimeoutSeconds), MaxThreads(std::max(1, limits.MaxThreads)),
      LaunchDelayMs(std::max(0, limits.LaunchDelayMs)) {
    SetResolver(std::move(resolver));
}

TBatchLookup::~TBatchLookup() {
    ClearDnsCache();
}

void TBatchLookup::SetResolver(std::shared_ptr<TNameResolver> resolver) {
    Resolver = resolver ? std::move(resolver) : SystemNameResolver();
}

void TBatchLookup::LookupAddress(uint32_t address, bool start, std::string& name, TDNSCallback callback,
                                 void* context) {
    name.clear();
    if (address == 0) {
        if (callback) callback(context, 0, name);
        return;
    }
    TDNSInfo* entry = FindEntryByAddress(address);
    if (!entry) {
        if (start) StartLookup(address, {}, {}, callback, context);
        return;
    }
    // A worker that has just finished may hold the answer already.
    if (entry->State == TDNSState::Pending) PollLookups();
    if (entry->State == TDNSState::Resolved) name = entry->HostName;
    if (callback) callback(context, address, name);
}

void TBatchLookup::LookupAddress6(std::string_view address, bool start, std::string& name, TDNSCallback callback,
                                  void* context) {
    name.clear();
    const std::string key = CanonicalIPv6(address);
    TDNSInfo* entry = key.empty() ? nullptr : ByAddress6.Value(key);
    if (!entry && !key.empty()) {
        if (start) StartLookup(0, key, {}, callback, context);
        return;
    }
    if (entry && entry->State == TDNSState::Pending) PollLookups();
    if (entry && entry->State == TDNSState::Resolved) name = entry->HostName;
    if (callback) callback(context, 0, name);
}

uint32_t TBatchLookup::LookupName(std::string_view name, bool start, TDNSCallback callback, void* context) {
    TDNSInfo* entry = name.empty() ? nullptr : ByName.Value(name);
    if (!entry && !name.empty()) {
        if (start) StartLookup(0, {}, name, callback, context);
        return 0;
    }
    if (entry && entry->State == TDNSState::Pending) PollLookups();
    const uint32_t result = entry && entry->State == TDNSState::Resolved ? entry->Address : 0;
    if (callback) callback(context, result, entry ? entry->HostName : std::string());
    return result;
}

void TBatchLookup::StartLookup(uint32_t address, const std::string& address6, std::string_view name,
                               TDNSCallback callback, void* context) {
    if (LaunchDelayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(LaunchDelayMs));
    while (static_cast<int>(Running.size()) >= MaxThreads) {
        PollLookups();
        if (static_cast<int>(Running.size()) >= MaxThreads)
            std::this_thread::sleep_for(std::chrono::milliseconds(kFullPoolPollMs));
    }
    TDNSInfo* entry = address6.empty() ? NewDnsInfo(address, name, TDNSState::Pending)
                                       : NewDnsInfo6(address6, {}, TDNSState::Pending);
    auto job = std::make_shared<TDNSLookupJob>();
    job->Address = address;
    job->Address6 = address6;
    job->Name.assign(name);
    job->Callback = callback;
    job->Context = context;
    try {
        std::thread thread(RunLookup, job, Resolver);
        Running.push_back(TDNSLookupThread{entry, std::move(job), std::move(thread), TickMs()});
    } catch (const std::system_error&) {
        entry->State = TDNSState::Failed; // no thread to be had: the lookup fails like any other
    }
}

bool TBatchLookup::PollLookups() {
    const int64_t now = TickMs();
    const double timeoutMs = TimeoutSeconds * 1000.0;
    std::vector<TDNSLookupThread> stillRunning;
    for (TDNSLookupThread& worker : Running) {
        TDNSInfo* entry = worker.Entry;
        bool finished = false;
        bool givenUp = false;
        {
            TDNSLookupJob& job = *worker.Job;
            std::lock_guard lock(job.Mutex);
            finished = job.Finished;
            if (finished) {
                entry->State = job.State;
                entry->Address = job.AnswerAddress;
                entry->HostName = job.AnswerName;
                entry->LookupTime = job.LookupTime;
            } else if (static_cast<double>(now - worker.StartTick) > timeoutMs) {
                job.Abandoned = true;
                givenUp = true;
                entry->State = TDNSState::Failed;
            }
        }
        if (finished)
            worker.Thread.join();
        else if (givenUp)
            Abandoned.push_back(TAbandonedThread{std::move(worker.Job), std::move(worker.Thread)});
        else
            stillRunning.push_back(std::move(worker));
        if (entry->State == TDNSState::Resolved && entry->Address6.empty()) {
            // Registers the name of a reverse lookup and the address of a forward one.
            CacheByName(entry);
            CacheByAddress(entry);
        }
    }
    Running = std::move(stillRunning);
    JoinAbandoned(false);
    return Running.empty();
}

void TBatchLookup::JoinAbandoned(bool all) {
    std::vector<TAbandonedThread> waiting;
    for (TAbandonedThread& worker : Abandoned) {
        bool finished = all;
        if (!finished) {
            std::lock_guard lock(worker.Job->Mutex);
            finished = worker.Job->Finished;
        }
        if (finished)
            worker.Thread.join();
        else
            waiting.push_back(std::move(worker));
    }
    Abandoned = std::move(waiting);
}

TDNSInfo* TBatchLookup::NewDnsInfo(uint32_t address, std::string_view name, TDNSState state) {
    TDNSInfo& entry = Entries.emplace_back();
    entry.State = state;
    entry.HostName.assign(name);
    entry.Address = address;
    if (address != 0) CacheByAddress(&entry);
    if (!name.empty()) CacheByName(&entry);
    return &entry;
}

// IPv6 entries are found by their address text only: their names have no IPv4 address
// that a forward question could be answered with.
TDNSInfo* TBatchLookup::NewDnsInfo6(const std::string& address6, std::string_view name, TDNSState state) {
    TDNSInfo& entry = Entries.emplace_back();
    entry.State = state;
    entry.HostName.assign(name);
    entry.Address6 = address6;
    CacheByAddress6(&entry);
    return &entry;
}

namespace {

// A resolved answer replaces a failed one kept under the same key.
void TakeAnswer(TDNSInfo* existing, const TDNSInfo* entry) {
    if (existing == entry || existing->State != TDNSState::Failed || entry->State == TDNSState::Failed) return;
    existing->Address = entry->Address;
    existing->HostName = entry->HostName;
    existing->State = entry->State;
    existing->LookupTime = entry->LookupTime;
}

} // namespace

void TBatchLookup::CacheByAddress(TDNSInfo* entry) {
    if (entry->Address == 0) return;
    if (TDNSInfo* existing = FindEntryByAddress(entry->Address))
        TakeAnswer(existing, entry);
    else
        ByAddress.Insert(KeyOf(entry->Address), entry);
}

void TBatchLookup::CacheByName(TDNSInfo* entry) {
    if (entry->HostName.empty()) return;
    if (TDNSInfo* existing = ByName.Value(entry->HostName))
        TakeAnswer(existing, entry);
    else
        ByName.Add(entry->HostName, entry);
}

void TBatchLookup::CacheByAddress6(TDNSInfo* entry) {
    if (TDNSInfo* existing = ByAddress6.Value(entry->Address6))
        TakeAnswer(existing, entry);
    else
        ByAddress6.Add(entry->Address6, entry);
}

TDNSInfo* TBatchLookup::FindEntryByAddress(uint32_t address) {
    const int key = KeyOf(address);
    for (TDNSInfo* entry = ByAddress.Find(key); entry; entry = ByAddress.FindNext(key))
        if (entry->Address == address) return entry;
    return nullptr;
}

const TDNSInfo* TBatchLookup::FindByAddress6(std::string_view address) {
    const std::string key = CanonicalIPv6(address);
    return key.empty() ? nullptr : ByAddress6.Value(key);
}

void TBatchLookup::LoadDnsCache(const std::string& path) {
    if (!FileExists(path)) return;
    std::ifstream in(path, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    TCParser parser;
    parser.SetFormat("%t;%i;%h");
    const int64_t today = DayNumber(Today());
    size_t from = 0;
    while (from < text.size()) {
        size_t end = text.find('\n', from);
        if (end == std::string::npos) end = text.size();
        std::string_view line(text.data() + from, end - from);
        from = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        parser.SetLine(line);
        if (!parser.Valid()) continue;
        const std::string_view day = parser.Field('t');
        const std::string_view address = parser.Field('i');
        // Without a name after the second ";" the parser would keep the previous line's.
        if (line.size() <= day.size() + address.size() + 2) continue;
        const std::string_view name = parser.Field('h');
        int64_t dayNumber = 0;
        if (!TryParseInt64(TrimView(day), dayNumber)) continue;
        // A day after today is no lookup made so far, and would never grow old.
        if (dayNumber > today || dayNumber < today - MaxAgeDays) continue;
        TDNSInfo* entry = nullptr;
        if (const uint32_t ip = IPToInt(address); ip != 0) {
            entry = NewDnsInfo(ip, name, TDNSState::Resolved);
        } else if (const std::string ip6 = CanonicalIPv6(address); !ip6.empty()) {
            entry = NewDnsInfo6(ip6, name, TDNSState::Resolved);
        } else {
            continue;
        }
        entry->LookupTime = static_cast<TDateTime>(dayNumber);
    }
}

bool TBatchLookup::SaveDnsCache(const std::string& path) const {
    std::string text;
    for (const TDNSInfo& entry : Entries) {
        if (entry.State != TDNSState::Resolved || entry.HostName.empty()) continue;
        if (entry.HostName.find_first_of("\r\n") != std::string::npos) continue; // would break the line format
        text += std::to_string(DayNumber(entry.LookupTime));
        text += ';';
        text += entry.Address6.empty() ? IntToIP(entry.Address) : entry.Address6;
        text += ';';
        text += entry.HostName;
        text += "\r\n";
    }
    return ReplaceFileContents(path, text);
}

void TBatchLookup::ClearDnsCache() {
    // Every worker is given up first, so none calls back while the others are awaited.
    for (TDNSLookupThread& worker : Running) {
        std::lock_guard lock(worker.Job->Mutex);
        worker.Job->Abandoned = true;
    }
    for (TDNSLookupThread& worker : Running)
        worker.Thread.join();
    Running.clear();
    JoinAbandoned(true);
    ByAddress.Clear();
    ByName.Clear();
    ByAddress6.Clear();
    Entries.clear();
}

TBatchLookup& BatchLookup() {
    static TBatchLookup instance;
    return instance;
}

std::string DnsCacheFileName() {
    return DataFolder() + "dnscache.dta";
}
