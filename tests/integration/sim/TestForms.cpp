#include "tests/integration/sim/TestForms.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace qrv::test {
namespace {

void PutOctal(std::string& block, size_t at, size_t width, uint64_t value) {
    char text[32];
    std::snprintf(text, sizeof text, "%0*llo", static_cast<int>(width - 1), static_cast<unsigned long long>(value));
    block.replace(at, width - 1, text, width - 1);
}

std::string Base64(const std::string& in) {
    static const char* a = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < in.size(); i += 3) {
        uint32_t v = uint32_t(uint8_t(in[i])) << 16;
        if (i + 1 < in.size()) v |= uint32_t(uint8_t(in[i + 1])) << 8;
        if (i + 2 < in.size()) v |= uint8_t(in[i + 2]);
        out += a[(v >> 18) & 63];
        out += a[(v >> 12) & 63];
        out += i + 1 < in.size() ? a[(v >> 6) & 63] : '=';
        out += i + 2 < in.size() ? a[v & 63] : '=';
    }
    return out;
}

}  // namespace

std::string MakeUstar(const std::vector<std::string>& names) {
    std::string archive;
    for (const auto& name : names) {
        const std::string content = "member " + name + "\n";
        std::string block(512, '\0');
        block.replace(0, name.size(), name);
        PutOctal(block, 100, 8, 0644);
        PutOctal(block, 108, 8, 0);
        PutOctal(block, 116, 8, 0);
        PutOctal(block, 124, 12, content.size());
        PutOctal(block, 136, 12, 1700000000);
        block[156] = '0';
        block.replace(257, 6, std::string("ustar\0", 6));
        block.replace(263, 2, "00");
        block.replace(148, 8, "        ");
        unsigned sum = 0;
        for (char c : block) sum += static_cast<unsigned char>(c);
        char checksum[8];
        std::snprintf(checksum, sizeof checksum, "%06o", sum);
        block.replace(148, 7, std::string(checksum, 6) + '\0');
        archive += block;
        archive += content;
        archive.append((512 - content.size() % 512) % 512, '\0');
    }
    archive.append(1024, '\0');
    return archive;
}

std::string MakeFirmwareImage(int variant) {
    std::vector<std::string> names;
    for (const char* part : {"etc", "firm", "kernel", "lib", "tz", "web"})
        names.push_back(std::string("qrvk7_") + part + std::to_string(variant) + ".tar.gz");
    return MakeUstar(names);
}

ProgramForm MakeProgramForm(const std::string& field, const std::string& file, const std::string& content) {
    ProgramForm form;
    form.boundary = std::string(27, '-') + "7d" + std::to_string(std::time(nullptr));
    form.contentType = "multipart/form-data; boundary=" + form.boundary;
    form.body = "\r\n" + form.boundary + "\r\nContent-Disposition: form-data; name=\"" + field + "\"; filename=\"" + file +
                "\"\r\nContent-Type: application/octet-stream\r\n\r\n" + content + "\r\n" + form.boundary + "--\r\n\r\n";
    return form;
}

std::string MakeRequest(const std::string& method, const std::string& target,
                        const std::vector<std::pair<std::string, std::string>>& headers, const std::string& body) {
    std::string request = method + " " + target + " HTTP/1.1\r\n";
    for (const auto& [name, value] : headers) request += name + ": " + value + "\r\n";
    if (!body.empty() || method == "POST") request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    return request + "\r\n" + body;
}

std::string Basic(const std::string& nameAndPassword) { return "Basic " + Base64(nameAndPassword); }

std::string RawResponse::Header(const std::string& name) const {
    size_t at = 0;
    while ((at = head.find("\r\n", at)) != std::string::npos) {
        at += 2;
        const auto colon = head.find(':', at);
        const auto end = head.find("\r\n", at);
        if (colon == std::string::npos || (end != std::string::npos && colon > end)) continue;
        std::string key = head.substr(at, colon - at);
        bool same = key.size() == name.size();
        for (size_t i = 0; same && i < key.size(); ++i)
            same = std::tolower(static_cast<unsigned char>(key[i])) == std::tolower(static_cast<unsigned char>(name[i]));
        if (same) {
            std::string value = head.substr(colon + 1, (end == std::string::npos ? head.size() : end) - colon - 1);
            while (!value.empty() && value.front() == ' ') value.erase(0, 1);
            return value;
        }
    }
    return {};
}

namespace {

int ConnectTo(const std::string& address, uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    ::inet_pton(AF_INET, address.c_str(), &to.sin_addr);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool ParseComplete(RawResponse& response) {
    size_t start = 0;
    response.interim = 0;
    while (response.bytes.compare(start, 13, "HTTP/1.1 100 ") == 0) {  // interim answers come first
        const auto end = response.bytes.find("\r\n\r\n", start);
        if (end == std::string::npos) return false;
        start = end + 4;
        ++response.interim;
    }
    const auto end = response.bytes.find("\r\n\r\n", start);
    if (end == std::string::npos) return false;
    response.head = response.bytes.substr(start, end - start);
    response.status = std::atoi(response.head.c_str() + 9);
    const size_t length = std::strtoul(response.Header("Content-Length").c_str(), nullptr, 10);
    if (response.bytes.size() < end + 4 + length) return false;
    response.body = response.bytes.substr(end + 4, length);
    response.used = end + 4 + length;
    return true;
}

}  // namespace

int CountAnswers(const std::string& bytes) {
    int count = 0;
    RawResponse rest;
    rest.bytes = bytes;
    while (ParseComplete(rest)) {
        ++count;
        rest.bytes.erase(0, rest.used);
    }
    return count;
}

RawResponse Exchange(const std::string& address, uint16_t port, const std::string& request, std::chrono::milliseconds limit,
                     int answers) {
    RawResponse response;
    const int fd = ConnectTo(address, port);
    if (fd < 0) return response;
    response.connected = true;
    size_t sent = 0;
    while (sent < request.size()) {
        const ssize_t n = ::send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<size_t>(n);
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!response.complete) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
        char chunk[65536];
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0) {
            response.closed = true;
            break;
        }
        response.bytes.append(chunk, static_cast<size_t>(n));
        response.complete = ParseComplete(response) && (answers <= 1 || CountAnswers(response.bytes) >= answers);
    }
    ::close(fd);
    return response;
}

bool CanConnect(const std::string& address, uint16_t port) {
    const int fd = ConnectTo(address, port);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

std::vector<Datagram> Discover(std::chrono::milliseconds window, int copies, const std::string& request) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int one = 1, buffer = 4 << 20;
    ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    ::bind(fd, reinterpret_cast<sockaddr*>(&any), sizeof any);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(2380);
    to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    const std::string bytes = request.empty() ? std::string("\x02" "ENQ:allinfo" "\xff\x03", 14) : request;
    for (int i = 0; i < copies; ++i)
        ::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    std::vector<Datagram> datagrams;
    const auto deadline = std::chrono::steady_clock::now() + window;
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
        char chunk[2048];
        sockaddr_in from{};
        socklen_t size = sizeof from;
        const ssize_t n = ::recvfrom(fd, chunk, sizeof chunk, 0, reinterpret_cast<sockaddr*>(&from), &size);
        if (n < 0) break;
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
        datagrams.push_back(Datagram{std::string(chunk, static_cast<size_t>(n)), text});
    }
    ::close(fd);
    return datagrams;
}

}  // namespace qrv::test
