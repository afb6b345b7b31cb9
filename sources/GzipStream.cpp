#include "sources/GzipStream.h"

#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

namespace {
// Below the heap's threshold for mapped blocks: freeing a mapped block would raise that
// threshold, and the run's later tables would stay in the heap after they are freed.
constexpr size_t kInputSize = 64 * 1024;
} // namespace

struct TGzipStream::TState {
    z_stream S{};
    bool Ready = false;
};

TGzipStream::TGzipStream(int fd)
    : Fd(fd), Z(std::make_unique<TState>()), In(std::make_unique_for_overwrite<unsigned char[]>(kInputSize)) {
    // Gzip members only, with the largest window.
    Z->Ready = inflateInit2(&Z->S, 16 + MAX_WBITS) == Z_OK;
    Done = Broken = !Z->Ready;
}

TGzipStream::~TGzipStream() {
    if (Z->Ready) inflateEnd(&Z->S);
}

bool TGzipStream::Refill() {
    if (FileEnded) return false;
    if (InBegin > 0) {
        std::memmove(In.get(), In.get() + InBegin, InEnd - InBegin);
        InEnd -= InBegin;
        InBegin = 0;
    }
    for (;;) {
        const ssize_t n = read(Fd, In.get() + InEnd, kInputSize - InEnd);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            Broken |= n < 0;
            FileEnded = true;
            return false;
        }
        InEnd += static_cast<size_t>(n);
        return true;
    }
}

bool TGzipStream::MemberFollows() {
    while (InEnd - InBegin < 2 && Refill()) {
    }
    const bool magic = InEnd - InBegin >= 2 && In[InBegin] == 0x1f && In[InBegin + 1] == 0x8b;
    if (First) {
        First = false;
        Direct = !magic;
        return true;
    }
    // Whatever follows the last member (padding, say) is not read.
    return magic;
}

size_t TGzipStream::Read(char* data, size_t count) {
    size_t done = 0;
    while (done < count && !Done) {
        if (AtMemberStart) {
            if (!MemberFollows()) {
                Done = true;
                break;
            }
            AtMemberStart = false;
        }
        if (InBegin == InEnd && !Refill()) {
            // The file ends: inside a member, the data broke off.
            Broken |= !Direct;
            Done = true;
            break;
        }
        if (Direct) {
            const size_t n = std::min(count - done, InEnd - InBegin);
            std::memcpy(data + done, In.get() + InBegin, n);
            InBegin += n;
            done += n;
            continue;
        }
        z_stream& s = Z->S;
        s.next_in = In.get() + InBegin;
        s.avail_in = static_cast<uInt>(InEnd - InBegin);
        s.next_out = reinterpret_cast<Bytef*>(data + done);
        s.avail_out = static_cast<uInt>(std::min<size_t>(count - done, UINT_MAX));
        const uInt outBefore = s.avail_out, inBefore = s.avail_in;
        const int result = inflate(&s, Z_NO_FLUSH);
        done += outBefore - s.avail_out;
        InBegin = InEnd - s.avail_in;
        if (result == Z_STREAM_END) {
            inflateReset(&s);
            AtMemberStart = true;
        } else if ((result != Z_OK && result != Z_BUF_ERROR) || (s.avail_out == outBefore && s.avail_in == inBefore)) {
            // Damaged data, or no way on: what came before is kept.
            Broken = Done = true;
        }
    }
    Total += static_cast<int64_t>(done);
    return done;
}
