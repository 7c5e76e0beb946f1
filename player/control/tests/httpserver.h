// A small HTTP server of the download tests on 127.0.0.1 (a port of its own), run on threads
// of the test program from construction to destruction. Each path answers as its route
// says: with a length, chunked, slowly in pieces, 404, or cut off after some bytes (the
// connection closed before the length it announced).
#pragma once
#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qivtest {

class HttpServer {
public:
    enum class Mode { Length, Chunked, NotFound, Drop };
    struct Route {
        Mode mode = Mode::Length;
        std::string body;
        size_t piece = 0;       // bytes per send (0: all at once)
        DWORD pauseMs = 0;      // between pieces
        size_t dropAfter = 0;   // Drop: bytes sent before the connection is cut
        size_t holdAfter = 0;   // Length: bytes sent before the rest waits for openGate()
    };

    HttpServer();
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    bool running() const { return listen_ != INVALID_SOCKET; }
    // path starts with '/'; unknown paths answer 404.
    void set(const std::string& path, const Route& route);
    void set(const std::string& path, const std::string& body) { set(path, Route{Mode::Length, body}); }
    std::string url(const std::string& path) const;
    // Requests seen for a path.
    int requests(const std::string& path) const;
    // Lets held transfers (Route::holdAfter) send the rest.
    void openGate() { gate_ = true; }

private:
    void acceptLoop();
    void serve(SOCKET s);

    SOCKET listen_ = INVALID_SOCKET;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<bool> gate_{false};
    mutable std::mutex m_;
    std::map<std::string, Route> routes_;
    std::map<std::string, int> seen_;
    std::thread acceptor_;
    std::vector<std::thread> workers_;
};

}  // namespace qivtest
