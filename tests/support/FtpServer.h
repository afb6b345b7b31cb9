#pragma once
// A real FTP server for tests: Python's pyftpdlib on 127.0.0.1 and a free port, serving one
// folder to one user, optionally with explicit TLS and a throttled send rate. The password
// reaches it on standard input, never on its command line; the destructor stops it.

#include <cstdint>
#include <string>
#include <sys/types.h>

struct TFtpServerOptions {
    std::string Root;     // the folder served (the user's home there)
    bool Tls = false;     // require AUTH TLS with a certificate made for 127.0.0.1
    int64_t SendRate = 0; // bytes per second of downloads; 0: unlimited
};

class TFtpServer {
public:
    // workFolder (ending in "/") receives the script and, with Tls, the certificate.
    TFtpServer(const std::string& workFolder, TFtpServerOptions options);
    ~TFtpServer();
    TFtpServer(const TFtpServer&) = delete;
    TFtpServer& operator=(const TFtpServer&) = delete;

    // False when the server did not come up; Error() says why.
    bool Running() const { return ServerPort > 0; }
    const std::string& Error() const { return Failure; }
    int Port() const { return ServerPort; }
    const std::string& User() const { return UserName; }
    const std::string& Password() const { return Secret; }
    // The server's self-signed certificate, the one authority that vouches for it (with Tls).
    const std::string& CaFile() const { return CertFile; }
    // Ends the server at once, as a cut connection does.
    void Kill();

    // Whether pyftpdlib can serve TLS here (it needs python3-openssl).
    static bool TlsAvailable();
    // A port of 127.0.0.1 where nothing listens.
    static int ClosedPort();

private:
    void Stop(int signal);

    pid_t Pid = -1;
    int ServerPort = 0;
    std::string UserName = "logfetch";
    std::string Secret;
    std::string CertFile;
    std::string KeyFile;
    std::string Failure;
};
