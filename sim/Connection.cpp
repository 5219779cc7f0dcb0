#include "sim/Connection.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace qrv::sim {
namespace {

constexpr int kWriteTimeoutMs = 60000;

// poll() that restarts after signals; returns its result.
int PollAgain(pollfd* fds, nfds_t count, int timeoutMs) {
    int result;
    do {
        result = ::poll(fds, count, timeoutMs);
    } while (result < 0 && errno == EINTR);
    return result;
}

// The kernel's receive stamp (wall clock) carried by a read, moved onto the
// steady clock; now when the read carried none.
std::chrono::steady_clock::time_point ArrivalOf(msghdr& message) {
    const auto now = std::chrono::steady_clock::now();
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_TIMESTAMPNS) continue;
        timespec stamp{};
        std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
        timespec wall{};
        ::clock_gettime(CLOCK_REALTIME, &wall);
        const auto age = std::chrono::seconds(wall.tv_sec - stamp.tv_sec) +
                         std::chrono::nanoseconds(wall.tv_nsec - stamp.tv_nsec);
        if (age < std::chrono::nanoseconds(0)) return now;
        return now - std::chrono::duration_cast<std::chrono::steady_clock::duration>(age);
    }
    return now;
}

}  // namespace

Connection::Connection(uint64_t id, int fd) : id_(id), fd_(fd), wake_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    // Reads carry the moment their bytes came in (see LastReadArrived).
    const int on = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
}

Connection::~Connection() {
    if (fd_ >= 0) ::close(fd_);
    if (wake_ >= 0) ::close(wake_);
}

void Connection::Kill() {
    killed_ = true;
    std::lock_guard lock(mutex_);
    if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
    const uint64_t one = 1;
    [[maybe_unused]] auto written = ::write(wake_, &one, sizeof one);
}

Connection::Io Connection::ReadSome(std::string& buffer, int timeoutMs) {
    while (true) {
        if (killed_) return Io::Killed;
        pollfd fds[2] = {{fd_, POLLIN, 0}, {wake_, POLLIN, 0}};
        const int ready = PollAgain(fds, 2, timeoutMs);
        if (killed_) return Io::Killed;
        if (ready == 0) return Io::Timeout;
        if (ready < 0) return Io::Error;
        char chunk[65536];
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
        iovec piece{chunk, sizeof chunk};
        msghdr message{};
        message.msg_iov = &piece;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const ssize_t n = ::recvmsg(fd_, &message, 0);
        if (n > 0) {
            lastRead_ = ArrivalOf(message);
            buffer.append(chunk, static_cast<size_t>(n));
            return Io::Ok;
        }
        if (n == 0) return Io::Closed;
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return Io::Error;
    }
}

Connection::Io Connection::WriteAll(std::string_view data) {
    while (!data.empty()) {
        if (killed_) return Io::Killed;
        lastWrite_ = std::chrono::steady_clock::now();
        const ssize_t n = ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
        if (n > 0) {
            data.remove_prefix(static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return Io::Error;
        pollfd fds[2] = {{fd_, POLLOUT, 0}, {wake_, POLLIN, 0}};
        const int ready = PollAgain(fds, 2, kWriteTimeoutMs);
        if (ready == 0) return Io::Timeout;
        if (ready < 0) return Io::Error;
    }
    return Io::Ok;
}

bool Connection::Sleep(int ms) {
    if (ms <= 0) return !killed_;
    pollfd fds[1] = {{wake_, POLLIN, 0}};
    PollAgain(fds, 1, ms);
    return !killed_;
}

void Connection::HoldUntilGone() {
    std::string discard;
    while (true) {
        discard.clear();
        const Io io = ReadSome(discard, -1);
        if (io != Io::Ok) return;
    }
}

void Connection::Reset() {
    std::lock_guard lock(mutex_);
    if (fd_ < 0) return;
    const linger abort{1, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    ::close(fd_);
    fd_ = -1;
}

void Connection::Close() {
    std::lock_guard lock(mutex_);
    if (fd_ < 0) return;
    ::close(fd_);
    fd_ = -1;
}

}  // namespace qrv::sim
