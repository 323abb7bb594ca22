// A port server (Debian's ser2net) in front of a pseudo-terminal, for tests and
// benchmarks that reach a device over the network as rfc2217://127.0.0.1:PORT.
//
// The server runs in the foreground as a child of this process, with its own
// configuration and pid file in a temporary directory, UUCP locking off (the
// tests must not leave files in the system's lock directory) and mDNS off; it
// needs no root. It opens the device once per client connection, serves one
// client at a time, and a moment after a client went it still turns the next
// one away ("Port already in use").
//
// Blocking and threads:
//  - Start returns once the server listens (it watches the kernel's socket
//    table, so it never takes the one connection the server serves), or after
//    a few seconds, or as soon as the server exits on its own.
//  - Stop asks it to end, waits a bounded time, then kills it; the destructor
//    stops. The server is also killed if the thread that started it dies, so a
//    test that crashes leaves no server behind. Call Start and Stop from one
//    thread (the test's own).
#pragma once

#include <sys/types.h>

#include <string>

#include "platform/expected.h"

namespace vardex::test {

class PortServer {
public:
    PortServer() = default;
    ~PortServer();
    PortServer(const PortServer&) = delete;
    PortServer& operator=(const PortServer&) = delete;

    // The server program, from PATH or /usr/sbin; empty when it is not installed.
    static std::string FindProgram();

    // Serves device (a pseudo-terminal's path) on 127.0.0.1 at a free port with
    // the RFC 2217 options. tuned: the configuration the README recommends
    // (nodelay on the server's socket, no chardelay); otherwise ser2net's own
    // defaults for both. A failure says why when the server is missing or does
    // not come up.
    platform::Expected<void> Start(const std::string& device, bool tuned = true);
    void Stop();

    int Port() const { return port_; }
    // The server's process id while it runs, -1 otherwise.
    pid_t Pid() const { return pid_; }
    // rfc2217://127.0.0.1:PORT
    std::string Url() const;
    // What the server wrote on its standard output and error so far.
    std::string Log() const;

private:
    bool Listening() const;
    void Kill();  // the server only; its directory stays

    pid_t pid_ = -1;
    int port_ = 0;
    std::string dir_;
};

}  // namespace vardex::test
