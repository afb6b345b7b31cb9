#include "sources/ExternalPrograms.h"

#include "sources/CUtils.h"
#include "sources/FileUtils.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>

extern char** environ;

namespace {

std::mutex gJavaHomeMutex;
std::string gJavaHome; // guarded by gJavaHomeMutex

bool IsExecutableFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

std::string LookUpJavaHome() {
    const std::string javaHome = Trim(std::getenv("JAVA_HOME") ? std::getenv("JAVA_HOME") : "");
    if (!javaHome.empty()) {
        const std::string folder = EnsureTrailingSeparator(javaHome);
        if (IsExecutableFile(folder + "java")) return folder;
        if (IsExecutableFile(folder + "bin/java")) return folder + "bin/";
    }
    const char* path = std::getenv("PATH");
    const std::string_view searchPath = path ? path : "/bin:/usr/bin";
    size_t start = 0;
    while (start <= searchPath.size()) {
        size_t end = searchPath.find(':', start);
        if (end == std::string_view::npos) end = searchPath.size();
        const std::string_view entry = searchPath.substr(start, end - start);
        // Empty and relative entries name the current folder: never trusted for a runtime.
        if (!entry.empty() && entry[0] == '/') {
            const std::string folder = EnsureTrailingSeparator(entry);
            if (IsExecutableFile(folder + "java")) return folder;
        }
        start = end + 1;
    }
    return {};
}

class TSpawnFileActions {
public:
    TSpawnFileActions() { Ok = posix_spawn_file_actions_init(&Actions) == 0; }
    ~TSpawnFileActions() {
        if (Ok) posix_spawn_file_actions_destroy(&Actions);
    }
    TSpawnFileActions(const TSpawnFileActions&) = delete;
    TSpawnFileActions& operator=(const TSpawnFileActions&) = delete;
    posix_spawn_file_actions_t Actions;
    bool Ok = false;
};

class TSpawnAttributes {
public:
    TSpawnAttributes() { Ok = posix_spawnattr_init(&Attributes) == 0; }
    ~TSpawnAttributes() {
        if (Ok) posix_spawnattr_destroy(&Attributes);
    }
    TSpawnAttributes(const TSpawnAttributes&) = delete;
    TSpawnAttributes& operator=(const TSpawnAttributes&) = delete;
    posix_spawnattr_t Attributes;
    bool Ok = false;
};

// Waits for the child's end; false when it cannot be observed.
bool WaitForExit(pid_t pid, int& status) {
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

// Reads what the pipe holds now; false at its end or on an error.
bool ReadAvailable(int fd, std::string* output) {
    char buffer[65536];
    for (;;) {
        const ssize_t count = read(fd, buffer, sizeof buffer);
        if (count > 0) {
            if (output) output->append(buffer, static_cast<size_t>(count));
        } else if (count == 0) {
            return false;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return true;
        } else if (errno != EINTR) {
            return false;
        }
    }
}

// Reads the child's output while it runs, so that it never blocks on a full pipe, until
// the pipe ends and the child has ended. A child that has ended while something it
// started still holds the pipe open does not keep the caller waiting: what is in the
// pipe then is taken and the rest is left.
bool CaptureUntilExit(pid_t pid, int fd, std::string* output, int& status) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    for (;;) {
        pollfd entry{fd, POLLIN, 0};
        const int ready = poll(&entry, 1, 100);
        if (ready < 0 && errno != EINTR) return WaitForExit(pid, status);
        if (ready > 0 && !ReadAvailable(fd, output)) return WaitForExit(pid, status);
        const pid_t ended = waitpid(pid, &status, WNOHANG);
        if (ended == pid) {
            ReadAvailable(fd, output);
            return true;
        }
        if (ended < 0 && errno != EINTR) return false;
    }
}

} // namespace

std::string FindJavaHome() {
    std::lock_guard<std::mutex> lock(gJavaHomeMutex);
    if (gJavaHome.empty()) gJavaHome = LookUpJavaHome();
    return gJavaHome;
}

void ForgetJavaHome() {
    std::lock_guard<std::mutex> lock(gJavaHomeMutex);
    gJavaHome.clear();
}

std::vector<std::string> SplitCommandLine(std::string_view commandLine) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (char c : commandLine) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && (c == ' ' || c == '\t' || c == '\r' || c == '\n')) {
            if (inWord) words.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(std::move(word));
    return words;
}

int RunHiddenAndCapture(std::string_view commandLine, bool capture, std::string* output) {
    if (output) output->clear();
    std::vector<std::string> words = SplitCommandLine(commandLine);
    if (words.empty() || words[0].empty()) return kRunFailed;
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    TUniqueFd readEnd;
    TUniqueFd writeEnd;
    if (capture) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) return kRunFailed;
        readEnd.Reset(fds[0]);
        writeEnd.Reset(fds[1]);
    }

    TSpawnFileActions actions;
    TSpawnAttributes attributes;
    if (!actions.Ok || !attributes.Ok) return kRunFailed;
    posix_spawn_file_actions_t* fileActions = &actions.Actions;
    bool prepared = posix_spawn_file_actions_addopen(fileActions, STDIN_FILENO, "/dev/null", O_RDONLY, 0) == 0;
    if (capture)
        prepared = prepared && posix_spawn_file_actions_adddup2(fileActions, writeEnd.Get(), STDOUT_FILENO) == 0;
    else
        prepared =
            prepared && posix_spawn_file_actions_addopen(fileActions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0) == 0;
#if defined(__GLIBC__)
#if __GLIBC_PREREQ(2, 34)
    // Descriptors another thread opened without close-on-exec stay out of the child too.
    prepared = prepared && posix_spawn_file_actions_addclosefrom_np(fileActions, STDERR_FILENO + 1) == 0;
#endif
#endif
    // The child starts with no blocked signals and default handling of every signal, so
    // that a SIGPIPE this process ignores does not change how the child ends.
    sigset_t noSignals;
    sigset_t allSignals;
    sigemptyset(&noSignals);
    sigfillset(&allSignals);
    prepared = prepared &&
               posix_spawnattr_setflags(&attributes.Attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) == 0 &&
               posix_spawnattr_setsigmask(&attributes.Attributes, &noSignals) == 0 &&
               posix_spawnattr_setsigdefault(&attributes.Attributes, &allSignals) == 0;
    if (!prepared) return kRunFailed;

    pid_t pid = -1;
    const int spawnError = posix_spawnp(&pid, argv[0], fileActions, &attributes.Attributes, argv.data(), environ);
    writeEnd.Reset(); // the child's copy is the only writer left, so its end ends the pipe
    if (spawnError != 0) return kRunFailed;

    int status = 0;
    const bool ended = capture ? CaptureUntilExit(pid, readEnd.Get(), output, status) : WaitForExit(pid, status);
    if (!ended) return kRunFailed;
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return kRunFailed;
}
