// A loopback HTTP server inside the test process that answers every request
// with a chunked body of unknown size, a few bytes every 50 ms, until it is
// stopped: a download that stays Downloading with no total for as long as a
// window test looks at it. Given a size, it serves a file of that size and
// answers byte ranges (206), trickling each one the same way: a download
// with one connection row per range. Stopping closes every connection, so
// the job ends at once instead of at a WinHTTP timeout.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class TrickleServer {
public:
    explicit TrickleServer(long long size = -1) : size_(size) {
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(listener_, 8);
        int len = sizeof a;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        acceptor_ = std::thread([this] { Accept(); });
    }
    ~TrickleServer() { Stop(); }
    TrickleServer(const TrickleServer&) = delete;
    TrickleServer& operator=(const TrickleServer&) = delete;

    std::wstring Url(const wchar_t* path) const {
        return L"http://127.0.0.1:" + std::to_wstring(port_) + path;
    }
    void Stop() {
        if (stopping_.exchange(true)) return;
        closesocket(listener_);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (SOCKET s : open_) shutdown(s, SD_BOTH);
        }
        if (acceptor_.joinable()) acceptor_.join();
        for (std::thread& t : connections_) t.join();
        WSACleanup();
    }

private:
    void Accept() {
        for (;;) {
            SOCKET s = accept(listener_, nullptr, nullptr);
            if (s == INVALID_SOCKET) return;
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) {
                closesocket(s);
                return;
            }
            open_.push_back(s);
            connections_.emplace_back([this, s] { Serve(s); });
        }
    }
    void Serve(SOCKET s) {
        std::string request;
        char buffer[2048];
        while (request.find("\r\n\r\n") == std::string::npos) {
            const int n = recv(s, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            request.append(buffer, n);
        }
        if (size_ >= 0) {
            ServeFile(s, request);
        } else {
            const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                                     "Transfer-Encoding: chunked\r\n\r\n";
            bool open = send(s, head.data(), static_cast<int>(head.size()), 0) > 0;
            while (open && !stopping_) {
                open = send(s, "10\r\n0123456789abcdef\r\n", 22, 0) > 0;
                Sleep(50);
            }
        }
        closesocket(s);
    }
    // "Range: bytes=a-b" gets 206 with that part, anything else the whole file.
    void ServeFile(SOCKET s, const std::string& request) {
        long long first = 0, last = size_ - 1;
        const size_t at = request.find("Range: bytes=");
        const bool ranged = at != std::string::npos;
        if (ranged) {
            first = std::atoll(request.c_str() + at + 13);
            const size_t dash = request.find('-', at + 13);
            if (dash != std::string::npos && dash + 1 < request.size() && isdigit(static_cast<unsigned char>(request[dash + 1])))
                last = std::atoll(request.c_str() + dash + 1);
        }
        long long left = last - first + 1;
        std::string head = ranged ? "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " + std::to_string(first) + "-" +
                                        std::to_string(last) + "/" + std::to_string(size_) + "\r\n"
                                  : "HTTP/1.1 200 OK\r\n";
        head += "Accept-Ranges: bytes\r\nContent-Length: " + std::to_string(left) + "\r\nConnection: close\r\n\r\n";
        bool open = send(s, head.data(), static_cast<int>(head.size()), 0) > 0;
        while (open && left > 0 && !stopping_) {
            const int n = static_cast<int>(left < 16 ? left : 16);
            open = send(s, "0123456789abcdef", n, 0) > 0;
            left -= n;
            if (left > 0) Sleep(50);
        }
    }

    long long size_;
    SOCKET listener_ = INVALID_SOCKET;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;
    std::vector<SOCKET> open_;
    std::vector<std::thread> connections_;
    std::thread acceptor_;
};
