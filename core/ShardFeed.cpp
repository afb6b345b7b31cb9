#include "core/ShardFeed.h"

#include "core/HashTables.h"
#include "profile/u_qvprofile.h"
#include "sources/W3CFormat.h"

int TShardFeed::BucketOfKey(int hostKey) {
    // The host's string hash, mixed so that its top bits pick the bucket.
    const auto h = static_cast<uint32_t>(hostKey) * 0x9E3779B1u;
    static_assert(kHostBuckets == 64);
    return static_cast<int>(h >> 26);
}

TShardFeed::TShardFeed(TQVProfile& profile, const TLogEntryOptions& options, int workers)
    : Profile(profile), Options(options), Workers(workers),
      // Enough batches that every worker can parse one while the others count.
      Slots(static_cast<size_t>(2 * workers + 2)), Parsers(static_cast<size_t>(workers)), Reader([this] { Read(); }) {
}

TShardFeed::~TShardFeed() {
    Stop();
    Reader.join();
}

void TShardFeed::Stop() {
    {
        std::lock_guard<std::mutex> lock(Mutex);
        Stopping = true;
    }
    Changed.notify_all();
}

void TShardFeed::Read() {
    try {
        TLogFileReader& reader = Profile.LogReader;
        // The parser's format as the directives read so far leave it.
        std::string format = Profile.LogFormat, dateLine;
        bool pendingLine = false; // the reader's current line belongs to the next batch
        for (uint64_t number = 0;; ++number) {
            TSlot& slot = Slots[number % Slots.size()];
            {
                std::unique_lock<std::mutex> lock(Mutex);
                Changed.wait(lock, [&] { return Stopping || slot.State == TState::Free; });
                if (Stopping) return;
                slot.State = TState::Filling;
            }
            TBatch& batch = slot.Batch;
            batch.Text.clear();
            batch.Ends.clear();
            batch.Format = format;
            batch.DateLine = dateLine;
            bool last = false;
            while (batch.Ends.size() < kBatchLines && batch.Text.size() < kBatchBytes) {
                if (!pendingLine && !reader.ReadLine()) {
                    last = true;
                    break;
                }
                pendingLine = false;
                const std::string& line = reader.CurrentLine;
                if (!line.empty() && line[0] == '#') {
                    const bool date = line.compare(0, 5, "#Date") == 0;
                    if (!date && line.compare(0, 7, "#Fields") != 0) continue;
                    // A directive changes the format: the lines after it go into a batch of their own.
                    if (!batch.Ends.empty()) {
                        pendingLine = true;
                        break;
                    }
                    if (date) {
                        dateLine = line;
                        format = kW3CDateFormat;
                    } else {
                        format = W3CFieldsToFormat(line);
                    }
                    batch.Format = format;
                    batch.DateLine = dateLine;
                    continue;
                }
                // Blank lines are not counted as read.
                reader.LinesRead += !line.empty();
                batch.Text += line;
                batch.Ends.push_back(static_cast<uint32_t>(batch.Text.size()));
            }
            batch.ProgressKB = reader.ProgressKB();
            {
                std::lock_guard<std::mutex> lock(Mutex);
                slot.Number = number;
                slot.Pending = Workers;
                slot.State = TState::Read;
                if (last) BatchTotal = number + 1;
            }
            Changed.notify_all();
            if (last) return;
        }
    } catch (...) {
        std::lock_guard<std::mutex> lock(Mutex);
        Failure = std::current_exception();
        Stopping = true;
        Changed.notify_all();
    }
}

void TShardFeed::Parse(TBatch& batch, TParser& state) {
    TCParser& parser = state.Parser;
    if (!state.Set || state.Format != batch.Format || state.DateLine != batch.DateLine) {
        // The parser as the directives before the batch left it.
        if (!batch.DateLine.empty()) {
            parser.SetFormat(kW3CDateFormat);
            parser.SetLine(batch.DateLine);
        }
        parser.SetFormat(batch.Format);
        state.Format = batch.Format;
        state.DateLine = batch.DateLine;
        state.Set = true;
    }
    const size_t lines = batch.Ends.size();
    if (batch.Lines.size() < lines) batch.Lines.resize(lines);
    batch.Buckets.resize(lines);
    batch.Spans.resize(lines);
    batch.Count = 0;
    batch.Unreadable = 0;
    TLogEntryOptions options = Options;
    uint32_t begin = 0;
    for (size_t i = 0; i < lines; ++i) {
        const std::string_view line(batch.Text.data() + begin, batch.Ends[i] - begin);
        begin = batch.Ends[i];
        parser.SetLine(line);
        if (!parser.Valid()) {
            batch.Unreadable += !line.empty();
            continue;
        }
        options.CurrentDate = state.Date.Of(parser);
        TLogEntry& entry = batch.Lines[batch.Count];
        entry.ReleaseLargeText();
        if (!entry.AssignHitFields(parser, options)) {
            ++batch.Unreadable;
            continue;
        }
        // The referrer and agent are read when a line starts a visit: the batch keeps where
        // they lie in its text, as the parser's copy of the line is overwritten (a field is
        // empty or lies in its line).
        const std::string_view copy = parser.Line();
        const auto spanOf = [&](std::string_view field) {
            TBatch::TSpan span;
            span.Length = static_cast<uint32_t>(field.size());
            if (!field.empty())
                span.Begin = static_cast<uint32_t>(line.data() - batch.Text.data() + (field.data() - copy.data()));
            return span;
        };
        batch.Spans[batch.Count] = {spanOf(parser.Field('r')), spanOf(parser.Field('a'))};
        // The shard's open visits are keyed by the same hash.
        entry.HostKey = TStringTableBase::StrHash(entry.Host());
        batch.Buckets[batch.Count++] = static_cast<uint8_t>(BucketOfKey(entry.HostKey));
    }
}

const TShardFeed::TBatch* TShardFeed::Await(uint64_t k, int worker) {
    std::unique_lock<std::mutex> lock(Mutex);
    for (;;) {
        if (Stopping || k >= BatchTotal) return nullptr;
        TSlot& wanted = Slots[k % Slots.size()];
        if (wanted.Number == k && wanted.State == TState::Parsed) return &wanted.Batch;
        // Meanwhile the earliest batch read and not parsed yet is parsed here.
        TSlot* job = nullptr;
        for (TSlot& slot : Slots)
            if (slot.State == TState::Read && (!job || slot.Number < job->Number)) job = &slot;
        if (!job) {
            Changed.wait(lock);
            continue;
        }
        job->State = TState::Parsing;
        lock.unlock();
        try {
            Parse(job->Batch, Parsers[static_cast<size_t>(worker)]);
        } catch (...) {
            lock.lock();
            job->State = TState::Read;
            throw;
        }
        lock.lock();
        job->State = TState::Parsed;
        Changed.notify_all();
    }
}

void TShardFeed::Release(uint64_t k) {
    {
        std::lock_guard<std::mutex> lock(Mutex);
        TSlot& slot = Slots[k % Slots.size()];
        if (--slot.Pending > 0) return;
        Unreadable += slot.Batch.Unreadable;
        slot.State = TState::Free;
    }
    Changed.notify_all();
}

bool TShardFeed::Stopped() {
    std::lock_guard<std::mutex> lock(Mutex);
    return Stopping;
}

int64_t TShardFeed::UnreadableLines() {
    std::lock_guard<std::mutex> lock(Mutex);
    return Unreadable;
}

void TShardFeed::RethrowFailure() {
    std::exception_ptr failure;
    {
        std::lock_guard<std::mutex> lock(Mutex);
        failure = Failure;
    }
    if (failure) std::rethrow_exception(failure);
}
