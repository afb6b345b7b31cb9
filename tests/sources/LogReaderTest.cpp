#include "sources/LogReader.h"

#include "sources/CUtils.h"
#include "sources/FileUtils.h"

#include "support/EnvOverride.h"
#include "support/PeakMemory.h"
#include "support/TestFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr size_t kMiB = 1 << 20;

std::vector<std::string> ReadAll(TLogFileReader& reader) {
    std::vector<std::string> lines;
    reader.Rewind();
    while (reader.ReadLine())
        lines.push_back(reader.CurrentLine);
    return lines;
}

std::set<std::string> Names(const std::vector<std::string>& paths) {
    std::set<std::string> names;
    for (const std::string& p : paths)
        names.insert(ExtractFileName(p));
    return names;
}

void WriteGzip(const std::string& path, std::string_view content) {
    const std::unique_ptr<gzFile_s, decltype(&gzclose)> gz(gzopen(path.c_str(), "wb"), gzclose);
    ASSERT_NE(gz, nullptr);
    ASSERT_EQ(gzwrite(gz.get(), content.data(), static_cast<unsigned>(content.size())),
              static_cast<int>(content.size()));
}

struct TZipMember {
    std::string Name, Data;
    mode_t Mode = S_IFREG | 0644;
};

void WriteZip(const std::string& path, const std::vector<TZipMember>& members) {
    int error = 0;
    std::unique_ptr<zip_t, decltype(&zip_discard)> zip(zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error),
                                                       zip_discard);
    ASSERT_NE(zip, nullptr);
    for (const TZipMember& m : members) {
        zip_source_t* source = zip_source_buffer(zip.get(), m.Data.data(), m.Data.size(), 0);
        const zip_int64_t index = zip_file_add(zip.get(), m.Name.c_str(), source, ZIP_FL_ENC_UTF_8);
        if (index < 0) zip_source_free(source);
        ASSERT_GE(index, 0) << m.Name;
        zip_file_set_external_attributes(zip.get(), static_cast<zip_uint64_t>(index), 0, ZIP_OPSYS_UNIX,
                                         static_cast<zip_uint32_t>(m.Mode) << 16);
    }
    ASSERT_EQ(zip_close(zip.release()), 0);
}

class LogReaderTest : public ::testing::Test {
protected:
    TTestFolder Scratch;
    TEnvOverride Tmp{"TMPDIR", Scratch.Path()}; // the reader's temporary folders go here
    TLogFileReader Reader;

    std::string Temp(int n) const { return Reader.ExpandFolder(n); }
};

TEST_F(LogReaderTest, ListsFilesByExtensionSkippingHiddenFilesAndSubFolders) {
    for (const char* name : {"access_log", "a.txt", "A.LOG", "x.og", ".hidden.log", "b.gz", "sub/inner.log"})
        Scratch.WriteFile(std::string("logs/") + name, "x\n");
    mkfifo((Scratch.Path() + "logs/pipe.log").c_str(), 0600);
    Scratch.WriteFile("more/c.log", "x\n");

    const std::pair<const char*, std::set<std::string>> cases[] = {
        {"log;gz;zip;", {"access_log", "A.LOG", "x.og", "b.gz"}}, // "OG;" occurs in "LOG;"
        {"", {"access_log", "a.txt", "A.LOG", "x.og", "b.gz"}},
        {"Log", {"access_log", "A.LOG", "x.og"}}, // ";" appended, case ignored
        {"txt;", {"access_log", "a.txt"}},
    };
    for (const auto& [extensions, expected] : cases) {
        std::vector<TListedLogFile> files{{"stale", 9}};
        ListLogFiles({Scratch.Path() + "logs"}, files, extensions);
        std::vector<std::string> paths;
        for (const TListedLogFile& f : files)
            paths.push_back(f.Path);
        EXPECT_EQ(Names(paths), expected) << extensions;
        EXPECT_EQ(ExtractFilePath(paths.at(0)), Scratch.Path() + "logs/");
    }
    std::vector<TListedLogFile> files;
    ListLogFiles({Scratch.Path() + "missing", Scratch.Path() + "more/"}, files, "log;");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].Path, Scratch.Path() + "more/c.log");
    EXPECT_EQ(files[0].FolderIndex, 1);
}

TEST_F(LogReaderTest, TotalKBCountsEveryAddedFileAtLeastOnce) {
    for (const size_t size : {10, 1500, 5000, 0})
        Reader.AddLogFile(Scratch.WriteFile(std::to_string(size) + ".log", std::string(size, 'a')));
    Reader.AddLogFile(Scratch.Path() + "missing.log");
    mkfifo((Scratch.Path() + "pipe.log").c_str(), 0600);
    Reader.AddLogFile(Scratch.Path() + "pipe.log"); // would block a plain open
    EXPECT_EQ(Reader.Files.size(), 4u);
    EXPECT_EQ(Reader.TotalKB, 1 + 1 + 4 + 1);
    EXPECT_EQ(ReadAll(Reader).size(), 3u); // the empty file yields no line
}

TEST_F(LogReaderTest, DeliversCleanedLinesForEveryBreakStyle) {
    using namespace std::literals;
    Reader.BufferMB = 0; // out of range: read as 1
    Reader.AddLogFile(
        Scratch.WriteFile("a.log", "first\r\nsecond\rthird\n\na\tb  c \n  \x01 x\x7f  y\0z\r\r\n  last"sv));
    const std::vector<std::string> expected = {"first", "second", "third", "", "ab c", "x\x7f yz", "", "last"};
    EXPECT_EQ(ReadAll(Reader), expected);
    EXPECT_FALSE(Reader.ReadLine());
    EXPECT_EQ(Reader.CurrentLine, "");
    Reader.Rewind();
    ASSERT_TRUE(Reader.ReadLine());
    EXPECT_EQ(Reader.CurrentLine, "first");

    // Taken as views, the lines are the same.
    Reader.Rewind();
    std::vector<std::string> viewed;
    for (std::string_view line; Reader.ReadLineView(line);)
        viewed.emplace_back(line);
    EXPECT_EQ(viewed, expected);
}

// Short and word-sized texts, with faults inside an eight-byte word and across two.
TEST(LogReaderCleaning, MatchesFilterCharsWithoutControlCodes) {
    using namespace std::literals;
    TCharSet controls;
    for (int c = 0; c < 32; ++c)
        controls.Add(static_cast<char>(c));
    const std::string_view texts[] = {"",
                                      "   ",
                                      " lead",
                                      "trail ",
                                      "a  b   c",
                                      "\t\ta \t b\r",
                                      "\0a\0 \0b\0"sv,
                                      "abcdefghijklmnopqrstuvw\n",
                                      "GET /index.html HTTP/1.1 200 \xc3\xa9t\xe9 \x80\xff\x7f",
                                      "0123456  9abcdef 0123456",
                                      "01234567 9abcdef  123456 x",
                                      "abcdefghijklmno\x1fpqrstuvw",
                                      // Across 16-byte blocks, and from a block into the rest.
                                      "abcdefghijklmno  qrstuvwxyzABCDEFGHIJ",
                                      "abcdefghijklmnopqrstu\x01wxyzABCDEFGH",
                                      "abcdefghijklmno  rstuvwx"};
    std::string out = "stale content that must not survive";
    for (const std::string_view text : texts) {
        CleanLogLine(text, out);
        EXPECT_EQ(out, FilterChars(text, controls, true, '\0')) << text;
        // A prefix said to be kept is the cleaned line's own start.
        for (size_t n = 0; n <= text.size(); ++n)
            if (CleaningKeepsPrefix(text, n)) {
                EXPECT_EQ(out.substr(0, n), text.substr(0, n)) << text << " " << n;
            }
    }
    EXPECT_TRUE(CleaningKeepsPrefix("1.2.3.4 - x", 9));
    EXPECT_FALSE(CleaningKeepsPrefix("1.2.3.4 ", 8)); // the trailing space goes
    EXPECT_FALSE(CleaningKeepsPrefix("1.2.3.4", 8));  // past the end
}

// Numbered lines past three chunk boundaries; the line crossing the first one is padded so
// that its break is the buffer's last byte, which splits a CR LF pair between two chunks.
TEST_F(LogReaderTest, LinesStraddlingChunkBoundariesAreDeliveredOnce) {
    for (const std::string br : {"\n", "\r\n"}) {
        std::string content;
        std::vector<std::string> expected;
        for (int i = 0; content.size() < 3 * kMiB + 5000; ++i) {
            std::string line = "line " + std::to_string(i) + ":" + std::string(i * 37 % 200, 'x');
            const int64_t room = static_cast<int64_t>(kMiB - 1) - static_cast<int64_t>(content.size() + line.size());
            if (room >= 0 && room < 250) line += std::string(static_cast<size_t>(room), 'y');
            content += line + br;
            expected.push_back(line);
        }
        TLogFileReader reader;
        reader.AddLogFile(Scratch.WriteFile("big.log", content));
        reader.Rewind();
        std::vector<std::string> lines;
        int64_t progress = 0;
        while (reader.ReadLine()) {
            lines.push_back(reader.CurrentLine);
            EXPECT_GE(reader.ProgressKB(), progress);
            progress = reader.ProgressKB();
        }
        EXPECT_EQ(lines, expected);
        EXPECT_NEAR(static_cast<double>(progress), static_cast<double>(reader.TotalKB), 4);
    }
}

TEST_F(LogReaderTest, LineLongerThanTheBufferComesInPiecesAndTheRestIsKept) {
    const size_t longLength = 5 * kMiB / 2;
    Reader.AddLogFile(Scratch.WriteFile("long.log", "first\n" + std::string(longLength, 'x') + "\nafter1\r\nafter2"));
    std::vector<std::string> lines = ReadAll(Reader);
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines.front(), "first");
    EXPECT_EQ(lines[lines.size() - 2], "after1");
    EXPECT_EQ(lines.back(), "after2");
    std::string joined;
    for (size_t i = 1; i + 2 < lines.size(); ++i) {
        EXPECT_LE(lines[i].size(), kMiB);
        joined += lines[i];
    }
    EXPECT_EQ(joined, std::string(longLength, 'x'));
}

// The file is read a mebibyte at a time, but a line is cut only at the buffer's size: with a
// 3 MiB buffer a 2 MiB line comes whole, and one of 4 MiB in two pieces (its chunk starts at
// the break before it, so the first piece is a byte short of the buffer).
TEST_F(LogReaderTest, ALineLongerThanAReadButNotThanTheBufferComesWhole) {
    const std::string middle(2 * kMiB, 'm'), huge(4 * kMiB, 'h');
    std::string content, small;
    for (int i = 0; small.size() < kMiB / 2; ++i)
        small += "short " + std::to_string(i) + "\n";
    content = small + middle + "\n" + small + huge + "\n" + small + "end";
    Reader.BufferMB = 3;
    Reader.AddLogFile(Scratch.WriteFile("mixed.log", content));
    std::vector<std::string> expected;
    for (const std::string& part : {small, middle + "\n", small, huge.substr(0, 3 * kMiB - 1) + "\n",
                                    huge.substr(3 * kMiB - 1) + "\n", small, std::string("end\n")})
        for (size_t at = 0, end; (end = part.find('\n', at)) != std::string::npos; at = end + 1)
            expected.push_back(part.substr(at, end - at));
    EXPECT_TRUE(ReadAll(Reader) == expected);
}

// A line of 100 MB without a break: it comes in buffer-sized pieces, memory stays at about
// one buffer, and the lines after it are read as usual.
TEST_F(LogReaderTest, HundredMegabyteLineComesInBoundedPiecesAndLaterLinesFollow) {
    const size_t longLength = 100 * kMiB;
    const std::string path = Scratch.Path() + "huge.log";
    {
        std::ofstream out(path, std::ios::binary);
        out << "before\n";
        const std::string block(kMiB, 'x');
        for (size_t i = 0; i < longLength / kMiB; ++i)
            out << block;
        out << "\nafter1\nafter2\n";
    }
    const auto start = std::chrono::steady_clock::now();
    const int64_t memoryBefore = PeakMemoryMB();
    Reader.AddLogFile(path);
    Reader.Rewind();
    std::vector<std::string> ends;
    size_t pieces = 0, longest = 0, total = 0;
    while (Reader.ReadLine()) {
        if (Reader.CurrentLine.starts_with("x")) {
            ++pieces;
            longest = std::max(longest, Reader.CurrentLine.size());
            total += Reader.CurrentLine.size();
        } else {
            ends.push_back(Reader.CurrentLine);
        }
    }
    EXPECT_EQ(ends, (std::vector<std::string>{"before", "after1", "after2"}));
    EXPECT_EQ(total, longLength);
    EXPECT_LE(longest, kMiB);
    EXPECT_GE(pieces, longLength / kMiB);
    if (kPeakMemoryIsMeaningful) {
        EXPECT_LT(PeakMemoryMB() - memoryBefore, 32);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

// A file of NUL bytes gives only empty lines. A file cut shorter while it is read ends with a
// warning after the chunk already loaded (what now lies past the cut may be another text),
// and the next file is read.
TEST_F(LogReaderTest, NulFilesEndCleanlyAndAFileCutWhileReadEndsWithAWarning) {
    Reader.AddLogFile(Scratch.WriteFile("nul.log", std::string(3 * kMiB + 17, '\0')));
    std::string content;
    size_t count = 0;
    while (content.size() < 3 * kMiB)
        content += "line " + std::to_string(count++) + "\n";
    const std::string cut = Scratch.WriteFile("cut.log", content);
    Reader.AddLogFile(cut);
    Reader.AddLogFile(Scratch.WriteFile("next.log", "n1\n"));
    Reader.Rewind();

    size_t nulLines = 0;
    while (Reader.ReadLine() && Reader.CurrentLine.empty())
        ++nulLines;
    EXPECT_LE(nulLines, 4u);
    ASSERT_EQ(Reader.CurrentLine, "line 0");
    // The first chunk of cut.log is loaded; now the file shrinks to a point in its second chunk.
    fs::resize_file(cut, kMiB + kMiB / 2);
    std::vector<std::string> rest;
    while (Reader.ReadLine() && rest.size() <= count)
        rest.push_back(Reader.CurrentLine);
    ASSERT_GE(rest.size(), 2u);
    EXPECT_EQ(rest.back(), "n1");
    rest.pop_back();
    // The whole lines of the first chunk, in order, and nothing after them.
    const std::string firstChunk = content.substr(0, kMiB);
    ASSERT_EQ(rest.size(), static_cast<size_t>(std::count(firstChunk.begin(), firstChunk.end(), '\n') - 1));
    for (size_t i = 0; i < rest.size(); ++i)
        ASSERT_EQ(rest[i], "line " + std::to_string(i + 1));
    ASSERT_EQ(Reader.Warnings.size(), 1u);
    EXPECT_EQ(Reader.Warnings[0].rfind(cut + ": shrank", 0), 0u) << Reader.Warnings[0];
    EXPECT_LE(Reader.ProgressKB(), Reader.TotalKB);
}

// A log rotated while it is read (renamed, a new file at its name) is read to its own end. A
// file removed before its first chunk is left out with a warning; one replaced by another file
// before its first chunk is read as it is then, with a warning.
TEST_F(LogReaderTest, LogRotatedWhileReadIsReadToItsEnd) {
    std::string content;
    std::vector<std::string> expected;
    while (content.size() < 3 * kMiB) {
        expected.push_back("big line " + std::to_string(expected.size()));
        content += expected.back() + "\n";
    }
    const std::string big = Scratch.WriteFile("access.log", content);
    const std::string gone = Scratch.WriteFile("gone.log", "g1\n");
    const std::string replaced = Scratch.WriteFile("replaced.log", "r1\n");
    Reader.BufferMB = 1;
    for (const std::string& path : {big, gone, replaced})
        Reader.AddLogFile(path);
    Reader.Rewind();
    ASSERT_TRUE(Reader.ReadLine());
    fs::rename(big, big + ".1");
    Scratch.WriteFile("access.log", "rotated 1\nrotated 2\n");
    fs::remove(gone);
    Scratch.WriteFile("replacement.log", "new r1\n");
    fs::rename(Scratch.Path() + "replacement.log", replaced);

    std::vector<std::string> lines = {Reader.CurrentLine};
    while (Reader.ReadLine())
        lines.push_back(Reader.CurrentLine);
    expected.push_back("new r1");
    EXPECT_EQ(lines, expected);
    ASSERT_EQ(Reader.Warnings.size(), 2u);
    EXPECT_EQ(Reader.Warnings[0], gone + ": cannot open the log file (No such file or directory)");
    EXPECT_EQ(Reader.Warnings[1].rfind(replaced + ": replaced", 0), 0u) << Reader.Warnings[1];
}

TEST_F(LogReaderTest, GzipLogsAreReadAsTheyAreAndArchivesExpandIntoNumberedFoldersRemovedByClear) {
    using namespace std::literals;
    std::string content;
    std::vector<std::string> expected;
    for (int i = 0; i < 20000; ++i) {
        expected.push_back("10.0.0." + std::to_string(i % 250) + " GET /page/" + std::to_string(i * 7919));
        content += expected.back() + "\n";
    }
    const std::string cut = Scratch.Path() + "cut.log.gz";
    WriteGzip(cut, content);
    fs::resize_file(cut, fs::file_size(cut) / 2);
    WriteGzip(Scratch.Path() + "ex0401.log.gz", "a\nb\n");
    Scratch.WriteFile("src/inner/x.log", "c\n");
    ASSERT_EQ(std::system(("tar -czf '" + Scratch.Path() + "logs.tgz' -C '" + Scratch.Path() + "src' inner").c_str()),
              0);
    Scratch.WriteFile("bad.log.gz", "\x1f\x8b\x08\0\0\0\0\0\0\x03\xff\xff garbage"sv);
    for (const char* name : {"ex0401.log.gz", "logs.tgz", "cut.log.gz", "bad.log.gz"})
        Reader.AddLogFile(Scratch.Path() + name);

    EXPECT_EQ(Reader.Files, (std::vector<std::string>{Scratch.Path() + "ex0401.log.gz", Temp(1) + "x.log", cut}));
    EXPECT_TRUE(FileExists(Temp(0) + "logs.tar"));
    EXPECT_FALSE(fs::exists(Temp(2)));
    const std::vector<std::string> lines = ReadAll(Reader);
    ASSERT_GT(lines.size(), 1000u);
    ASSERT_LT(lines.size(), expected.size() + 3);
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 3), (std::vector<std::string>{"a", "b", "c"}));
    // The truncated file gives its lines up to the break; the last one may be cut short.
    for (size_t i = 3; i + 1 < lines.size(); ++i)
        ASSERT_EQ(lines[i], expected[i - 3]);
    EXPECT_EQ(expected[lines.size() - 4].rfind(lines.back(), 0), 0u);
    // The one with nothing to read when it is added, the cut file when it has been read.
    ASSERT_EQ(Reader.Warnings.size(), 2u);
    EXPECT_NE(Reader.Warnings[0].find("bad.log.gz"), std::string::npos);
    EXPECT_NE(Reader.Warnings[1].find("cut.log.gz"), std::string::npos);

    Reader.ClearLogFiles();
    EXPECT_TRUE(Reader.Files.empty());
    EXPECT_EQ(Reader.TotalKB, 0);
    EXPECT_EQ(Reader.TempCount, 0);
    for (int n = 0; n < 3; ++n)
        EXPECT_FALSE(fs::exists(Temp(n))) << n;
    std::string otherFolder;
    {
        // Another reader expands into a folder of its own, removed with it.
        TLogFileReader other;
        other.AddLogFile(Scratch.Path() + "logs.tgz");
        otherFolder = other.ExpandFolder(0);
        ASSERT_NE(otherFolder, Temp(0));
        ASSERT_TRUE(fs::exists(otherFolder + "logs.tar"));
    }
    EXPECT_FALSE(fs::exists(otherFolder));
    EXPECT_FALSE(fs::exists(ExtractFilePath(otherFolder.substr(0, otherFolder.size() - 1))));
}

// A gzip log of several read pieces gets every line once, in order, with nothing written to
// disk; members packed one after the other read as one text, and data that is no gzip data is
// read as it is. A rewind in the middle of a log starts it again.
TEST_F(LogReaderTest, AGzipLogIsReadThroughItsExpansion) {
    std::string content;
    std::vector<std::string> expected;
    for (int i = 0; content.size() < (6u << 20); ++i) {
        expected.push_back("192.168.1." + std::to_string(i % 200) + " GET /item/" + std::to_string(i * 31));
        content += expected.back() + (i % 3 == 0 ? "\r\n" : "\n");
    }
    const std::string big = Scratch.Path() + "big.log.gz";
    WriteGzip(big, content);
    // Packed larger than it is: its trailer is still taken at its word.
    WriteGzip(Scratch.Path() + "tiny.log.gz", "x\n");
    // Two members and the zeros some tools pad with.
    WriteGzip(Scratch.Path() + "m1", "y1\n");
    WriteGzip(Scratch.Path() + "m2", "y2\n");
    const std::string members = TTestFolder::ReadFile(Scratch.Path() + "m1") +
                                TTestFolder::ReadFile(Scratch.Path() + "m2") + std::string(64, '\0');
    Scratch.WriteFile("members.log.gz", members);
    Scratch.WriteFile("plain.log.gz", "not packed\n");
    Reader.BufferMB = 2;
    for (const char* name : {"big.log.gz", "tiny.log.gz", "members.log.gz", "plain.log.gz"})
        Reader.AddLogFile(Scratch.Path() + name);
    ASSERT_EQ(Reader.Files.size(), 4u);
    EXPECT_EQ(Reader.Files[0], big);
    EXPECT_EQ(Reader.TempCount, 0);
    // The three small logs weigh a kilobyte each.
    EXPECT_EQ(Reader.TotalKB, static_cast<int64_t>(content.size() / 1024) + 3);
    for (const char* last : {"x", "y1", "y2", "not packed"})
        expected.push_back(last);
    Reader.Rewind();
    std::string_view line;
    for (int i = 0; i < 40000; ++i)
        ASSERT_TRUE(Reader.ReadLineView(line));
    EXPECT_EQ(ReadAll(Reader), expected);
    EXPECT_TRUE(Reader.Warnings.empty());
}

TEST_F(LogReaderTest, ZipMembersAreFlattenedAndOnlyPlainFilesAreWrittenInsideTheirFolder) {
    WriteZip(Scratch.Path() + "logs.zip", {{"a/x.log", "first\n"},
                                           {"b/x.log", "second\n"},
                                           {"../escape.log", "e1\n"},
                                           {"/abs/root.log", "e2\n"},
                                           {"semi;colon.log", "e3\n"},
                                           {"dir/", ""},
                                           {"link.log", "/etc/passwd", S_IFLNK | 0777},
                                           {"fifo.log", "f\n", S_IFIFO | 0644},
                                           {"char.log", "c\n", S_IFCHR | 0644},
                                           {"block.log", "b\n", S_IFBLK | 0644},
                                           {"socket.log", "s\n", S_IFSOCK | 0644}});
    Scratch.WriteFile("broken.zip", "PK\x03\x04 this is not a zip archive");
    Reader.AddLogFile(Scratch.Path() + "logs.zip");
    Reader.AddLogFile(Scratch.Path() + "broken.zip");

    EXPECT_EQ(Names(Reader.Files), (std::set<std::string>{"x.log", "escape.log", "root.log", "semi;colon.log"}));
    for (const std::string& f : Reader.Files)
        EXPECT_EQ(ExtractFilePath(f), Temp(0));
    const std::vector<std::string> lines = ReadAll(Reader);
    EXPECT_EQ(std::set<std::string>(lines.begin(), lines.end()), (std::set<std::string>{"second", "e1", "e2", "e3"}));
    EXPECT_FALSE(fs::exists(TempFolder() + "escape.log"));
    for (const char* name : {"link.log", "fifo.log", "char.log", "block.log", "socket.log"})
        EXPECT_FALSE(fs::exists(fs::symlink_status(Temp(0) + name))) << name;
    ASSERT_EQ(Reader.Warnings.size(), 1u);
    EXPECT_NE(Reader.Warnings[0].find("broken.zip"), std::string::npos);
}

TEST_F(LogReaderTest, ExpansionStopsBeforeTheDiskIsFullAndKeepsWhatItHas) {
    // A pretend disk of 100 MiB with 6 MiB free before anything is expanded: 5 MiB must stay
    // free, so about 1 MiB of each archive may be written.
    Reader.DiskSpace = [](const std::string& folder) {
        uint64_t used = 0;
        for (const auto& entry : fs::recursive_directory_iterator(fs::path(folder).parent_path()))
            if (entry.is_regular_file()) used += entry.file_size();
        return TDiskSpace{100u << 20, (6u << 20) - std::min<uint64_t>(used, 6u << 20)};
    };
    std::string bomb;
    for (int i = 0; bomb.size() < (4u << 20); ++i)
        bomb += "line " + std::to_string(i) + " of a very long log\n";
    WriteGzip(Scratch.Path() + "bomb.log.gz", bomb);
    WriteZip(Scratch.Path() + "bomb.zip", {{"first.log", bomb}, {"second.log", "never written\n"}});
    Reader.AddLogFile(Scratch.Path() + "bomb.log.gz");
    Reader.AddLogFile(Scratch.Path() + "bomb.zip");

    // A gzip log is read through its expansion, which takes no disk: it is read whole.
    ASSERT_EQ(Reader.Files.size(), 2u);
    const std::vector<std::string> lines = ReadAll(Reader);
    const size_t bombLines = static_cast<size_t>(std::count(bomb.begin(), bomb.end(), '\n'));
    ASSERT_GT(lines.size(), bombLines);
    EXPECT_EQ(lines[0], "line 0 of a very long log");
    EXPECT_EQ(lines[bombLines - 1], "line " + std::to_string(bombLines - 1) + " of a very long log");
    const uint64_t expanded = fs::file_size(Reader.Files[1]);
    EXPECT_GT(expanded, 0u);
    EXPECT_LE(expanded, 1u << 20);
    EXPECT_FALSE(fs::exists(Temp(0) + "second.log"));
    ASSERT_EQ(Reader.Warnings.size(), 1u);
    EXPECT_NE(Reader.Warnings[0].find("first.log"), std::string::npos);
    EXPECT_NE(Reader.Warnings[0].find("nearly full"), std::string::npos);
}

// Offsets and kilobyte totals past 4 GiB. The file is sparse (in memory-backed /dev/shm when
// there is one, where holes read fastest), so only its two lines take space.
TEST_F(LogReaderTest, ReadsALineBeyondFourGiB) {
    std::optional<TEnvOverride> shm;
    if (access("/dev/shm", W_OK) == 0) shm.emplace("TMPDIR", "/dev/shm");
    const TTestFolder sparseFolder;
    shm.reset();
    const std::string path = sparseFolder.WriteFile("huge.log", "first\n");
    const int64_t beyond = (int64_t{4} << 30) + 10, size = beyond + 8;
    fs::resize_file(path, static_cast<uintmax_t>(beyond));
    std::ofstream(path, std::ios::binary | std::ios::app) << "\nbeyond\n";

    Reader.BufferMB = 16;
    Reader.AddLogFile(path);
    EXPECT_EQ(Reader.TotalKB, size / 1024);
    Reader.Rewind();
    std::vector<std::string> lines;
    while (Reader.ReadLine())
        if (!Reader.CurrentLine.empty()) lines.push_back(Reader.CurrentLine);
    EXPECT_EQ(lines, (std::vector<std::string>{"first", "beyond"}));
    EXPECT_GT(Reader.ChunkStart, int64_t{4} << 30);
    EXPECT_GE(Reader.ProgressKB(), size / 1024);
}

} // namespace
