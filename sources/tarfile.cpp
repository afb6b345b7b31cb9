#include "sources/tarfile.h"

#include "sources/CUtils.h"
#include "sources/DateTime.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

namespace {

// Header layout: offsets and lengths of the fields read.
constexpr size_t kNameOffset = 0, kNameLength = 100;
constexpr size_t kSizeOffset = 124, kTimeOffset = 136, kNumberLength = 12, kOctalDigits = 11;
constexpr size_t kTypeOffset = 156;
constexpr size_t kMagicOffset = 257;
constexpr size_t kPrefixOffset = 345, kPrefixLength = 155;

// Long-name and pax records larger than this are passed over instead of read.
constexpr int64_t kMaxExtensionSize = 1 << 20;

std::string_view FieldText(const char* field, size_t length) {
    const void* nul = std::memchr(field, '\0', length);
    return {field, nul ? static_cast<size_t>(static_cast<const char*>(nul) - field) : length};
}

// Octal digits of the field, other characters skipped.
int64_t ReadOctal(const char* field, size_t length) {
    int64_t value = 0;
    for (size_t i = 0; i < length; ++i)
        if (field[i] >= '0' && field[i] <= '7') value = value * 8 + (field[i] - '0');
    return value;
}

// A numeric field: octal, or GNU base-256 when its first byte has the top bit set
// (sizes of 8 GiB and more). -1 when the value is negative or does not fit.
int64_t ReadNumber(const char* field) {
    const auto first = static_cast<unsigned char>(field[0]);
    if (!(first & 0x80)) return ReadOctal(field, kOctalDigits);
    if (first & 0x40) return -1;
    int64_t value = first & 0x3f;
    for (size_t i = 1; i < kNumberLength; ++i) {
        if (value > (INT64_MAX >> 8)) return -1;
        value = (value << 8) | static_cast<unsigned char>(field[i]);
    }
    return value;
}

int64_t PaddingOf(int64_t size) {
    return (TTarFile::kBlockSize - size % TTarFile::kBlockSize) % TTarFile::kBlockSize;
}

bool IsExtensionRecord(char type) {
    return type == 'L' || type == 'K' || type == 'x' || type == 'g';
}

void CleanMemberName(std::string& name) {
    static constexpr TCharSet kReplaced(" +:<>|");
    for (char& c : name)
        if (kReplaced.Contains(c)) c = '_';
}

} // namespace

bool TTarFile::Open(const std::string& path) {
    Close();
    TUniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (!fd.Valid() || fstat(fd.Get(), &st) != 0) return false;
    Stream = std::move(fd);
    StreamSize = st.st_size;
    return true;
}

void TTarFile::Close() {
    Stream.Reset();
    State = TarReady;
    MemberName.clear();
    Header.fill(0);
    Remaining = Padding = Position = StreamSize = 0;
    PendingName.clear();
    HasPendingName = false;
    PendingSize = -1;
}

bool TTarFile::AtEnd() const {
    return !Stream.Valid() || Position >= StreamSize;
}

bool TTarFile::IsRegularFile() const {
    const char type = Header[kTypeOffset];
    return type == '0' || type == '\0' || type == '7';
}

bool TTarFile::ReadBlock(void* buffer, size_t count) {
    auto* out = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < count) {
        const ssize_t n = pread(Stream.Get(), out + done, count - done, Position + static_cast<int64_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    Position += static_cast<int64_t>(count);
    return true;
}

void TTarFile::Advance(int64_t count) {
    Position = std::min(StreamSize, Position + count);
}

std::string TTarFile::ReadHeader() {
    MemberName.clear();
    // Long-name and pax records describe the header after them: read them and go on.
    for (;;) {
        if (AtEnd() || State != TarReady) return {};
        if (!ReadBlock(Header.data(), Header.size())) {
            State = TarError;
            return {};
        }
        if (std::all_of(Header.begin(), Header.end(), [](char c) { return c == '\0'; })) {
            State = TarEnd;
            Position = StreamSize;
            return {};
        }
        const char type = Header[kTypeOffset];
        if (!IsExtensionRecord(type)) break;
        const int64_t size = ReadNumber(&Header[kSizeOffset]);
        if (size < 0 || !ReadExtension(type, size)) {
            State = TarError;
            return {};
        }
    }

    std::string name;
    if (HasPendingName) {
        name = std::move(PendingName);
    } else {
        name = FieldText(&Header[kNameOffset], kNameLength);
        // POSIX ustar keeps the folder part of a long name in the prefix field.
        if (std::memcmp(&Header[kMagicOffset], "ustar", 6) == 0) {
            const std::string_view prefix = FieldText(&Header[kPrefixOffset], kPrefixLength);
            if (!prefix.empty()) name = std::string(prefix) + "/" + name;
        }
    }
    PendingName.clear();
    HasPendingName = false;
    if (name.empty()) {
        PendingSize = -1;
        return {};
    }
    CleanMemberName(name);
    State = TarHeader;
    MemberName = name;
    return name;
}

bool TTarFile::ReadExtension(char type, int64_t size) {
    if (StreamSize - Position < size) return false;
    if ((type != 'L' && type != 'x') || size > kMaxExtensionSize) {
        Advance(size + PaddingOf(size));
        return true;
    }
    std::string data(static_cast<size_t>(size), '\0');
    if (!ReadBlock(data.data(), data.size())) return false;
    Advance(PaddingOf(size));
    if (type == 'L') {
        PendingName = FieldText(data.data(), data.size());
        HasPendingName = true;
        return true;
    }
    // Pax records: "<length> <key>=<value>\n", the length counting the whole record.
    std::string_view records(data);
    while (!records.empty()) {
        const size_t space = records.find(' ');
        int64_t length = 0;
        if (space == std::string_view::npos || !TryParseInt64(records.substr(0, space), length) ||
            length <= static_cast<int64_t>(space) + 1 || length > static_cast<int64_t>(records.size()) ||
            records[static_cast<size_t>(length) - 1] != '\n')
            break;
        const std::string_view record = records.substr(space + 1, static_cast<size_t>(length) - space - 2);
        records.remove_prefix(static_cast<size_t>(length));
        const size_t equals = record.find('=');
        if (equals == std::string_view::npos) continue;
        const std::string_view key = record.substr(0, equals), value = record.substr(equals + 1);
        int64_t number = 0;
        if (key == "path") {
            PendingName = FieldText(value.data(), value.size());
            HasPendingName = true;
        } else if (key == "size" && TryParseInt64(value, number) && number >= 0) {
            PendingSize = number;
        }
    }
    return true;
}

int64_t TTarFile::ReadSize() {
    if (State != TarHeader) return 0;
    const int64_t size = PendingSize >= 0 ? PendingSize : ReadNumber(&Header[kSizeOffset]);
    PendingSize = -1;
    if (size < 0) {
        State = TarError;
        return 0;
    }
    State = size > 0 ? TarSized : TarReady;
    Remaining = size;
    Padding = PaddingOf(size);
    return size;
}

TTarTime TTarFile::ReadTime() {
    int64_t seconds = 0;
    if (State == TarSized) {
        seconds = ReadOctal(&Header[kTimeOffset], kOctalDigits);
        State = TarData;
    }
    return TarTimeFromSeconds(seconds);
}

size_t TTarFile::ReadData(char* buffer, size_t count) {
    if (State != TarData || !DataFits()) {
        State = TarError;
        return 0;
    }
    const size_t n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(count), Remaining));
    if (!ReadBlock(buffer, n)) {
        State = TarError;
        return 0;
    }
    Remaining -= static_cast<int64_t>(n);
    if (Remaining == 0) {
        State = TarReady;
        Advance(Padding);
    }
    return n;
}

void TTarFile::SkipData() {
    if ((State != TarData && State != TarSized) || !DataFits()) {
        State = TarError;
        return;
    }
    Advance(Remaining + Padding);
    Remaining = 0;
    State = TarReady;
}

TTarTime TarTimeFromSeconds(int64_t seconds) {
    const TDateParts parts = DecodeDateTime(UnixSecondsToDateTime(seconds));
    TTarTime time;
    time.Second = parts.Second;
    time.Minute = parts.Minute;
    time.Hour = parts.Hour;
    time.Day = parts.Day;
    time.Month = parts.Month;
    time.Year = parts.Year;
    return time;
}
