#pragma once
// Sequential reader of tar archives: walks the 512-byte header blocks and reads each
// member's name, size, modification time and data. GNU long-name and pax records are
// folded into the member they describe. Damage ends the walk in TarError, never raises.

#include "sources/FileUtils.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

enum TTarState : uint8_t {
    TarReady = 0, // a header block is expected
    TarHeader,    // a header with a name has been read
    TarSized,     // the size is known and above 0
    TarData,      // the member's data can be read
    TarError,     // a header block was short, or data run past the end of the archive
    TarEnd        // a block of zeros was read
};

// A member's modification time as calendar parts (UTC, as stored in the archive).
struct TTarTime {
    int Second = 0, Minute = 0, Hour = 0;
    int Day = 1, Month = 1, Year = 1970;
};

class TTarFile {
public:
    static constexpr int kBlockSize = 512;

    // Opens the archive for reading and resets the walk; false when it cannot be opened.
    bool Open(const std::string& path);
    void Close();
    // True when the read position has reached the end of the archive (or none is open).
    bool AtEnd() const;

    // The next member's name, "/" kept, space + : < > | turned into "_"; empty when no
    // member header was read (end, damage, a block with an empty name, or not TarReady).
    std::string ReadHeader();
    // The current member's data size; 0 for an empty member or when no header is pending,
    // and 0 with TarError when the size field holds a negative or oversized value.
    int64_t ReadSize();
    // The current member's modification time; makes its data readable.
    TTarTime ReadTime();
    // Reads up to count bytes of the current member; 0 (and TarError) when its data run
    // past the end of the archive or none are pending. The padding is dropped at its end.
    size_t ReadData(char* buffer, size_t count);
    // Passes over the rest of the current member's data and padding.
    void SkipData();

    TTarState GetState() const { return State; }
    const std::string& GetMemberName() const { return MemberName; }
    // True when the current member is a plain file (type '0', NUL or '7').
    bool IsRegularFile() const;

private:
    // Reads exactly count bytes at the read position; false on a short read.
    bool ReadBlock(void* buffer, size_t count);
    bool DataFits() const { return StreamSize - Position >= Remaining; }
    void Advance(int64_t count);
    // Reads a GNU long name or pax record; false when the walk must stop.
    bool ReadExtension(char type, int64_t size);

    TUniqueFd Stream;
    TTarState State = TarReady;
    std::string MemberName;
    std::array<char, kBlockSize> Header{};
    int64_t Remaining = 0;
    int64_t Padding = 0;

    int64_t Position = 0;
    int64_t StreamSize = 0;
    // Name and size that a preceding GNU 'L' or pax 'x' record gave the next member.
    std::string PendingName;
    bool HasPendingName = false;
    int64_t PendingSize = -1;
};

// Calendar parts of a Unix time stamp in seconds.
TTarTime TarTimeFromSeconds(int64_t seconds);
