#pragma once
// The profile's log lines read on a thread of their own and parsed by the analysis workers,
// a batch at a time. Each parsed line carries the bucket its host belongs to, so that every
// worker can take the lines of its own hosts from each batch in log order.
// While a feed runs, its reading thread alone touches the profile's log reader. Runs read
// this way when the logs can be read once only (standard input) or one shard counts (DNS);
// otherwise the workers read the logs between them (TChunkRing).

#include "core/CParser.h"
#include "core/HashTables.h"
#include "core/LogEntry.h"

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

class TQVProfile;

class TShardFeed {
public:
    // Hosts are spread over this many buckets; an analysis deals the buckets out to as many
    // shards as it has workers, at most this many.
    static constexpr int kHostBuckets = 64;
    // The bucket of a host: all its lines go to the one shard that holds the bucket.
    static int BucketOf(std::string_view host) { return BucketOfKey(TStringTableBase::StrHash(host)); }
    // The same from the host's StrHash.
    static int BucketOfKey(int hostKey);

    struct TBatch {
        // The reading thread's part: the lines as read, and the parser's format at the first
        // one (W3C directives change it between batches, never within one).
        std::string Text;
        std::vector<uint32_t> Ends; // line i is Text[Ends[i - 1], Ends[i])
        std::string Format;
        std::string DateLine; // the last "#Date" directive before the batch, if any
        int64_t ProgressKB = 0;
        // The parsing worker's part: the valid lines (without referrer and agent), their
        // hosts' buckets and where their referrers and agents lie.
        std::vector<TLogEntry> Lines;
        std::vector<uint8_t> Buckets;
        size_t Count = 0;
        int64_t Unreadable = 0; // lines the format did not fit, or with an unusable field

        // Valid line i's referrer and agent, as the parser cut them.
        TVisitFields VisitFieldsOf(size_t i) const {
            const TFieldSpans& spans = Spans[i];
            return {spans.Referrer.In(Text), spans.Agent.In(Text)};
        }

        // A field of a line, in Text.
        struct TSpan {
            uint32_t Begin = 0;
            uint32_t Length = 0;
            std::string_view In(const std::string& text) const { return std::string_view(text).substr(Begin, Length); }
        };
        struct TFieldSpans {
            TSpan Referrer, Agent;
        };
        std::vector<TFieldSpans> Spans;
    };

    // Starts reading the profile's opened log files at once, for workers 0 .. workers - 1.
    TShardFeed(TQVProfile& profile, const TLogEntryOptions& options, int workers);
    // Stops the reading thread and waits for it.
    ~TShardFeed();
    TShardFeed(const TShardFeed&) = delete;
    TShardFeed& operator=(const TShardFeed&) = delete;

    // Batch number k (from 0, each worker asks for every batch in turn), parsed; meanwhile the
    // worker parses other batches read. nullptr after the last batch and once stopped.
    const TBatch* Await(uint64_t k, int worker);
    // The worker is done with batch k; once every worker is, its slot is read into again.
    void Release(uint64_t k);
    // Ends the feed early (a cancel, a worker's failure): Await returns nullptr from now on.
    void Stop();
    // Whether the feed was stopped before its last batch.
    bool Stopped();
    // Lines read that could not be used; complete once every batch was released.
    int64_t UnreadableLines();
    // Rethrows what ended the reading thread early, if anything did.
    void RethrowFailure();

private:
    enum class TState : uint8_t { Free, Filling, Read, Parsing, Parsed };
    struct TSlot {
        TBatch Batch;
        TState State = TState::Free;
        uint64_t Number = 0;
        int Pending = 0; // workers that have not released it yet
    };
    // A worker's parser and date cache, kept from batch to batch.
    struct TParser {
        TCParser Parser;
        std::string Format;
        std::string DateLine;
        bool Set = false;
        TLineDate Date;
    };
    static constexpr size_t kBatchLines = 1024;
    static constexpr size_t kBatchBytes = 1 << 19;

    void Read();
    void Parse(TBatch& batch, TParser& parser);

    TQVProfile& Profile;
    const TLogEntryOptions Options;
    const int Workers;
    std::vector<TSlot> Slots;
    std::vector<TParser> Parsers; // one per worker

    std::mutex Mutex;
    std::condition_variable Changed;
    uint64_t BatchTotal = UINT64_MAX; // batches there are, once the reader has read the last
    bool Stopping = false;
    std::exception_ptr Failure;
    int64_t Unreadable = 0; // of the released batches (guarded)

    std::thread Reader;
};
