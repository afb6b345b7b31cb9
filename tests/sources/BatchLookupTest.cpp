#include "sources/BatchLookup.h"

#include "sources/CUtils.h"
#include "support/TestFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;
using TAnswer = std::pair<uint32_t, std::string>;

// Answers by the query's text (dotted address, IPv6 text or name); while blocked, every
// query waits until Release.
class TFakeResolver : public TNameResolver {
public:
    explicit TFakeResolver(std::map<std::string, std::string> answers) : Answers(std::move(answers)) {}
    std::string ReverseLookup(uint32_t address) override { return Answer(IntToIP(address)); }
    std::string ReverseLookup6(const std::string& address) override { return Answer(address); }
    uint32_t ForwardLookup(const std::string& name) override { return IPToInt(Answer(name)); }

    void SetBlocked(bool blocked) {
        std::lock_guard lock(Mutex);
        Blocked = blocked;
        Changed.notify_all();
    }
    void WaitForWaiting(int count) {
        std::unique_lock lock(Mutex);
        Changed.wait(lock, [&] { return Calls >= count; });
    }
    int CallCount() {
        std::lock_guard lock(Mutex);
        return Calls;
    }

private:
    std::string Answer(const std::string& query) {
        std::unique_lock lock(Mutex);
        ++Calls;
        Changed.notify_all();
        Changed.wait(lock, [&] { return !Blocked; });
        const auto it = Answers.find(query);
        return it == Answers.end() ? "" : it->second;
    }
    const std::map<std::string, std::string> Answers;
    std::mutex Mutex;
    std::condition_variable Changed;
    bool Blocked = false;
    int Calls = 0;
};

struct TAnswers {
    std::mutex Mutex;
    std::vector<TAnswer> List;
    static void Record(void* context, uint32_t address, const std::string& name) {
        auto* self = static_cast<TAnswers*>(context);
        std::lock_guard lock(self->Mutex);
        self->List.emplace_back(address, name);
    }
    std::vector<TAnswer> Take() {
        std::lock_guard lock(Mutex);
        return std::exchange(List, {});
    }
};

void WaitIdle(TBatchLookup& dns) {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!dns.PollLookups() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(2ms);
    ASSERT_TRUE(dns.PollLookups());
}

std::string Reverse(TBatchLookup& dns, const char* address) {
    std::string name;
    dns.LookupAddress(IPToInt(address), true, name, nullptr, nullptr);
    return name;
}

TBatchLookupLimits Fast(double timeoutSeconds = 5, int maxThreads = 50, int launchDelayMs = 0) {
    return {10, timeoutSeconds, maxThreads, launchDelayMs};
}

const uint32_t kA = IPToInt("1.2.3.4");

TEST(BatchLookupTest, OneLookupPerKeyAndAnswersRegisteredBothWays) {
    auto fake = std::make_shared<TFakeResolver>(
        std::map<std::string, std::string>{{"1.2.3.4", "host.example.net"},
                                           {"129.2.3.4", "high.example.net"}, // the same table key as 1.2.3.4
                                           {"www.example.org", "5.6.7.8"},
                                           {"2001:db8::1", "v6.example.com"}});
    TBatchLookup dns(Fast(), fake);
    TAnswers answers;
    std::string name = "stale";

    fake->SetBlocked(true);
    dns.LookupAddress(kA, true, name, TAnswers::Record, &answers);
    EXPECT_EQ(name, "");
    fake->WaitForWaiting(1);
    // Asked again while under way: answered at once, empty, without a second lookup.
    dns.LookupAddress(kA, true, name, TAnswers::Record, &answers);
    EXPECT_THAT(answers.Take(), ElementsAre(TAnswer{kA, ""}));
    fake->SetBlocked(false);
    WaitIdle(dns);
    EXPECT_THAT(answers.Take(), ElementsAre(TAnswer{kA, "host.example.net"}));

    EXPECT_EQ(Reverse(dns, "129.2.3.4"), "");
    dns.LookupName("www.example.org", true, nullptr, nullptr);
    dns.LookupAddress6("2001:DB8:0::1", true, name, TAnswers::Record, &answers);
    WaitIdle(dns);
    EXPECT_EQ(Reverse(dns, "1.2.3.4"), "host.example.net");
    EXPECT_EQ(Reverse(dns, "129.2.3.4"), "high.example.net");
    EXPECT_EQ(Reverse(dns, "5.6.7.8"), "www.example.org");
    EXPECT_EQ(dns.LookupName("host.example.net", true, TAnswers::Record, &answers), kA);
    dns.LookupAddress6("2001:db8::1", true, name, TAnswers::Record, &answers);
    dns.LookupAddress6("not:an:address", true, name, TAnswers::Record, &answers);
    EXPECT_THAT(answers.Take(), ElementsAre(TAnswer{0, "v6.example.com"}, TAnswer{kA, "host.example.net"},
                                            TAnswer{0, "v6.example.com"}, TAnswer{0, ""}));
    EXPECT_EQ(fake->CallCount(), 4);
}

TEST(BatchLookupTest, FailuresAnswerAtOnceUntilAnotherLookupResolvesTheKey) {
    auto fake = std::make_shared<TFakeResolver>(
        std::map<std::string, std::string>{{"10.0.0.1", "machine"}, {"gw.example.net", "10.0.0.2"}});
    TBatchLookup dns(Fast(), fake);
    TAnswers answers;
    const uint32_t bare = IPToInt("10.0.0.1"), unknown = IPToInt("10.0.0.2");
    std::string name;

    dns.LookupAddress(bare, true, name, TAnswers::Record, &answers);
    dns.LookupAddress(unknown, true, name, TAnswers::Record, &answers);
    dns.LookupName("nowhere.invalid", true, TAnswers::Record, &answers);
    WaitIdle(dns);
    EXPECT_THAT(answers.Take(),
                UnorderedElementsAre(TAnswer{bare, ""}, TAnswer{unknown, ""}, TAnswer{0, "nowhere.invalid"}));
    EXPECT_EQ(dns.FindByAddress(bare)->State, TDNSState::Failed);

    dns.LookupAddress(bare, true, name, TAnswers::Record, &answers);
    dns.LookupName("nowhere.invalid", true, TAnswers::Record, &answers);
    dns.LookupAddress(0, true, name, TAnswers::Record, &answers);
    EXPECT_THAT(answers.Take(), ElementsAre(TAnswer{bare, ""}, TAnswer{0, "nowhere.invalid"}, TAnswer{0, ""}));
    EXPECT_TRUE(dns.PollLookups());
    EXPECT_EQ(fake->CallCount(), 3);

    dns.LookupName("gw.example.net", true, nullptr, nullptr);
    WaitIdle(dns);
    EXPECT_EQ(Reverse(dns, "10.0.0.2"), "gw.example.net");
}

std::atomic<int> gLateCalls{0};

void CountLate(void* context, uint32_t, const std::string&) {
    ++gLateCalls;
    ++*static_cast<int*>(context); // freed memory if called after the time-out
}

TEST(BatchLookupTest, GivenUpWorkersNeverTouchTheirEntryOrCallBack) {
    auto fake = std::make_shared<TFakeResolver>(std::map<std::string, std::string>{{"1.2.3.4", "late.example"}});
    TBatchLookup dns(Fast(0.1), fake);
    std::string name;
    gLateCalls = 0;

    fake->SetBlocked(true);
    auto* visit = new int(0);
    dns.LookupAddress(kA, true, name, CountLate, visit);
    WaitIdle(dns);
    delete visit;
    EXPECT_EQ(dns.FindByAddress(kA)->State, TDNSState::Failed);
    fake->SetBlocked(false);
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (dns.AbandonedCount() > 0 && std::chrono::steady_clock::now() < deadline)
        dns.PollLookups();
    EXPECT_EQ(dns.AbandonedCount(), 0);
    EXPECT_EQ(Reverse(dns, "1.2.3.4"), "");

    // Clearing waits for a worker under way and drops its answer.
    TBatchLookup other(Fast(), fake);
    fake->SetBlocked(true);
    int otherVisit = 0;
    other.LookupAddress(kA, true, name, CountLate, &otherVisit);
    std::thread releaser([&] {
        std::this_thread::sleep_for(50ms);
        fake->SetBlocked(false);
    });
    other.ClearDnsCache();
    releaser.join();
    EXPECT_EQ(other.DnsEntryCount(), 0);
    EXPECT_EQ(gLateCalls, 0);
}

TEST(BatchLookupTest, FullPoolMakesTheNextLaunchWaitForAFreeWorker) {
    auto fake = std::make_shared<TFakeResolver>(std::map<std::string, std::string>{{"10.0.0.1", "a.example"}});
    TBatchLookup dns(Fast(5, 2, 30), fake);
    fake->SetBlocked(true);
    const auto start = std::chrono::steady_clock::now();
    Reverse(dns, "10.0.0.1");
    Reverse(dns, "10.0.0.2");
    EXPECT_GE(std::chrono::steady_clock::now() - start, 60ms); // the pause before each launch
    fake->WaitForWaiting(2);
    std::thread releaser([&] {
        std::this_thread::sleep_for(150ms);
        fake->SetBlocked(false);
    });
    const auto third = std::chrono::steady_clock::now();
    Reverse(dns, "10.0.0.3");
    EXPECT_GE(std::chrono::steady_clock::now() - third, 100ms);
    EXPECT_LE(dns.RunningCount(), 2);
    releaser.join();
    WaitIdle(dns);
    EXPECT_EQ(dns.FindByAddress(IPToInt("10.0.0.1"))->State, TDNSState::Resolved);
}

class TFixedClock : public TClock {
public:
    explicit TFixedClock(TDateTime now) : Value(now) { SetClock(this); }
    ~TFixedClock() override { SetClock(nullptr); }
    TDateTime Now() const override { return Value; }
    TDateTime Value;
};

TEST(BatchLookupTest, CacheFileKeepsFreshResolvedEntriesAndSkipsBadLines) {
    const TFixedClock clock(37319.5); // 4 March 2002, noon
    TTestFolder folder;
    const std::string path = folder.WriteFile("dnscache.dta", "37309;1.2.3.4;ten.example.com\r\n"
                                                              "37308;1.2.3.5;eleven.example.com\r\n"
                                                              "x;1.2.3.6;bad-day.example.com\r\n"
                                                              "37319;2001:DB8::1;v6.example.com\r\n"
                                                              "37319;nowhere;a.example.com\r\n"
                                                              "37319;1.2.3.7;\r\n"
                                                              "garbage\r\n"
                                                              "37320;1.2.3.9;tomorrow.example.com\r\n"
                                                              "3000045000;1.2.3.10;far.example.com\r\n"
                                                              "-9223372036854775808;1.2.3.11;x.example.com\r\n"
                                                              "37318;1.2.3.8;last.example.com");
    auto fake = std::make_shared<TFakeResolver>(std::map<std::string, std::string>{{"9.9.9.9", "new.example.com"}});
    TBatchLookup dns(Fast(), fake);
    dns.LoadDnsCache(folder.Path() + "missing.dta");
    dns.LoadDnsCache(path);
    EXPECT_EQ(dns.DnsEntryCount(), 3);
    EXPECT_EQ(dns.LookupName("last.example.com", false, nullptr, nullptr), IPToInt("1.2.3.8"));

    Reverse(dns, "9.9.9.9");
    Reverse(dns, "9.9.9.8");
    WaitIdle(dns);
    ASSERT_TRUE(dns.SaveDnsCache(path));
    EXPECT_EQ(TTestFolder::ReadFile(path), "37309;1.2.3.4;ten.example.com\r\n"
                                           "37319;2001:db8::1;v6.example.com\r\n"
                                           "37318;1.2.3.8;last.example.com\r\n"
                                           "37319;9.9.9.9;new.example.com\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()), {}), 1); // no temporary left
    EXPECT_FALSE(dns.SaveDnsCache(folder.Path() + "no/such/folder/dnscache.dta"));
}

// The system resolver answers loopback questions from the hosts file, without a network.
TEST(DnsSystemResolverTest, LoopbackAnswersMatchTheHostsFile) {
    std::set<std::string> loopbackNames;
    std::set<uint32_t> localhostAddresses;
    std::ifstream hosts("/etc/hosts");
    for (std::string line; std::getline(hosts, line);) {
        std::istringstream words(line.substr(0, line.find('#')));
        std::string address, word;
        words >> address;
        while (words >> word) {
            if (address == "127.0.0.1") loopbackNames.insert(word);
            if (word == "localhost" && IPToInt(address) != 0) localhostAddresses.insert(IPToInt(address));
        }
    }
    if (loopbackNames.empty() || localhostAddresses.empty()) GTEST_SKIP() << "no loopback lines in /etc/hosts";

    EXPECT_TRUE(loopbackNames.count(SystemNameResolver()->ReverseLookup(IPToInt("127.0.0.1"))));
    TBatchLookup dns(Fast());
    dns.LookupName("localhost", true, nullptr, nullptr);
    WaitIdle(dns);
    EXPECT_TRUE(localhostAddresses.count(dns.LookupName("localhost", false, nullptr, nullptr)));
}

} // namespace
