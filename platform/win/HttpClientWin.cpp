#include "platform/HttpClient.h"

// Winsock first: windows.h would otherwise bring in the old winsock.h.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <cstdint>
#include <atomic>
#include <cctype>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "platform/win/WideText.h"

// HTTP over WinHTTP in its asynchronous form, one session per request (no
// connection reuse, no proxy, no cookies, no redirects, no automatic logon).
// WinHTTP writes the request line; Host and User-Agent come first, as the
// libcurl client sends them, and every other header is ours, in our order. Each step is started and then waited for together with
// a stop event, which a stop request and the inquiry's deadline set: a
// blocked synchronous call could not be ended from outside everywhere.

namespace qrv {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kStopPoll{20};

struct InternetDeleter {
    void operator()(HINTERNET handle) const { ::WinHttpCloseHandle(handle); }
};
using InternetHandle = std::unique_ptr<void, InternetDeleter>;

// A Windows event object.
class Event {
public:
    explicit Event(bool manualReset) : handle_(::CreateEventW(nullptr, manualReset, FALSE, nullptr)) {}
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;
    ~Event() {
        if (handle_) ::CloseHandle(handle_);
    }
    HANDLE Get() const { return handle_; }
    void Set() const { ::SetEvent(handle_); }

private:
    HANDLE handle_;
};

// What WinHTTP's callback reports about the step under way, and the bytes
// the step reads into or writes from: they live as long as WinHTTP may touch
// them, so a stopped step never needs to be waited for.
struct StepState {
    Event completed{false};
    std::atomic<DWORD> error{0};
    std::atomic<DWORD> bytes{0};
    std::vector<char> buffer;

    static void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, void* info, DWORD length) {
        auto* state = reinterpret_cast<StepState*>(context);
        if (!state) return;
        switch (status) {
            case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
            case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
                state->Complete(0, 0);
                break;
            case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
                state->Complete(0, length);
                break;
            case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE:
                state->Complete(0, info ? *static_cast<DWORD*>(info) : 0);
                break;
            case WINHTTP_CALLBACK_STATUS_WRITE_COMPLETE:
                state->Complete(0, info ? *static_cast<DWORD*>(info) : 0);
                break;
            case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
                state->Complete(info ? static_cast<WINHTTP_ASYNC_RESULT*>(info)->dwError : ERROR_WINHTTP_INTERNAL_ERROR, 0);
                break;
            case WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING:
                state->Release();
                break;
            default:
                break;
        }
    }

    // Owned by the exchange and by WinHTTP's last callback: whichever lets go
    // last deletes it, so a late callback never finds it gone.
    std::atomic<int> owners{2};
    void Release() {
        if (owners.fetch_sub(1) == 1) delete this;
    }

    void Complete(DWORD code, DWORD count) {
        error = code;
        bytes = count;
        completed.Set();
    }
};

// Session, connection and request of one exchange with a camera.
class Exchange {
public:
    Exchange() = default;
    Exchange(const Exchange&) = delete;
    Exchange& operator=(const Exchange&) = delete;
    ~Exchange() {
        CloseRequest();
        if (!callbackSet_) state_.Release();  // no callback will let go of it
        state_.Release();
    }

    bool Open(const HttpEndpoint& endpoint, const wchar_t* verb, const std::string& path, milliseconds timeout) {
        // No agent for the session: User-Agent is added below, after Host.
        session_.reset(::WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY,
                                     WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC));
        if (!session_) return false;
        const int ms = static_cast<int>(std::clamp<long long>(timeout.count(), 1, 0x7FFFFFFF));
        ::WinHttpSetTimeouts(session_.get(), ms, ms, ms, ms);
        // Wine's WinHTTP does not end an asynchronous step at those times:
        // no step is waited for longer.
        stepLimit_ = milliseconds(ms);
        connection_.reset(::WinHttpConnect(session_.get(), win::Widen(endpoint.host).c_str(),
                                           static_cast<INTERNET_PORT>(endpoint.port), 0));
        if (!connection_) return false;
        request_ = ::WinHttpOpenRequest(connection_.get(), verb, win::Widen(path).c_str(), nullptr, WINHTTP_NO_REFERER,
                                        WINHTTP_DEFAULT_ACCEPT_TYPES, 0);
        if (!request_) return false;
        DWORD_PTR context = reinterpret_cast<DWORD_PTR>(&state_);
        if (!::WinHttpSetOption(request_, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context) ||
            ::WinHttpSetStatusCallback(request_, &StepState::OnStatus,
                                       WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS | WINHTTP_CALLBACK_FLAG_HANDLES,
                                       0) == WINHTTP_INVALID_STATUS_CALLBACK) {
            return false;
        }
        callbackSet_ = true;
        // Each exchange on a connection of its own, as with libcurl: wine's
        // WinHTTP would otherwise hand a later request an idle connection of
        // an earlier session.
        DWORD features = WINHTTP_DISABLE_COOKIES | WINHTTP_DISABLE_REDIRECTS | WINHTTP_DISABLE_AUTHENTICATION |
                         WINHTTP_DISABLE_KEEP_ALIVE;
        ::WinHttpSetOption(request_, WINHTTP_OPTION_DISABLE_FEATURE, &features, sizeof features);
        const std::string host = endpoint.port == 80 ? endpoint.host : endpoint.host + ":" + std::to_string(endpoint.port);
        return AddHeaders({"Host: " + host, std::string("User-Agent: ") + kUserAgent});
    }

    // Header lines in order; an empty line is left out.
    bool AddHeaders(const std::vector<std::string>& lines) {
        for (const std::string& line : lines) {
            if (line.empty()) continue;
            const std::wstring wide = win::Widen(line);
            if (!::WinHttpAddRequestHeaders(request_, wide.c_str(), static_cast<DWORD>(wide.size()),
                                            WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE)) {
                return false;
            }
        }
        return true;
    }

    // Every wait ends at the latest here (the inquiry's hard deadline).
    void SetDeadline(Clock::time_point deadline) { deadline_ = deadline; }
    // Ends the step under way and every later one.
    // A stop request ends the step under way within kStopPoll. (A
    // std::stop_callback would be quicker, but its removal can miss the
    // wake-up on this C++ library's Windows threads and wait for ever.)
    void WatchStop(std::stop_token stop) { stop_ = std::move(stop); }

    bool Send(const void* body, DWORD size, DWORD total) {
        Hold(body, size);
        return Step(::WinHttpSendRequest(request_, WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                                         size ? state_.buffer.data() : WINHTTP_NO_REQUEST_DATA, size, total,
                                         reinterpret_cast<DWORD_PTR>(&state_)));
    }
    bool Receive() { return Step(::WinHttpReceiveResponse(request_, nullptr)); }
    bool Write(const void* data, size_t size) {
        if (size == 0) return !stopped_;
        Hold(data, size);
        return Step(::WinHttpWriteData(request_, state_.buffer.data(), static_cast<DWORD>(size), nullptr)) &&
               state_.bytes == size;
    }
    // How many body bytes can be read at once; 0 at the end, -1 on failure.
    // A read of no more than that ends at once, so no step is left under way
    // when the deadline passes between steps.
    long Available() {
        if (!Step(::WinHttpQueryDataAvailable(request_, nullptr))) return -1;
        return static_cast<long>(state_.bytes.load());
    }
    bool PastDeadline() const { return deadline_ && Clock::now() >= *deadline_; }
    // Reads body bytes into `buffer`; 0 at the end, -1 on failure.
    long Read(char* buffer, DWORD room) {
        state_.buffer.resize(room);
        if (!Step(::WinHttpReadData(request_, state_.buffer.data(), room, nullptr))) return -1;
        const DWORD got = std::min<DWORD>(state_.bytes.load(), room);
        std::copy_n(state_.buffer.data(), got, buffer);
        return static_cast<long>(got);
    }

    DWORD Status() const {
        DWORD status = 0;
        DWORD size = sizeof status;
        if (!::WinHttpQueryHeaders(request_, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                                   WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
            return 0;
        }
        return status;
    }

    // The Content-Length the answer announced, if any.
    std::optional<std::uint64_t> ContentLength() const {
        wchar_t text[32] = {};
        DWORD size = sizeof text;
        if (!::WinHttpQueryHeaders(request_, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, text, &size,
                                   WINHTTP_NO_HEADER_INDEX)) {
            return std::nullopt;
        }
        std::uint64_t value = 0;
        for (const wchar_t* c = text; *c; ++c) {
            if (*c < L'0' || *c > L'9' || value > (UINT64_MAX - 9) / 10) return std::nullopt;
            value = value * 10 + static_cast<std::uint64_t>(*c - L'0');
        }
        return value;
    }

    bool HasHeader(DWORD which) const {
        DWORD size = 0;
        ::WinHttpQueryHeaders(request_, which, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &size,
                              WINHTTP_NO_HEADER_INDEX);
        return ::GetLastError() == ERROR_INSUFFICIENT_BUFFER;
    }

    bool Stopped() const { return stopped_; }
    // Why the last step failed.
    DWORD Error() const { return error_; }

private:
    // Waits for the step just started; false when it failed, was stopped or
    // ran past the deadline.
    bool Step(BOOL started) {
        if (!started) {
            error_ = ::GetLastError();
            return false;
        }
        long long wait = stepLimit_.count();
        bool pastDeadline = false;
        if (deadline_) {
            const auto left = std::chrono::ceil<milliseconds>(*deadline_ - Clock::now()).count();
            wait = std::min(wait, std::max<long long>(left, 0));
            // A step that would finish at once still counts against the
            // deadline: a camera that drips its answer keeps every read ready.
            pastDeadline = left <= 0;
        }
        const auto until = Clock::now() + milliseconds(wait);
        DWORD woke = WAIT_TIMEOUT;
        bool stopRequested = false;
        while (!(stopRequested = stop_.stop_requested())) {
            const auto left = std::chrono::ceil<milliseconds>(until - Clock::now()).count();
            woke = ::WaitForSingleObject(state_.completed.Get(),
                                         static_cast<DWORD>(std::clamp<long long>(left, 0, kStopPoll.count())));
            if (woke != WAIT_TIMEOUT || left <= kStopPoll.count()) break;
        }
        if (woke != WAIT_OBJECT_0 || stopRequested || pastDeadline) {
            error_ = stopRequested ? ERROR_WINHTTP_OPERATION_CANCELLED : ERROR_WINHTTP_TIMEOUT;
            stopped_ = true;
            // The step is still under way: end it now, while the buffers it
            // reads into or writes from still exist.
            CloseRequest();
            return false;
        }
        error_ = state_.error;
        return error_ == 0;
    }

    // The callback may still run until WinHTTP reports the handle closing
    // (under wine only once a step under way has ended); it touches nothing
    // but the step's state, which outlives it.
    void CloseRequest() {
        if (request_) ::WinHttpCloseHandle(std::exchange(request_, nullptr));
    }

    // The bytes of the next step, copied into the step's state.
    void Hold(const void* data, size_t size) {
        const auto* bytes = static_cast<const char*>(data);
        state_.buffer.assign(bytes, bytes + (data ? size : 0));
    }

    InternetHandle session_;
    InternetHandle connection_;
    HINTERNET request_ = nullptr;
    bool callbackSet_ = false;
    StepState& state_ = *new StepState;
    std::stop_token stop_;
    std::atomic<bool> stopped_{false};
    std::optional<Clock::time_point> deadline_;
    milliseconds stepLimit_{INFINITE - 1};
    DWORD error_ = 0;
};

}  // namespace

InquiryReply PostInquiry(const InquiryRequest& request, std::stop_token stop) {
    InquiryReply reply;
    Exchange exchange;
    const std::vector<std::string> headers = {
        request.authorization,
        "Content-Length: " + std::to_string(request.body.size()),
        "Content-Type: application/x-www-form-urlencoded",
    };
    if (!exchange.Open(request.endpoint, L"POST", request.path, request.deadline) || !exchange.AddHeaders(headers)) {
        reply.result = kInquiryNotOpened;
        return reply;
    }
    // The deadline is hard: it bounds the whole request, activity or not.
    exchange.SetDeadline(Clock::now() + request.deadline);
    exchange.WatchStop(stop);
    const DWORD size = static_cast<DWORD>(request.body.size());
    if (!exchange.Send(request.body.data(), size, size) || !exchange.Receive()) return reply;
    if (exchange.HasHeader(WINHTTP_QUERY_WWW_AUTHENTICATE)) {
        reply.result = kInquiryAuthDemanded;
        reply.text = "401 Unauthorized";
        return reply;
    }
    // The whole reply, however many pieces it comes in, cut at kReplyLimit.
    std::string body(kReplyLimit, '\0');
    size_t have = 0;
    while (have < kReplyLimit) {
        const long got = exchange.Read(body.data() + have, static_cast<DWORD>(kReplyLimit - have));
        if (got < 0) return reply;
        if (got == 0) break;
        have += static_cast<size_t>(got);
    }
    body.resize(have);
    reply.result = kInquiryOk;
    reply.text = body.substr(0, body.find('\0'));
    return reply;
}

int PostMultipart(const MultipartPost& post, std::stop_token stop) {
    Exchange exchange;
    if (!exchange.Open(post.endpoint, L"POST", post.path, post.receiveTimeout) || !exchange.AddHeaders(post.headers)) {
        return kPostSendFailed;
    }
    exchange.WatchStop(stop);
    if (post.totalLimit > milliseconds(0)) exchange.SetDeadline(Clock::now() + post.totalLimit);
    const size_t total = post.head.size() + post.data.size() + post.tail.size();
    if (!exchange.Send(WINHTTP_NO_REQUEST_DATA, 0, static_cast<DWORD>(total))) return kPostSendFailed;
    // Head, the data in 1,460-byte pieces (one progress step each), tail.
    if (!exchange.Write(post.head.data(), post.head.size())) return kPostSendFailed;
    for (size_t done = 0; done < post.data.size();) {
        const size_t piece = std::min(kUploadPiece, post.data.size() - done);
        if (!exchange.Write(post.data.data() + done, piece)) return kPostSendFailed;
        done += piece;
        if (post.onPiece) post.onPiece(piece);
    }
    if (!exchange.Write(post.tail.data(), post.tail.size())) return kPostSendFailed;
    if (post.onBodySent && !post.onBodySent()) return kPostAnswered;
    const bool answered = exchange.Receive();
    if (post.onAnswerWaitEnded) post.onAnswerWaitEnded();
    if (!answered) return kPostAnswerFailed;
    // An error page is no acceptance: a restore the camera refused must not
    // count as done (the saved file would then be deleted).
    const DWORD status = exchange.Status();
    if (status == 0 || status >= 400) return kPostAnswerFailed;
    char sink[4096];
    while (exchange.Read(sink, sizeof sink) > 0) {
    }
    return kPostAnswered;
}

DownloadResult Download(const DownloadRequest& request, std::stop_token stop) {
    DownloadResult result;
    Exchange exchange;
    if (!exchange.Open(request.endpoint, L"GET", request.path, request.receiveTimeout) ||
        !exchange.AddHeaders({request.extraHeader})) {
        result.error = "Cannot start the request.";
        return result;
    }
    exchange.WatchStop(stop);
    const auto started = Clock::now();
    if (request.totalLimit > milliseconds(0)) exchange.SetDeadline(started + request.totalLimit);
    auto fail = [&](DWORD code) {
        if (stop.stop_requested()) {
            result.error = "The download was stopped.";
        } else if (request.totalLimit > milliseconds(0) && Clock::now() - started >= request.totalLimit) {
            result.error = "The camera took too long to send its answer.";
        } else if (code == ERROR_WINHTTP_TIMEOUT) {
            result.error = "The camera stopped answering.";
        } else {
            result.error = win::ErrorText(code);
        }
        return result;
    };
    if (!exchange.Send(WINHTTP_NO_REQUEST_DATA, 0, 0) || !exchange.Receive()) return fail(exchange.Error());
    result.status = static_cast<long>(exchange.Status());
    result.declaredLength = exchange.ContentLength();
    std::vector<char> buffer(65536);
    for (;;) {
        if (exchange.PastDeadline()) {
            result.error = "The camera took too long to send its answer.";
            return result;
        }
        const long available = exchange.Available();
        if (available < 0) return fail(exchange.Error());
        if (available == 0) break;
        const long got = exchange.Read(buffer.data(),
                                       static_cast<DWORD>(std::min<std::size_t>(available, buffer.size())));
        if (got < 0) return fail(exchange.Error());
        if (got == 0) break;
        if (request.onData && !request.onData(std::span<const char>(buffer.data(), static_cast<size_t>(got)))) {
            result.error = "The answer was refused.";
            return result;
        }
    }
    result.ok = true;
    return result;
}

}  // namespace qrv
