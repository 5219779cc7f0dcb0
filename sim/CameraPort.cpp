#include "sim/CameraPort.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "sim/EventLog.h"
#include "sim/ExchangeRegistry.h"
#include "sim/HttpBackend.h"

namespace qrv::sim {
namespace {

constexpr int kIdleTimeoutMs = 60000;  // a camera drops a connection idle this long
constexpr size_t kMaxHead = 64 * 1024;
constexpr uint64_t kMaxBody = 64ull << 20;  // far above a firmware image; a camera has no room for more
constexpr size_t kSlowPiece = 16;
constexpr int kSlowPauseMs = 100;  // production figure, scaled like every duration
constexpr size_t kEndlessLines = 256;  // of 16 bytes: one 4 KiB chunk of an endless answer

std::string Chunk(std::string_view data) {
    char size[32];
    std::snprintf(size, sizeof size, "%zx\r\n", data.size());
    return size + std::string(data) + "\r\n";
}

// The next lines of an endless configuration: "key=value-00000\n" upward.
std::string EndlessLines(uint64_t& line) {
    std::string lines;
    for (size_t i = 0; i < kEndlessLines; ++i) {
        char text[32];
        std::snprintf(text, sizeof text, "key=value-%05u\n", static_cast<unsigned>(line++ % 100000));
        lines += text;
    }
    return lines;
}

std::string PeerText(const sockaddr_in& peer) {
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(peer.sin_port));
}

std::string PlainAnswer(int status, std::string_view reason) {
    const std::string body = "<HTML><BODY>" + std::string(reason) + "</BODY></HTML>";
    const char* text = status == 411 ? " Length Required" : status == 413 ? " Payload Too Large" : " Bad Request";
    return "HTTP/1.1 " + std::to_string(status) + text +
           "\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" +
           body;
}

// The head ends at the first empty line; a bare LF line end also ends it
// here, so that the parser can refuse it instead of waiting for CR LF.
size_t FindHeadEnd(const std::string& buffer, size_t& separator) {
    const auto crlf = buffer.find("\r\n\r\n");
    const auto lf = buffer.find("\n\n");
    if (lf != std::string::npos && (crlf == std::string::npos || lf < crlf)) {
        separator = 2;
        return lf;
    }
    separator = 4;
    return crlf;
}

}  // namespace

CameraPort::CameraPort(Camera& camera, FrontContext& context) : camera_(camera), context_(context) {}

CameraPort::~CameraPort() {
    Shutdown();
    std::lock_guard lock(mutex_);
    for (int fd : retired_) ::close(fd);
    retired_.clear();
}

bool CameraPort::PowerOn(std::string& error) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    // The kernel starts stamping arrivals a moment after the first socket
    // asks for it: asked here, before any client can connect, the first
    // request's bytes carry their stamp too (see Connection).
    ::setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(camera_.Setup().port);
    address.sin_addr.s_addr = htonl(camera_.Setup().address);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 128) != 0) {
        error = "cannot listen on " + camera_.Label() + ": " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    {
        std::lock_guard lock(mutex_);
        if (stopping_) {
            ::close(fd);
            error = "stopping";
            return false;
        }
        listenFd_ = fd;
    }
    if (context_.listenersChanged) context_.listenersChanged();
    return true;
}

void CameraPort::PowerOff(uint64_t keepConnection) {
    {
        std::lock_guard lock(mutex_);
        if (listenFd_ >= 0) {
            // A shut-down listener refuses new connections at once; the
            // acceptor thread closes it, since it may be polling it now.
            ::shutdown(listenFd_, SHUT_RDWR);
            retired_.push_back(listenFd_);
            listenFd_ = -1;
        }
        for (auto& connection : connections_)
            if (connection->Id() != keepConnection) connection->Kill();
    }
    if (context_.listenersChanged) context_.listenersChanged();
}

int CameraPort::ListenFd() {
    std::lock_guard lock(mutex_);
    return listenFd_;
}

void CameraPort::CloseRetired() {
    std::lock_guard lock(mutex_);
    for (int fd : retired_) ::close(fd);
    retired_.clear();
}

bool CameraPort::AcceptFrom(int listenFd) {
    std::lock_guard lock(mutex_);
    if (listenFd != listenFd_ || stopping_) return true;
    ReapFinished();
    while (true) {
        sockaddr_in peer{};
        socklen_t size = sizeof peer;
        const int fd = ::accept4(listenFd, reinterpret_cast<sockaddr*>(&peer), &size, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return errno != EMFILE && errno != ENFILE && errno != ENOBUFS && errno != ENOMEM;
        auto connection = std::make_unique<Connection>(++context_.nextConnection, fd);
        context_.log.Emit("connect", camera_.Label(),
                          JsonFields().Int("connection", int64_t(connection->Id())).Str("peer", PeerText(peer)));
        Connection& ref = *connection;
        connections_.push_back(std::move(connection));
        ref.thread = std::jthread([this, &ref] {
            Serve(ref);
            ref.done = true;
        });
    }
}

void CameraPort::ReapFinished() {
    for (auto it = connections_.begin(); it != connections_.end();) {
        if ((*it)->done) {
            (*it)->thread.join();
            it = connections_.erase(it);
        } else {
            ++it;
        }
    }
}

void CameraPort::Shutdown() {
    std::list<std::unique_ptr<Connection>> connections;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        if (listenFd_ >= 0) {
            ::shutdown(listenFd_, SHUT_RDWR);
            retired_.push_back(listenFd_);
            listenFd_ = -1;
        }
        for (auto& connection : connections_) connection->Kill();
        connections.swap(connections_);
    }
    for (auto& connection : connections)
        if (connection->thread.joinable()) connection->thread.join();
}

void CameraPort::Serve(Connection& connection) {
    std::string buffer;
    while (ServeOne(connection, buffer)) {
    }
    connection.Close();
    context_.log.Emit("disconnect", camera_.Label(), JsonFields().Int("connection", static_cast<int64_t>(connection.Id())));
}

// Serves one request of a connection; false ends the connection.
bool CameraPort::ServeOne(Connection& connection, std::string& buffer) {
    const Faults& faults = camera_.Setup().faults;
    size_t separator = 4;
    size_t headEnd = FindHeadEnd(buffer, separator);
    while (headEnd == std::string::npos) {
        if (buffer.size() > kMaxHead) {
            connection.WriteAll(PlainAnswer(400, "request head too large"));
            return false;
        }
        if (connection.ReadSome(buffer, kIdleTimeoutMs) != Connection::Io::Ok) return false;
        headEnd = FindHeadEnd(buffer, separator);
    }
    const std::string rawHead = buffer.substr(0, headEnd);
    buffer.erase(0, headEnd + separator);

    auto exchange = std::make_shared<Exchange>();
    exchange->id = ++context_.nextExchange;
    exchange->connection = connection.Id();
    std::string reason;
    BodyFraming framing;
    if (ParseRequestHead(rawHead, exchange->head, reason)) {
        framing = FindBodyLength(exchange->head);
        reason = framing.reason;
        if (framing.ok && framing.length > kMaxBody) {
            framing.status = 413;
            reason = framing.reason = "body of " + std::to_string(framing.length) + " bytes is too large";
        }
    }
    if (!reason.empty()) {
        Record(*exchange, rawHead, true, std::chrono::steady_clock::now());
        context_.log.Emit("verdict", camera_.Label(),
                          JsonFields().Int("exchange", int64_t(exchange->id)).Str("what", "request").Bool("ok", false).Str("reason", reason));
        if (!faults.silent) connection.WriteAll(PlainAnswer(framing.reason.empty() ? 400 : framing.status, reason));
        return false;
    }

    for (const auto& expect : HeaderValues(exchange->head.headers, "Expect"))
        if (SameName(expect, "100-continue") && !faults.silent)
            connection.WriteAll("HTTP/1.1 100 Continue\r\n\r\n");

    uint64_t wanted = framing.length;
    const bool dropping = faults.dropUploadAfter && exchange->head.path == "/command/versionup.cgi" &&
                          *faults.dropUploadAfter < framing.length;
    if (dropping) wanted = *faults.dropUploadAfter;
    exchange->body = buffer.substr(0, std::min<uint64_t>(wanted, buffer.size()));
    buffer.erase(0, exchange->body.size());
    while (exchange->body.size() < wanted) {
        if (connection.ReadSome(exchange->body, kIdleTimeoutMs) != Connection::Io::Ok) {
            Record(*exchange, rawHead, false, std::chrono::steady_clock::now());
            return false;
        }
        if (exchange->body.size() > wanted) {
            buffer = exchange->body.substr(wanted);
            exchange->body.resize(wanted);
        }
    }
    if (dropping) {
        Record(*exchange, rawHead, false, std::chrono::steady_clock::now());
        context_.log.Emit("verdict", camera_.Label(),
                          JsonFields()
                              .Int("exchange", int64_t(exchange->id))
                              .Str("what", "upload")
                              .Bool("ok", false)
                              .Str("reason", "drop-upload fault: connection dropped after " + std::to_string(wanted) +
                                                 " bytes of the body"));
        connection.Reset();
        return false;
    }
    Record(*exchange, rawHead, true, connection.LastReadArrived());
    if (faults.silent) {
        connection.HoldUntilGone();
        return false;
    }

    context_.registry.Add(exchange, camera_);
    std::string response;
    const bool relayed = Relay(*exchange, response);
    auto answer = context_.registry.Finish(exchange->id);
    if (!relayed) {
        connection.WriteAll(PlainAnswer(400, "the camera's web server failed"));
        return false;
    }
    return Deliver(connection, *exchange, response, std::move(answer));
}

bool CameraPort::Deliver(Connection& connection, const Exchange& exchange, const std::string& response,
                         std::optional<Answer> answer) {
    const Faults& faults = camera_.Setup().faults;
    const Answer plan = answer.value_or(Answer{});
    if (!connection.Sleep(plan.waitMs)) return false;
    if (faults.delayMs && plan.delivery == Answer::Delivery::Send && !connection.Sleep(camera_.Scaled(*faults.delayMs)))
        return false;
    switch (plan.delivery) {
        case Answer::Delivery::Drop: connection.Reset(); return false;
        case Answer::Delivery::Hold: connection.HoldUntilGone(); return false;
        case Answer::Delivery::Silent: camera_.BeginDowntime(plan.downtime, connection.Id()); return false;
        case Answer::Delivery::Send: break;
    }
    if (plan.stream != Answer::Stream::None) return SendStream(connection, exchange, plan);
    const bool goingDown = plan.downtime.kind != Downtime::Kind::None;
    // The listener closes before the answer leaves, so whoever reads the
    // answer finds the camera already down.
    if (goingDown) camera_.BeginDowntime(plan.downtime, connection.Id());
    const bool keepAlive = !goingDown && WantsKeepAlive(exchange.head);
    const ShapedResponse shaped = ShapeResponse(response, keepAlive);
    if (!shaped.ok) {
        connection.WriteAll(PlainAnswer(400, "the camera's web server gave no valid answer"));
        return false;
    }
    Connection::Io io = Connection::Io::Ok;
    if (faults.slowReply) {
        const int pause = std::max(1, camera_.Scaled(kSlowPauseMs));
        for (size_t at = 0; at < shaped.wire.size() && io == Connection::Io::Ok; at += kSlowPiece) {
            if (at > 0 && !connection.Sleep(pause)) io = Connection::Io::Killed;
            if (io == Connection::Io::Ok) io = connection.WriteAll(std::string_view(shaped.wire).substr(at, kSlowPiece));
        }
    } else {
        io = connection.WriteAll(shaped.wire);
    }
    // Stamped when the answer's last piece went out: a client that read it
    // may act on it before this thread logs it.
    const auto sentAt = io == Connection::Io::Ok ? connection.LastWriteBegan() : std::chrono::steady_clock::now();
    context_.log.EmitAt(sentAt, "response", camera_.Label(),
                        JsonFields()
                            .Int("exchange", int64_t(exchange.id))
                            .Int("connection", int64_t(connection.Id()))
                            .Int("status", shaped.status)
                            .Int("body_length", int64_t(shaped.bodyLength))
                            .Bool("sent", io == Connection::Io::Ok));
    return io == Connection::Io::Ok && keepAlive;
}

// Writes an answer that the HTTP server cannot give (see Answer::Stream);
// the connection always ends after it. Its response event counts the body's
// bytes that went out (without the chunks' framing) and is `sent` when all
// that was meant to go did.
bool CameraPort::SendStream(Connection& connection, const Exchange& exchange, const Answer& plan) {
    const bool drip = plan.stream == Answer::Stream::Drip;
    std::string head = "HTTP/1.1 200 OK\r\nContent-Type: " + plan.contentType + "\r\n";
    head += drip ? "Content-Length: " + std::to_string(plan.body.size()) + "\r\n" : std::string("Transfer-Encoding: chunked\r\n");
    head += "Connection: close\r\n\r\n";
    Connection::Io io = connection.WriteAll(head);
    uint64_t sent = 0;
    const char* name = "";
    switch (plan.stream) {
        case Answer::Stream::None: break;
        case Answer::Stream::Cut: {
            name = "cut";
            const std::string_view half = std::string_view(plan.body).substr(0, plan.body.size() / 2);
            if (io == Connection::Io::Ok) io = connection.WriteAll(Chunk(half));
            if (io == Connection::Io::Ok) sent = half.size();
            break;
        }
        case Answer::Stream::Drip:
            name = "drip";
            for (size_t at = 0; at < plan.body.size() && io == Connection::Io::Ok; ++at) {
                if (at > 0 && !connection.Sleep(plan.pauseMs)) io = Connection::Io::Killed;
                if (io == Connection::Io::Ok) io = connection.WriteAll(std::string_view(plan.body).substr(at, 1));
                if (io == Connection::Io::Ok) ++sent;
            }
            break;
        case Answer::Stream::Endless: {
            name = "endless";
            uint64_t line = 0;
            while (io == Connection::Io::Ok) {
                const std::string lines = EndlessLines(line);
                io = connection.WriteAll(Chunk(lines));
                if (io == Connection::Io::Ok) sent += lines.size();
                if (io == Connection::Io::Ok && !connection.Sleep(plan.pauseMs)) io = Connection::Io::Killed;
            }
            break;
        }
    }
    const bool whole = io == Connection::Io::Ok && plan.stream != Answer::Stream::Endless;
    context_.log.EmitAt(whole ? connection.LastWriteBegan() : std::chrono::steady_clock::now(), "response",
                        camera_.Label(),
                        JsonFields()
                            .Int("exchange", int64_t(exchange.id))
                            .Int("connection", int64_t(connection.Id()))
                            .Int("status", 200)
                            .Int("body_length", int64_t(sent))
                            .Bool("sent", whole)
                            .Str("stream", name));
    return false;
}

// `arrived`: when the request was in. A whole request is stamped with the
// moment its last bytes came in (the kernel's stamp), not when this thread
// read them, saved its capture and hashed its body: for an upload its client
// may have moved on to its next request meanwhile.
void CameraPort::Record(const Exchange& exchange, std::string_view rawHead, bool complete,
                        std::chrono::steady_clock::time_point arrived) {
    std::string raw(rawHead);
    raw += "\r\n\r\n";
    raw += exchange.body;
    const std::string file = context_.capture.Save(camera_.Label(), raw);
    JsonFields fields;
    fields.Int("exchange", int64_t(exchange.id))
        .Int("connection", int64_t(exchange.connection))
        .Str("method", exchange.head.method)
        .Str("target", exchange.head.target)
        .Str("path", exchange.head.path)
        .Str("http_version", exchange.head.version)
        .Headers("headers", exchange.head.headers)
        .Int("body_length", int64_t(exchange.body.size()))
        .Str("body_sha256", Sha256Hex(exchange.body))
        .Bool("complete", complete);
    if (!file.empty()) fields.Str("capture", file);
    context_.log.EmitAt(arrived, "request", camera_.Label(), fields);
}

bool CameraPort::Relay(const Exchange& exchange, std::string& response) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const timeval timeout{30, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(context_.backendPort));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    // The server gets only what it needs to route the request; the camera
    // reads the request itself (headers in wire order, raw body) from the
    // exchange.
    const std::string request = exchange.head.method + " " + exchange.head.target +
                                " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + kExchangeHeader + ": " +
                                std::to_string(exchange.id) + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    for (size_t at = 0; ok && at < request.size();) {
        const ssize_t n = ::send(fd, request.data() + at, request.size() - at, MSG_NOSIGNAL);
        ok = n > 0;
        if (ok) at += static_cast<size_t>(n);
    }
    char chunk[16384];
    while (ok) {
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        response.append(chunk, static_cast<size_t>(n));
    }
    ::close(fd);
    return ok && !response.empty();
}

}  // namespace qrv::sim
