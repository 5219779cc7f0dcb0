#include "platform/HttpClient.h"

#include <curl/curl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <linux/sockios.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>

namespace qrv {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// How often the transfer loop looks at its stop token and idle time at the
// latest; a stop request also wakes it at once.
constexpr milliseconds kLoopSlice{50};
// How often the send queue is looked at while the camera acknowledges the end
// of a body.
constexpr milliseconds kAcknowledgementSlice{1};

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;

struct MultiDeleter {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
using MultiHandle = std::unique_ptr<CURLM, MultiDeleter>;

// A curl header list that keeps its lines in the order they were added.
class HeaderList {
public:
    HeaderList() = default;
    HeaderList(const HeaderList&) = delete;
    HeaderList& operator=(const HeaderList&) = delete;
    ~HeaderList() { curl_slist_free_all(list_); }

    bool Add(const std::string& line) {
        curl_slist* grown = curl_slist_append(list_, line.c_str());
        if (!grown) return false;
        list_ = grown;
        return true;
    }
    curl_slist* Get() const { return list_; }

private:
    curl_slist* list_ = nullptr;
};

std::string Url(const HttpEndpoint& endpoint, const std::string& path) {
    return "http://" + endpoint.host + ":" + std::to_string(endpoint.port) + path;
}

// Settings every request shares: straight to the camera, HTTP/1.1, our agent,
// no signals (worker threads), no connection reuse between requests.
EasyHandle NewEasy(const HttpEndpoint& endpoint, const std::string& path, char* errorBuffer) {
    InitCurlOnce();
    EasyHandle easy(curl_easy_init());
    if (!easy) return easy;
    CURL* e = easy.get();
    curl_easy_setopt(e, CURLOPT_URL, Url(endpoint, path).c_str());
    curl_easy_setopt(e, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(e, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
    curl_easy_setopt(e, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, errorBuffer);
    errorBuffer[0] = '\0';
    return easy;
}

// Watches one transfer: activity (for the idle time-out) and the moment the
// camera has taken the whole request body.
struct TransferWatch {
    Clock::time_point lastActivity = Clock::now();
    curl_off_t up = 0;
    curl_off_t down = 0;
    curl_off_t bodySize = -1;  // -1: no body to watch
    bool bodySent = false;
    bool answerNotAwaited = false;
    const std::function<bool()>* onBodySent = nullptr;

    static int Callback(void* self, curl_off_t, curl_off_t dlnow, curl_off_t, curl_off_t ulnow) {
        auto* watch = static_cast<TransferWatch*>(self);
        if (dlnow != watch->down || ulnow != watch->up) {
            watch->down = dlnow;
            watch->up = ulnow;
            watch->lastActivity = Clock::now();
        }
        return 0;
    }

    bool AwaitsBodyAcknowledgement() const { return bodySize >= 0 && !bodySent && up >= bodySize; }

    // The whole body is on the wire once the camera has acknowledged every
    // byte: a send only hands bytes to the socket buffers, which can hold a
    // whole image while the camera is already dropping the connection.
    // Returns false when the answer is not to be awaited.
    bool CheckBodySent(curl_socket_t socket) {
        int unacknowledged = 0;
        if (socket == CURL_SOCKET_BAD || ::ioctl(socket, SIOCOUTQ, &unacknowledged) != 0 || unacknowledged > 0) {
            return true;
        }
        bodySent = true;
        lastActivity = Clock::now();
        if (onBodySent && *onBodySent && !(*onBodySent)()) {
            answerNotAwaited = true;
            return false;
        }
        return true;
    }
};

enum class LoopEnd { Finished, Stopped, Idle, TooLong };

struct LoopOutcome {
    LoopEnd end = LoopEnd::Finished;
    CURLcode code = CURLE_OK;
};

// An eventfd that a stop request signals to wake the transfer's poll.
class WakeEvent {
public:
    WakeEvent() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    WakeEvent(const WakeEvent&) = delete;
    WakeEvent& operator=(const WakeEvent&) = delete;
    ~WakeEvent() {
        if (fd_ >= 0) ::close(fd_);
    }
    int Fd() const { return fd_; }
    void Signal() const {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(fd_, &one, sizeof one);
    }
    void Drain() const {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t n = ::read(fd_, &count, sizeof count);
    }

private:
    int fd_;
};

// The sockets curl wants watched and its next time-out, as its callbacks
// report them.
struct SocketTable {
    std::vector<std::pair<curl_socket_t, int>> sockets;  // socket, CURL_POLL_*
    std::optional<Clock::time_point> timerDue;

    static int OnSocket(CURL*, curl_socket_t socket, int what, void* self, void*) {
        auto& list = static_cast<SocketTable*>(self)->sockets;
        auto it = std::find_if(list.begin(), list.end(), [socket](const auto& e) { return e.first == socket; });
        if (what == CURL_POLL_REMOVE) {
            if (it != list.end()) list.erase(it);
        } else if (it != list.end()) {
            it->second = what;
        } else {
            list.emplace_back(socket, what);
        }
        return 0;
    }
    static int OnTimer(CURLM*, long timeoutMs, void* self) {
        auto* table = static_cast<SocketTable*>(self);
        if (timeoutMs < 0) {
            table->timerDue.reset();
        } else {
            table->timerDue = Clock::now() + milliseconds(timeoutMs);
        }
        return 0;
    }
    // The one socket that waits to send, if that is all curl waits for.
    std::optional<curl_socket_t> SendingSocket() const {
        if (sockets.size() != 1 || !(sockets[0].second & CURL_POLL_OUT)) return std::nullopt;
        return sockets[0].first;
    }
    curl_socket_t OnlySocket() const { return sockets.size() == 1 ? sockets[0].first : CURL_SOCKET_BAD; }
};

// Runs one easy handle to its end with curl's socket interface and a poll of
// our own. While the socket keeps taking data, the next piece goes out without
// a poll in between, so a body in 1,460-byte pieces costs one send per piece.
// A stop request wakes the poll at once; the idle time-out is ours to measure.
// A non-zero `totalLimit` ends the transfer there however busy it is.
LoopOutcome RunTransfer(CURL* easy, TransferWatch& watch, milliseconds idleLimit, std::stop_token stop,
                        milliseconds totalLimit = milliseconds(0)) {
    LoopOutcome outcome;
    const auto deadline = totalLimit > milliseconds(0) ? std::optional(Clock::now() + totalLimit) : std::nullopt;
    MultiHandle multi(curl_multi_init());
    WakeEvent wake;
    if (!multi || wake.Fd() < 0) {
        outcome.code = CURLE_OUT_OF_MEMORY;
        return outcome;
    }
    CURLM* m = multi.get();
    SocketTable table;
    curl_multi_setopt(m, CURLMOPT_SOCKETFUNCTION, &SocketTable::OnSocket);
    curl_multi_setopt(m, CURLMOPT_SOCKETDATA, &table);
    curl_multi_setopt(m, CURLMOPT_TIMERFUNCTION, &SocketTable::OnTimer);
    curl_multi_setopt(m, CURLMOPT_TIMERDATA, &table);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &TransferWatch::Callback);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &watch);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    if (curl_multi_add_handle(m, easy) != CURLM_OK) {
        outcome.code = CURLE_FAILED_INIT;
        return outcome;
    }
    {
        std::stop_callback wakeOnStop(stop, [&wake] { wake.Signal(); });
        watch.lastActivity = Clock::now();
        int running = 1;
        curl_multi_socket_action(m, CURL_SOCKET_TIMEOUT, 0, &running);
        bool keepsTakingData = false;
        std::vector<pollfd> fds;
        while (running) {
            if (stop.stop_requested()) {
                outcome.end = LoopEnd::Stopped;
                break;
            }
            if (watch.AwaitsBodyAcknowledgement() && !watch.CheckBodySent(table.OnlySocket())) break;
            const auto now = Clock::now();
            const auto idle = now - watch.lastActivity;
            if (idle >= idleLimit) {
                outcome.end = LoopEnd::Idle;
                break;
            }
            if (deadline && now >= *deadline) {
                outcome.end = LoopEnd::TooLong;
                break;
            }
            if (keepsTakingData) {
                if (const std::optional<curl_socket_t> socket = table.SendingSocket()) {
                    const curl_off_t before = watch.up;
                    curl_multi_socket_action(m, *socket, CURL_CSELECT_OUT, &running);
                    keepsTakingData = watch.up != before;
                    continue;
                }
            }
            keepsTakingData = false;
            fds.clear();
            for (const auto& [socket, what] : table.sockets) {
                const short events = static_cast<short>(((what & CURL_POLL_IN) ? POLLIN : 0) |
                                                        ((what & CURL_POLL_OUT) ? POLLOUT : 0));
                fds.push_back(pollfd{socket, events, 0});
            }
            fds.push_back(pollfd{wake.Fd(), POLLIN, 0});
            auto wait = std::min(std::chrono::duration_cast<milliseconds>(idleLimit - idle) + milliseconds(1),
                                 watch.AwaitsBodyAcknowledgement() ? kAcknowledgementSlice : kLoopSlice);
            if (deadline) wait = std::min(wait, std::chrono::ceil<milliseconds>(*deadline - now) + milliseconds(1));
            if (table.timerDue) {
                wait = std::min(wait, std::max(milliseconds(0), std::chrono::ceil<milliseconds>(*table.timerDue - now)));
            }
            const int ready = ::poll(fds.data(), fds.size(), static_cast<int>(wait.count()));
            if (ready < 0 && errno != EINTR) {
                outcome.code = CURLE_RECV_ERROR;
                break;
            }
            if (fds.back().revents & POLLIN) wake.Drain();
            for (size_t i = 0; ready > 0 && i + 1 < fds.size(); ++i) {
                const short revents = fds[i].revents;
                if (!revents) continue;
                const int bits = ((revents & (POLLIN | POLLHUP)) ? CURL_CSELECT_IN : 0) |
                                 ((revents & POLLOUT) ? CURL_CSELECT_OUT : 0) | ((revents & POLLERR) ? CURL_CSELECT_ERR : 0);
                const curl_off_t before = watch.up;
                curl_multi_socket_action(m, fds[i].fd, bits, &running);
                if (revents & POLLOUT) keepsTakingData = watch.up != before;
            }
            if (running && table.timerDue && Clock::now() >= *table.timerDue) {
                table.timerDue.reset();
                curl_multi_socket_action(m, CURL_SOCKET_TIMEOUT, 0, &running);
            }
        }
    }
    if (outcome.end == LoopEnd::Finished && outcome.code == CURLE_OK) {
        int queued = 0;
        outcome.code = CURLE_RECV_ERROR;
        while (CURLMsg* msg = curl_multi_info_read(m, &queued)) {
            if (msg->msg == CURLMSG_DONE && msg->easy_handle == easy) outcome.code = msg->data.result;
        }
    }
    // An answer means the camera took the whole body, even when the transfer
    // ended before its acknowledgement was seen.
    if (outcome.end == LoopEnd::Finished && outcome.code == CURLE_OK && watch.AwaitsBodyAcknowledgement()) {
        watch.bodySent = true;
        if (watch.onBodySent && *watch.onBodySent) (*watch.onBodySent)();
    }
    curl_multi_remove_handle(m, easy);
    return outcome;
}

// ---- inquiry ---------------------------------------------------------------

struct InquirySink {
    std::string body;
    bool full = false;
    bool authDemanded = false;

    static size_t Write(char* data, size_t size, size_t count, void* self) {
        auto* sink = static_cast<InquirySink*>(self);
        const size_t bytes = size * count;
        const size_t room = kReplyLimit - sink->body.size();
        sink->body.append(data, std::min(bytes, room));
        if (bytes >= room) {
            sink->full = true;
            return 0;  // the rest is not wanted: end the transfer here
        }
        return bytes;
    }

    static size_t Header(char* data, size_t size, size_t count, void* self) {
        auto* sink = static_cast<InquirySink*>(self);
        const size_t bytes = size * count;
        static constexpr std::string_view kName = "www-authenticate:";
        if (bytes >= kName.size()) {
            bool same = true;
            for (size_t i = 0; i < kName.size() && same; ++i) {
                same = std::tolower(static_cast<unsigned char>(data[i])) == kName[i];
            }
            if (same) sink->authDemanded = true;
        }
        return bytes;
    }
};

// ---- multipart body --------------------------------------------------------

// Feeds head, data pieces and tail to curl, one part per call; curl sends
// each part with one send.
//
// The socket runs with Nagle's algorithm while the pieces go out and with
// TCP_NODELAY from the tail on: a full 1,460-byte piece is a full Ethernet
// segment and leaves at once either way, small remainders ride along with the
// next piece instead of costing a segment of their own, and switching
// TCP_NODELAY on pushes out what is left before the tail, so the end of the
// body never waits for the camera's delayed acknowledgement.
struct BodyFeed {
    std::string_view head;
    std::span<const std::uint8_t> data;
    std::string_view tail;
    const std::function<void(size_t)>* onPiece = nullptr;
    size_t headDone = 0;
    size_t dataDone = 0;
    size_t tailDone = 0;
    curl_socket_t socket = CURL_SOCKET_BAD;

    static size_t Read(char* buffer, size_t size, size_t count, void* self) {
        return static_cast<BodyFeed*>(self)->Next(buffer, size * count);
    }

    static int OnSocket(void* self, curl_socket_t socket, curlsocktype) {
        static_cast<BodyFeed*>(self)->socket = socket;
        return CURL_SOCKOPT_OK;
    }

    size_t Next(char* buffer, size_t room) {
        if (headDone < head.size()) return Copy(buffer, room, head.data() + headDone, head.size() - headDone, headDone);
        if (dataDone < data.size()) {
            const size_t piece = std::min({kUploadPiece, data.size() - dataDone, room});
            std::memcpy(buffer, data.data() + dataDone, piece);
            dataDone += piece;
            if (onPiece && *onPiece) (*onPiece)(piece);
            return piece;
        }
        if (tailDone < tail.size()) {
            if (tailDone == 0) PushPending();
            return Copy(buffer, room, tail.data() + tailDone, tail.size() - tailDone, tailDone);
        }
        return 0;
    }

    void PushPending() const {
        if (socket == CURL_SOCKET_BAD) return;
        const int on = 1;
        ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }

    static size_t Copy(char* buffer, size_t room, const char* from, size_t left, size_t& done) {
        const size_t n = std::min(room, left);
        std::memcpy(buffer, from, n);
        done += n;
        return n;
    }
};

size_t Discard(char*, size_t size, size_t count, void*) { return size * count; }

// ---- download --------------------------------------------------------------

struct DownloadSink {
    const std::function<bool(std::span<const char>)>* onData = nullptr;
    bool refused = false;

    static size_t Write(char* data, size_t size, size_t count, void* self) {
        auto* sink = static_cast<DownloadSink*>(self);
        const size_t bytes = size * count;
        if (sink->onData && *sink->onData && !(*sink->onData)(std::span<const char>(data, bytes))) {
            sink->refused = true;
            return 0;
        }
        return bytes;
    }
};

std::string ErrorText(CURLcode code, const char* buffer) {
    return buffer[0] ? std::string(buffer) : std::string(curl_easy_strerror(code));
}

}  // namespace

InquiryReply PostInquiry(const InquiryRequest& request, std::stop_token stop) {
    InquiryReply reply;
    char errorBuffer[CURL_ERROR_SIZE];
    EasyHandle easy = NewEasy(request.endpoint, request.path, errorBuffer);
    HeaderList headers;
    if (!easy || !headers.Add(request.authorization) || !headers.Add("Accept:") || !headers.Add("Expect:")) {
        reply.result = kInquiryNotOpened;
        return reply;
    }
    InquirySink sink;
    CURL* e = easy.get();
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers.Get());
    curl_easy_setopt(e, CURLOPT_POSTFIELDS, request.body.c_str());
    curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
    curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, static_cast<long>(request.deadline.count()));
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &InquirySink::Write);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &InquirySink::Header);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, &sink);

    TransferWatch watch;
    // The deadline is hard: it bounds the whole request, activity or not.
    const auto started = Clock::now();
    LoopOutcome outcome = RunTransfer(e, watch, request.deadline, stop);
    const bool inTime = Clock::now() - started < request.deadline;
    const bool complete = outcome.end == LoopEnd::Finished &&
                          (outcome.code == CURLE_OK || (outcome.code == CURLE_WRITE_ERROR && sink.full));
    if (sink.authDemanded && outcome.end == LoopEnd::Finished && inTime) {
        reply.result = kInquiryAuthDemanded;
        reply.text = "401 Unauthorized";
    } else if (complete && inTime) {
        reply.result = kInquiryOk;
        reply.text = sink.body.substr(0, sink.body.find('\0'));
    }
    return reply;
}

int PostMultipart(const MultipartPost& post, std::stop_token stop) {
    char errorBuffer[CURL_ERROR_SIZE];
    EasyHandle easy = NewEasy(post.endpoint, post.path, errorBuffer);
    if (!easy) return kPostSendFailed;
    HeaderList headers;
    for (const std::string& line : post.headers) {
        if (!headers.Add(line)) return kPostSendFailed;
    }
    // curl would announce the body with "Expect: 100-continue"; the cameras
    // get the body at once.
    if (!headers.Add("Expect:")) return kPostSendFailed;

    const curl_off_t total = static_cast<curl_off_t>(post.head.size() + post.data.size() + post.tail.size());
    BodyFeed feed{post.head, post.data, post.tail, &post.onPiece};
    CURL* e = easy.get();
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers.Get());
    curl_easy_setopt(e, CURLOPT_POST, 1L);
    curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, total);
    curl_easy_setopt(e, CURLOPT_READFUNCTION, &BodyFeed::Read);
    curl_easy_setopt(e, CURLOPT_READDATA, &feed);
    curl_easy_setopt(e, CURLOPT_TCP_NODELAY, 0L);  // until the tail; see BodyFeed
    curl_easy_setopt(e, CURLOPT_SOCKOPTFUNCTION, &BodyFeed::OnSocket);
    curl_easy_setopt(e, CURLOPT_SOCKOPTDATA, &feed);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Discard);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(post.receiveTimeout.count()));

    TransferWatch watch;
    watch.bodySize = total;
    watch.onBodySent = &post.onBodySent;
    LoopOutcome outcome = RunTransfer(e, watch, post.receiveTimeout, stop, post.totalLimit);
    if (watch.answerNotAwaited) return kPostAnswered;
    if (watch.bodySent && post.onAnswerWaitEnded) post.onAnswerWaitEnded();
    if (!watch.bodySent) return kPostSendFailed;
    if (outcome.end != LoopEnd::Finished || outcome.code != CURLE_OK) return kPostAnswerFailed;
    // An error page is no acceptance: a restore the camera refused must not
    // count as done (the saved file would then be deleted).
    long status = 0;
    curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &status);
    return status >= 400 ? kPostAnswerFailed : kPostAnswered;
}

DownloadResult Download(const DownloadRequest& request, std::stop_token stop) {
    DownloadResult result;
    char errorBuffer[CURL_ERROR_SIZE];
    EasyHandle easy = NewEasy(request.endpoint, request.path, errorBuffer);
    HeaderList headers;
    if (!easy || !headers.Add(request.extraHeader)) {
        result.error = "Cannot start the request.";
        return result;
    }
    DownloadSink sink{&request.onData};
    CURL* e = easy.get();
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers.Get());
    curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &DownloadSink::Write);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.receiveTimeout.count()));

    TransferWatch watch;
    LoopOutcome outcome = RunTransfer(e, watch, request.receiveTimeout, stop, request.totalLimit);
    curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &result.status);
    curl_off_t declared = -1;
    if (curl_easy_getinfo(e, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &declared) == CURLE_OK && declared >= 0) {
        result.declaredLength = static_cast<std::uint64_t>(declared);
    }
    if (outcome.end == LoopEnd::Stopped) {
        result.error = "The download was stopped.";
    } else if (outcome.end == LoopEnd::Idle) {
        result.error = "The camera stopped answering.";
    } else if (outcome.end == LoopEnd::TooLong) {
        result.error = "The camera took too long to send its answer.";
    } else if (sink.refused) {
        result.error = "The answer was refused.";
    } else if (outcome.code != CURLE_OK) {
        result.error = ErrorText(outcome.code, errorBuffer);
    } else {
        result.ok = true;
    }
    return result;
}

}  // namespace qrv
