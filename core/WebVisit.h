#pragma once
// A visit: hits of one host without a pause longer than the visit timeout, kept in time
// order also when the log is not, with the facts decided once from its first hit (address,
// host name, country, browser, system, referrer, search phrase). Hits and visits are recycled through pools, so that
// the line loop allocates nothing.

#include "core/Hit.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TQVProfile;

// Visit length buckets: upper limits in minutes of buckets 0 to 8; longer visits are bucket 9.
constexpr int kDurationBucketCount = 10;
int DurationBucketOf(int64_t seconds);

class TWebVisit {
public:
    TDateTime StartTime = 0;
    TDateTime LastTime = 0;
    std::string IPText;   // the visitor's address (dotted IPv4, or an IPv6 literal); empty until known
    std::string HostName; // empty until known
    std::string Country;  // upper-case code or top-level domain; empty until known
    std::string Browser;
    std::string OS;
    std::string SearchPhrase;
    std::string SearchEngine;
    std::string Referrer;            // lower-cased, without query and fragment
    std::string ReferrerDomain;      // host part of Referrer
    std::string ReferrerQuery;       // without the "?"
    std::vector<THit*> HitList; // owned: returned to the pool when the visit is recycled
    static constexpr size_t kKeptHitCapacity = 16; // the longest list a recycled visit keeps
    uint8_t FilterState = fsUndecided;
    int64_t Bytes = 0;
    uint32_t IP = 0;     // IPv4 address as a number; 0 until known (and for IPv6 visitors)
    uint64_t Serial = 0; // tells visits apart, also when a recycled object is reused; 0 when unset

    // A long visit is counted in parts: its hits go into the hit-level views while it is
    // still open and are given back, so that it holds only a few of them. What the
    // visit-level views need of the hits gone is kept here.
    // The path of a page hit given back: the path numbering's text when it has one (it
    // outlives the visit), else a copy of its own. Never moved: Text may point into Copy.
    struct TKeptPage {
        std::string_view Text;
        bool Kept = false; // Text is the path numbering's
        uint32_t PathId = kNoPathId;
        TDateTime Time = 0;
        std::string Copy;
        TKeptPage() = default;
        TKeptPage(const TKeptPage&) = delete;
        TKeptPage& operator=(const TKeptPage&) = delete;
        void Set(const THit& hit);
        // Text, with Kept and PathId when asked for.
        std::string_view Of(bool* kept, uint32_t* pathId) const;
    };
    struct TCountedPart {
        int32_t Hits = 0;                 // hits counted and given back
        int32_t Pages = 0;                // of them, pages
        TKeptPage Entry, Exit;            // the first and the last page counted
        std::string Navigation;           // the six earliest pages joined by ";", in time order
        TDateTime PageTimes[6] = {};      // of the pages in Navigation
        uint32_t PageEnds[6] = {};        // where each of them ends in Navigation
        std::vector<THit*> Partials; // owned: counted "206" hits that later ones may join
        std::vector<const void*> Rows;    // the hit-level rows reached so far (a set; null is empty)
        size_t RowCount = 0;
    };
    std::unique_ptr<TCountedPart> Counted; // none until the visit is first counted in part

    int HitCount() const { return static_cast<int>(HitList.size()) + (Counted ? Counted->Hits : 0); }
    // Path of the first / last page hit; empty when the visit has no page. kept tells
    // whether the text outlives the visit (it is the path numbering's); pathId is set to the
    // path's number, or kNoPathId.
    std::string_view EntryPage(bool* kept = nullptr, uint32_t* pathId = nullptr) const;
    std::string_view ExitPage(bool* kept = nullptr, uint32_t* pathId = nullptr) const;
    // Paths of the first n (at most six) page hits joined by ";".
    std::string NavigationPath(int n = 6) const;
    // The same into a buffer that keeps its capacity.
    void NavigationPathInto(std::string& path, int n = 6) const;
    // HostName when known, else IPText.
    const std::string& HostKey() const { return HostName.empty() ? IPText : HostName; }
    // Length in whole seconds from the first to the last hit.
    int64_t LengthSeconds() const;

    // The hit's time lies after LastTime + timeout, or before StartTime - timeout.
    bool Expired(const THit* hit, int visitTimeoutMinutes) const {
        return hit && ExpiredAt(hit->Time, visitTimeoutMinutes);
    }
    bool ExpiredAt(TDateTime time, int visitTimeoutMinutes) const;
    // Not expired for the time, and the host is this visit's host name or address.
    bool Accepts(std::string_view host, TDateTime time, int visitTimeoutMinutes) const;

    // Makes the entry a hit (true), kept in time order (an entry earlier than the first hit
    // moves StartTime back to it), or merges a "206" entry into an earlier partial hit of
    // the same path (false: the entry stays the caller's; countedHit, when given, is set to
    // the earlier hit if that one was counted already, else to null). Marks the entry as a
    // page when it is one for the profile (IgnoreErrors, IsPathExtension).
    bool AddHit(THit* entry, const TQVProfile& profile, THit** countedHit = nullptr);

    // Joins another open visit of the same host into this one: its hits (in time order), its
    // bytes, its counted part (when this one has none, with its serial) and, when it began
    // earlier, the facts of its first hit. The other is left empty.
    void TakeHitsOf(TWebVisit& other);

    // Takes note of a hit counted before the visit closed (the caller then gives it back,
    // or keeps it among the partials).
    void NoteCountedHit(const THit& hit);
    // Adds a row to the rows reached by the parts counted so far; false when it was there.
    bool MarkRow(const void* row);

    // Removes and releases every hit whose effective filter decision is exclude: its own
    // decision, else the visit's, else defaultState. Returns the number removed.
    int RemoveExcludedHits(uint8_t defaultState, THitPool& pool);

    // Resolver answer: fills the missing address (with its country) or host name.
    void OnResolved(uint32_t ip, std::string_view name);

    // Releases the hits and resets every field, ready for reuse.
    void Reset(THitPool& pool);
};
