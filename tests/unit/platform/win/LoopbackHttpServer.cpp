#include "tests/unit/platform/win/LoopbackHttpServer.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

namespace qrv::test {
namespace {

// The body length a request head announces; 0 without one.
size_t AnnouncedLength(const std::string& head) {
    const size_t at = head.find("Content-Length: ");
    return at == std::string::npos ? 0 : std::strtoul(head.c_str() + at + 16, nullptr, 10);
}

}  // namespace

LoopbackHttpServer::LoopbackHttpServer(std::string answer) : answer_(std::move(answer)) {
    WSADATA data{};
    ::WSAStartup(MAKEWORD(2, 2), &data);
    const SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener, 1);
    int length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    listener_ = listener;
    thread_ = std::thread([this] { Serve(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
    ending_ = true;
    ::closesocket(static_cast<SOCKET>(listener_));
    thread_.join();
    ::WSACleanup();
}

std::string LoopbackHttpServer::Request() {
    std::lock_guard lock(mutex_);
    return request_;
}

void LoopbackHttpServer::WaitForRequest() {
    while (true) {
        {
            std::lock_guard lock(mutex_);
            if (complete_) return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void LoopbackHttpServer::Serve() {
    const SOCKET connection = ::accept(static_cast<SOCKET>(listener_), nullptr, nullptr);
    if (connection == INVALID_SOCKET) return;
    std::string received;
    char buffer[65536];
    for (;;) {
        const size_t headEnd = received.find("\r\n\r\n");
        if (headEnd != std::string::npos && received.size() >= headEnd + 4 + AnnouncedLength(received.substr(0, headEnd))) {
            break;
        }
        const int got = ::recv(connection, buffer, sizeof buffer, 0);
        if (got <= 0) break;
        received.append(buffer, static_cast<size_t>(got));
        std::lock_guard lock(mutex_);
        request_ = received;
    }
    {
        std::lock_guard lock(mutex_);
        complete_ = true;
    }
    if (!answer_.empty()) {
        ::send(connection, answer_.data(), static_cast<int>(answer_.size()), 0);
        ::shutdown(connection, SD_SEND);
    }
    // Hold the connection until the client closes it or the test ends.
    DWORD slice = 20;
    ::setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&slice), sizeof slice);
    while (!ending_) {
        const int got = ::recv(connection, buffer, sizeof buffer, 0);
        if (got == 0 || (got < 0 && ::WSAGetLastError() != WSAETIMEDOUT)) break;
    }
    ::closesocket(connection);
}

}  // namespace qrv::test
