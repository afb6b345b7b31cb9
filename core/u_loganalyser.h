#pragma once
// The analysis engine of one report job: reads every usable line of the profile's logs,
// builds entries, assigns them to visits, closes ended visits, filters them, counts them
// into the 31 statistics views and keeps the site totals.

#include "core/AgentClassification.h"
#include "core/HashTables.h"
#include "core/LogView.h"
#include "core/PathIndex.h"
#include "core/TextArena.h"
#include "core/ViewKind.h"
#include "core/WebVisit.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <functional>
#include <cstdint>
#include <deque>
#include <exception>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

class TBatchLookup;
class TChunkRing;
class TLogFileReader;
class TCParser;
class TProgress;
class TQVProfile;
class TSEFinder;
class TShardFeed;

class TLogAnalyser {
public:
    // Loads the country table (on a thread of its own) and the search parameters when they
    // are not loaded yet.
    // With the profile's UseDNS, host names and addresses come from resolver (the
    // process-wide one by default).
    explicit TLogAnalyser(TQVProfile& profile, TProgress* progress = nullptr, TBatchLookup* resolver = nullptr);
    ~TLogAnalyser();
    TLogAnalyser(const TLogAnalyser&) = delete;
    TLogAnalyser& operator=(const TLogAnalyser&) = delete;

    // Registers a URL group for a view kind; a second group of the same name is ignored.
    void AddGroup(std::string_view name, std::string_view members, uint8_t groupingType, int kind);
    void AddTrackedURL(std::string_view url);
    bool IsTrackedURL(std::string_view text) const;

    // Analyses every line; true when at least one visit was counted (false after a cancel).
    bool Run();
    void ComputeAverages();
    void Clear();

    // Counting, used by Run's closing passes.
    TLogView* GetView(int kind, std::string_view name, std::string_view subName = {});
    void BuildLists();
    void Sort(int kind, bool descending);
    void SortAll();

    // Reading, valid after BuildLists.
    TLogView* ViewByKey(int kind, std::string_view key);
    int ViewCount(int kind) const;
    TLogView* ViewAt(int kind, int index) const;
    static TDayRecord DayStatsOf(const TLogView& row, int32_t day);
    int DurationBucketCount() const { return kDurationBucketCount; }
    int32_t DurationBucket(int i) const { return i >= 0 && i < kDurationBucketCount ? DurationHistogram[i] : 0; }
    const std::vector<std::unique_ptr<TGroupView>>& GroupsOf(int kind) const { return Groups[kind]; }
    // Hits and visits made so far: what the open visits needed at most.
    size_t PooledHits() const { return std::max(HitsMade, HitPool.Allocated()); }
    size_t PooledVisits() const { return std::max(VisitsMade, VisitStore.size()); }

    TDateTime StartDate = 0;
    TDateTime EndDate = 0;
    int32_t Hits = 0;
    int32_t Visits = 0;
    double AvgHitsPerVisit = 0;
    int32_t AvgVisitSeconds = 0;
    int64_t Bytes = 0;
    int32_t BytesPerVisit = 0;
    int32_t BytesPerHit = 0;
    int32_t DurationHistogram[kDurationBucketCount] = {};
    int64_t TotalDuration = 0;
    int32_t FilteredVisits = 0;
    int32_t FilteredHits = 0;
    // What the run read and left out: log lines read, lines that could not be read (the
    // format did not match, or a field was unusable), lines outside the report's dates, and
    // partial downloads ("206") merged into an earlier hit.
    int64_t LinesRead = 0;
    int64_t LinesUnreadable = 0;
    int64_t LinesOutsideRange = 0;
    int64_t PartialsMerged = 0;
    std::vector<std::string> TrackedURLs; // sorted, letter case ignored
    // Run spreads the analysis over Workers threads (0: one for every CPU the process may
    // use), by host: every report is the same whatever the number. Without
    // ReadOnSecondThread one thread reads, parses and counts alone (the name is older than
    // the workers).
    bool ReadOnSecondThread = true;
    int Workers = 0;
    // The workers read the logs between them, a chunk at a time, and each parses its own
    // hosts' lines of every chunk, so that no parsed line moves between threads. Without it,
    // and always for standard input or with DNS, one thread reads and the workers parse what
    // it read.
    bool EveryWorkerReads = true;
    // The CPUs the process may run on.
    static int AvailableCpus();

private:
    // A shard of a run, one of shards: the analyser of some hosts, counting into its own rows.
    TLogAnalyser(TLogAnalyser& owner, const TSEFinder& finder, int shards);
    // Run's work on several threads: the feed's lines go to the shards by host, and the
    // shards' rows and totals are added up here in shard order.
    bool RunSharded(const TLogEntryOptions& options, int presize);
    // How many of the logs' first lines, and of lines from all over them, fall in each host
    // bucket: the shards' share of the work.
    // The profile's reader is rewound after. Not for standard input.
    std::vector<int64_t> SampleHostBuckets();
    // Run's work when every worker reads: the workers read the profile's logs once between
    // them, and worker w counts the lines of its shard from every chunk. False after a cancel.
    bool RunReadingWorkers(const TLogEntryOptions& options, const std::vector<uint8_t>& shardOf);
    struct TReadCounts {
        int64_t Unusable = 0; // lines of its hosts that do not fit the format or have an unusable field
    };
    void ReadingWorker(TChunkRing& ring, int worker, const std::vector<uint8_t>& shardOf,
                       TLogEntryOptions options, std::atomic<bool>& stop, TReadCounts& counts);
    // Worker w's part: the lines of its shard (the one of the bucket's number in shardOf)
    // from every batch, then its shard's last pass. Only parses when it has no shard.
    void RunWorker(TShardFeed& feed, int worker, const std::vector<uint8_t>& shardOf);
    // The progress once reading has ended: the whole job unless the user cancelled.
    void ShowReadToTheEnd(bool cancelled);
    // The last pass of a run's counting, then the visit pools and path numbering given back.
    void EndCounting();
    // A shard's line: numbered, analysed, and a closing pass when enough visits are open.
    void FeedLine(TLogEntry& line, const TVisitFields& fields);
    // Adds a shard's totals.
    void MergeTotals(const TLogAnalyser& shard);
    // Adds a shard's rows of one kind; the shard keeps the texts the rows now share.
    void MergeRows(int kind, TLogAnalyser& shard);
    // work(kind) for every view kind, on as many threads as the run has workers; the first
    // failure is thrown when all are done.
    void ForEachKind(const std::function<void(int)>& work) const;
    // Counts a parsed line into its visit (unless it lies outside the report's dates).
    // Without fields the line carries its referrer and agent already; with them, they are
    // taken only when the line starts a visit.
    void AnalyseLine(TLogEntry& line, const TVisitFields* fields);
    // Analyses the lines of a one-thread run (TReadLines) until they end; false when the
    // user cancelled first.
    template <class TLines> bool AnalyseLines(TLines& lines);
    // The open visit that accepts the line, or a new one made from it.
    TWebVisit* FindOrCreateVisit(TLogEntry& line, const TVisitFields* fields);
    void InitVisit(TWebVisit& visit, const TLogEntry& entry);
    // What a visit takes from its first hit: referrer, search engine and phrase, browser and system.
    void AssignVisitFacts(TWebVisit& visit, const TLogEntry& entry);
    // Makes two open visits of one host that a line bridges one; returns the one kept.
    TWebVisit* JoinVisits(TWebVisit& earlier, TWebVisit& later, int key);
    // Closes the visits that have ended (all of them when final) and counts what the last
    // pass closed; the visits closed now are counted by CountClosedVisits, at once if final.
    void FlushVisits(bool final);
    // Counts up to n of the closed visits not counted yet and recycles them.
    void CountClosedVisits(size_t n);
    void CountHit(const TWebVisit& visit, const THit& hit);
    // The keys of a closed visit's views with the most rows, hashed two visits before its
    // counting, so that their slots and then their rows are fetched ahead.
    struct TVisitKeys {
        const TWebVisit* Visit = nullptr; // whose keys these are; null once counted
        int Host = 0, Referrer = 0, Domain = 0, Phrase = 0, EnginePhrase = 0;
        void Of(const TWebVisit& visit);
    };
    std::array<TVisitKeys, 4> AheadKeys; // by position in Closing, modulo 4
    void FetchAhead(const TVisitKeys& keys, bool rows) const;
    void CountVisit(const TWebVisit& visit, const TVisitKeys& keys);
    // The row counted, or null for a blank name. key, when not kNoKey, is the key's hash.
    static constexpr int kNoKey = -1;
    TLogView* CountVisitKey(int kind, std::string_view name, std::string_view subName, const TWebVisit& visit,
                            unsigned kept = 0, int key = kNoKey);
    void CountVisitInto(TLogView& row, const TWebVisit& visit);
    void CountHitKey(int kind, std::string_view name, std::string_view subName, const THit& hit, unsigned kept = 0);
    // Counts the hit into row, finding or making the row first when it is not known yet.
    void CountPathRow(TLogView*& row, int kind, std::string_view name, std::string_view subName, const THit& hit,
                      unsigned kept = 0);
    void CountHitInto(TLogView& row, const THit& hit);
    // The row of the key, made when absent; kept tells which texts outlive the run already
    // (kKeptName, kKeptSubName) and need no copy. key, when not kNoKey, is the key's hash.
    TLogView* FindOrAddRow(int kind, std::string_view name, std::string_view subName, unsigned kept, int key = kNoKey);
    // Counts the hits a long visit holds into the hit-level views and gives them back.
    void CountHeldHits(TWebVisit& visit);
    void RecycleVisit(TWebVisit* visit);
    // Notes a visit's times, so that closing passes that cannot close anything are skipped.
    void NoteVisitTimes(const TWebVisit& visit);

    // Resolver answers arrive on the resolver's threads; they are queued and applied to
    // their visits on the analyser's thread before visits are closed, so that no answer
    // writes a visit while the analyser reads it.
    struct TLookupContext {
        TLogAnalyser* Owner;
        TWebVisit* Visit;
    };
    struct TAnswer {
        TWebVisit* Visit;
        uint32_t Address;
        std::string Name;
    };
    static void OnAnswer(void* context, uint32_t address, const std::string& name);
    void RequestHostLookup(TWebVisit& visit);
    // Waits until the country tables are loaded; every country lookup comes after it.
    void AwaitCountryTables();
    // The country of a visitor's IPv4 or IPv6 address, unless the visit has one already.
    void SetAddressCountry(TWebVisit& visit);
    void WaitForLookups();

    TQVProfile& Profile;
    TProgress* Progress;
    TBatchLookup* Resolver;
    std::shared_future<void> CountryTables; // loading, shared with the shards
    TSEFinder* Finder;                      // the process-wide finder, or a shard's copy
    std::unique_ptr<TSEFinder> OwnFinder;
    std::vector<std::unique_ptr<TLogAnalyser>> Shards; // of the last run, kept for their texts
    int FlushAt;                                         // open visits that start a closing pass
    std::deque<TLookupContext> Lookups; // contexts of the lookups asked since the last closing pass
    std::mutex AnswersMutex;
    std::vector<TAnswer> Answers; // guarded by AnswersMutex

    TViewTable Table[kViewKindCount]; // owns the rows
    TTextArena RowTexts;              // the rows' texts that are not kept elsewhere
    std::vector<TLogView*> List[kViewKindCount];
    std::vector<std::unique_ptr<TGroupView>> Groups[kViewKindCount]; // sorted by name

    THashTable<TWebVisit> OpenVisits;
    std::vector<std::unique_ptr<TWebVisit>> VisitStore;
    std::vector<TWebVisit*> FreeVisits;
    std::vector<TWebVisit*> Closing;      // closed by the last pass, in start order
    std::vector<TWebVisit*> JoinedVisits; // joined into others, recycled once no lookup may answer
    size_t ClosedCounted = 0;             // of Closing
    THitPool HitPool;
    size_t HitsMade = 0, VisitsMade = 0; // at most, before the pools were given back

    bool Limited = false; // lines outside FirstDay..LastDay are not counted
    int32_t FirstDay = 0;
    int32_t LastDay = 0;

    uint64_t VisitSerial = 0; // of the last visit begun
    // Long visits are counted in parts unless a filter is to judge their hits when they close.
    bool CountInParts = false;
    TWebVisit* PartVisit = nullptr; // the visit being counted, when it is counted in parts
    int64_t MergedBytes = 0;        // while non-zero, hits are counted as these bytes only
    // What every row of the visit or hit being counted takes alike.
    struct TCounting {
        uint32_t Visit = 0; // TLogView::VisitId
        int32_t VisitDay = 0;
        int32_t HitDay = 0;
    } Counting;
    bool HasLastEntry = false;
    TDateTime LastEntryTime = 0; // latest time of an entry added as a hit: "now" for expiry
    // The earliest LastTime + timeout of the open visits: none closes before "now" passes it.
    TDateTime EarliestExpiry = 0;
    TLogView* LastRow[kViewKindCount] = {}; // the row each kind counted last
    // Rows by path number: those of the views whose key is the path or follows from it.
    // They are given back after the run, before the report needs its memory.
    struct TPathRows {
        TLogView* Page = nullptr;
        TLogView* FileType = nullptr;
        TLogView* Directory = nullptr;
        TLogView* PageStatus = nullptr;  // of the status last counted for the path
        TLogView* OtherStatus = nullptr; // of the status counted before that (200 and 304 alternate)
        TLogView* Entry = nullptr;       // of the visits entering on the path
        TLogView* Exit = nullptr;        // of the visits leaving from it
    };
    // The rows of a numbered path, made empty the first time.
    TPathRows& RowsOfPath(uint32_t pathId) {
        if (pathId >= PathRows.size()) PathRows.resize(pathId + 1);
        return PathRows[pathId];
    }
    // Counts the visit into the entry or exit page row (member) of the page, found by the
    // path's number when it has one.
    void CountPagePathKey(uint32_t pathId, TLogView* TPathRows::*member, int kind, std::string_view page, bool kept,
                          const TWebVisit& visit);
    TPathIndex PathIds;
    std::vector<TPathRows> PathRows;
    std::string Scratch;
    std::string Navigation;
    // Searched with a std::string_view, without making a string.
    struct TTextHash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
    };
    std::unordered_map<std::string, TAgentClass, TTextHash, std::equal_to<>> AgentClasses; // by agent text
};
