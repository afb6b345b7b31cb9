#include "core/WebVisit.h"

#include "core/u_countryfinder.h"
#include "profile/u_qvprofile.h"
#include "sources/CUtils.h"

#include <algorithm>
#include <cmath>

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
std::string_view PathOf(const THit& hit, bool* kept, uint32_t* pathId) {
    const std::string_view stored = hit.StoredPath();
    if (kept) *kept = !stored.empty();
    if (pathId) *pathId = hit.PathId;
    return stored.empty() ? hit.Path() : stored;
}

std::string_view NoPage(bool* kept, uint32_t* pathId) {
    if (kept) *kept = false;
    if (pathId) *pathId = kNoPathId;
    return {};
}

} // namespace

// A hit that arrived after part of its visit was counted may be earlier than the part:
// the page of either that comes first (last) in time is the entry (exit) page.
std::string_view TWebVisit::EntryPage(bool* kept, uint32_t* pathId) const {
    const bool counted = Counted && Counted->Pages > 0;
    for (const THit* hit : HitList)
        if (hit->Page && !(counted && Counted->Entry.Time <= hit->Time)) return PathOf(*hit, kept, pathId);
    return counted ? Counted->Entry.Of(kept, pathId) : NoPage(kept, pathId);
}

std::string_view TWebVisit::ExitPage(bool* kept, uint32_t* pathId) const {
    const bool counted = Counted && Counted->Pages > 0;
    for (auto it = HitList.rbegin(); it != HitList.rend(); ++it)
        if ((*it)->Page && !(counted && (*it)->Time < Counted->Exit.Time)) return PathOf(**it, kept, pathId);
    return counted ? Counted->Exit.Of(kept, pathId) : NoPage(kept, pathId);
}

std::string TWebVisit::NavigationPath(int n) const {
    std::string path;
    NavigationPathInto(path, n);
    return path;
}

void TWebVisit::NavigationPathInto(std::string& path, int n) const {
    path.clear();
    // The pages counted in part and those held, merged in time order (held ones after
    // counted ones of the same time, as they came later).
    const int countedPages = Counted ? std::min(Counted->Pages, kNavigationPages) : 0;
    int next = 0; // of the counted pages
    uint32_t from = 0;
    auto appendCounted = [&] {
        if (!path.empty()) path += ';';
        const uint32_t end = Counted->PageEnds[next];
        path.append(Counted->Navigation, from, end - from);
        from = end + 1;
        ++next;
    };
    int pages = 0;
    for (const THit* hit : HitList) {
        if (!hit->Page) continue;
        while (next < countedPages && pages < n && Counted->PageTimes[next] <= hit->Time) {
            appendCounted();
            ++pages;
        }
        if (pages++ >= n) return;
        if (!path.empty()) path += ';';
        path += hit->Path();
    }
    while (next < countedPages && pages++ < n)
        appendCounted();
}

void TWebVisit::TKeptPage::Set(const THit& hit) {
    const std::string_view stored = hit.StoredPath();
    Kept = !stored.empty();
    PathId = hit.PathId;
    Time = hit.Time;
    if (Kept) {
        Text = stored;
        return;
    }
    Copy.assign(hit.Path());
    Text = Copy;
}

std::string_view TWebVisit::TKeptPage::Of(bool* kept, uint32_t* pathId) const {
    if (kept) *kept = Kept;
    if (pathId) *pathId = PathId;
    return Text;
}

void TWebVisit::NoteCountedHit(const THit& hit) {
    if (!Counted) Counted = std::make_unique<TCountedPart>();
    TCountedPart& part = *Counted;
    ++part.Hits;
    if (!hit.Page) return;
    // A hit may arrive after later ones were counted: the entry and exit pages are the
    // earliest and latest in time, and the navigation path keeps the six earliest in order.
    if (part.Pages == 0 || hit.Time < part.Entry.Time) part.Entry.Set(hit);
    if (part.Pages == 0 || hit.Time >= part.Exit.Time) part.Exit.Set(hit);
    const int held = std::min(part.Pages, kNavigationPages);
    int at = held;
    while (at > 0 && part.PageTimes[at - 1] > hit.Time)
        --at;
    if (at < kNavigationPages) {
        const std::string_view path = hit.Path();
        const uint32_t from = at == 0 ? 0 : part.PageEnds[at - 1] + 1;
        if (at < held) {
            part.Navigation.insert(from, 1, ';');
        } else if (at > 0) {
            part.Navigation += ';';
        }
        part.Navigation.insert(from, path);
        const auto grown = static_cast<uint32_t>(path.size() + (held > 0 ? 1 : 0));
        const int last = std::min(held, kNavigationPages - 1); // the seventh page drops out
        for (int i = last; i > at; --i) {
            part.PageTimes[i] = part.PageTimes[i - 1];
            part.PageEnds[i] = part.PageEnds[i - 1] + grown;
        }
        part.PageTimes[at] = hit.Time;
        part.PageEnds[at] = from + static_cast<uint32_t>(path.size());
        if (held == kNavigationPages) part.Navigation.resize(part.PageEnds[kNavigationPages - 1]);
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
    const double timeout = visitTimeoutMinutes / 1440.0;
    return time > LastTime + timeout || time < StartTime - timeout;
}

bool TWebVisit::Accepts(std::string_view host, TDateTime time, int visitTimeoutMinutes) const {
    return !ExpiredAt(time, visitTimeoutMinutes) && (host == HostName || host == IPText);
}

bool TWebVisit::AddHit(THit* entry, const TQVProfile& profile, THit** countedHit) {
    LastTime = std::max(LastTime, entry->Time);
    StartTime = std::min(StartTime, entry->Time);
    if (countedHit) *countedHit = nullptr;
    if (profile.Group206 && entry->Status() == "206") {
        if (Counted) {
            for (THit* hit : Counted->Partials) {
                if (hit->Path() == entry->Path()) {
                    hit->Bytes += entry->Bytes;
                    Bytes += entry->Bytes;
                    if (countedHit) *countedHit = hit;
                    return false;
                }
            }
        }
        for (THit* hit : HitList) {
            if (hit->Status() == "206" && hit->Path() == entry->Path()) {
                hit->Bytes += entry->Bytes;
                Bytes += entry->Bytes;
                return false;
            }
        }
    }
    entry->Page = !(profile.IgnoreErrors && entry->IsError) && profile.IsPathExtension(entry->Extension());
    entry->Visit = this;
    if (HitList.empty() || HitList.back()->Time <= entry->Time) {
        HitList.push_back(entry);
    } else {
        // Out of time order: after the hits of the same time or earlier.
        const auto at = std::upper_bound(HitList.begin(), HitList.end(), entry->Time,
                                         [](TDateTime time, const THit* hit) { return time < hit->Time; });
        HitList.insert(at, entry);
    }
    Bytes += entry->Bytes;
    return true;
}

void TWebVisit::TakeHitsOf(TWebVisit& other) {
    if (other.StartTime < StartTime) {
        std::swap(IP, other.IP);
        IPText.swap(other.IPText);
        HostName.swap(other.HostName);
        Country.swap(other.Country);
        Browser.swap(other.Browser);
        OS.swap(other.OS);
        SearchPhrase.swap(other.SearchPhrase);
        SearchEngine.swap(other.SearchEngine);
        Referrer.swap(other.Referrer);
        ReferrerDomain.swap(other.ReferrerDomain);
        ReferrerQuery.swap(other.ReferrerQuery);
    }
    StartTime = std::min(StartTime, other.StartTime);
    LastTime = std::max(LastTime, other.LastTime);
    Bytes += other.Bytes;
    other.Bytes = 0;
    if (other.Counted && !Counted) {
        // Its rows were counted under its number.
        Counted = std::move(other.Counted);
        Serial = other.Serial;
        for (THit* hit : Counted->Partials)
            hit->Visit = this;
    }
    const auto middle = static_cast<std::ptrdiff_t>(HitList.size());
    for (THit* hit : other.HitList) {
        hit->Visit = this;
        HitList.push_back(hit);
    }
    other.HitList.clear();
    std::inplace_merge(HitList.begin(), HitList.begin() + middle, HitList.end(),
                       [](const THit* a, const THit* b) { return a->Time < b->Time; });
}

int TWebVisit::RemoveExcludedHits(uint8_t defaultState, THitPool& pool) {
    size_t kept = 0;
    int removed = 0;
    for (THit* hit : HitList) {
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

void TWebVisit::Reset(THitPool& pool) {
    for (THit* hit : HitList)
        pool.Release(hit);
    // A recycled visit keeps a short list only: the lists of long visits (a crawler's) would
    // otherwise stay with every visit object that once held one.
    if (HitList.capacity() > kKeptHitCapacity)
        std::vector<THit*>().swap(HitList);
    else
        HitList.clear();
    if (Counted) {
        for (THit* hit : Counted->Partials)
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
