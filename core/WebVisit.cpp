#include "core/WebVisit.h"

#include "core/u_countryfinder.h"
#include "profile/u_qvprofile.h"
#include "sources/CUtils.h"

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

std::string_view TWebVisit::EntryPage() const {
    for (const TLogEntry* hit : HitList)
        if (hit->Page) return hit->Path();
    return {};
}

std::string_view TWebVisit::ExitPage() const {
    for (auto it = HitList.rbegin(); it != HitList.rend(); ++it)
        if ((*it)->Page) return (*it)->Path();
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
    for (const TLogEntry* hit : HitList) {
        if (!hit->Page) continue;
        if (pages++ == n) break;
        if (!path.empty()) path += ';';
        path += hit->Path();
    }
}

int64_t TWebVisit::LengthSeconds() const {
    return static_cast<int64_t>(std::trunc((LastTime - StartTime) * kSecondsPerDay));
}

bool TWebVisit::ExpiredAt(TDateTime time, int visitTimeoutMinutes) const {
    return time > LastTime + visitTimeoutMinutes / 1440.0 || time < StartTime;
}

bool TWebVisit::Accepts(std::string_view host, TDateTime time, int visitTimeoutMinutes) const {
    return !ExpiredAt(time, visitTimeoutMinutes) && (host == HostName || host == IPText);
}

bool TWebVisit::AddHit(TLogEntry* entry, const TQVProfile& profile) {
    LastTime = entry->Time;
    if (profile.Group206 && entry->Status() == "206") {
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
