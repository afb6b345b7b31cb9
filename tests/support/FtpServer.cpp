// Starts pyftpdlib through /usr/bin/python3 with a small script of ours and waits for the port
// it reports; stops it with SIGTERM (or SIGKILL) and reaps it.

#include "support/FtpServer.h"

#include "support/TestFolder.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <netinet/in.h>
#include <random>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

const char* const kPython = "/usr/bin/python3";

const char* const kScript = R"PY(import logging, os, sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer

root, user, port_file, cert, key, rate = sys.argv[1:6] + [int(sys.argv[6])]
password = sys.stdin.readline().rstrip("\n")
logging.basicConfig(level=logging.CRITICAL)
authorizer = DummyAuthorizer()
authorizer.add_user(user, password, root, perm="elr")
if cert:
    from pyftpdlib.handlers import TLS_FTPHandler
    class Handler(TLS_FTPHandler):
        pass
    Handler.certfile = cert
    Handler.keyfile = key
    Handler.tls_control_required = True
    Handler.tls_data_required = True
    # pyftpdlib closes a TLS data connection that arrives before its command (clients connect
    # the passive port first); wait for the command instead.
    from pyftpdlib.handlers import TLS_DTPHandler
    class Data(TLS_DTPHandler):
        def readable(self):
            if not self.receive and not self._initialized:
                return False
            return super().readable()
    Handler.dtp_handler = Data
else:
    class Handler(FTPHandler):
        pass
Handler.authorizer = authorizer
Handler.use_gmt_times = False
Handler.auth_failed_timeout = 0.1
Handler.permit_foreign_addresses = False
if rate:
    class Throttled(ThrottledDTPHandler):
        pass
    Throttled.write_limit = rate
    Handler.dtp_handler = Throttled
server = FTPServer(("127.0.0.1", 0), Handler)
with open(port_file + ".part", "w") as out:
    out.write(str(server.socket.getsockname()[1]))
os.rename(port_file + ".part", port_file)
server.serve_forever()
)PY";

bool RunQuiet(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

} // namespace

bool TFtpServer::TlsAvailable() {
    return RunQuiet(std::string(kPython) +
                    " -c 'import OpenSSL, pyftpdlib.handlers; pyftpdlib.handlers.TLS_FTPHandler'");
}

int TFtpServer::ClosedPort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    close(fd);
    return port;
}

TFtpServer::TFtpServer(const std::string& workFolder, TFtpServerOptions options) {
    std::random_device random;
    for (int i = 0; i < 4; ++i)
        Secret += std::to_string(random());
    const std::string script = workFolder + "ftpserver.py";
    const std::string portFile = workFolder + "ftpserver.port";
    std::filesystem::create_directories(workFolder);
    std::filesystem::remove(portFile);
    if (FILE* out = std::fopen(script.c_str(), "w")) {
        std::fputs(kScript, out);
        std::fclose(out);
    }
    if (options.Tls) {
        CertFile = workFolder + "ftpserver.crt";
        KeyFile = workFolder + "ftpserver.key";
        if (!RunQuiet("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 -subj "
                      "/CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout '" +
                      KeyFile + "' -out '" + CertFile + "'")) {
            Failure = "openssl could not make the test certificate";
            return;
        }
    }
    int input[2];
    if (pipe(input) != 0) {
        Failure = "no pipe";
        return;
    }
    const std::string rate = std::to_string(options.SendRate);
    Pid = fork();
    if (Pid == 0) {
        dup2(input[0], 0);
        close(input[0]);
        close(input[1]);
        execl(kPython, kPython, script.c_str(), options.Root.c_str(), UserName.c_str(), portFile.c_str(),
              CertFile.c_str(), KeyFile.c_str(), rate.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(input[0]);
    const std::string line = Secret + "\n";
    if (write(input[1], line.data(), line.size()) != static_cast<ssize_t>(line.size())) Failure = "no password sent";
    close(input[1]);
    if (Pid < 0) {
        Failure = "fork failed";
        return;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        if (std::filesystem::exists(portFile)) {
            ServerPort = std::atoi(TTestFolder::ReadFile(portFile).c_str());
            return;
        }
        int status = 0;
        if (waitpid(Pid, &status, WNOHANG) == Pid) {
            Pid = -1;
            Failure = "the FTP server script ended at once (is python3-pyftpdlib installed?)";
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    Failure = "the FTP server did not start in time";
}

void TFtpServer::Stop(int signal) {
    if (Pid <= 0) return;
    kill(Pid, signal);
    int status = 0;
    waitpid(Pid, &status, 0);
    Pid = -1;
}

void TFtpServer::Kill() {
    Stop(SIGKILL);
}

TFtpServer::~TFtpServer() {
    Stop(SIGTERM);
}
