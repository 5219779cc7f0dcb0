#pragma once
// HTTP to the cameras over libcurl, shaped for the program's three requests:
// the inquiry (a short form POST with a hard deadline), the streamed multipart
// POST of a firmware image or a saved configuration, and the GET of a camera's
// configuration file. Every request goes straight to the camera (no proxy),
// speaks HTTP/1.1 with the user agent "QRV Upgrade Tool", and ends early when
// the caller's stop token is triggered.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace qrv {

inline constexpr const char* kUserAgent = "QRV Upgrade Tool";
// Inquiry replies are cut at this many bytes.
inline constexpr std::size_t kReplyLimit = 5120;
// The image goes on the wire in pieces of at most one Ethernet segment.
inline constexpr std::size_t kUploadPiece = 1460;

// Host and port of a camera address text "a.b.c.d" or "a.b.c.d:port".
struct HttpEndpoint {
    std::string host;
    int port = 80;
};

// Splits an address at its first ':'; without one the port is 80. The port is
// the decimal value of the digits after the colon (at most ten characters).
// Nothing is returned unless the host is a dotted IPv4 address and the port
// lies in 1..65535: the program never resolves names.
std::optional<HttpEndpoint> SplitAddress(std::string_view address);

// Result codes of an inquiry.
enum InquiryResult : int {
    kInquiryOk = 0,
    kInquiryNotOpened = -1,     // the request could not be made at all
    kInquiryAuthDemanded = -2,  // the camera answered with WWW-Authenticate
    kInquiryFailed = -3,        // sending or reading failed, or the deadline passed
};

struct InquiryRequest {
    HttpEndpoint endpoint;
    std::string path;           // "/command/inquiry.cgi"
    std::string body;           // "inq=system", ...
    std::string authorization;  // the whole header line without line end
    std::chrono::milliseconds deadline{20000};
};

struct InquiryReply {
    int result = kInquiryFailed;
    // The body (at most kReplyLimit bytes, up to its first NUL), or
    // "401 Unauthorized" when the camera demanded authentication; empty on
    // any failure.
    std::string text;
};

// POSTs the form body and reads the whole reply up to kReplyLimit bytes,
// however many pieces it arrives in. Ends at the deadline (empty reply).
InquiryReply PostInquiry(const InquiryRequest& request, std::stop_token stop = {});

// Result codes of a multipart POST.
enum PostResult : int {
    kPostAnswered = 0,       // body sent and the answer received (or not awaited)
    kPostSendFailed = -1,    // anything failed before the whole body was on the wire
    kPostAnswerFailed = -2,  // body sent, but no answer came, or the camera refused the request (status 400 or above)
};

struct MultipartPost {
    HttpEndpoint endpoint;
    std::string path;
    // Header lines ("Name: value", no line end) in the order they go on the
    // wire, after Host and User-Agent. Nothing else is added.
    std::vector<std::string> headers;
    // The body: head, the data in pieces of at most kUploadPiece bytes, tail.
    std::string_view head;
    std::span<const std::uint8_t> data;
    std::string_view tail;
    // Bounds every wait for the camera (sending and the answer).
    std::chrono::milliseconds receiveTimeout{60000};
    // Called once per piece of the data handed to the socket, with its size.
    std::function<void(std::size_t)> onPiece;
    // Called once, right after the last body byte went on the wire. Returning
    // false ends the request there with kPostAnswered: the answer is not awaited.
    std::function<bool()> onBodySent;
    // Called once when the answer wait ends, whatever its outcome.
    std::function<void()> onAnswerWaitEnded;
    // Bounds the whole request however steadily the camera takes the body;
    // zero: no bound but the waits.
    std::chrono::milliseconds totalLimit{0};
};

int PostMultipart(const MultipartPost& post, std::stop_token stop = {});

struct DownloadRequest {
    HttpEndpoint endpoint;
    std::string path;         // "/system/qrv-k7.cfg"
    std::string extraHeader;  // one header line without line end
    std::chrono::milliseconds receiveTimeout{60000};
    // Receives the body as it arrives; returning false ends the download as failed.
    std::function<bool(std::span<const char>)> onData;
    // Bounds the whole download: a camera that drips its answer byte by byte
    // cannot hold it for longer. Zero: no bound but the waits.
    std::chrono::milliseconds totalLimit{0};
};

struct DownloadResult {
    bool ok = false;
    long status = 0;    // HTTP status of the answer, 0 when none came
    std::string error;  // why it failed; empty on success
    // The body's length as the answer announced it (Content-Length), if it did.
    std::optional<std::uint64_t> declaredLength;
};

// GETs the path with the extra header and streams the body to onData.
DownloadResult Download(const DownloadRequest& request, std::stop_token stop = {});

}  // namespace qrv
