// The FTP fetch worker on libcurl: one handle per fetch, so the login is made once and the
// listing and every download reuse its control connection; passive mode and explicit TLS
// whenever the server offers it, with the certificate checked.

#include "sources/u_ftpdlthread.h"

#include "core/Progress.h"
#include "sources/CUtils.h"
#include "sources/FileUtils.h"
#include "sources/SpecialFolders.h"

#include <curl/curl.h>

#include <cerrno>
#include <dlfcn.h>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <type_traits>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const int kNoFile = -1;

// libcurl, loaded the first time a fetch is set up rather than when the program starts: most
// runs fetch nothing, and the library brings some thirty others with it.
struct TCurl {
    CURLcode (*GlobalInit)(long) = nullptr;
    CURL* (*EasyInit)() = nullptr;
    void (*EasyCleanup)(CURL*) = nullptr;
    CURLcode (*EasySetopt)(CURL*, CURLoption, ...) = nullptr;
    CURLcode (*EasyPerform)(CURL*) = nullptr;
    CURLcode (*EasyGetinfo)(CURL*, CURLINFO, ...) = nullptr;
    const char* (*EasyStrerror)(CURLcode) = nullptr;
    char* (*EasyEscape)(CURL*, const char*, int) = nullptr;
    void (*Free)(void*) = nullptr;
    std::string Error; // why the library cannot be used; empty once it is ready
};

const TCurl& Curl() {
    static const TCurl curl = [] {
        TCurl loaded;
        void* library = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
        if (!library) {
            const char* why = dlerror();
            loaded.Error = "libcurl cannot be loaded (" + std::string(why ? why : "libcurl.so.4 not found") + ")";
            return loaded;
        }
        bool complete = true;
        const auto bind = [&](auto& function, const char* name) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(library, name));
            complete = complete && function != nullptr;
        };
        bind(loaded.GlobalInit, "curl_global_init");
        bind(loaded.EasyInit, "curl_easy_init");
        bind(loaded.EasyCleanup, "curl_easy_cleanup");
        bind(loaded.EasySetopt, "curl_easy_setopt");
        bind(loaded.EasyPerform, "curl_easy_perform");
        bind(loaded.EasyGetinfo, "curl_easy_getinfo");
        bind(loaded.EasyStrerror, "curl_easy_strerror");
        bind(loaded.EasyEscape, "curl_easy_escape");
        bind(loaded.Free, "curl_free");
        // The library stays loaded for the rest of the run.
        if (!complete)
            loaded.Error = "libcurl.so.4 lacks functions the FTP client calls";
        else if (loaded.GlobalInit(CURL_GLOBAL_DEFAULT) != CURLE_OK)
            loaded.Error = "libcurl could not be initialised";
        return loaded;
    }();
    return curl;
}

std::vector<std::string_view> SplitAtSpaces(std::string_view line) {
    std::vector<std::string_view> tokens;
    size_t pos = 0;
    while (pos < line.size()) {
        while (pos < line.size() && line[pos] == ' ')
            ++pos;
        const size_t start = pos;
        while (pos < line.size() && line[pos] != ' ')
            ++pos;
        if (pos > start) tokens.push_back(line.substr(start, pos - start));
    }
    return tokens;
}

// The local file's last-modified time in local time; false when it does not exist.
bool LocalFileTime(const std::string& path, TDateTime& result) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return false;
    struct tm parts {};
    const time_t seconds = info.st_mtime;
    if (!localtime_r(&seconds, &parts)) return false;
    TDateParts date;
    date.Year = parts.tm_year + 1900;
    date.Month = parts.tm_mon + 1;
    date.Day = parts.tm_mday;
    date.Hour = parts.tm_hour;
    date.Minute = parts.tm_min;
    date.Second = parts.tm_sec;
    result = EncodeDateTime(date);
    return true;
}

// A remote name only ever names a file of the destination folder itself.
bool SafeLocalName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

// Whether the netrc file has a login for host ("default" counts); why not in *why.
bool NetrcHasHost(const std::string& path, const std::string& host, std::string* why) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        *why = path + " does not exist";
        return false;
    }
    if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        *why = path + " may be read by other users (make it mode 0600)";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad() || !in.is_open()) {
        *why = path + " cannot be read";
        return false;
    }
    for (char& ch : text)
        if (ch == '\t' || ch == '\n' || ch == '\r') ch = ' ';
    const std::vector<std::string_view> tokens = SplitAtSpaces(text);
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i] == "default") return true;
        if (tokens[i] == "machine" && i + 1 < tokens.size() && tokens[i + 1] == host) return true;
    }
    *why = "no entry for " + host + " in " + path;
    return false;
}

// The path part of an FTP address: each folder escaped; a leading "/" makes it absolute.
std::string UrlPath(CURL* curl, std::string_view folder) {
    std::string result;
    if (!folder.empty() && folder.front() == '/') result = "%2F";
    size_t pos = 0;
    while (pos <= folder.size()) {
        size_t end = folder.find('/', pos);
        if (end == std::string_view::npos) end = folder.size();
        if (end > pos) {
            const std::string part(folder.substr(pos, end - pos));
            char* escaped = Curl().EasyEscape(curl, part.data(), static_cast<int>(part.size()));
            if (escaped) {
                result += escaped;
                result += '/';
                Curl().Free(escaped);
            }
        }
        pos = end + 1;
    }
    return result;
}

} // namespace

TFtpListEntry ParseFtpListLine(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.remove_suffix(1);
    TFtpListEntry entry;
    const std::vector<std::string_view> tokens = SplitAtSpaces(line);
    if (tokens.empty()) return entry;
    if (tokens[0].front() == 'd')
        entry.Kind = 1;
    else if (tokens[0].front() == 'l')
        entry.Kind = 2;
    if (tokens.size() >= 5) {
        const std::string_view size = tokens[4];
        int64_t value = 0;
        const auto [end, error] = std::from_chars(size.data(), size.data() + size.size(), value);
        if (error == std::errc() && end == size.data() + size.size() && value >= 0) entry.Size = value;
    }
    entry.Name = std::string(tokens.back());
    std::string text;
    for (size_t i = 5; i + 1 < tokens.size(); ++i) {
        if (!text.empty()) text += ' ';
        text += tokens[i];
    }
    entry.Date = ParseLooseDate(text, false);
    return entry;
}

struct TFTPDLThread::TState {
    TState(TFtpSettings settings, TProgress& progress) : Settings(std::move(settings)), Progress(progress) {}

    TFtpSettings Settings;
    TProgress& Progress;
    std::string User;
    std::string Password;
    bool UseNetrc = false;

    std::atomic<bool> StopRequested{false};
    std::atomic<bool> Done{false};
    std::atomic<uint8_t> Status{FetchRunning};
    std::atomic<int64_t> BytesDone{0};
    mutable std::mutex ProblemMutex;
    std::string ProblemText;

    // The file being downloaded.
    int File = kNoFile;
    bool WriteFailed = false;
    int WriteErrno = 0;

    void SetProblem(std::string text) {
        std::lock_guard<std::mutex> lock(ProblemMutex);
        ProblemText = std::move(text);
    }
    void Run();
    bool Download(CURL* curl, const std::string& url, const std::string& dest, const std::string& name);

    static size_t WriteToFile(char* data, size_t size, size_t count, void* target) {
        auto* state = static_cast<TState*>(target);
        if (!WriteAll(state->File, data, size * count)) {
            state->WriteFailed = true;
            state->WriteErrno = errno;
            return 0;
        }
        return size * count;
    }
    static int OnTransfer(void* target, curl_off_t, curl_off_t now, curl_off_t, curl_off_t) {
        auto* state = static_cast<TState*>(target);
        state->Progress.SetPosition(now + state->BytesDone.load(std::memory_order_relaxed));
        // A stop ends the transfer at once: a download cut short never replaces the local copy,
        // so waiting out a large file would only keep the user waiting.
        return state->StopRequested.load() ? 1 : 0;
    }
};

namespace {

size_t CollectText(char* data, size_t size, size_t count, void* target) {
    static_cast<std::string*>(target)->append(data, size * count);
    return size * count;
}

// The server's answer to PWD, asked right after the login: set once logged in.
bool LoggedIn(CURL* curl) {
    const char* entry = nullptr;
    return Curl().EasyGetinfo(curl, CURLINFO_FTP_ENTRY_PATH, &entry) == CURLE_OK && entry != nullptr;
}

} // namespace

bool TFTPDLThread::TState::Download(CURL* curl, const std::string& url, const std::string& dest,
                                    const std::string& name) {
    // A hidden name of this process in the destination folder, renamed over the local copy
    // only once complete: a cut connection or a failed write leaves the old copy as it was.
    const std::string temp = dest + ".quorvel-ftp." + name + "." + std::to_string(getpid());
    unlink(temp.c_str());
    File = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_TRUNC | O_CLOEXEC, 0666);
    if (File < 0) {
        SetProblem("The file " + temp + " could not be created: " + std::strerror(errno));
        return false;
    }
    WriteFailed = false;
    Curl().EasySetopt(curl, CURLOPT_URL, url.c_str());
    Curl().EasySetopt(curl, CURLOPT_WRITEFUNCTION, WriteToFile);
    Curl().EasySetopt(curl, CURLOPT_WRITEDATA, this);
    const CURLcode code = Curl().EasyPerform(curl);
    const bool flushed = fsync(File) == 0;
    const int flushErrno = errno;
    const bool closed = close(File) == 0;
    File = kNoFile;
    std::string problem;
    if (WriteFailed)
        problem = "The file " + temp + " could not be written: " + std::strerror(WriteErrno);
    else if (code != CURLE_OK)
        problem = "The download of " + name + " failed: " + Curl().EasyStrerror(code);
    else if (!flushed || !closed)
        problem = "The file " + temp + " could not be written: " + std::strerror(flushed ? errno : flushErrno);
    else if (rename(temp.c_str(), (dest + name).c_str()) != 0)
        problem = "The file " + dest + name + " could not be replaced: " + std::strerror(errno);
    if (problem.empty()) return true;
    unlink(temp.c_str());
    SetProblem(problem);
    return false;
}

void TFTPDLThread::TState::Run() {
    const TFtpSettings& settings = Settings;
    std::string netrcFile;
    bool contact = !Password.empty();
    if (UseNetrc) {
        const char* home = std::getenv("HOME");
        netrcFile = std::string(home ? home : "") + "/.netrc";
        std::string why;
        contact = NetrcHasHost(netrcFile, settings.Host, &why);
        if (!contact) SetProblem("the logs were not fetched: " + why);
    }
    if (contact) {
        Progress.NewJob("Connecting to FTP server", 0);
        const std::string dest = EnsureTrailingSeparator(ExpandFolderMacros(settings.Dest));
        ForceFolders(dest);
        const TCurl& api = Curl();
        const std::unique_ptr<CURL, void (*)(CURL*)> handle(api.Error.empty() ? api.EasyInit() : nullptr,
                                                            api.EasyCleanup);
        CURL* curl = handle.get();
        if (!curl) {
            SetProblem(api.Error.empty() ? "The FTP client could not be set up."
                                         : "The FTP client could not be set up: " + api.Error + ".");
            Status = FetchConnectFailed;
        } else {
            char errorText[CURL_ERROR_SIZE] = {};
            api.EasySetopt(curl, CURLOPT_ERRORBUFFER, errorText);
            api.EasySetopt(curl, CURLOPT_NOSIGNAL, 1L);
            api.EasySetopt(curl, CURLOPT_PROTOCOLS_STR, "ftp");
            api.EasySetopt(curl, CURLOPT_PORT, static_cast<long>(settings.Port));
            if (UseNetrc) {
                api.EasySetopt(curl, CURLOPT_NETRC, static_cast<long>(CURL_NETRC_REQUIRED));
                api.EasySetopt(curl, CURLOPT_NETRC_FILE, netrcFile.c_str());
            } else {
                api.EasySetopt(curl, CURLOPT_USERNAME, User.c_str());
                api.EasySetopt(curl, CURLOPT_PASSWORD, Password.c_str());
            }
            // TLS whenever the server offers it, so that the login does not cross in clear.
            api.EasySetopt(curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_TRY));
            api.EasySetopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
            api.EasySetopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
            if (!settings.CaFile.empty()) api.EasySetopt(curl, CURLOPT_CAINFO, settings.CaFile.c_str());
            api.EasySetopt(curl, CURLOPT_NOPROGRESS, 0L);
            api.EasySetopt(curl, CURLOPT_XFERINFOFUNCTION, OnTransfer);
            api.EasySetopt(curl, CURLOPT_XFERINFODATA, this);

            // Connect, log in, change to the remote folder and list it in detail.
            const bool ipv6 = settings.Host.find(':') != std::string::npos;
            const std::string base = "ftp://" + (ipv6 ? "[" + settings.Host + "]" : settings.Host) + "/";
            const std::string folderUrl = base + UrlPath(curl, settings.Source);
            std::string listing;
            api.EasySetopt(curl, CURLOPT_URL, folderUrl.c_str());
            api.EasySetopt(curl, CURLOPT_WRITEFUNCTION, CollectText);
            api.EasySetopt(curl, CURLOPT_WRITEDATA, &listing);
            const CURLcode code = StopRequested ? CURLE_ABORTED_BY_CALLBACK : api.EasyPerform(curl);
            if (code == CURLE_LOGIN_DENIED) {
                Status = FetchLoginFailed;
                SetProblem("Wrong login/password. Please try again.");
            } else if (code != CURLE_OK && !LoggedIn(curl)) {
                // Unknown host, refused port, time-out, TLS refused or unverified: no session.
                Status = FetchConnectFailed;
                SetProblem("Quorvel couldn't connect to your FTP server (" + settings.Host + ":" +
                           std::to_string(settings.Port) + "): " + (errorText[0] ? errorText : api.EasyStrerror(code)));
            } else if (code == CURLE_OK && !StopRequested) {
                // The filter, from the last line to the first.
                std::vector<std::string_view> lines;
                size_t pos = 0;
                while (pos < listing.size()) {
                    size_t end = listing.find('\n', pos);
                    if (end == std::string::npos) end = listing.size();
                    lines.push_back(std::string_view(listing).substr(pos, end - pos));
                    pos = end + 1;
                }
                const std::string exts = UpperCase(settings.LogExts);
                std::vector<TFtpListEntry> wanted;
                int64_t total = 0;
                for (size_t i = lines.size(); i-- > 0;) {
                    // "total 12" and other short lines are not entries of a detailed listing.
                    if (SplitAtSpaces(lines[i]).size() < 4) continue;
                    TFtpListEntry entry = ParseFtpListLine(lines[i]);
                    if (entry.Kind != 0 || !SafeLocalName(entry.Name)) continue;
                    if (settings.OpenExt && exts.find(UpperExtension(entry.Name) + ";") == std::string::npos) continue;
                    TDateTime local = 0;
                    if (LocalFileTime(dest + entry.Name, local) && !(local < entry.Date)) continue;
                    total += entry.Size;
                    wanted.push_back(std::move(entry));
                }
                if (!StopRequested) {
                    BytesDone = 0;
                    if (!wanted.empty()) Progress.NewJob("Downloading files...", total);
                    for (size_t i = wanted.size(); i-- > 0;) {
                        const TFtpListEntry& entry = wanted[i];
                        char* escaped = api.EasyEscape(curl, entry.Name.data(), static_cast<int>(entry.Name.size()));
                        const std::string url = folderUrl + (escaped ? escaped : "");
                        api.Free(escaped);
                        if (!Download(curl, url, dest, entry.Name)) break;
                        BytesDone += entry.Size;
                        if (StopRequested) break;
                    }
                }
            }
        }
    }
    if (StopRequested)
        Status = FetchCancelled;
    else if (Status == FetchRunning)
        Status = FetchOk;
    Done = true;
}

TFTPDLThread::TFTPDLThread(TFtpSettings settings, TProgress& progress)
    : State(std::make_shared<TState>(std::move(settings), progress)) {
    Curl(); // loaded here, on the thread that asks for the fetch
}

TFTPDLThread::~TFTPDLThread() {
    Terminate();
    if (Worker.joinable()) Worker.join();
}

void TFTPDLThread::Start() {
    if (Worker.joinable()) return;
    State->User = User;
    State->Password = Password;
    State->UseNetrc = UseNetrc;
    Worker = std::thread([state = State] { state->Run(); });
}

void TFTPDLThread::Terminate() {
    State->StopRequested = true;
}

bool TFTPDLThread::Finished() const {
    return State->Done;
}

TFetchStatus TFTPDLThread::Status() const {
    return static_cast<TFetchStatus>(State->Status.load());
}

int64_t TFTPDLThread::BytesDone() const {
    return State->BytesDone;
}

std::string TFTPDLThread::Problem() const {
    std::lock_guard<std::mutex> lock(State->ProblemMutex);
    return State->ProblemText;
}
