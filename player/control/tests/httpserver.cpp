#include "httpserver.h"

#include <ws2tcpip.h>

#include <cstdio>

namespace qivtest {

namespace {

bool sendAll(SOCKET s, const char* data, size_t n) {
    while (n > 0) {
        const int sent = send(s, data, int(n > 65536 ? 65536 : n), 0);
        if (sent <= 0) return false;
        data += sent;
        n -= size_t(sent);
    }
    return true;
}

bool sendText(SOCKET s, const std::string& t) { return sendAll(s, t.data(), t.size()); }

}  // namespace

HttpServer::HttpServer() {
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    int len = sizeof a;
    if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(s, 16) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        closesocket(s);
        return;
    }
    port_ = ntohs(a.sin_port);
    listen_ = s;
    acceptor_ = std::thread([this] { acceptLoop(); });
}

HttpServer::~HttpServer() {
    stop_ = true;
    if (acceptor_.joinable()) acceptor_.join();
    for (std::thread& t : workers_)
        if (t.joinable()) t.join();
    if (listen_ != INVALID_SOCKET) closesocket(listen_);
    WSACleanup();
}

void HttpServer::set(const std::string& path, const Route& route) {
    std::lock_guard<std::mutex> lock(m_);
    routes_[path] = route;
}

std::string HttpServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

int HttpServer::requests(const std::string& path) const {
    std::lock_guard<std::mutex> lock(m_);
    auto it = seen_.find(path);
    return it == seen_.end() ? 0 : it->second;
}

void HttpServer::acceptLoop() {
    while (!stop_) {
        fd_set fds;
        FD_ZERO(&fds);
        FD_SET(listen_, &fds);
        timeval tv{0, 50 * 1000};
        if (select(0, &fds, nullptr, nullptr, &tv) <= 0) continue;
        SOCKET c = accept(listen_, nullptr, nullptr);
        if (c == INVALID_SOCKET) continue;
        workers_.emplace_back([this, c] { serve(c); });
    }
}

void HttpServer::serve(SOCKET c) {
    std::string request;
    char buf[4096];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
        const int n = recv(c, buf, sizeof buf, 0);
        if (n <= 0) break;
        request.append(buf, size_t(n));
    }
    std::string path;
    const size_t sp = request.find(' ');
    if (sp != std::string::npos) path = request.substr(sp + 1, request.find(' ', sp + 1) - sp - 1);
    Route r;
    bool known = false;
    {
        std::lock_guard<std::mutex> lock(m_);
        ++seen_[path];
        auto it = routes_.find(path);
        if (it != routes_.end()) r = it->second, known = true;
    }
    const std::string common = "Cache-Control: no-cache, no-store\r\nConnection: close\r\n";
    if (!known || r.mode == Mode::NotFound) {
        sendText(c, "HTTP/1.1 404 Not Found\r\nContent-Type: text/html\r\nContent-Length: 9\r\n" + common +
                        "\r\nnot found");
    } else {
        const std::string& body = r.body;
        const size_t piece = r.piece ? r.piece : body.size();
        if (r.mode == Mode::Chunked) {
            sendText(c, "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nTransfer-Encoding: chunked\r\n" +
                            common + "\r\n");
            for (size_t at = 0; at < body.size() && !stop_; at += piece) {
                const size_t n = std::min(piece, body.size() - at);
                char head[32];
                snprintf(head, sizeof head, "%zx\r\n", n);
                if (!sendText(c, head) || !sendAll(c, body.data() + at, n) || !sendText(c, "\r\n")) break;
                if (r.pauseMs) Sleep(r.pauseMs);
            }
            sendText(c, "0\r\n\r\n");
        } else {
            sendText(c, "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                            std::to_string(body.size()) + "\r\n" + common + "\r\n");
            const size_t end = r.mode == Mode::Drop ? std::min(r.dropAfter, body.size()) : body.size();
            for (size_t at = 0; at < end && !stop_; at += piece) {
                if (r.holdAfter && at >= r.holdAfter)
                    for (int waited = 0; !gate_ && !stop_ && waited < 30000; waited += 5) Sleep(5);
                if (!sendAll(c, body.data() + at, std::min(piece, end - at))) break;
                if (r.pauseMs) Sleep(r.pauseMs);
            }

        }
    }
    shutdown(c, SD_SEND);
    closesocket(c);
}

}  // namespace qivtest
