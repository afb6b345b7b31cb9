#include "sources/LogReader.h"

#include "sources/CUtils.h"
#include "sources/FileUtils.h"
#include "sources/GzipStream.h"
#include "sources/SpecialFolders.h"
#include "sources/UnTar.h"
#include "sources/tarfile.h"

#include <dirent.h>
#include <endian.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <zip.h>
#include <zlib.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <system_error>

namespace {

constexpr int32_t kMinBufferMB = 1;
constexpr int32_t kMaxBufferMB = 99;
// Bytes read at a time, however large the chunk may be.
constexpr size_t kReadPiece = size_t{1} << 20;
constexpr size_t kCopyBlockSize = 256 * 1024;
// What a gzip file's damage is told as, whether it is expanded to disk or read as it expands.
constexpr std::string_view kUnreadableGzip = "not readable as gzip data";
std::string DamagedGzipText(int64_t bytes) {
    return "truncated or damaged gzip data; using the " + std::to_string(bytes) + " bytes decompressed";
}

struct TDirCloser {
    void operator()(DIR* d) const { closedir(d); }
};
struct TZipDiscarder {
    void operator()(zip_t* z) const { zip_discard(z); }
};
struct TZipFileCloser {
    void operator()(zip_file_t* f) const { zip_fclose(f); }
};
using TDirHandle = std::unique_ptr<DIR, TDirCloser>;
using TZipHandle = std::unique_ptr<zip_t, TZipDiscarder>;
using TZipFileHandle = std::unique_ptr<zip_file_t, TZipFileCloser>;

// The system's text for an errno value.
std::string ErrorText(int error) {
    return std::generic_category().message(error);
}

constexpr int kNotRegular = -1; // OpenRegularFile's error for a path that is no regular file

// Opens a regular file read-only; invalid for anything else, so that a FIFO or device never
// blocks or feeds the reader. error tells why it failed: an errno value or kNotRegular.
TUniqueFd OpenRegularFile(const std::string& path, struct stat& st, int& error) {
    error = 0;
    TUniqueFd fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.Valid()) {
        error = errno;
    } else if (fstat(fd.Get(), &st) != 0) {
        error = errno;
        fd.Reset();
    } else if (!S_ISREG(st.st_mode)) {
        error = kNotRegular;
        fd.Reset();
    }
    return fd;
}

// Why a log could not be opened, for a warning.
std::string OpenFailureText(int error) {
    return error == kNotRegular ? "not a regular file" : "cannot open the log file (" + ErrorText(error) + ")";
}

// Reads up to count bytes at offset; stops early at the end of the file or on an error.
size_t ReadAt(int fd, char* buffer, size_t count, int64_t offset, bool& failed) {
    size_t done = 0;
    failed = false;
    while (done < count) {
        const ssize_t n = pread(fd, buffer + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            failed = n < 0;
            break;
        }
        done += static_cast<size_t>(n);
    }
    return done;
}

// Creates name in the folder for writing, replacing a file (or link) of that name rather than
// writing through it.
TUniqueFd CreateInFolder(int folderFd, const std::string& name) {
    unlinkat(folderFd, name.c_str(), 0);
    return TUniqueFd(openat(folderFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
}

// A name that is safe to create inside a folder: not empty, ".", or "..".
bool IsPlainName(const std::string& name) {
    return !name.empty() && name != "." && name != "..";
}

// The regular files at the top level of folder, in listing order; links are not followed.
std::vector<std::string> ListFolderFiles(const std::string& folder) {
    std::vector<std::string> files;
    TDirHandle dir(opendir(folder.c_str()));
    if (!dir) return files;
    while (dirent* entry = readdir(dir.get())) {
        struct stat st {};
        if (fstatat(dirfd(dir.get()), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
            files.push_back(folder + entry->d_name);
    }
    return files;
}

// Eight bytes at p as one word, for scanning a word at a time.
inline uint64_t LoadWord(const unsigned char* p) {
    uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}
static_assert(std::endian::native == std::endian::little, "word scans take the first byte as the lowest");
constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
constexpr uint64_t kTop3 = 0xE0E0E0E0E0E0E0E0ull; // a byte of 32 or more has one of these
constexpr uint64_t kSpaces = 0x2020202020202020ull;
// The high bit of every zero byte of w, exactly (no carries between bytes).
inline uint64_t ZeroBytes(uint64_t w) {
    return ~(((w & kLow7) + kLow7) | w | kLow7);
}

// True when every byte is a blank (code 32 or below). Runs of control bytes, such as the
// zeros of a sparse file, are passed eight at a time.
bool IsBlank(const unsigned char* p, size_t n) {
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        if ((LoadWord(p + i) & kTop3) == 0) continue;
        for (size_t k = 0; k < 8; ++k)
            if (p[i + k] > 32) return false;
    }
    for (; i < n; ++i)
        if (p[i] > 32) return false;
    return true;
}

// True when the line is already in its cleaned form: no code below 32, no two adjacent
// spaces, no space at either end. Sixteen bytes at a time where the processor has SSE2, else
// eight: this is much of the per-line cost.
bool IsClean(const unsigned char* p, size_t n) {
    if (n == 0) return true;
    if (p[0] == ' ' || p[n - 1] == ' ') return false;
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i space = _mm_set1_epi8(' ');
    const __m128i control = _mm_set1_epi8(31);
    uint32_t endsInSpace = 0; // the previous block's last byte was a space (bit 0)
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        // A byte of 31 or less is its own maximum with 31.
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(v, control), control)) != 0) return false;
        const auto spaces = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, space)));
        if ((spaces & ((spaces << 1) | endsInSpace)) != 0) return false;
        endsInSpace = spaces >> 15;
    }
#endif
    uint64_t lastSpace = i > 0 && p[i - 1] == ' ' ? 0x80 : 0; // the previous word ended in a space (bit 7)
    for (; i + 8 <= n; i += 8) {
        const uint64_t w = LoadWord(p + i);
        if (ZeroBytes(w & kTop3) != 0) return false;
        const uint64_t spaces = ZeroBytes(w ^ kSpaces);
        if ((spaces & (spaces << 8)) != 0 || (spaces & lastSpace) != 0) return false;
        lastSpace = spaces >> 56;
    }
    unsigned char prev = i > 0 ? p[i - 1] : 0;
    for (; i < n; ++i) {
        const unsigned char c = p[i];
        if (c < 32 || (c == ' ' && prev == ' ')) return false;
        prev = c;
    }
    return true;
}

// CleanLogLine's work on a line that IsClean turned down.
void CleanUncleanLine(std::string_view line, std::string& out) {
    const auto* p = reinterpret_cast<const unsigned char*>(line.data());
    const size_t n = line.size();
    out.resize(n);
    char* d = out.data();
    size_t len = 0;
    for (size_t i = 0; i < n; ++i) {
        const unsigned char c = p[i];
        if (c < 32) continue;
        // A space is dropped at the start and after another space: runs collapse, the
        // leading blank is trimmed.
        if (c == ' ' && (len == 0 || d[len - 1] == ' ')) continue;
        d[len++] = static_cast<char>(c);
    }
    if (len > 0 && d[len - 1] == ' ') --len;
    out.resize(len);
}

} // namespace

void ListLogFiles(const std::vector<std::string>& paths, std::vector<TListedLogFile>& files,
                  std::string_view extensions, std::vector<TLogFolderProblem>* problems) {
    files.clear();
    if (problems) problems->clear();
    std::string list = UpperCase(extensions);
    if (!list.empty() && list.back() != ';') list += ';';
    for (size_t i = 0; i < paths.size(); ++i) {
        const std::string folder = EnsureTrailingSeparator(ExpandFolderMacros(paths[i]));
        if (folder.empty()) continue;
        const auto problem = [&](std::string_view what) {
            if (problems) problems->push_back({folder + ": " + std::string(what), static_cast<int>(i)});
        };
        TDirHandle dir(opendir(folder.c_str()));
        if (!dir) {
            const int error = errno;
            if (error == ENOENT)
                problem("log folder not found");
            else if (error == ENOTDIR)
                problem("not a folder");
            else
                problem("cannot list the log folder (" + ErrorText(error) + ")");
            continue;
        }
        int unexamined = 0, examineError = 0;
        for (;;) {
            errno = 0;
            const dirent* entry = readdir(dir.get());
            if (!entry) {
                if (errno != 0) problem("listing broke off (" + ErrorText(errno) + ")");
                break;
            }
            const std::string_view name = entry->d_name;
            if (name.empty() || name[0] == '.') continue;
            struct stat st {};
            if (fstatat(dirfd(dir.get()), entry->d_name, &st, 0) != 0) {
                // A dangling link is no log; anything else hides one.
                if (errno != ENOENT) {
                    ++unexamined;
                    examineError = errno;
                }
                continue;
            }
            if (!S_ISREG(st.st_mode)) continue;
            // A plain substring test, as profiles have always used it: a name without an
            // extension passes any list.
            if (!list.empty() && list.find(UpperExtension(name) + ";") == std::string::npos) continue;
            files.push_back({folder + entry->d_name, static_cast<int>(i)});
        }
        if (unexamined > 0)
            problem(std::to_string(unexamined) + " entries could not be examined (" + ErrorText(examineError) + ")");
    }
}

bool CleaningKeepsPrefix(std::string_view line, size_t n) {
    return n > 0 && n <= line.size() && IsClean(reinterpret_cast<const unsigned char*>(line.data()), n);
}

std::string_view CleanedLine(std::string_view line, std::string& work) {
    if (IsClean(reinterpret_cast<const unsigned char*>(line.data()), line.size())) return line;
    CleanUncleanLine(line, work);
    return work;
}

void CleanLogLine(std::string_view line, std::string& out) {
    const std::string_view cleaned = CleanedLine(line, out);
    if (cleaned.data() != out.data() || cleaned.size() != out.size()) out.assign(cleaned);
}

TLogFileReader::TLogFileReader() {
    Rewind();
}

TLogFileReader::~TLogFileReader() {
    ClearLogFiles();
    if (!PrivateBase.empty()) EmptyFolder(PrivateBase, true);
}

void TLogFileReader::Warn(const std::string& path, std::string_view what) {
    Warnings.push_back(path + ": " + std::string(what));
}

void TLogFileReader::ClearLogFiles() {
    Rewind();
    Files.clear();
    GzipLogs.clear();
    FileIdentities.clear();
    TotalKB = 0;
    for (const std::string& folder : TempFolders)
        EmptyFolder(folder, true);
    TempFolders.clear();
    TempCount = 0;
    Warnings.clear();
    Buffer.reset();
    BufferSize = 0;
    if (StandardInput) {
        Files.emplace_back(kStandardInputName);
        FileIdentities.push_back({});
        // A file given as standard input tells its size; a pipe does not.
        struct stat st {};
        const bool sized = fstat(STDIN_FILENO, &st) == 0 && S_ISREG(st.st_mode);
        TotalKB = sized ? std::max<int64_t>(1, static_cast<int64_t>(st.st_size) / 1024) : 1;
    }
}

std::string TLogFileReader::ExpandFolder(int32_t number) const {
    return PrivateBase.empty() ? std::string() : PrivateBase + "quorvellog" + std::to_string(number) + "/";
}

std::string TLogFileReader::NextTempFolder() {
    // The reader's own folder, so that two runs at once never expand into each other's files.
    if (PrivateBase.empty()) PrivateBase = MakePrivateTempFolder("logs");
    const int32_t number = TempCount++;
    // Without a private temporary folder nothing is expanded: a relative name would land in
    // the current directory.
    if (PrivateBase.empty()) return {};
    std::string folder = ExpandFolder(number);
    ForceFolders(folder);
    TempFolders.push_back(folder);
    return folder;
}

void TLogFileReader::AddLogFile(const std::string& path) {
    std::string file = path;
    const std::string ext = UpperExtension(file);
    // A gzip log is read while it is expanded; an archive inside one is listed once it is whole.
    const std::string packedExt = ext == "GZ" ? UpperExtension(StripExtension(file, true)) : std::string();
    if (ext == "GZ" && packedExt != "TAR" && packedExt != "ZIP") {
        AddGzipLog(file);
        return;
    }
    if (ext == "GZ" || ext == "TGZ") file = GunzipToTemp(file);
    if (file.empty()) return;

    const std::string innerExt = UpperExtension(file);
    if (innerExt == "TAR") {
        for (const std::string& member : UntarToTemp(file))
            AddPlainFile(member);
    } else if (innerExt == "ZIP") {
        for (const std::string& member : UnzipToTemp(file))
            AddPlainFile(member);
    } else {
        AddPlainFile(file);
    }
}

bool TLogFileReader::AddPlainFile(const std::string& path, int64_t expectedBytes) {
    struct stat st {};
    int error = 0;
    if (!OpenRegularFile(path, st, error).Valid()) {
        Warn(path, OpenFailureText(error));
        return false;
    }
    Files.push_back(path);
    FileIdentities.push_back({static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)});
    const int64_t bytes = expectedBytes >= 0 ? expectedBytes : static_cast<int64_t>(st.st_size);
    TotalKB += std::max<int64_t>(1, bytes / 1024);
    return true;
}

std::string TLogFileReader::MakeExpandTarget(const std::string& path) {
    const std::string folder = NextTempFolder();
    if (folder.empty()) {
        Warn(path, "no temporary folder to expand into");
        return {};
    }
    std::string name = StripExtension(ExtractFileName(path), true);
    if (UpperExtension(path) == "TGZ") name += ".tar";
    if (!IsPlainName(name)) {
        Warn(path, "no name to expand it to");
        return {};
    }
    const TUniqueFd folderFd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folderFd.Valid()) {
        Warn(path, "cannot open the temporary folder " + folder);
        return {};
    }
    if (!CreateInFolder(folderFd.Get(), name).Reset()) {
        Warn(path, "cannot create the expanded file");
        return {};
    }
    return folder + name;
}

TLogFileReader::TGzipExpansion TLogFileReader::ExpandGzip(const std::string& path, const std::string& target) const {
    TGzipExpansion result;
    const auto warn = [&](const std::string& what) { result.Warnings.push_back(path + ": " + what); };
    // A failure before any data is expanded leaves nothing to read.
    const auto fail = [&](const std::string& what) {
        warn(what);
        result.Usable = false;
        return result;
    };
    struct stat st {};
    int openError = 0;
    const TUniqueFd in = OpenRegularFile(path, st, openError);
    if (!in.Valid()) return fail(OpenFailureText(openError));
    TGzipStream gzip(in.Get());
    TUniqueFd out(open(target.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!out.Valid()) return fail("cannot create the expanded file");
    const std::string folder = ExtractFilePath(target);
    std::vector<char> block(kCopyBlockSize);
    bool written = true;
    bool diskFull = false;
    while (!gzip.Ended()) {
        const size_t n = gzip.Read(block.data(), block.size());
        if (n == 0) break;
        if (!RoomFor(folder, n)) {
            diskFull = true;
            break;
        }
        written = WriteAll(out.Get(), block.data(), n);
        if (!written) break;
        result.Bytes += static_cast<int64_t>(n);
    }
    // Broken-off or damaged data: what came before the break is kept and used; a file of which
    // nothing at all could be decompressed contributes nothing.
    if (gzip.Damaged() && gzip.Produced() == 0) return fail(std::string(kUnreadableGzip));
    const std::string bytes = std::to_string(result.Bytes);
    if (diskFull)
        warn("expansion stopped: the disk of the temporary folder would be nearly full; using the first " + bytes +
             " bytes");
    if (!written || !out.Reset())
        warn("cannot write the expanded file; using the " + bytes + " bytes written");
    else if (gzip.Damaged() && !diskFull)
        warn(DamagedGzipText(result.Bytes));
    return result;
}

std::string TLogFileReader::GunzipToTemp(const std::string& path) {
    const std::string target = MakeExpandTarget(path);
    if (target.empty()) return {};
    const TGzipExpansion expansion = ExpandGzip(path, target);
    Warnings.insert(Warnings.end(), expansion.Warnings.begin(), expansion.Warnings.end());
    if (!expansion.Usable) {
        unlink(target.c_str());
        return {};
    }
    return target;
}

void TLogFileReader::AddGzipLog(const std::string& path) {
    // Data of which not even a first byte can be expanded contributes nothing.
    struct stat st {};
    int openError = 0;
    const TUniqueFd in = OpenRegularFile(path, st, openError);
    if (!in.Valid()) {
        Warn(path, OpenFailureText(openError));
        return;
    }
    bool failed = false;
    uint32_t tail = 0; // the gzip trailer: the expanded size modulo 2^32
    if (st.st_size < 18 || ReadAt(in.Get(), reinterpret_cast<char*>(&tail), 4, st.st_size - 4, failed) != 4) tail = 0;
    {
        TGzipStream gzip(in.Get());
        char first = 0;
        if (gzip.Read(&first, 1) == 0 && gzip.Damaged()) {
            Warn(path, kUnreadableGzip);
            return;
        }
    }
    // The size the trailer tells, modulo 4 GiB: a log expands, and data that does not compress
    // only gains its header, so a trailer telling less than half the data has wrapped. Progress
    // only: the reading goes by what is expanded.
    const auto packed = static_cast<int64_t>(st.st_size);
    int64_t expected = le32toh(tail);
    while (expected < (packed - 1024) / 2)
        expected += int64_t{1} << 32;
    if (!AddPlainFile(path, expected)) return;
    GzipLogs.resize(Files.size());
    GzipLogs.back() = true;
}

bool TLogFileReader::IsGzipLog(size_t index) const {
    return index < GzipLogs.size() && GzipLogs[index];
}

TDiskSpace DiskSpaceOf(const std::string& folder) {
    struct statvfs fs {};
    if (statvfs(folder.c_str(), &fs) != 0) return {};
    return {static_cast<uint64_t>(fs.f_blocks) * fs.f_frsize, static_cast<uint64_t>(fs.f_bavail) * fs.f_frsize};
}

bool TLogFileReader::RoomFor(const std::string& folder, uint64_t bytes) const {
    const TDiskSpace space = DiskSpace(folder);
    if (space.Total == 0) return true; // unknown: the write itself will tell
    return space.Available >= bytes && space.Available - bytes >= space.Total / 100 * kFreePercentKept;
}

std::vector<std::string> TLogFileReader::UntarToTemp(const std::string& path) {
    const std::string folder = NextTempFolder();
    if (folder.empty()) {
        Warn(path, "no temporary folder to expand into");
        return {};
    }
    EmptyFolder(folder, false);
    TUnTar untar;
    untar.ArchiveName = path;
    untar.ExtractFolder = folder;
    const TUnTarResult result = untar.ExtractAll();
    if (!result.Opened)
        Warn(path, "cannot open the tar archive");
    else if (result.Damaged)
        Warn(path, "damaged tar archive; using the members extracted before the damage");
    if (result.Failed > 0) Warn(path, std::to_string(result.Failed) + " tar members could not be written");
    return ListFolderFiles(folder);
}

std::vector<std::string> TLogFileReader::UnzipToTemp(const std::string& path) {
    const std::string folder = NextTempFolder();
    if (folder.empty()) {
        Warn(path, "no temporary folder to expand into");
        return {};
    }
    EmptyFolder(folder, false);
    const TUniqueFd folderFd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    int error = 0;
    TZipHandle zip(zip_open(path.c_str(), ZIP_RDONLY, &error));
    if (!zip || !folderFd.Valid()) {
        Warn(path, "cannot open the zip archive");
        return {};
    }
    std::vector<char> block(kCopyBlockSize);
    const zip_int64_t count = zip_get_num_entries(zip.get(), 0);
    bool diskFull = false;
    for (zip_int64_t i = 0; i < count && !diskFull; ++i) {
        const char* memberName = zip_get_name(zip.get(), static_cast<zip_uint64_t>(i), 0);
        if (!memberName) continue;
        // Links, folders and devices are passed over: only plain files are written.
        zip_uint8_t system = 0;
        zip_uint32_t attributes = 0;
        if (zip_file_get_external_attributes(zip.get(), static_cast<zip_uint64_t>(i), 0, &system, &attributes) == 0 &&
            system == ZIP_OPSYS_UNIX) {
            const mode_t type = (attributes >> 16) & S_IFMT;
            if (type != 0 && type != S_IFREG) continue;
        }
        // Folder names are dropped ("/" or "\"), so no member reaches outside the folder.
        const std::string_view full = memberName;
        const size_t sep = full.find_last_of("/\\");
        const std::string name(sep == std::string_view::npos ? full : full.substr(sep + 1));
        if (!IsPlainName(name)) continue;

        TZipFileHandle member(zip_fopen_index(zip.get(), static_cast<zip_uint64_t>(i), 0));
        if (!member) {
            Warn(path, "cannot read member " + std::string(full));
            continue;
        }
        TUniqueFd out = CreateInFolder(folderFd.Get(), name);
        if (!out.Valid()) {
            Warn(path, "cannot write member " + std::string(full));
            continue;
        }
        for (;;) {
            const zip_int64_t n = zip_fread(member.get(), block.data(), block.size());
            if (n < 0) {
                Warn(path, "damaged member " + std::string(full) + "; using what was extracted");
                break;
            }
            if (n == 0) break;
            if (!RoomFor(folder, static_cast<uint64_t>(n))) {
                Warn(path, "expansion stopped at member " + std::string(full) +
                               ": the disk of the temporary folder would be nearly full; using what was extracted");
                diskFull = true;
                break;
            }
            if (!WriteAll(out.Get(), block.data(), static_cast<size_t>(n))) {
                Warn(path, "cannot write member " + std::string(full));
                break;
            }
        }
    }
    return ListFolderFiles(folder);
}

void TLogFileReader::CloseCurrentFile() {
    CurrentGzip.reset();
    CurrentFd.Reset();
}

void TLogFileReader::Rewind() {
    CloseCurrentFile();
    ChunkLines.clear();
    ChunkStart = 0;
    ChunkEnd = 0;
    LineIndex = -1;
    CurrentFile.clear();
    FileIndex = -1;
    AtLastChunk = true;
    DoneKB = 0;
    ChunkKB = 0;
    LinesRead = LinesUnparsed = 0;
    if (StreamPeeking) {
        StreamHeld.append(StreamPending, StreamPendingAt);
        StreamPending = std::move(StreamHeld);
        StreamHeld.clear();
        StreamPendingAt = 0;
        StreamPeeking = false;
    }
    StreamCarry.clear();
}

size_t TLogFileReader::ReadStream(char* data, size_t count, bool& failed) {
    failed = false;
    size_t done = std::min(count, StreamPending.size() - StreamPendingAt);
    std::memcpy(data, StreamPending.data() + StreamPendingAt, done);
    StreamPendingAt += done;
    if (StreamPendingAt == StreamPending.size()) {
        std::string().swap(StreamPending);
        StreamPendingAt = 0;
    }
    while (done < count && !StreamEnded) {
        const ssize_t n = read(STDIN_FILENO, data + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd wait{STDIN_FILENO, POLLIN, 0};
            poll(&wait, 1, -1);
            continue;
        }
        if (n <= 0) {
            StreamEnded = true;
            failed = n < 0;
            break;
        }
        done += static_cast<size_t>(n);
    }
    if (StreamPeeking) StreamHeld.append(data, done);
    return done;
}

bool TLogFileReader::NextLine() {
    const auto fileCount = static_cast<int32_t>(Files.size());
    if (FileIndex < fileCount) {
        ++LineIndex;
        while (FileIndex < fileCount && LineIndex >= static_cast<int32_t>(ChunkLines.size()))
            LoadChunk();
    }
    return FileIndex < fileCount;
}

bool TLogFileReader::ReadLine() {
    if (!NextLine()) {
        CurrentLine.clear();
        return false;
    }
    const TLineSpan line = ChunkLines[static_cast<size_t>(LineIndex)];
    CleanLogLine(std::string_view(Buffer.get() + line.Begin, line.Length), CurrentLine);
    return true;
}

bool TLogFileReader::ReadLineView(std::string_view& line) {
    if (!ReadRawLineView(line)) return false;
    line = CleanedView(line);
    return true;
}

bool TLogFileReader::ReadRawLineView(std::string_view& line) {
    if (!NextLine()) {
        line = {};
        return false;
    }
    const TLineSpan span = ChunkLines[static_cast<size_t>(LineIndex)];
    line = std::string_view(Buffer.get() + span.Begin, span.Length);
    return true;
}

std::string_view TLogFileReader::CleanedView(std::string_view raw) {
    return CleanedLine(raw, Cleaned);
}

bool TLogFileReader::TakeChunk(TChunk& chunk) {
    LineIndex = static_cast<int32_t>(ChunkLines.size()) - 1;
    if (!NextLine()) return false;
    chunk.ProgressKB = DoneKB + ChunkKB;
    std::swap(Buffer, chunk.Data);
    std::swap(BufferSize, chunk.Capacity);
    std::swap(ChunkLines, chunk.Lines);
    // As after Rewind: the next read loads the following chunk.
    ChunkLines.clear();
    LineIndex = -1;
    return true;
}

void TLogFileReader::LoadChunk() {
    DoneKB += ChunkKB;
    ChunkKB = 0; // counted once, even when this load stops early
    ChunkLines.clear();
    LineIndex = 0;
    const bool firstChunk = AtLastChunk;
    if (AtLastChunk) {
        CloseCurrentFile();
        ++FileIndex;
        if (FileIndex < static_cast<int32_t>(Files.size())) {
            CurrentFile = Files[static_cast<size_t>(FileIndex)];
            ChunkStart = 0;
        }
    } else {
        ChunkStart = ChunkEnd + 1;
    }
    if (FileIndex >= static_cast<int32_t>(Files.size())) {
        Buffer.reset(); // exhausted: the chunk memory is not kept
        BufferSize = 0;
        return;
    }

    // A file that cannot be read ends here; the next load moves on to the following file.
    const bool stream = StandardInput && FileIndex == 0;
    // A gzip log is read as a stream of its expanded bytes.
    const bool gzip = !stream && IsGzipLog(static_cast<size_t>(FileIndex));
    if (firstChunk && !stream && !OpenCurrentFile()) {
        AtLastChunk = true;
        return;
    }
    if (firstChunk && gzip) CurrentGzip = std::make_unique<TGzipStream>(CurrentFd.Get());
    const size_t capacity = static_cast<size_t>(std::clamp(BufferMB, kMinBufferMB, kMaxBufferMB)) << 20;
    if (BufferSize != capacity) {
        Buffer = std::make_unique_for_overwrite<char[]>(capacity);
        BufferSize = capacity;
    }
    char* const data = Buffer.get();
    bool failed = false;
    size_t n = 0;
    size_t asked = capacity;
    // A piece of the chunk first, which stays in the cache until its lines are read: it is the
    // chunk when it holds a line break after its first byte. Only a longer line takes the rest
    // of the buffer, so lines are cut as a whole chunk would cut them, and the memory touched
    // stays a piece's.
    const auto wholeBuffer = [&] {
        return !failed && n == asked && asked < capacity && !memchr(data + 1, '\n', n - 1) &&
               !memchr(data + 1, '\r', n - 1);
    };
    if (stream || gzip) {
        // The rest of the previous chunk comes first, as a file's next chunk starts at its cut.
        n = StreamCarry.size();
        std::memcpy(data, StreamCarry.data(), n);
        const auto readUpTo = [&](size_t end) {
            n += stream ? ReadStream(data + n, end - n, failed) : CurrentGzip->Read(data + n, end - n);
        };
        asked = n < kReadPiece ? std::min(capacity, kReadPiece) : capacity;
        readUpTo(asked);
        if (wholeBuffer()) readUpTo(asked = capacity);
    } else {
        asked = std::min(capacity, kReadPiece);
        n = ReadAt(CurrentFd.Get(), data, asked, ChunkStart, failed);
        if (wholeBuffer()) {
            asked = capacity;
            n += ReadAt(CurrentFd.Get(), data + n, capacity - n, ChunkStart + static_cast<int64_t>(n), failed);
        }
    }
    const int readError = errno;
    AtLastChunk = stream ? StreamEnded && StreamPending.empty() : gzip ? CurrentGzip->Ended() : n < asked || failed;
    // A file cut shorter than what was known of it (truncated, or emptied and written anew)
    // may now hold other text at these offsets: its reading ends before this chunk.
    CurrentKnownSize = std::max(CurrentKnownSize, ChunkStart + static_cast<int64_t>(n));
    struct stat st {};
    if (!stream && !gzip && fstat(CurrentFd.Get(), &st) == 0 && st.st_size < CurrentKnownSize) {
        Warn(CurrentFile, "shrank from " + std::to_string(CurrentKnownSize) + " to " + std::to_string(st.st_size) +
                              " bytes while it was read; the rest of it is left out");
        CurrentFd.Reset();
        AtLastChunk = true;
        return;
    }
    if (failed)
        Warn(CurrentFile, "read error at byte " + std::to_string(ChunkStart + static_cast<int64_t>(n)) + " (" +
                              ErrorText(readError) + "); the rest of it is left out");
    // Damage in a gzip log is told once it has been read to its end.
    if (AtLastChunk && gzip && CurrentGzip->Damaged()) Warn(CurrentFile, DamagedGzipText(CurrentGzip->Produced()));
    if (AtLastChunk) CloseCurrentFile();

    // A chunk ends before its last line break; the break starts the next chunk. A line longer
    // than the buffer (no break after the first byte) is cut at the buffer's end and delivered
    // in buffer-sized pieces: nothing stalls, memory stays bounded and the following lines are
    // untouched.
    size_t cut = n;
    if (!AtLastChunk) {
        const auto* lf = static_cast<const char*>(memrchr(data, '\n', n));
        const size_t afterLf = lf ? static_cast<size_t>(lf - data) + 1 : 0;
        const auto* cr = static_cast<const char*>(memrchr(data + afterLf, '\r', n - afterLf));
        const size_t lastBreak = cr ? static_cast<size_t>(cr - data) : afterLf > 0 ? afterLf - 1 : 0;
        if (lastBreak > 0) cut = lastBreak;
    }
    ChunkEnd = ChunkStart + static_cast<int64_t>(cut) - 1;
    if (stream || gzip) StreamCarry.assign(data + cut, n - cut);

    // Lines end at CR LF, CR or LF; a break at the very end makes no empty last line.
    const bool hasCr = memchr(data, '\r', cut) != nullptr;
    size_t pos = 0;
    while (pos < cut) {
        const auto* lf = static_cast<const char*>(memchr(data + pos, '\n', cut - pos));
        const size_t end = lf ? static_cast<size_t>(lf - data) : cut;
        size_t lineEnd = end;
        if (hasCr) {
            if (lf && lineEnd > pos && data[lineEnd - 1] == '\r') --lineEnd;
            while (const auto* cr = static_cast<const char*>(memchr(data + pos, '\r', lineEnd - pos))) {
                const size_t at = static_cast<size_t>(cr - data);
                ChunkLines.push_back({static_cast<uint32_t>(pos), static_cast<uint32_t>(at - pos)});
                pos = at + 1;
            }
        }
        if (lf || pos < lineEnd)
            ChunkLines.push_back({static_cast<uint32_t>(pos), static_cast<uint32_t>(lineEnd - pos)});
        pos = end + 1;
    }

    // The first line of a later chunk is the rest of the break it was cut at; blank lines at
    // either end of a chunk are dropped.
    const auto blank = [&](const TLineSpan& s) {
        return IsBlank(reinterpret_cast<const unsigned char*>(data) + s.Begin, s.Length);
    };
    if (!ChunkLines.empty() && blank(ChunkLines.front())) ChunkLines.erase(ChunkLines.begin());
    if (!ChunkLines.empty() && blank(ChunkLines.back())) ChunkLines.pop_back();
    ChunkKB = std::max<int64_t>(1, static_cast<int64_t>(cut) / 1024);
}

bool TLogFileReader::OpenCurrentFile() {
    struct stat st {};
    int error = 0;
    CurrentFd = OpenRegularFile(CurrentFile, st, error);
    if (!CurrentFd.Valid()) {
        Warn(CurrentFile, OpenFailureText(error));
        return false;
    }
    CurrentKnownSize = static_cast<int64_t>(st.st_size);
    // Another file at the name (a log rotated since the listing) is read as it is now.
    const auto index = static_cast<size_t>(FileIndex);
    if (index < FileIdentities.size() && (FileIdentities[index].Device != static_cast<uint64_t>(st.st_dev) ||
                                          FileIdentities[index].Inode != static_cast<uint64_t>(st.st_ino)))
        Warn(CurrentFile, "replaced by another file since the logs were listed; the new file is read");
    return true;
}

int64_t TLogFileReader::ProgressKB() const {
    if (ChunkLines.empty()) return DoneKB;
    return DoneKB + static_cast<int64_t>(LineIndex) * ChunkKB / static_cast<int64_t>(ChunkLines.size());
}
