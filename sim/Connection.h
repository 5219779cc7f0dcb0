#pragma once
// One accepted TCP connection of a camera front: non-blocking socket I/O
// that another thread can interrupt at any moment (Kill), used when the
// camera goes down or the simulator stops.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace qrv::sim {

class Connection {
public:
    enum class Io { Ok, Closed, Killed, Timeout, Error };

    Connection(uint64_t id, int fd);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    uint64_t Id() const { return id_; }

    // Appends what arrives (at least one byte) to buffer.
    Io ReadSome(std::string& buffer, int timeoutMs);
    Io WriteAll(std::string_view data);
    // When the last write began: the peer cannot have had the last byte
    // before then, however late this thread logs it.
    std::chrono::steady_clock::time_point LastWriteBegan() const { return lastWrite_; }
    // When the bytes of the last read had come in, as the kernel stamped
    // them: the peer may have seen them acknowledged and moved on long before
    // this thread got to read them.
    std::chrono::steady_clock::time_point LastReadArrived() const { return lastRead_; }
    bool Sleep(int ms);    // false when killed meanwhile
    void HoldUntilGone();  // keeps the connection, discarding input, until the peer leaves or Kill
    void Reset();          // closes with RST
    void Close();          // closes normally

    void Kill();  // any thread
    bool Killed() const { return killed_; }

    std::jthread thread;
    std::atomic<bool> done{false};

private:
    const uint64_t id_;
    std::mutex mutex_;  // guards fd_ against Kill from other threads
    int fd_;
    int wake_;
    std::atomic<bool> killed_{false};
    std::chrono::steady_clock::time_point lastWrite_{};
    std::chrono::steady_clock::time_point lastRead_{};
};

}  // namespace qrv::sim
