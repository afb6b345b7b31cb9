#pragma once
// The expanded bytes of a gzip file, read in order straight from its packed data: no copy of
// the expansion is ever written. Members packed one after the other are read as one text, as
// gzip itself does; data that does not start as gzip data is passed through unchanged.

#include <cstddef>
#include <cstdint>
#include <memory>

class TGzipStream {
public:
    // Reads from fd, positioned at the data's start; the caller keeps fd open while it reads.
    explicit TGzipStream(int fd);
    ~TGzipStream();
    TGzipStream(const TGzipStream&) = delete;
    TGzipStream& operator=(const TGzipStream&) = delete;

    // Up to count expanded bytes into data; fewer only once the data has ended.
    size_t Read(char* data, size_t count);
    // No more bytes will come: the data ended, broke off or is damaged.
    bool Ended() const { return Done; }
    // The packed data broke off part-way, is damaged or could not be read: the bytes given
    // before it are all there is.
    bool Damaged() const { return Broken; }
    // Expanded bytes given so far.
    int64_t Produced() const { return Total; }

private:
    // More packed bytes after those not yet used; false at the file's end or on a read error.
    bool Refill();
    // At a member's start: whether gzip data follows (else the data has ended, or, for the
    // first member, is passed through as it is).
    bool MemberFollows();

    struct TState;
    const int Fd;
    std::unique_ptr<TState> Z;
    std::unique_ptr<unsigned char[]> In;
    size_t InBegin = 0, InEnd = 0; // the packed bytes not used yet
    bool FileEnded = false;
    bool AtMemberStart = true;
    bool First = true;
    bool Direct = false; // not gzip data: passed through
    bool Done = false;
    bool Broken = false;
    int64_t Total = 0;
};
