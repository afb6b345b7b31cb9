#pragma once
// The log file set: a profile's log folders turned into an ordered list of files, gzip, tar
// and zip archives expanded into numbered temporary folders, read in chunks and delivered one
// cleaned line at a time, with progress counted in kilobytes and what could not be read kept
// as warnings.

#include "sources/FileUtils.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The size of a file system and the bytes still free on it.
struct TDiskSpace {
    uint64_t Total = 0;
    uint64_t Available = 0;
};
// statvfs of the file system that holds folder; zeros when it cannot be read.
TDiskSpace DiskSpaceOf(const std::string& folder);

struct TListedLogFile {
    std::string Path;
    int FolderIndex = 0; // index of the folder in the list it was found in
};

// A folder of the list that could not be read, or not wholly.
struct TLogFolderProblem {
    std::string Text;    // "<folder>: <what>", the folder's path expanded
    int FolderIndex = 0; // index of the folder in the list
};

// Lists the candidate files of the folders (macros expanded, "/" appended), in listing order:
// regular files whose names do not start with "."; sub-folders are not descended into. With a
// non-empty ";"-separated extension list a name is kept when its extension is one of the list
// (any case) or when it has none. A folder that is missing, is no folder or cannot be listed
// contributes nothing and, when problems is given, one entry there.
void ListLogFiles(const std::vector<std::string>& paths, std::vector<TListedLogFile>& files,
                  std::string_view extensions, std::vector<TLogFolderProblem>* problems = nullptr);

// The line as the analyser sees it: codes 0-31 deleted, runs of spaces collapsed to one, spaces
// trimmed at both ends. Written into `out`, reusing its capacity.
void CleanLogLine(std::string_view line, std::string& out);
// Whether CleanLogLine leaves the first n characters of line (n at most its length) as they
// are: none is a control character, none of them starts the line or ends the n as a space,
// and no two spaces follow each other.
bool CleaningKeepsPrefix(std::string_view line, size_t n);
// The line cleaned as CleanLogLine would: the line itself when it needs no cleaning, else a
// view of work, which holds the cleaned copy.
std::string_view CleanedLine(std::string_view line, std::string& work);

class TGzipStream;

class TLogFileReader {
public:
    TLogFileReader();
    ~TLogFileReader(); // calls ClearLogFiles
    // One reader owns its temporary folders.
    TLogFileReader(const TLogFileReader&) = delete;
    TLogFileReader& operator=(const TLogFileReader&) = delete;

    std::vector<std::string> Files; // full paths in reading order
    int32_t BufferMB = 1;           // chunk size in MiB; values outside 1-99 are read as the nearest end
    // Sum of max(1, size div 1024) at the time each file was added; a gzip log weighs the
    // expanded size its trailer tells.
    int64_t TotalKB = 0;
    int64_t DoneKB = 0;             // sum of ChunkKB of the chunks already consumed
    int64_t ChunkKB = 0;            // weight of the current chunk: its length div 1024, at least 1
    int32_t TempCount = 0;          // temporary folders handed out since the last ClearLogFiles
    int32_t LineIndex = -1;         // current line within the chunk
    std::string CurrentFile;
    int32_t FileIndex = -1;
    int64_t ChunkStart = 0;  // byte offset of the current chunk in CurrentFile
    int64_t ChunkEnd = 0;    // byte offset of the chunk's last byte
    bool AtLastChunk = true; // the current chunk reached the end of CurrentFile
    std::string CurrentLine; // the cleaned line of the last successful ReadLine, "" after the end
    // Counted by the profile's NextLogEntry since Rewind: log lines read (comments and blank
    // lines aside), and of them, those the line format did not match.
    int64_t LinesRead = 0;
    int64_t LinesUnparsed = 0;
    // What could not be read ("<path>: <what>"), in order: folders, files that cannot be opened,
    // damaged archives, files that shrank while they were read. The set still holds whatever
    // could be recovered. Cleared by ClearLogFiles.
    std::vector<std::string> Warnings;
    // Expanding an archive stops before less than this share of the temporary folder's disk
    // would stay free, so that a decompression bomb cannot fill it; the file then
    // contributes what was expanded.
    static constexpr uint64_t kFreePercentKept = 5;
    // Where the free space is read from (replaceable for tests).
    std::function<TDiskSpace(const std::string& folder)> DiskSpace = DiskSpaceOf;

    // The log "-": standard input, the first log of every set (ClearLogFiles keeps it), read as
    // a stream in chunks and never held whole. Set before the set is made.
    bool StandardInput = false;
    static constexpr std::string_view kStandardInputName = "-";
    // What is read of standard input from now to the next Rewind is delivered again after it,
    // so that a look at the first lines (DetectLogFormat) loses none of them.
    void PeekStandardInput() { StreamPeeking = StandardInput; }

    // Empties the set and removes the temporary folders.
    void ClearLogFiles();
    // Adds one file, or every file a ".gz", ".tgz", ".tar" or ".zip" expands to. Files that
    // cannot be opened, and anything but regular files, are left out with a warning. A gzip
    // log is added as it is and expanded while it is read, with no copy on disk; damage found
    // in it is warned about when it has been read to its end.
    void AddLogFile(const std::string& path);
    // Whether Files[index] is a gzip log, whose bytes are those of its expansion.
    bool IsGzipLog(size_t index) const;
    // Positions before the first line of the first file; call after the last AddLogFile.
    void Rewind();
    // The next line into CurrentLine; false (and "") when the set is exhausted.
    bool ReadLine();
    // The same as a view, valid until the next read: of the chunk itself when the line needs
    // no cleaning, so that most lines are not copied; CurrentLine is left as it was.
    bool ReadLineView(std::string_view& line);
    // The next line as it stands in the chunk, not cleaned; valid until the next read.
    bool ReadRawLineView(std::string_view& line);
    // A line ReadRawLineView gave, cleaned as ReadLineView would: the line itself when it
    // needs no cleaning, else a copy valid until the next read or cleaning.
    std::string_view CleanedView(std::string_view raw);
    // Kilobytes consumed so far, between 0 and about TotalKB.
    int64_t ProgressKB() const;

    // A line of a chunk: where it lies in the chunk's bytes, uncleaned.
    struct TLineSpan {
        uint32_t Begin;
        uint32_t Length;
    };
    // A chunk handed over whole: its bytes, its lines (at least one), and the progress once
    // it is consumed.
    struct TChunk {
        std::unique_ptr<char[]> Data;
        size_t Capacity = 0;
        std::vector<TLineSpan> Lines;
        int64_t ProgressKB = 0;
        std::string_view Line(const TLineSpan& span) const { return {Data.get() + span.Begin, span.Length}; }
    };
    // The next chunk into chunk, whose buffer the reader keeps for its own next chunk, so that
    // nothing is copied; false when the set is exhausted. The lines of the current chunk not
    // read yet are skipped: use it from a chunk's end (after Rewind, or after TakeChunk).
    bool TakeChunk(TChunk& chunk);
    // The temporary folder of that number: "quorvellog<n>/" inside a folder of this reader
    // alone; "" before the first archive.
    std::string ExpandFolder(int32_t number) const;

private:
    void LoadChunk();
    // Moves to the next line of the set; false when it is exhausted.
    bool NextLine();
    // A fresh "quorvellog<n>/" folder inside the temporary folder; "" when there is none.
    std::string NextTempFolder();
    // Whether bytes more can be written into folder and still keep kFreePercentKept free.
    bool RoomFor(const std::string& folder, uint64_t bytes) const;
    // What a gzip expansion wrote and met; not Usable when nothing could be expanded.
    struct TGzipExpansion {
        int64_t Bytes = 0;
        bool Usable = true;
        std::vector<std::string> Warnings;
    };
    // A fresh temporary folder with an empty file named after the archive; "" with a warning.
    std::string MakeExpandTarget(const std::string& path);
    // Expands the gzip file path into target, a file made for it by MakeExpandTarget.
    TGzipExpansion ExpandGzip(const std::string& path, const std::string& target) const;
    // Expands at once (an archive inside gzip); the expanded file's path, or "" when nothing
    // could be expanded.
    std::string GunzipToTemp(const std::string& path);
    // Adds a gzip log, expanded while it is read.
    void AddGzipLog(const std::string& path);
    std::vector<std::string> UntarToTemp(const std::string& path);
    std::vector<std::string> UnzipToTemp(const std::string& path);
    // Adds a regular file, weighing expectedBytes in the progress when given, else its size;
    // false (with a warning) when it cannot be opened.
    bool AddPlainFile(const std::string& path, int64_t expectedBytes = -1);
    void Warn(const std::string& path, std::string_view what);
    // Opens CurrentFile for its first chunk; false (with a warning) when it cannot be read.
    bool OpenCurrentFile();
    // Closes CurrentFile and its expansion, if it has one.
    void CloseCurrentFile();
    // Up to count bytes of standard input: the bytes kept by a peek first, then read until count
    // or the end; failed on a read error.
    size_t ReadStream(char* data, size_t count, bool& failed);

    // Which file a path named when it was added, so that a file put in its place before its
    // first chunk is noticed.
    struct TFileIdentity {
        uint64_t Device = 0;
        uint64_t Inode = 0;
    };

    std::string PrivateBase;              // this reader's folder inside TempFolder(), removed at its end
    std::vector<std::string> TempFolders; // the folders handed out, removed by ClearLogFiles
    std::unique_ptr<char[]> Buffer;       // the current chunk's bytes
    std::string Cleaned;                  // the line ReadLineView cleaned last
    size_t BufferSize = 0;
    std::vector<TLineSpan> ChunkLines;         // the current chunk's lines, uncleaned, as spans of Buffer
    std::vector<TFileIdentity> FileIdentities; // one for each of Files
    std::vector<bool> GzipLogs;                // one for each of Files: read through its expansion
    // The expansion of CurrentFile when it is a gzip log, from its first chunk to its last.
    std::unique_ptr<TGzipStream> CurrentGzip;
    // CurrentFile, open from its first chunk to its last: a log renamed or replaced while it
    // is read is still read to its end. Only one log is open at a time.
    TUniqueFd CurrentFd;
    int64_t CurrentKnownSize = 0; // bytes CurrentFile is known to hold: its size at the first chunk, or more read

    // Read as a stream (standard input, a gzip log): the rest of the last chunk after its last
    // break. Standard input: the bytes a peek kept (read up to StreamPendingAt), the bytes read
    // since the peek began.
    std::string StreamCarry, StreamPending, StreamHeld;
    size_t StreamPendingAt = 0;
    bool StreamPeeking = false;
    bool StreamEnded = false; // standard input has reached its end or failed
};
