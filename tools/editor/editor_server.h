// The editor's HTTP server: the embedded page and the JSON API over one
// EditorSession, on the loopback interface only. Every request must carry
// the session token and come from this server's own address: a missing or
// wrong token, a foreign Host (DNS rebinding) or a foreign Origin gets 403.
#pragma once

#include <httplib.h>

#include <memory>
#include <string>

#include "editor_export.h"
#include "editor_session.h"

namespace qvcli {

inline constexpr std::size_t kMostRequestBytes = 4 * 1024 * 1024;

// 32 random bytes as hex, from the system's random source.
std::string NewSessionToken();

class EditorServer {
public:
    EditorServer(EditorSession& session, std::string token);
    ~EditorServer();
    EditorServer(const EditorServer&) = delete;
    EditorServer& operator=(const EditorServer&) = delete;

    // Binds 127.0.0.1 at `port` (0: a free one) and returns the port.
    // Throws CliError when the port is taken.
    int Bind(int port);
    // Serves until Stop(); call after Bind.
    void Run();
    void Stop();

    int port() const { return port_; }
    const std::string& token() const { return token_; }
    std::string Address() const;  // http://127.0.0.1:PORT/?token=...

private:
    bool Admit(const httplib::Request& request, httplib::Response& response) const;
    void AddRoutes();

    EditorSession& session_;
    std::string token_;
    int port_ = 0;
    httplib::Server server_;
    ExportRunner exports_;
};

}  // namespace qvcli
