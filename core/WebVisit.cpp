#include "core/WebVisit.h"

#include "core/u_countryfinder.h"
#include "profile/u_qvprofile.h"
#include "sources/CUtils.h"

#include <algorithm>
#include <cmath>

TLogEntry* TEntryPool::Acquire() {
    TLogEntry* entry;
    if (Free.empty()) {
        if (Made % kChunkEntries == 0) Chunks.push_back(std::make_unique<TLogEntry[]>(kChunkEntries));
        entry = &Chunks.back()[Made % kChunkEntries];
        ++Made;
    } else {
        entry = Free.back();
        Free.pop_back();
    }
    entry->Visit = nullptr;
    entry->FilterState = fsUndecided;
    entry->Valid = false;
    entry->IsError = false;
    entry->Page = false;
    return entry;
}

void TEntryPool::Release(TLogEntry* entry) {
    if (entry) Free.push_back(entry);
}

int DurationBucketOf(int64_t seconds) {
    static constexpr int64_t kUpperMinutes[kDurationBucketCount - 1] = {0, 1, 2, 5, 7, 10, 15, 30, 60};
    const int64_t minutes = seconds / 60;
    for (int i = 0; i < kDurationBucketCount - 1; ++i)
        if (minutes <= kUpperMinutes[i]) return i;
    return kDurationBucketCount - 1;
}

namespace {

constexpr int kNavigationPages = 6;

// The kept text of the hit's path when it has one, else its own.
std::string_view PathOf(const TLogEntry& hit, bool* kept) {
    const std::string_view stored = hit.StoredPath();
    if (kept) *kept = !stored.empty();
    return stored.empty() ? hit.Path() : stored;
}

} // namespace

std::string_view TWebVisit::EntryPage(bool* kept) const {
    if (Counted && Counted->Pages > 0) {
        if (kept) *kept = Counted->Entry.Kept;
        return Counted->Entry.Text;
    }
    for (const TLogEntry* hit : HitList)
        if (hit->Page) return PathOf(*hit, kept);
    if (kept) *kept = false;
    return {};
}

std::string_view TWebVisit::ExitPage(bool* kept) const {
    for (auto it = HitList.rbegin(); it != HitList.rend(); ++it)
        if ((*it)->Page) return PathOf(**it, kept);
    if (Counted && Counted->Pages > 0) {
        if (kept) *kept = Counted->Exit.Kept;
        return Counted->Exit.Text;
    }
    if (kept) *kept = false;
    return {};
}

std::string TWebVisit::NavigationPath(int n) const {
    std::string path;
    NavigationPathInto(path, n);
    return path;
}

void TWebVisit::NavigationPathInto(std::string& path, int n) const {
    path.clear();
    int pages = 0;
    if (Counted && Counted->Pages > 0) {
        path = Counted->Navigation;
        pages = std::min(Counted->Pages, kNavigationPages);
    }
    for (const TLogEntry* hit : HitList) {
        if (!hit->Page) continue;
        if (pages++ >= n) break;
        if (!path.empty()) path += ';';
        path += hit->Path();
    }
}

void TWebVisit::TKeptPage::Set(const TLogEntry& hit) {
    const std::string_view stored = hit.StoredPath();
    Kept = !stored.empty();
    if (Kept) {
        Text = stored;
        return;
    }
    Copy.assign(hit.Path());
    Text = Copy;
}

void TWebVisit::NoteCountedHit(const TLogEntry& hit) {
    if (!Counted) Counted = std::make_unique<TCountedPart>();
    TCountedPart& part = *Counted;
    ++part.Hits;
    if (!hit.Page) return;
    if (part.Pages == 0) part.Entry.Set(hit);
    part.Exit.Set(hit);
    if (part.Pages < kNavigationPages) {
        if (!part.Navigation.empty()) part.Navigation += ';';
        part.Navigation += hit.Path();
    }
    ++part.Pages;
}

bool TWebVisit::MarkRow(const void* row) {
    if (!Counted) Counted = std::make_unique<TCountedPart>();
    std::vector<const void*>& rows = Counted->Rows;
    // Open addressing over a power-of-two array kept at most half full.
    if ((Counted->RowCount + 1) * 2 > rows.size()) {
        std::vector<const void*> old(std::max<size_t>(64, rows.size() * 2), nullptr);
        old.swap(rows);
        for (const void* r : old) {
            if (!r) continue;
            size_t i = (reinterpret_cast<uintptr_t>(r) >> 3) * 0x9E3779B97F4A7C15ull >> 20 & (rows.size() - 1);
            while (rows[i])
                i = (i + 1) & (rows.size() - 1);
            rows[i] = r;
        }
    }
    const size_t mask = rows.size() - 1;
    for (size_t i = (reinterpret_cast<uintptr_t>(row) >> 3) * 0x9E3779B97F4A7C15ull >> 20 & mask;; i = (i + 1) & mask) {
        if (rows[i] == row) return false;
        if (!rows[i]) {
            rows[i] = row;
            ++Counted->RowCount;
            return true;
        }
    }
}

int64_t TWebVisit::LengthSeconds() const {
    // Times are fractions of a day: rounding, not truncation, gives back the whole seconds.
    return std::llround((LastTime - StartTime) * kSecondsPerDay);
}

bool TWebVisit::ExpiredAt(TDateTime time, int visitTimeoutMinutes) const {
    return time > LastTime + visitTimeoutMinutes / 1440.0 || time < StartTime;
}

bool TWebVisit::Accepts(std::string_view host, TDateTime time, int visitTimeoutMinutes) const {
    return !ExpiredAt(time, visitTimeoutMinutes) && (host == HostName || host == IPText);
}

bool TWebVisit::AddHit(TLogEntry* entry, const TQVProfile& profile, TLogEntry** countedHit) {
    LastTime = entry->Time;
    if (countedHit) *countedHit = nullptr;
    if (profile.Group206 && entry->Status() == "206") {
        if (Counted) {
            for (TLogEntry* hit : Counted->Partials) {
                if (hit->Path() == entry->Path()) {
                    hit->Bytes += entry->Bytes;
                    Bytes += entry->Bytes;
                    if (countedHit) *countedHit = hit;
                    return false;
                }
            }
        }
        for (TLogEntry* hit : HitList) {
            if (hit->Status() == "206" && hit->Path() == entry->Path()) {
                hit->Bytes += entry->Bytes;
                Bytes += entry->Bytes;
                return false;
            }
        }
    }
    entry->Page = !(profile.IgnoreErrors && entry->IsError) && profile.IsPathExtension(entry->Extension());
    entry->Visit = this;
    HitList.push_back(entry);
    Bytes += entry->Bytes;
    return true;
}

int TWebVisit::RemoveExcludedHits(uint8_t defaultState, TEntryPool& pool) {
    size_t kept = 0;
    int removed = 0;
    for (TLogEntry* hit : HitList) {
        const uint8_t decision = hit->FilterState != fsUndecided
                                     ? hit->FilterState
                                     : (FilterState != fsUndecided ? FilterState : defaultState);
        if (decision == fsExclude) {
            pool.Release(hit);
            ++removed;
        } else {
            HitList[kept++] = hit;
        }
    }
    HitList.resize(kept);
    return removed;
}

void TWebVisit::OnResolved(uint32_t ip, std::string_view name) {
    if (ip == 0 || name.empty()) return;
    if (IP == 0) {
        IP = ip;
        IPText = IntToIP(ip);
        Country = CountryFinder.CountryOf(ip);
    }
    if (HostName.empty()) HostName.assign(name);
}

void TWebVisit::Reset(TEntryPool& pool) {
    for (TLogEntry* hit : HitList)
        pool.Release(hit);
    HitList.clear();
    if (Counted) {
        for (TLogEntry* hit : Counted->Partials)
            pool.Release(hit);
        Counted.reset();
    }
    StartTime = LastTime = 0;
    IPText.clear();
    HostName.clear();
    Country.clear();
    Browser.clear();
    OS.clear();
    SearchPhrase.clear();
    SearchEngine.clear();
    Referrer.clear();
    ReferrerDomain.clear();
    ReferrerQuery.clear();
    FilterState = fsUndecided;
    Bytes = 0;
    IP = 0;
    Serial = 0;
}
