#pragma once
// Fetching a profile's logs from an FTP server before its report: a worker thread that logs in,
// lists the remote folder and downloads every log that is new or newer than the local copy,
// each to a temporary name that replaces the local file only when complete.

#include "sources/DateTime.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

class TProgress;

enum TFetchStatus : uint8_t {
    FetchOk = 0,            // finished; also when nothing needed downloading
    FetchConnectFailed = 1, // no connection was made
    FetchLoginFailed = 2,   // the server refused the login
    FetchRunning = 3,       // the worker has not finished
    FetchCancelled = 4,     // the user cancelled the login or the progress window
};

// One line of a detailed remote listing.
struct TFtpListEntry {
    uint8_t Kind = 0; // 0 file, 1 directory, 2 link
    int64_t Size = 0;
    TDateTime Date = 0;
    std::string Name;
};
TFtpListEntry ParseFtpListLine(std::string_view line);

// What a fetch needs of a profile (the caller copies it from the profile's FTP settings).
struct TFtpSettings {
    std::string Host;
    int Port = 21;
    std::string Source;   // remote folder
    std::string Dest;     // local folder, may start with a folder macro
    bool OpenExt = false; // only files with one of LogExts
    std::string LogExts;  // "log;gz;"
    std::string CaFile;   // certificate authorities for TLS; empty: the system's
};

class TFTPDLThread {
public:
    TFTPDLThread(TFtpSettings settings, TProgress& progress);
    // Asks the worker to stop and waits for it.
    ~TFTPDLThread();
    TFTPDLThread(const TFTPDLThread&) = delete;
    TFTPDLThread& operator=(const TFTPDLThread&) = delete;

    std::string User;
    std::string Password; // never logged, never passed on the command line or written anywhere
    // The unattended run: the login of the host comes from the user's ~/.netrc and from there
    // only; without an entry nothing is contacted (as with an empty password).
    bool UseNetrc = false;

    void Start();
    // Stops the fetch; a download in progress ends at once and leaves the local copy as it was.
    void Terminate();
    bool Finished() const;
    TFetchStatus Status() const;
    int64_t BytesDone() const;
    // Why the fetch ended as it did, in one line for the user (never holds the password);
    // empty when all went well.
    std::string Problem() const;

private:
    struct TState;
    std::shared_ptr<TState> State;
    std::thread Worker;
};
