// The FTP fetch worker against a real server on 127.0.0.1: what it downloads and leaves alone,
// how it tells a refused connection from a refused login, TLS, and that a cancel or a cut
// connection never leaves a half file in place of the local copy.

#include "sources/u_ftpdlthread.h"

#include "core/Progress.h"
#include "sources/DateTime.h"
#include "sources/FileUtils.h"
#include "support/FtpServer.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

class TFixedClock : public TClock {
public:
    explicit TFixedClock(TDateTime now) : Moment(now) {}
    TDateTime Now() const override { return Moment; }

private:
    TDateTime Moment;
};

TDateTime At(int year, int month, int day, int hour = 0, int minute = 0) {
    TDateParts parts;
    parts.Year = year;
    parts.Month = month;
    parts.Day = day;
    parts.Hour = hour;
    parts.Minute = minute;
    return EncodeDateTime(parts);
}

TEST(FtpListLine, ReadsTheDetailedLayout) {
    const TFixedClock clock(At(2003, 1, 5, 12));
    SetClock(&clock);
    struct TCase {
        const char* Line;
        uint8_t Kind;
        int64_t Size;
        const char* Name;
        TDateTime Date;
    };
    const TCase cases[] = {
        {"-rw-r--r--   1 web  web      1234 Mar  4  2002 access.log\r", 0, 1234, "access.log", At(2002, 3, 4)},
        {"drwxr-xr-x 2 web web 4096 Mar 4 2002 old", 1, 4096, "old", At(2002, 3, 4)},
        {"lrwxrwxrwx 1 web web 10 Mar 4 2002 last.log -> access.log", 2, 10, "access.log", At(2002, 3, 4)},
        {"-rw-r--r-- 1 web web 5000000000 Mar 4 2002 my access.log", 0, 5000000000LL, "access.log", At(2002, 3, 4)},
        {"-rw-r--r-- 1 web web 12k Mar 4 2002 a.log", 0, 0, "a.log", At(2002, 3, 4)},
        // Jan 10 seen on 5 January lies ahead: the previous year's, at midnight.
        {"-rw-r--r-- 1 web web 7 Jan 10 12:00 b.log", 0, 7, "b.log", At(2002, 1, 10)},
    };
    for (const TCase& c : cases) {
        const TFtpListEntry entry = ParseFtpListLine(c.Line);
        EXPECT_EQ(entry.Kind, c.Kind) << c.Line;
        EXPECT_EQ(entry.Size, c.Size) << c.Line;
        EXPECT_EQ(entry.Name, c.Name) << c.Line;
        EXPECT_DOUBLE_EQ(entry.Date, c.Date) << c.Line;
    }
    SetClock(nullptr);
}

// Records the jobs the worker announces.
class TRecordingProgress : public TProgress {
public:
    void NewJob(std::string_view caption, int64_t size) override {
        TProgress::NewJob(caption, size);
        std::lock_guard<std::mutex> lock(Mutex);
        Captions.emplace_back(caption);
    }
    std::vector<std::string> JobCaptions() {
        std::lock_guard<std::mutex> lock(Mutex);
        return Captions;
    }

private:
    std::mutex Mutex;
    std::vector<std::string> Captions;
};

void SetAge(const std::string& path, int seconds) {
    const auto when = fs::file_time_type::clock::now() - std::chrono::seconds(seconds);
    fs::last_write_time(path, when);
}

const int kDay = 24 * 3600;

class FtpFetch : public ::testing::Test {
protected:
    TSandbox Sandbox;
    std::string Remote = Sandbox.Folder.Path() + "remote/";
    std::string Local = Sandbox.Folder.Path() + "local/";

    std::string PutRemote(const std::string& name, const std::string& content, int age) {
        const std::string path = Sandbox.Folder.WriteFile("remote/" + name, content);
        SetAge(path, age);
        return path;
    }
    std::string PutLocal(const std::string& name, const std::string& content, int age) {
        const std::string path = Sandbox.Folder.WriteFile("local/" + name, content);
        SetAge(path, age);
        return path;
    }
    TFtpSettings Settings(int port, const std::string& source = "/") {
        TFtpSettings settings;
        settings.Host = "127.0.0.1";
        settings.Port = port;
        settings.Source = source;
        settings.Dest = Local;
        return settings;
    }
    // Runs one fetch to its end; during runs on the waiting side until it returns true.
    TFetchStatus Fetch(TFTPDLThread& fetch, const std::function<bool()>& during = {}) {
        fetch.Start();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(40);
        bool acted = false;
        while (!fetch.Finished() && std::chrono::steady_clock::now() < deadline) {
            if (during && !acted) acted = during();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        EXPECT_TRUE(fetch.Finished());
        return fetch.Status();
    }
    std::vector<std::string> LocalNames() {
        std::vector<std::string> names;
        if (fs::exists(Local))
            for (const auto& entry : fs::directory_iterator(Local))
                names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    static std::string Read(const std::string& path) { return TTestFolder::ReadFile(path); }
};

TEST_F(FtpFetch, DownloadsNewAndNewerFilesOnlyAndNeverFolderOrLinks) {
    PutRemote("new.log", "new", kDay);
    PutRemote("newer.log", "newer remote", kDay);
    PutRemote("older.log", "older remote", 10 * kDay);
    PutRemote("words.log", "last word", kDay);
    PutRemote("two words.log", "two words", kDay);
    PutRemote("notes.txt", "notes", kDay);
    PutRemote("sub/inner.log", "inner", kDay);
    fs::create_symlink("new.log", Remote + "link.log");
    TFtpServer server(Sandbox.Folder.Path() + "server/", {Remote});
    ASSERT_TRUE(server.Running()) << server.Error();

    struct TCase {
        bool OpenExt;
        const char* LogExts;
        std::vector<std::string> Expected;
    };
    const TCase cases[] = {
        {false, "", {"new.log", "newer.log", "notes.txt", "older.log", "words.log"}},
        {true, "log;gz;", {"new.log", "newer.log", "older.log", "words.log"}},
        {true, "", {"newer.log", "older.log"}}, // an empty list lets nothing through
    };
    for (const TCase& c : cases) {
        fs::remove_all(Local);
        PutLocal("newer.log", "stale", 30 * kDay);
        PutLocal("older.log", "kept", 0);
        TFtpSettings settings = Settings(server.Port());
        settings.OpenExt = c.OpenExt;
        settings.LogExts = c.LogExts;
        TRecordingProgress progress;
        TFTPDLThread fetch(settings, progress);
        fetch.User = server.User();
        fetch.Password = server.Password();
        ASSERT_EQ(Fetch(fetch), FetchOk) << fetch.Problem();
        EXPECT_EQ(LocalNames(), c.Expected) << c.LogExts;
        EXPECT_EQ(Read(Local + "older.log"), "kept");
        if (!c.OpenExt) {
            EXPECT_EQ(Read(Local + "newer.log"), "newer remote");
            EXPECT_EQ(Read(Local + "words.log"), "last word");
            EXPECT_EQ(fetch.BytesDone(), 3 + 12 + 5 + 9 + 9); // words.log is listed twice
            EXPECT_EQ(progress.JobCaptions(),
                      (std::vector<std::string>{"Connecting to FTP server", "Downloading files..."}));
        }
    }
}

TEST_F(FtpFetch, RefusedConnectionsLoginsAndMissingFoldersEndAsTheyShould) {
    PutRemote("logs/a.log", "a", kDay);
    TFtpServer server(Sandbox.Folder.Path() + "server/", {Remote});
    ASSERT_TRUE(server.Running()) << server.Error();
    struct TCase {
        const char* What;
        int Port;
        std::string Password;
        std::string Source;
        TFetchStatus Status;
    };
    const TCase cases[] = {
        {"wrong password", server.Port(), "not" + server.Password(), "logs", FetchLoginFailed},
        {"closed port", TFtpServer::ClosedPort(), server.Password(), "logs", FetchConnectFailed},
        {"empty password contacts nothing", TFtpServer::ClosedPort(), "", "logs", FetchOk},
        {"missing remote folder", server.Port(), server.Password(), "no/such/folder", FetchOk},
    };
    for (const TCase& c : cases) {
        TProgress progress;
        TFTPDLThread fetch(Settings(c.Port, c.Source), progress);
        fetch.User = server.User();
        fetch.Password = c.Password;
        EXPECT_EQ(Fetch(fetch), c.Status) << c.What << ": " << fetch.Problem();
        EXPECT_EQ(fetch.Problem().find(server.Password()), std::string::npos) << c.What;
        if (c.Status == FetchOk) {
            EXPECT_EQ(fetch.Problem(), "") << c.What;
        }
        EXPECT_TRUE(LocalNames().empty()) << c.What;
    }
}

TEST_F(FtpFetch, UsesTlsWhenOfferedAndChecksTheCertificate) {
    if (!TFtpServer::TlsAvailable()) GTEST_SKIP() << "pyftpdlib cannot serve TLS here: python3-openssl is missing";
    PutRemote("a.log", "secret log", kDay);
    TFtpServer server(Sandbox.Folder.Path() + "server/", {Remote, true});
    ASSERT_TRUE(server.Running()) << server.Error();
    for (const bool ownCa : {false, true}) {
        TProgress progress;
        TFtpSettings settings = Settings(server.Port());
        if (ownCa) settings.CaFile = server.CaFile();
        TFTPDLThread fetch(settings, progress);
        fetch.User = server.User();
        fetch.Password = server.Password();
        // A certificate no known authority signed: no login is sent at all.
        EXPECT_EQ(Fetch(fetch), ownCa ? FetchOk : FetchConnectFailed) << fetch.Problem();
        EXPECT_EQ(FileExists(Local + "a.log"), ownCa) << fetch.Problem();
    }
    EXPECT_EQ(Read(Local + "a.log"), "secret log");
}

// Two multi-megabyte files on a slow server; the local copies are older.
class FtpFetchSlow : public FtpFetch {
protected:
    void SetUp() override {
        for (const char* name : {"big1.log", "big2.log"}) {
            PutRemote(name, std::string(kBig, name[3]), kDay);
            PutLocal(name, "previous", 30 * kDay);
        }
    }
    bool NoTemporaryLeft() {
        for (const std::string& name : LocalNames())
            if (name.rfind(".quorvel-ftp.", 0) == 0) return false;
        return true;
    }
    static constexpr size_t kBig = 2 * 1024 * 1024;
};

// A cancel in the middle of a download ends it there: every local copy stays as it was.
TEST_F(FtpFetchSlow, CancelDuringADownloadLeavesThePreviousCopies) {
    TFtpServer server(Sandbox.Folder.Path() + "server/", {Remote, false, 1024 * 1024});
    ASSERT_TRUE(server.Running()) << server.Error();
    TRecordingProgress progress;
    TFTPDLThread fetch(Settings(server.Port()), progress);
    fetch.User = server.User();
    fetch.Password = server.Password();
    EXPECT_EQ(Fetch(fetch,
                    [&] {
                        if (progress.JobCaptions().size() < 2 || progress.Position() < 100000) return false;
                        fetch.Terminate();
                        return true;
                    }),
              FetchCancelled);
    EXPECT_EQ(Read(Local + "big1.log"), "previous");
    EXPECT_EQ(Read(Local + "big2.log"), "previous");
    EXPECT_EQ(fetch.BytesDone(), 0);
    EXPECT_TRUE(NoTemporaryLeft());
}

TEST_F(FtpFetchSlow, CutConnectionLeavesThePreviousCopy) {
    TFtpServer server(Sandbox.Folder.Path() + "server/", {Remote, false, 1024 * 1024});
    ASSERT_TRUE(server.Running()) << server.Error();
    TRecordingProgress progress;
    TFTPDLThread fetch(Settings(server.Port()), progress);
    fetch.User = server.User();
    fetch.Password = server.Password();
    EXPECT_EQ(Fetch(fetch,
                    [&] {
                        if (progress.JobCaptions().size() < 2 || progress.Position() < 100000) return false;
                        server.Kill();
                        return true;
                    }),
              FetchOk);
    EXPECT_EQ(Read(Local + "big1.log"), "previous");
    EXPECT_EQ(Read(Local + "big2.log"), "previous");
    EXPECT_NE(fetch.Problem(), "");
    EXPECT_TRUE(NoTemporaryLeft());
}

} // namespace
