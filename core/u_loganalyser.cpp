#include "core/u_loganalyser.h"

#include "core/AgentClassification.h"
#include "core/AgentRules.h"
#include "core/ChunkRing.h"
#include "core/CParser.h"
#include "core/Progress.h"
#include "core/ShardFeed.h"
#include "core/u_countryfinder.h"
#include "core/u_qvprofile_filter.h"
#include "core/u_searchenginefinder.h"
#include "sources/BatchLookup.h"
#include "profile/u_qvprofile.h"
#include "sources/CUtils.h"
#include "sources/FileUtils.h"
#include "sources/LogReader.h"
#include "sources/SpecialFolders.h"
#include "sources/W3CFormat.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <functional>
#include <numeric>
#include <mutex>
#include <thread>

namespace {

constexpr int kFlushThreshold = 20000;
// A visit holding this many hits counts them and gives them back (unless filtered).
constexpr size_t kHeldHits = 128;
// Which texts of a row outlive the run already.
constexpr unsigned kKeptName = 1, kKeptSubName = 2;
constexpr int kOpenVisitCapacity = 80000;
constexpr size_t kMaxKnownAgents = 20000;
// Closed visits counted at a time while no line is ready (a stretch of unusable lines).
constexpr size_t kCountWhileWaiting = 16;
// Pre-sizing stops here: one slot per kilobyte would cost gigabytes for logs of many gigabytes,
// and tables that need more grow by doubling.
constexpr int kMaxPresize = 1 << 18;
// The lines whose hosts decide how the host buckets are dealt out to the shards: the logs'
// first lines, and pieces from all over them, as hosts come and go over a long log.
constexpr int kSampledLines = 30000;
constexpr int kSampledPieces = 64;
constexpr size_t kSampledPieceBytes = 64 * 1024;

void AppendTwoDigits(std::string& out, int value) {
    out += static_cast<char>('0' + value / 10 % 10);
    out += static_cast<char>('0' + value % 10);
}

// The country of a host name without DNS: its top-level domain, at most three letters.
std::string CountryOfName(std::string_view host) {
    const size_t dot = host.rfind('.');
    std::string tld = UpperCase(host.substr(dot == std::string_view::npos ? 0 : dot + 1, 3));
    if (tld == "COM" || tld == "NET") tld = "US";
    return tld;
}

// The lines of a run, read and parsed on the counting thread, one at a time into one entry.
// A line that does not parse comes back not Valid; referrer and agent are parsed only for the
// first line of a visit.
class TReadLines {
public:
    // Nothing runs beside the counting: the closed visits are counted right after each pass.
    static constexpr bool kCountsAtOnce = true;

    TReadLines(TQVProfile& profile, const TLogEntryOptions& options, TPathIndex& paths)
        : Profile(profile), Options(options), Paths(paths) {}
    // nullptr at the end, and after a long stretch of unusable lines (not Finished then).
    TLogEntry* Next(bool) {
        size_t budget = kLinesPerCall;
        if (!Profile.NextLogEntry(&budget)) {
            Ended = budget > 0;
            return nullptr;
        }
        Options.CurrentDate = Profile.CurrentDate;
        if (Line.AssignHitFields(Profile.LineParser, Options)) {
            std::string_view kept;
            Line.PathId = Paths.IdOf(Line.Path(), kept);
            Line.KeptPath = kept.data();
        } else {
            ++Unusable;
        }
        return &Line;
    }
    bool Finished() const { return Ended; }
    static bool Usable(const TLogEntry& line) { return line.Valid; }
    const TCParser* Parser() const { return &Profile.LineParser; }
    int64_t ProgressKB() const { return Profile.LogReader.ProgressKB(); }
    int64_t UnusableLines() const { return Unusable; }

private:
    TQVProfile& Profile;
    TLogEntryOptions Options;
    TPathIndex& Paths;
    static constexpr size_t kLinesPerCall = 8192;
    TLogEntry Line;
    bool Ended = false;
    int64_t Unusable = 0;
};

// Runs work(t) for t = 0 .. count - 1, 0 on the calling thread and the others on threads of
// their own, and waits for all of them; then the first exception is thrown. onFailure runs
// (under a lock) when one fails, so that the others can stop early.
template <class TWork, class TOnFailure> void RunOnThreads(int count, TWork&& work, TOnFailure&& onFailure) {
    std::exception_ptr failure;
    std::mutex failureMutex;
    auto run = [&](int t) {
        try {
            work(t);
        } catch (...) {
            std::lock_guard<std::mutex> lock(failureMutex);
            if (!failure) failure = std::current_exception();
            onFailure();
        }
    };
    std::vector<std::thread> threads;
    for (int t = 1; t < count; ++t)
        threads.emplace_back(run, t);
    run(0);
    for (std::thread& thread : threads)
        thread.join();
    if (failure) std::rethrow_exception(failure);
}

// The host of a line as read, when cleaning would leave the line as it is up to a character
// past the host's separator, so that the cut is the one of the cleaned line; a view without
// data otherwise (cut the cleaned line then). Such a line is neither blank nor a directive.
std::string_view RawHost(const TCParser& parser, std::string_view raw) {
    if (raw.empty() || raw[0] == '#' || parser.CodeCount('H') != 1) return {};
    const std::string_view host = parser.CutField(raw, 'H');
    if (host.data() == nullptr) return {};
    const auto end = static_cast<size_t>(host.data() + host.size() - raw.data());
    return CleaningKeepsPrefix(raw, end + parser.MaxSeparatorLength() + 1) ? host : std::string_view();
}

// The host of a line, cut alone when the format has one host field, else from the whole cut
// (the parser then holds the line). Empty for a line that does not fit the format.
std::string_view HostOfLine(TCParser& parser, std::string_view text) {
    if (parser.CodeCount('H') == 1) return parser.CutField(text, 'H');
    parser.SetLine(text);
    return parser.Field('H');
}

// Calls onLine for the whole lines, cleaned, of kSampledPieces pieces spread evenly over the
// files (taken as one), each kSampledPieceBytes long; nothing when the files are not much
// longer than the pieces together.
template <class TOnLine> void ForEachSpreadLine(const std::vector<std::string>& files, TOnLine onLine) {
    std::vector<int64_t> sizes;
    int64_t total = 0;
    for (const std::string& file : files) {
        struct stat st {};
        sizes.push_back(stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? static_cast<int64_t>(st.st_size) : 0);
        total += sizes.back();
    }
    if (total < 4 * kSampledPieces * static_cast<int64_t>(kSampledPieceBytes)) return;
    std::string piece(kSampledPieceBytes, '\0'), cleaned;
    size_t file = 0;
    int64_t fileStart = 0; // of files[file] in the whole
    for (int p = 0; p < kSampledPieces; ++p) {
        const int64_t at = total / kSampledPieces * p + total / (2 * kSampledPieces);
        while (file + 1 < files.size() && at >= fileStart + sizes[file])
            fileStart += sizes[file++];
        // Without waiting: a file put in a log's place may be a pipe.
        const TUniqueFd fd(open(files[file].c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
        if (!fd.Valid()) continue;
        const ssize_t got = pread(fd.Get(), piece.data(), piece.size(), at - fileStart);
        if (got <= 0) continue;
        // The first line may be cut: lines start after the piece's first line break.
        const std::string_view text(piece.data(), static_cast<size_t>(got));
        size_t begin = text.find('\n');
        while (begin != std::string_view::npos) {
            const size_t end = text.find('\n', begin + 1);
            if (end == std::string_view::npos) break;
            CleanLogLine(text.substr(begin + 1, end - begin - 1), cleaned);
            onLine(std::string_view(cleaned));
            begin = end;
        }
    }
}

// Buckets dealt out to shards so that each gets about as many lines: the heaviest bucket
// first, each to the shard with the fewest lines so far. Every bucket weighs a line more than
// it was seen with, so that buckets the sample missed are spread too.
std::vector<uint8_t> BalancedShards(const std::vector<int64_t>& bucketLines, int shards) {
    std::vector<int> order(bucketLines.size());
    for (size_t b = 0; b < order.size(); ++b)
        order[b] = static_cast<int>(b);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return bucketLines[static_cast<size_t>(a)] > bucketLines[static_cast<size_t>(b)];
    });
    std::vector<int64_t> load(static_cast<size_t>(shards));
    std::vector<uint8_t> shardOf(bucketLines.size());
    for (int b : order) {
        const auto lightest = static_cast<size_t>(std::min_element(load.begin(), load.end()) - load.begin());
        shardOf[static_cast<size_t>(b)] = static_cast<uint8_t>(lightest);
        load[lightest] += bucketLines[static_cast<size_t>(b)] + 1;
    }
    return shardOf;
}

} // namespace

TLogAnalyser::TLogAnalyser(TQVProfile& profile, TProgress* progress, TBatchLookup* resolver)
    : Profile(profile), Progress(progress), Resolver(resolver ? resolver : &BatchLookup()), Finder(&SearchFinder()),
      FlushAt(kFlushThreshold) {
    // The country tables load beside the first part of the run: addresses get their
    // countries only when their visits close.
    CountryTables = std::async(std::launch::async, [] {
                        static std::mutex loading;
                        std::lock_guard<std::mutex> lock(loading);
                        if (!CountryFinder.HasProgramTables()) CountryFinder.LoadProgramTables();
                    }).share();
    SearchFinder().Load(ProgramFolder() + "static/search_queries.dta");
    SearchFinder().LoadHosts(ProgramFolder() + "static/search_engines.dta");
    AgentRules().LoadOnce(ProgramFolder() + "static/agents.dta");
}

TLogAnalyser::TLogAnalyser(TLogAnalyser& owner, const TSEFinder& finder, int shards)
    : Profile(owner.Profile), Progress(nullptr), Resolver(owner.Resolver), CountryTables(owner.CountryTables),
      OwnFinder(std::make_unique<TSEFinder>(finder)), FlushAt(kFlushThreshold / shards) {
    Finder = OwnFinder.get();
    TrackedURLs = owner.TrackedURLs;
    CountInParts = owner.CountInParts;
    Limited = owner.Limited;
    FirstDay = owner.FirstDay;
    LastDay = owner.LastDay;
}

int TLogAnalyser::AvailableCpus() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
    return std::max(1u, std::thread::hardware_concurrency());
}

TLogAnalyser::~TLogAnalyser() {
    AwaitCountryTables();
    // No answer may arrive for a context or visit that is gone.
    if (!Lookups.empty()) WaitForLookups();
    Clear();
}

void TLogAnalyser::OnAnswer(void* context, uint32_t address, const std::string& name) {
    const TLookupContext* lookup = static_cast<const TLookupContext*>(context);
    std::lock_guard<std::mutex> lock(lookup->Owner->AnswersMutex);
    lookup->Owner->Answers.push_back({lookup->Visit, address, name});
}

void TLogAnalyser::RequestHostLookup(TWebVisit& visit) {
    TLookupContext& context = Lookups.emplace_back(TLookupContext{this, &visit});
    std::string name;
    if (visit.IP != 0) {
        Resolver->LookupAddress(visit.IP, true, name, &OnAnswer, &context);
    } else if (!visit.IPText.empty()) {
        Resolver->LookupAddress6(visit.IPText, true, name, &OnAnswer, &context);
    } else {
        Resolver->LookupName(visit.HostName, true, &OnAnswer, &context);
    }
}

void TLogAnalyser::AwaitCountryTables() {
    if (CountryTables.valid()) CountryTables.wait();
}

void TLogAnalyser::SetAddressCountry(TWebVisit& visit) {
    if (!visit.Country.empty()) return;
    TIPv6Address address6{};
    if (visit.IP != 0) {
        visit.Country = CountryFinder.CountryOf(visit.IP);
    } else if (!visit.IPText.empty() && TCountryFinder::ParseIPv6(visit.IPText, address6)) {
        visit.Country = CountryFinder.CountryOfIPv6(address6);
    }
}

void TLogAnalyser::WaitForLookups() {
    AwaitCountryTables(); // answers bring countries
    while (!Resolver->PollLookups())
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::vector<TAnswer> answers;
    {
        std::lock_guard<std::mutex> lock(AnswersMutex);
        answers.swap(Answers);
    }
    for (const TAnswer& answer : answers) {
        TWebVisit& visit = *answer.Visit;
        if (answer.Address != 0) {
            visit.OnResolved(answer.Address, answer.Name);
        } else if (!visit.IPText.empty() && !answer.Name.empty() && visit.HostName.empty()) {
            visit.HostName = answer.Name; // an IPv6 visitor's name
        }
    }
    Lookups.clear();
}

void TLogAnalyser::AddGroup(std::string_view name, std::string_view members, uint8_t groupingType, int kind) {
    if (kind < 0 || kind >= kViewKindCount) return;
    auto& groups = Groups[kind];
    const auto it = std::lower_bound(
        groups.begin(), groups.end(), name,
        [](const std::unique_ptr<TGroupView>& g, std::string_view n) { return LessNoCase(g->Name, n); });
    if (it != groups.end() && SameText((*it)->Name, name)) return;
    groups.insert(it, std::make_unique<TGroupView>(name, members, groupingType, kind));
}

void TLogAnalyser::AddTrackedURL(std::string_view url) {
    const auto it = std::lower_bound(TrackedURLs.begin(), TrackedURLs.end(), url,
                                     [](const std::string& a, std::string_view b) { return LessNoCase(a, b); });
    TrackedURLs.insert(it, std::string(url));
}

bool TLogAnalyser::IsTrackedURL(std::string_view text) const {
    if (TrackedURLs.empty() || text.empty()) return false;
    const auto it = std::lower_bound(TrackedURLs.begin(), TrackedURLs.end(), text,
                                     [](const std::string& a, std::string_view b) { return LessNoCase(a, b); });
    return it != TrackedURLs.end() && SameText(*it, text);
}

TLogView* TLogAnalyser::GetView(int kind, std::string_view name, std::string_view subName) {
    return FindOrAddRow(kind, name, subName, 0);
}

TLogView* TLogAnalyser::FindOrAddRow(int kind, std::string_view name, std::string_view subName, unsigned kept,
                                     int key) {
    // Consecutive counts often hit the same row (a status, a type, a directory): compare
    // before hashing.
    TLogView*& last = LastRow[kind];
    if (last && SameBytes(last->Name, name) && SameBytes(last->SubName, subName)) return last;
    TViewTable& table = Table[kind];
    if (key == kNoKey) key = TViewTable::KeyOf(name, subName);
    uint32_t row = table.Find(key, name, subName);
    if (row == TViewTable::kNoRow)
        row = table.Add(key, kept & kKeptName ? name : RowTexts.Store(name),
                        kept & kKeptSubName ? subName : RowTexts.Store(subName), kind);
    return last = &table.Row(row);
}

void TLogAnalyser::CountVisitInto(TLogView& row, const TWebVisit& visit) {
    row.CountVisit(Counting.VisitDay, visit.HitCount(), visit.Bytes, Counting.Visit);
}

TLogView* TLogAnalyser::CountVisitKey(int kind, std::string_view name, std::string_view subName, const TWebVisit& visit,
                                      unsigned kept, int key) {
    if (TrimView(name).empty()) return nullptr;
    TLogView* row = FindOrAddRow(kind, name, subName, kept, key);
    CountVisitInto(*row, visit);
    return row;
}

void TLogAnalyser::CountPagePathKey(uint32_t pathId, TLogView* TPathRows::*member, int kind, std::string_view page,
                                    bool kept, const TWebVisit& visit) {
    if (pathId == kNoPathId) {
        CountVisitKey(kind, page, {}, visit, kept ? kKeptName : 0);
        return;
    }
    // A numbered path finds its row through the number once the row is made.
    TLogView*& row = RowsOfPath(pathId).*member;
    if (row) {
        CountVisitInto(*row, visit);
    } else {
        row = CountVisitKey(kind, page, {}, visit, kept ? kKeptName : 0);
    }
}

// Inlined: it runs for every row of every hit.
[[gnu::always_inline]] inline void TLogAnalyser::CountHitInto(TLogView& row, const THit& hit) {
    if (MergedBytes != 0) {
        row.AddBytes(Counting.HitDay, MergedBytes);
        return;
    }
    // A visit counted in parts: other visits count between the parts, so the rows it
    // reached are remembered.
    const bool newVisit = row.LastVisit != Counting.Visit && (!PartVisit || PartVisit->MarkRow(&row));
    row.CountHit(Counting.HitDay, hit.Bytes, newVisit, Counting.Visit);
}

void TLogAnalyser::CountHitKey(int kind, std::string_view name, std::string_view subName, const THit& hit,
                               unsigned kept) {
    if (name.empty()) return;
    CountHitInto(*FindOrAddRow(kind, name, subName, kept), hit);
}

void TLogAnalyser::CountPathRow(TLogView*& row, int kind, std::string_view name, std::string_view subName,
                                const THit& hit, unsigned kept) {
    if (name.empty()) return;
    if (!row) row = FindOrAddRow(kind, name, subName, kept);
    CountHitInto(*row, hit);
}

void TLogAnalyser::TVisitKeys::Of(const TWebVisit& visit) {
    Visit = &visit;
    Host = TViewTable::KeyOf(visit.HostKey(), {});
    Referrer = TViewTable::KeyOf(visit.Referrer, {});
    Domain = TViewTable::KeyOf(visit.ReferrerDomain, {});
    Phrase = TViewTable::KeyOf(visit.SearchPhrase, {});
    EnginePhrase = visit.SearchEngine.empty() ? 0 : TViewTable::KeyOf(visit.SearchEngine, visit.SearchPhrase);
}

void TLogAnalyser::FetchAhead(const TVisitKeys& keys, bool rows) const {
    const auto fetch = [rows](const TViewTable& table, int key) {
        if (rows) {
            table.PrefetchRow(key);
        } else {
            table.PrefetchSlot(key);
        }
    };
    const TWebVisit& visit = *keys.Visit;
    fetch(Table[vkHost], keys.Host);
    if (!visit.Referrer.empty()) fetch(Table[vkReferrer], keys.Referrer);
    if (!visit.ReferrerDomain.empty()) fetch(Table[vkReferringDomain], keys.Domain);
    if (!visit.SearchEngine.empty()) {
        fetch(Table[vkPhrase], keys.Phrase);
        fetch(Table[vkEnginePhrase], keys.EnginePhrase);
    }
}

void TLogAnalyser::CountVisit(const TWebVisit& visit, const TVisitKeys& keys) {
    Counting.Visit = TLogView::VisitId(&visit);
    Counting.VisitDay = static_cast<int32_t>(std::trunc(visit.StartTime)); // as TLogView counts days
    bool entryKept = false, exitKept = false;
    uint32_t entryId = kNoPathId, exitId = kNoPathId;
    const std::string_view entryPage = visit.EntryPage(&entryKept, &entryId);
    const std::string_view exitPage = visit.ExitPage(&exitKept, &exitId);
    visit.NavigationPathInto(Navigation, 6);
    CountVisitKey(vkNavigationPath, Navigation, {}, visit);
    CountPagePathKey(entryId, &TPathRows::Entry, vkEntryPage, entryPage, entryKept, visit);
    CountPagePathKey(exitId, &TPathRows::Exit, vkExitPage, exitPage, exitKept, visit);
    CountVisitKey(vkBrowser, visit.Browser, {}, visit);
    CountVisitKey(vkOS, visit.OS, {}, visit);
    CountVisitKey(vkCountry, visit.Country, {}, visit);
    CountVisitKey(vkHost, visit.HostKey(), {}, visit, 0, keys.Host);

    const TDateParts start = DecodeDateTime(visit.StartTime);
    const std::string day = std::to_string(DayNumber(visit.StartTime));
    CountVisitKey(vkDay, day, {}, visit);
    std::string twoDigits;
    AppendTwoDigits(twoDigits, start.Hour);
    CountVisitKey(vkHour, twoDigits, {}, visit);
    const char weekday[2] = {static_cast<char>('0' + DayOfWeek(visit.StartTime)), '\0'};
    CountVisitKey(vkWeekday, weekday, {}, visit);
    twoDigits.clear();
    AppendTwoDigits(twoDigits, start.Month);
    CountVisitKey(vkMonth, twoDigits, {}, visit);
    CountVisitKey(vkReferrer, visit.Referrer, {}, visit, 0, keys.Referrer);
    CountVisitKey(vkReferringDomain, visit.ReferrerDomain, {}, visit, 0, keys.Domain);

    if (!visit.SearchEngine.empty()) {
        // The pairs name their rows with the texts of the engine's and the phrase's rows.
        const TLogView* engine = CountVisitKey(vkSearchEngine, visit.SearchEngine, {}, visit);
        const TLogView* phrase = CountVisitKey(vkPhrase, visit.SearchPhrase, {}, visit, 0, keys.Phrase);
        const std::string_view engineText = engine ? engine->Name.View() : std::string_view(visit.SearchEngine);
        const std::string_view phraseText = phrase ? phrase->Name.View() : std::string_view(visit.SearchPhrase);
        const unsigned engineKept = engine ? kKeptName : 0, phraseKept = phrase ? kKeptSubName : 0;
        // A known engine's visit without a phrase counts for the engine only. The rows' texts
        // are those of the visit: the pair's key is the one hashed ahead.
        if (!phraseText.empty())
            CountVisitKey(vkEnginePhrase, engineText, phraseText, visit, engineKept | phraseKept, keys.EnginePhrase);
        if (IsTrackedURL(entryPage) && !phraseText.empty())
            CountVisitKey(vkTrackedEntryPhrase, entryPage, phraseText, visit, (entryKept ? kKeptName : 0) | phraseKept);
        // Keywords: quotes removed, blanks collapsed, words of three characters or more.
        Scratch.clear();
        for (char c : visit.SearchPhrase)
            if (c != '"' && c != '\'') Scratch += c;
        static constexpr TCharSet kBlank(" ");
        for (int i = 0;; ++i) {
            const std::string_view word = TokenView(Scratch, kBlank, i);
            if (word.empty()) break;
            if (word.size() >= 3) CountVisitKey(vkKeyword, word, {}, visit);
        }
    }
    PartVisit = visit.Counted ? const_cast<TWebVisit*>(&visit) : nullptr;
    // A closed visit's hits have left the cache since they were read: each is fetched a few
    // hits ahead of its counting.
    const std::vector<THit*>& hits = visit.HitList;
    constexpr size_t kAhead = 4;
    for (size_t i = 0; i < std::min(kAhead, hits.size()); ++i)
        __builtin_prefetch(hits[i]);
    // So are the rows of a path: its entry two hits ahead, the page rows the entry names the
    // hit after.
    const auto pathRowsOf = [this](const THit* hit) {
        return hit->PathId < PathRows.size() ? &PathRows[hit->PathId] : nullptr;
    };
    for (size_t i = 0; i < hits.size(); ++i) {
        if (i + kAhead < hits.size()) __builtin_prefetch(hits[i + kAhead]);
        if (i + 2 < hits.size())
            if (const TPathRows* rows = pathRowsOf(hits[i + 2])) __builtin_prefetch(rows);
        if (i + 1 < hits.size())
            if (const TPathRows* rows = pathRowsOf(hits[i + 1])) {
                __builtin_prefetch(rows->Page);
                __builtin_prefetch(rows->PageStatus);
            }
        CountHit(visit, *hits[i]);
    }
    PartVisit = nullptr;
}

void TLogAnalyser::CountHeldHits(TWebVisit& visit) {
    if (!visit.Counted) visit.Counted = std::make_unique<TWebVisit::TCountedPart>();
    PartVisit = &visit;
    for (THit* hit : visit.HitList) {
        CountHit(visit, *hit);
        visit.NoteCountedHit(*hit);
        // A later "206" entry of the same path may still join it.
        if (Profile.Group206 && hit->Status() == "206") {
            visit.Counted->Partials.push_back(hit);
        } else {
            HitPool.Release(hit);
        }
    }
    visit.HitList.clear();
    PartVisit = nullptr;
}

void TLogAnalyser::CountHit(const TWebVisit& visit, const THit& hit) {
    Counting.Visit = TLogView::VisitId(hit.Visit);
    Counting.HitDay = static_cast<int32_t>(std::trunc(hit.Time));
    // Rows named by the path share the text the path numbering keeps, when there is one.
    const std::string_view stored = hit.StoredPath();
    const std::string_view status = hit.Status(), path = stored.empty() ? hit.Path() : stored;
    const unsigned keptName = stored.empty() ? 0 : kKeptName, keptSubName = stored.empty() ? 0 : kKeptSubName;
    CountHitKey(vkStatus, status, {}, hit);
    if (hit.IsError) {
        CountHitKey(vkErrorStatus, status, {}, hit);
        CountHitKey(vkErrorPageStatus, status, path, hit, keptSubName);
    }
    if (Profile.IgnoreErrors && hit.IsError) return;
    // The rows that depend on the path alone are found through its number.
    TPathRows unnumbered;
    TPathRows* rows = &unnumbered;
    if (hit.PathId != kNoPathId) rows = &RowsOfPath(hit.PathId);
    CountPathRow(rows->Page, vkPage, path, {}, hit, keptName);
    CountPathRow(rows->FileType, vkFileType, hit.Extension(), {}, hit);
    CountPathRow(rows->Directory, vkDirectory, hit.Directory(), {}, hit);
    CountHitKey(vkUser, hit.User(), {}, hit);
    // A path mostly keeps its status: the rows of the last two are tried first.
    if (!rows->PageStatus || !SameBytes(rows->PageStatus->Name, status)) {
        std::swap(rows->PageStatus, rows->OtherStatus);
        if (rows->PageStatus && !SameBytes(rows->PageStatus->Name, status)) rows->PageStatus = nullptr;
    }
    CountPathRow(rows->PageStatus, vkPageStatus, status, path, hit, keptSubName);
    if (IsTrackedURL(path)) CountHitKey(vkTrackedPageDomain, path, visit.ReferrerDomain, hit, keptName);

    if (Profile.ParamType == 0 || hit.Query().empty()) return;
    static constexpr TCharSet kAmpersand("&");
    bool selectedAny = false;
    for (int i = 0;; ++i) {
        const std::string_view piece = TokenView(hit.Query(), kAmpersand, i);
        if (piece.empty()) break;
        const size_t eq = piece.find('=');
        const std::string_view name = TrimView(piece.substr(0, eq));
        if (name.empty()) break;
        const std::string_view value =
            eq == std::string_view::npos ? std::string_view() : TrimView(piece.substr(eq + 1));
        // The list is ";"-terminated names: a plain substring test on name + ";".
        Scratch.assign(name).append(1, ';');
        const bool listed = Profile.ParamList.find(Scratch) != std::string::npos;
        if (Profile.ParamType == 2 ? listed : !listed) continue;
        selectedAny = true;
        if (value.empty()) continue;
        Scratch.assign(name).append(1, '=').append(value);
        CountHitKey(vkPageParam, path, Scratch, hit, keptName);
        CountHitKey(vkParamValue, name, value, hit);
        CountHitKey(vkParam, name, {}, hit);
    }
    if (selectedAny) CountHitKey(vkPageWithParams, path, {}, hit, keptName);
}

void TLogAnalyser::InitVisit(TWebVisit& visit, const TLogEntry& entry) {
    const std::string_view host = entry.Host();
    visit.IP = IPToInt(host);
    TIPv6Address address6{};
    if (visit.IP != 0) {
        visit.IPText = host; // its country is set when the visit closes
    } else if (host.find(':') != std::string_view::npos && TCountryFinder::ParseIPv6(host, address6)) {
        // An IPv6 literal is an address too: its country comes from the IPv6 table.
        visit.IPText = host;
    } else {
        visit.HostName = host;
        if (!Profile.UseDNS) visit.Country = CountryOfName(host);
    }
    visit.StartTime = visit.LastTime = entry.Time;
    visit.FilterState = fsUndecided;
    visit.Serial = ++VisitSerial;
    AssignVisitFacts(visit, entry);
    visit.Bytes = 0;
    if (Profile.UseDNS) RequestHostLookup(visit);
}

void TLogAnalyser::AssignVisitFacts(TWebVisit& visit, const TLogEntry& entry) {
    const std::string_view r = entry.Referrer();
    const size_t question = r.find('?');
    std::string_view base = r;
    if (question != std::string_view::npos) {
        visit.ReferrerQuery.assign(r.substr(question + 1));
        base = base.substr(0, question);
    } else {
        visit.ReferrerQuery.clear();
        base = base.substr(0, base.find('#'));
    }
    visit.Referrer.assign(base);
    LowerCaseInPlace(visit.Referrer);
    visit.ReferrerDomain = UrlHost(visit.Referrer);
    visit.SearchEngine.clear();
    visit.SearchPhrase.clear();
    TSEFinder& finder = *Finder;
    if (r != "-" && finder.Find(r)) {
        visit.SearchEngine = finder.Engine;
        visit.SearchPhrase = finder.Phrase;
        if (const TQVGroup* group = Profile.FindGroup(visit.SearchEngine, gfReferringDomain))
            visit.SearchEngine = group->DisplayName;
    }
    if (!entry.Agent().empty()) {
        // Most visits come from a few agents: each is classified once.
        auto known = AgentClasses.find(entry.Agent());
        if (known == AgentClasses.end()) {
            if (AgentClasses.size() >= kMaxKnownAgents) AgentClasses.clear();
            known = AgentClasses.emplace(std::string(entry.Agent()), ClassifyAgent(entry.Agent())).first;
        }
        visit.Browser = known->second.Browser;
        visit.OS = known->second.OS;
    } else {
        visit.Browser.clear();
        visit.OS.clear();
    }
}

TWebVisit* TLogAnalyser::FindOrCreateVisit(TLogEntry& line, const TVisitFields* fields) {
    const std::string_view host = line.Host();
    const int key = line.HostKey >= 0 ? line.HostKey : TStringTableBase::StrHash(host);
    // The visit the line falls in or after, and one it comes shortly before: a line that both
    // accept bridges the pause between them, and they become one.
    TWebVisit *after = nullptr, *before = nullptr;
    for (TWebVisit* visit = OpenVisits.Find(key); visit; visit = OpenVisits.FindNext(key)) {
        if (!visit->Accepts(host, line.Time, Profile.VisitTimeout)) continue;
        TWebVisit*& slot = line.Time >= visit->StartTime ? after : before;
        if (!slot) slot = visit;
        if (after && before) break;
    }
    if (after && before) return JoinVisits(*after, *before, key);
    if (after) return after;
    if (before) {
        // The line is the visit's new first hit: the visit came by its referrer and agent.
        // A visit counted in part keeps what its rows were counted with.
        if (!before->Counted) {
            if (fields) line.AssignVisitFields(*fields);
            AssignVisitFacts(*before, line);
        }
        return before;
    }
    TWebVisit* visit;
    if (FreeVisits.empty()) {
        VisitStore.push_back(std::make_unique<TWebVisit>());
        visit = VisitStore.back().get();
    } else {
        visit = FreeVisits.back();
        FreeVisits.pop_back();
    }
    // Only a visit's first line needs the referrer and agent.
    if (fields) line.AssignVisitFields(*fields);
    InitVisit(*visit, line);
    OpenVisits.Insert(key, visit);
    return visit;
}

TWebVisit* TLogAnalyser::JoinVisits(TWebVisit& earlier, TWebVisit& later, int key) {
    // A visit counted in part keeps its rows' visit number: the other joins it. Two such
    // visits stay apart (rare: two long stays a bridging line apart).
    if (earlier.Counted && later.Counted) return &earlier;
    TWebVisit& kept = later.Counted ? later : earlier;
    TWebVisit& gone = later.Counted ? earlier : later;
    kept.TakeHitsOf(gone);
    for (TWebVisit* visit = OpenVisits.Find(key); visit; visit = OpenVisits.FindNext(key)) {
        if (visit == &gone) {
            OpenVisits.RemoveCurrent();
            break;
        }
    }
    // A lookup for it may still answer: it is recycled once the lookups are done.
    if (Profile.UseDNS) {
        JoinedVisits.push_back(&gone);
    } else {
        RecycleVisit(&gone);
    }
    return &kept;
}

void TLogAnalyser::RecycleVisit(TWebVisit* visit) {
    visit->Reset(HitPool);
    FreeVisits.push_back(visit);
}

void TLogAnalyser::NoteVisitTimes(const TWebVisit& visit) {
    EarliestExpiry = std::min(EarliestExpiry, visit.LastTime + Profile.VisitTimeout / 1440.0);
}

void TLogAnalyser::AnalyseLine(TLogEntry& line, const TVisitFields* fields) {
    const int32_t day = DayNumber(line.Time);
    if (Limited && (day < FirstDay || day > LastDay)) {
        ++LinesOutsideRange;
        return;
    }
    if (StartDate == 0 || line.Time < StartDate) StartDate = std::trunc(line.Time);
    if (EndDate == 0 || day > EndDate) EndDate = day;
    const int openBefore = OpenVisits.Count();
    TWebVisit* visit = FindOrCreateVisit(line, fields);
    if (OpenVisits.Count() > openBefore && ClosedCounted < Closing.size()) {
        // For each visit begun, enough closed ones are counted that all are counted before
        // the open visits can reach the next closing pass: the visits alive stay bounded.
        const size_t left = Closing.size() - ClosedCounted;
        const auto room = static_cast<size_t>(std::max(1, FlushAt - OpenVisits.Count()));
        CountClosedVisits((left + room - 1) / room);
    }
    THit* hit = HitPool.Make(line);
    THit* countedHit = nullptr;
    if (visit->AddHit(hit, Profile, &countedHit)) {
        HasLastEntry = true;
        LastEntryTime = std::max(LastEntryTime, hit->Time);
        if (CountInParts && visit->HitList.size() >= kHeldHits) CountHeldHits(*visit);
    } else {
        if (countedHit && hit->Bytes != 0) {
            // Joined a partial hit counted already: its rows take the bytes.
            MergedBytes = hit->Bytes;
            CountHit(*visit, *countedHit);
            MergedBytes = 0;
        }
        HitPool.Release(hit);
        ++PartialsMerged;
    }
    NoteVisitTimes(*visit);
}

template <class TLines> bool TLogAnalyser::AnalyseLines(TLines& lines) {
    for (;;) {
        TLogEntry* line = lines.Next(false);
        if (!line && !lines.Finished()) {
            // No line read yet: the visits the last pass closed are counted meanwhile.
            if (ClosedCounted < Closing.size()) {
                CountClosedVisits(kCountWhileWaiting);
                continue;
            }
            line = lines.Next(true);
        }
        if (Progress && Progress->CancelRequested()) return false;
        if (!line) {
            if (lines.Finished()) return true;
            // A stretch of unusable lines: progress moves, and the cancel was checked above.
            if (Progress) Progress->SetPosition(lines.ProgressKB());
            continue;
        }
        if (lines.Usable(*line)) {
            const TVisitFields fields{lines.Parser()->Field('r'), lines.Parser()->Field('a')};
            AnalyseLine(*line, &fields);
        }
        if (OpenVisits.Count() >= FlushAt) {
            FlushVisits(false);
            if constexpr (TLines::kCountsAtOnce) CountClosedVisits(SIZE_MAX);
        }
        if (Progress) Progress->SetPosition(lines.ProgressKB());
    }
}

bool TLogAnalyser::Run() {
    LinesRead = LinesUnreadable = LinesOutsideRange = PartialsMerged = 0;
    Profile.OpenLogFiles();
    CurrentFilter().Load(Profile.FilterName);
    // The filter judges a visit's hits when it closes: with one, visits hold all of them.
    CountInParts = !(Profile.EnableFilters && CurrentFilter().LineCount() > 0);
    HasLastEntry = false;
    OpenVisits.Clear();
    Limited = Profile.RptRangeType != rtUnlimited;
    FirstDay = DayNumber(Profile.RptStartDate);
    LastDay = DayNumber(Profile.RptEndDate);
    const int64_t totalKB = Profile.LogReader.TotalKB;
    if (totalKB == 0) return false;
    if (Progress) Progress->NewJob("Analysing...", totalKB);

    const int presize = static_cast<int>(std::clamp<int64_t>(totalKB, THashTableBase::kInitialCapacity, kMaxPresize));
    const TLogEntryOptions options{Profile.CaseSensitive, Profile.ParamType, Profile.Timezone, 0};
    if (ReadOnSecondThread) return RunSharded(options, presize);
    for (int kind : {vkPage, vkReferrer, vkReferringDomain, vkHost})
        if (Table[kind].Capacity() < presize) Table[kind].SetCapacity(presize);
    if (OpenVisits.Capacity() < kOpenVisitCapacity) OpenVisits.SetCapacity(kOpenVisitCapacity);
    EarliestExpiry = 1e300;
    LastEntryTime = -1e300;
    TReadLines lines(Profile, options, PathIds);
    const bool cancelled = !AnalyseLines(lines);
    LinesRead = Profile.LogReader.LinesRead;
    LinesUnreadable = Profile.LogReader.LinesUnparsed + lines.UnusableLines();
    ShowReadToTheEnd(cancelled);
    EndCounting();
    if (cancelled) return false;
    BuildLists();
    return Visits > 0;
}

void TLogAnalyser::ShowReadToTheEnd(bool cancelled) {
    if (!Progress) return;
    // Chunks weigh their whole kilobytes only: logs read to their end fill the bar exactly.
    const TLogFileReader& reader = Profile.LogReader;
    Progress->SetPosition(cancelled ? reader.ProgressKB() : std::max(reader.ProgressKB(), reader.TotalKB));
}

bool TLogAnalyser::RunSharded(const TLogEntryOptions& options, int presize) {
    // Groups load on first use: loaded here, the shards only read them.
    for (int i = 0; i < Profile.GroupCount(); ++i)
        Profile.GetGroup(i);
    const int workers = std::clamp(Workers > 0 ? Workers : AvailableCpus(), 1, TShardFeed::kHostBuckets);
    // A shard per worker: rows that every shard has (pages, agents, days) cost memory once
    // per shard. The resolver takes questions from one thread only: with DNS, one shard
    // counts while every worker parses.
    const int shards = Profile.UseDNS ? 1 : workers;
    const bool everyWorkerReads = EveryWorkerReads && !Profile.UseDNS && !Profile.LogReader.StandardInput;
    // Without a sample (one shard, or logs that can be read once only) every bucket weighs
    // the same.
    const std::vector<int64_t> bucketLines =
        everyWorkerReads && shards > 1 ? SampleHostBuckets() : std::vector<int64_t>(TShardFeed::kHostBuckets);
    const std::vector<uint8_t> shardOf = BalancedShards(bucketLines, shards);
    Shards.clear();
    const int shardPresize = std::max(THashTableBase::kInitialCapacity, presize / shards);
    for (int s = 0; s < shards; ++s) {
        auto& shard = Shards.emplace_back(new TLogAnalyser(*this, SearchFinder(), shards));
        for (int kind : {vkPage, vkReferrer, vkReferringDomain, vkHost})
            shard->Table[kind].SetCapacity(shardPresize);
        shard->OpenVisits.SetCapacity(std::max(THashTableBase::kInitialCapacity, kOpenVisitCapacity / shards));
        shard->EarliestExpiry = 1e300;
        shard->LastEntryTime = -1e300;
    }
    bool cancelled = false;
    if (everyWorkerReads) {
        cancelled = !RunReadingWorkers(options, shardOf);
    } else {
        TShardFeed feed(Profile, options, workers);
        RunOnThreads(
            workers, [&](int worker) { RunWorker(feed, worker, shardOf); }, [&] { feed.Stop(); });
        feed.RethrowFailure();
        cancelled = feed.Stopped();
        LinesUnreadable = feed.UnreadableLines();
    }
    LinesRead = Profile.LogReader.LinesRead;
    ShowReadToTheEnd(cancelled);
    if (cancelled) {
        Shards.clear();
        return false;
    }
    // The largest table of each kind becomes the run's own, the others are added to it: no
    // second copy of the rows is made.
    for (int kind = 0; kind < kViewKindCount; ++kind) {
        TLogAnalyser* largest = Shards.front().get();
        for (auto& shard : Shards)
            if (shard->Table[kind].Count() > largest->Table[kind].Count()) largest = shard.get();
        Table[kind].Swap(largest->Table[kind]);
        LastRow[kind] = nullptr;
    }
    for (auto& shard : Shards)
        MergeTotals(*shard);
    // Each kind's rows are added in shard order, the kinds side by side.
    ForEachKind([this](int kind) {
        for (auto& shard : Shards)
            MergeRows(kind, *shard);
    });
    PathIds.ReleaseLookup();
    BuildLists();
    return Visits > 0;
}

std::vector<int64_t> TLogAnalyser::SampleHostBuckets() {
    std::vector<int64_t> lines(TShardFeed::kHostBuckets);
    // The profile's reader, rewound after: a reader of its own would leave its freed buffer
    // behind as the heap's new threshold for mapped blocks, and the run would keep more memory.
    TLogFileReader& reader = Profile.LogReader;
    // What the sample has to say about the files is said again when they are read.
    const size_t warnings = reader.Warnings.size();
    TCParser parser;
    parser.SetFormat(Profile.LogFormat);
    const auto count = [&](std::string_view text) {
        if (ApplyW3CDirective(parser, text) || text.empty()) return;
        ++lines[static_cast<size_t>(TShardFeed::BucketOf(HostOfLine(parser, text)))];
    };
    std::string_view text;
    for (int n = 0; n < kSampledLines && reader.ReadLineView(text); ++n)
        count(text);
    reader.Rewind();
    reader.Warnings.resize(warnings);
    // Lines the pieces cut with a format they do not have land in some bucket: the sample
    // only weighs the buckets, it decides nothing else. Gzip logs have no plain offsets to
    // spread the pieces over.
    std::vector<std::string> whole;
    for (size_t f = 0; f < reader.Files.size(); ++f)
        if (!reader.IsGzipLog(f)) whole.push_back(reader.Files[f]);
    ForEachSpreadLine(whole, count);
    return lines;
}

bool TLogAnalyser::RunReadingWorkers(const TLogEntryOptions& options, const std::vector<uint8_t>& shardOf) {
    const int workers = static_cast<int>(Shards.size());
    TLogFileReader& reader = Profile.LogReader;
    TCParser marking;
    marking.SetFormat(Profile.LogFormat);
    std::string cleaned;
    // Cuts the host of every line, which decides the worker that takes it (lines that do not
    // fit the format among them); most hosts are cut from the line as read.
    const auto mark = [&](const TLogFileReader::TChunk& chunk, std::vector<TChunkRing::TMark>& marks) {
        marks.resize(chunk.Lines.size());
        for (size_t i = 0; i < chunk.Lines.size(); ++i) {
            const std::string_view raw = chunk.Line(chunk.Lines[i]);
            std::string_view host = RawHost(marking, raw), text;
            const bool cutRaw = host.data() != nullptr;
            if (!cutRaw) {
                text = CleanedLine(raw, cleaned);
                if (ApplyW3CDirective(marking, text)) {
                    marks[i].Bucket = TChunkRing::kEveryWorker;
                    continue;
                }
                host = HostOfLine(marking, text);
            }
            // Blank lines are not counted as read.
            reader.LinesRead += cutRaw || !text.empty();
            marks[i].HostKey = TStringTableBase::StrHash(host);
            marks[i].Bucket = static_cast<uint8_t>(TShardFeed::BucketOfKey(marks[i].HostKey));
        }
    };
    TChunkRing ring(reader, workers, mark);
    std::vector<TReadCounts> counts(static_cast<size_t>(workers));
    std::atomic<bool> stop{false};
    RunOnThreads(
        workers, [&](int w) { ReadingWorker(ring, w, shardOf, options, stop, counts[static_cast<size_t>(w)]); },
        [&] {
            stop = true;
            ring.Stop();
        });
    LinesUnreadable = 0;
    for (const TReadCounts& c : counts)
        LinesUnreadable += c.Unusable;
    return !stop;
}

void TLogAnalyser::ReadingWorker(TChunkRing& ring, int worker, const std::vector<uint8_t>& shardOf,
                                 TLogEntryOptions options, std::atomic<bool>& stop, TReadCounts& counts) {
    TLogAnalyser& shard = *Shards[static_cast<size_t>(worker)];
    TCParser parser;
    parser.SetFormat(Profile.LogFormat);
    TLineDate date;
    TLogEntry line;
    std::string cleaned;
    // Worker 0 shows the progress; a cancel is looked at before every chunk.
    const auto stopped = [&](int64_t progressKB) {
        if (worker == 0 && Progress) {
            Progress->SetPosition(progressKB);
            if (Progress->CancelRequested()) {
                stop = true;
                ring.Stop();
            }
        }
        return stop.load(std::memory_order_relaxed);
    };
    int64_t progressKB = 0;
    for (uint64_t k = 0; !stopped(progressKB); ++k) {
        const TChunkRing::TMarkedChunk* marked = ring.Await(k);
        if (!marked) break;
        const TLogFileReader::TChunk& chunk = marked->Chunk;
        for (size_t i = 0; i < chunk.Lines.size(); ++i) {
            const TChunkRing::TMark mark = marked->Marks[i];
            if (mark.Bucket == TChunkRing::kEveryWorker) {
                ApplyW3CDirective(parser, CleanedLine(chunk.Line(chunk.Lines[i]), cleaned));
                continue;
            }
            if (shardOf[mark.Bucket] != worker) continue;
            const std::string_view text = CleanedLine(chunk.Line(chunk.Lines[i]), cleaned);
            parser.SetLine(text);
            if (!parser.Valid()) {
                counts.Unusable += !text.empty();
                continue;
            }
            options.CurrentDate = date.Of(parser);
            if (!line.AssignHitFields(parser, options)) {
                ++counts.Unusable;
                continue;
            }
            line.HostKey = mark.HostKey;
            shard.FeedLine(line, TVisitFields{parser.Field('r'), parser.Field('a')});
        }
        progressKB = chunk.ProgressKB;
        ring.Release(k);
    }
    if (!stop.load(std::memory_order_relaxed)) shard.EndCounting();
}

void TLogAnalyser::RunWorker(TShardFeed& feed, int worker, const std::vector<uint8_t>& shardOf) {
    TLogAnalyser* shard = static_cast<size_t>(worker) < Shards.size() ? Shards[static_cast<size_t>(worker)].get()
                                                                       : nullptr;
    for (uint64_t k = 0;; ++k) {
        const TShardFeed::TBatch* batch = feed.Await(k, worker);
        if (!batch) break;
        if (shard) {
            for (size_t i = 0; i < batch->Count; ++i)
                if (shardOf[batch->Buckets[i]] == worker)
                    shard->FeedLine(const_cast<TLogEntry&>(batch->Lines[i]), batch->VisitFieldsOf(i));
        }
        const int64_t progressKB = batch->ProgressKB;
        feed.Release(k);
        if (worker == 0 && Progress) {
            Progress->SetPosition(progressKB);
            if (Progress->CancelRequested()) {
                feed.Stop();
                return;
            }
        }
    }
    if (!feed.Stopped() && shard) shard->EndCounting();
}

void TLogAnalyser::EndCounting() {
    FlushVisits(true);
    // Every visit is counted: the pools are not needed while the report is made.
    HitsMade = std::max(HitsMade, HitPool.Allocated());
    VisitsMade = std::max(VisitsMade, VisitStore.size());
    if (OpenVisits.Count() == 0 && Closing.empty()) {
        FreeVisits.clear();
        FreeVisits.shrink_to_fit();
        VisitStore.clear();
        VisitStore.shrink_to_fit();
        HitPool.FreeAll();
    }
    // Rows keep the path texts; the numbering itself is done with.
    PathIds.ReleaseLookup();
    std::vector<TPathRows>().swap(PathRows);
}

void TLogAnalyser::FeedLine(TLogEntry& line, const TVisitFields& fields) {
    std::string_view kept;
    line.PathId = PathIds.IdOf(line.Path(), kept);
    line.KeptPath = kept.data();
    AnalyseLine(line, &fields);
    // The visits a pass closes are counted bit by bit with the visits begun after it (see
    // AnalyseLine): a long count at once would hold the other workers up at the batch ring.
    if (OpenVisits.Count() >= FlushAt) FlushVisits(false);
}

void TLogAnalyser::ForEachKind(const std::function<void(int)>& work) const {
    // The largest tables first, so that the last one taken is a short one.
    std::array<int, kViewKindCount> kinds;
    std::iota(kinds.begin(), kinds.end(), 0);
    std::stable_sort(kinds.begin(), kinds.end(), [this](int a, int b) {
        return Table[a].Count() + List[a].size() > Table[b].Count() + List[b].size();
    });
    std::atomic<int> next{0};
    std::atomic<bool> failed{false};
    RunOnThreads(
        std::min(Workers > 0 ? Workers : AvailableCpus(), static_cast<int>(kViewKindCount)),
        [&](int) {
            for (int i; !failed && (i = next.fetch_add(1)) < kViewKindCount;)
                work(kinds[static_cast<size_t>(i)]);
        },
        [&] { failed = true; });
}

void TLogAnalyser::MergeTotals(const TLogAnalyser& shard) {
    if (shard.StartDate != 0 && (StartDate == 0 || shard.StartDate < StartDate)) StartDate = shard.StartDate;
    EndDate = std::max(EndDate, shard.EndDate);
    Hits += shard.Hits;
    Visits += shard.Visits;
    Bytes += shard.Bytes;
    for (int i = 0; i < kDurationBucketCount; ++i)
        DurationHistogram[i] += shard.DurationHistogram[i];
    TotalDuration += shard.TotalDuration;
    FilteredVisits += shard.FilteredVisits;
    FilteredHits += shard.FilteredHits;
    LinesOutsideRange += shard.LinesOutsideRange;
    PartialsMerged += shard.PartialsMerged;
    HitsMade += shard.HitsMade;
    VisitsMade += shard.VisitsMade;
}

void TLogAnalyser::MergeRows(int kind, TLogAnalyser& shard) {
    TViewTable& rows = shard.Table[kind];
    // The shard's texts stay with it: the rows made here share them.
    for (TLogView* row = rows.First(); row; row = rows.Next())
        FindOrAddRow(kind, row->Name, row->SubName, kKeptName | kKeptSubName)->MergeFrom(*row);
    rows.Clear();
}

void TLogAnalyser::FlushVisits(bool final) {
    // Lines are taken to be at most the visit timeout out of time order: a visit closes when
    // even a line that much earlier than the latest one could no longer join it. A pass
    // before that horizon passes the earliest possible expiry would close nothing.
    const TDateTime horizon = LastEntryTime - Profile.VisitTimeout / 1440.0;
    if (!final && (!HasLastEntry || horizon <= EarliestExpiry)) return;
    // Every answer for the visits about to close must have arrived first.
    if (Profile.UseDNS) WaitForLookups();
    for (TWebVisit* visit : JoinedVisits)
        RecycleVisit(visit);
    JoinedVisits.clear();
    AwaitCountryTables();
    CountClosedVisits(SIZE_MAX); // what the last pass closed comes first: only one pass waits
    EarliestExpiry = 1e300;
    for (TWebVisit* visit = OpenVisits.First(); visit; visit = OpenVisits.Next()) {
        if (final || (HasLastEntry && horizon > visit->LastTime + Profile.VisitTimeout / 1440.0)) {
            SetAddressCountry(*visit);
            Closing.push_back(visit);
            OpenVisits.RemoveCurrent();
        } else {
            NoteVisitTimes(*visit);
        }
    }
    // Counted in time order, so that the rows' day records are mostly found at once; the
    // counts do not depend on the order.
    std::sort(Closing.begin(), Closing.end(),
              [](const TWebVisit* a, const TWebVisit* b) { return a->StartTime < b->StartTime; });
    TQVFilter& filter = CurrentFilter();
    if (Profile.EnableFilters && filter.LineCount() > 0) {
        // One filter serves every shard, and it keeps work texts of its own.
        static std::mutex filtering;
        std::lock_guard<std::mutex> lock(filtering);
        FilteredHits += filter.ApplyFilter(Closing, HitPool).RemovedHits;
    }
    // Counted bit by bit as the run goes on (see CountClosedVisits), all at the last pass.
    if (final) CountClosedVisits(SIZE_MAX);
}

void TLogAnalyser::CountClosedVisits(size_t n) {
    for (; n > 0 && ClosedCounted < Closing.size(); --n) {
        const size_t at = ClosedCounted++;
        TWebVisit* visit = Closing[at];
        // The visits after it are fetched ahead, a step a visit: the whole object of the
        // fourth; the hit list and the texts on the heap of the third; the keys of the
        // second, hashed, and their slots; the rows those slots name and the first hits of
        // the next.
        const size_t count = Closing.size();
        if (at + 4 < count) {
            const auto* object = reinterpret_cast<const char*>(Closing[at + 4]);
            for (size_t offset = 0; offset < sizeof(TWebVisit); offset += 64)
                __builtin_prefetch(object + offset);
        }
        if (at + 3 < count) {
            const TWebVisit& third = *Closing[at + 3];
            __builtin_prefetch(third.HitList.data());
            __builtin_prefetch(third.Referrer.data());
            __builtin_prefetch(third.ReferrerDomain.data());
            __builtin_prefetch(third.SearchPhrase.data());
        }
        if (at + 2 < count) {
            TVisitKeys& keys = AheadKeys[(at + 2) % AheadKeys.size()];
            keys.Of(*Closing[at + 2]);
            FetchAhead(keys, false);
        }
        if (at + 1 < count) {
            const TWebVisit& next = *Closing[at + 1];
            for (size_t i = 0; i < std::min<size_t>(next.HitList.size(), 16); ++i)
                __builtin_prefetch(next.HitList[i]);
            const TVisitKeys& keys = AheadKeys[(at + 1) % AheadKeys.size()];
            if (keys.Visit == &next) FetchAhead(keys, true);
        }
        // Keys are used once: a recycled object closed again must not find the old ones.
        TVisitKeys& keys = AheadKeys[at % AheadKeys.size()];
        if (keys.Visit != visit) keys.Of(*visit);
        if (visit->HitCount() == 0) {
            ++FilteredVisits;
        } else {
            CountVisit(*visit, keys);
            ++Visits;
            Hits += visit->HitCount();
            Bytes += visit->Bytes;
            const int64_t length = visit->LengthSeconds();
            ++DurationHistogram[DurationBucketOf(length)];
            TotalDuration += length;
        }
        keys.Visit = nullptr;
        RecycleVisit(visit);
    }
    if (ClosedCounted == Closing.size()) {
        Closing.clear();
        ClosedCounted = 0;
    }
}

void TLogAnalyser::BuildLists() {
    for (int kind = 0; kind < kViewKindCount; ++kind) {
        List[kind].clear();
        auto& groups = Groups[kind];
        for (TLogView* row = Table[kind].First(); row; row = Table[kind].Next()) {
            bool absorbed = false;
            for (auto& group : groups) {
                if (group->Matches(row->Name)) {
                    group->AddMember(*row);
                    absorbed = true;
                }
            }
            if (!absorbed) List[kind].push_back(row);
        }
        // Members in name order, however the table placed them.
        for (auto& group : groups)
            std::stable_sort(group->Members.begin(), group->Members.end(), [](const TLogView* a, const TLogView* b) {
                return a->Name != b->Name ? a->Name < b->Name : a->SubName < b->SubName;
            });
        for (auto& group : groups) {
            if (group->Members.empty()) continue;
            if (group->GroupingType == gtAverage) {
                const auto n = static_cast<int32_t>(group->Members.size());
                group->Hits /= n;
                group->Visits /= n;
                group->Bytes /= n;
            }
            List[kind].push_back(group.get());
            Table[kind].AddGroup(group.get());
        }
    }
}

void TLogAnalyser::Sort(int kind, bool descending) {
    if (kind < 0 || kind >= kViewKindCount) return;
    auto before = [kind](const TLogView* a, const TLogView* b) {
        if (kind == vkHost) return a->Bytes < b->Bytes;
        if (kind >= vkPageWithParams && kind <= vkParamValue) return a->Hits < b->Hits;
        return a->Visits != b->Visits ? a->Visits < b->Visits : a->Hits < b->Hits;
    };
    auto& list = List[kind];
    // Equal rows keep their names' order, so that reports do not change from run to run.
    std::stable_sort(list.begin(), list.end(), [](const TLogView* a, const TLogView* b) {
        return a->Name != b->Name ? a->Name < b->Name : a->SubName < b->SubName;
    });
    if (descending) {
        std::stable_sort(list.begin(), list.end(), [&](const TLogView* a, const TLogView* b) { return before(b, a); });
    } else {
        std::stable_sort(list.begin(), list.end(), before);
    }
}

void TLogAnalyser::SortAll() {
    ForEachKind([this](int kind) { Sort(kind, true); });
}

TLogView* TLogAnalyser::ViewByKey(int kind, std::string_view key) {
    if (kind < 0 || kind >= kViewKindCount) return nullptr;
    return Table[kind].Value(key);
}

int TLogAnalyser::ViewCount(int kind) const {
    if (kind < 0 || kind >= kViewKindCount) return 0;
    return static_cast<int>(List[kind].size());
}

TLogView* TLogAnalyser::ViewAt(int kind, int index) const {
    if (kind < 0 || kind >= kViewKindCount || index < 0 || index >= ViewCount(kind)) return nullptr;
    return List[kind][static_cast<size_t>(index)];
}

TDayRecord TLogAnalyser::DayStatsOf(const TLogView& row, int32_t day) {
    return row.DayCounts(day);
}

void TLogAnalyser::ComputeAverages() {
    AvgHitsPerVisit = Visits > 0 ? static_cast<double>(Hits) / Visits : 0;
    if (Visits > 0) AvgVisitSeconds = static_cast<int32_t>(TotalDuration / Visits);
    BytesPerHit = Hits > 0 ? static_cast<int32_t>(Bytes / Hits) : 0;
    BytesPerVisit = Visits > 0 ? static_cast<int32_t>(Bytes / Visits) : 0;
}

void TLogAnalyser::Clear() {
    PathRows.clear();
    for (int kind = 0; kind < kViewKindCount; ++kind) {
        LastRow[kind] = nullptr;
        Table[kind].Clear();
        List[kind].clear();
        Groups[kind].clear();
    }
    RowTexts.Clear();
    Shards.clear();
    for (TWebVisit* visit = OpenVisits.First(); visit; visit = OpenVisits.Next())
        RecycleVisit(visit);
    OpenVisits.Clear();
    for (size_t i = ClosedCounted; i < Closing.size(); ++i)
        RecycleVisit(Closing[i]);
    for (TWebVisit* visit : JoinedVisits)
        RecycleVisit(visit);
    JoinedVisits.clear();
    Closing.clear();
    ClosedCounted = 0;
    AheadKeys = {};
    StartDate = EndDate = 0;
    Hits = Visits = 0;
    AvgHitsPerVisit = 0;
    AvgVisitSeconds = 0;
    Bytes = 0;
    BytesPerVisit = BytesPerHit = 0;
    std::fill(std::begin(DurationHistogram), std::end(DurationHistogram), 0);
    TotalDuration = 0;
    FilteredVisits = FilteredHits = 0;
    LinesRead = LinesUnreadable = LinesOutsideRange = PartialsMerged = 0;
    TrackedURLs.clear();
}
