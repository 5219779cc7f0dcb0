// The WinHTTP client against a server on 127.0.0.1 that keeps the request
// bytes: what goes on the wire, how answers are read, and how a stop or the
// inquiry's deadline ends a request the camera never answers.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "platform/HttpClient.h"
#include "tests/unit/platform/win/LoopbackHttpServer.h"

namespace qrv {
namespace {

using namespace std::chrono_literals;
using test::LoopbackHttpServer;

HttpEndpoint EndpointOf(const LoopbackHttpServer& server) { return *SplitAddress(server.Address()); }

std::string Answer(const std::string& head, const std::string& body) {
    return head + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// Positions of `lines` in `text`; npos for a missing one.
std::vector<size_t> PositionsOf(const std::string& text, const std::vector<std::string>& lines) {
    std::vector<size_t> at;
    for (const std::string& line : lines) at.push_back(text.find(line + "\r\n"));
    return at;
}

TEST(WinHttpInquiry, SendsOurHeadersAndReadsTheWholeReplyUpToTheLimit) {
    struct Case {
        const char* name;
        std::string body;
        std::string expected;
    };
    const std::string longBody(kReplyLimit + 900, 'x');
    const std::vector<Case> cases = {
        {"short", "Model=QRV-K7\r\nSerial=100501\r\n", "Model=QRV-K7\r\nSerial=100501\r\n"},
        {"cut at the limit", longBody, std::string(kReplyLimit, 'x')},
        {"cut at a NUL", std::string("Model=A\0rest", 12), "Model=A"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoopbackHttpServer server(Answer("HTTP/1.1 200 OK\r\n", c.body));
        InquiryRequest request{EndpointOf(server), "/command/inquiry.cgi", "inq=system", "Authorization: Basic YWRtaW46",
                               5000ms};
        const InquiryReply reply = PostInquiry(request);
        EXPECT_EQ(reply.result, kInquiryOk);
        EXPECT_EQ(reply.text, c.expected);

        const std::string wire = server.Request();
        EXPECT_EQ(wire.rfind("POST /command/inquiry.cgi HTTP/1.1\r\n", 0), 0u) << wire;
        for (size_t at : PositionsOf(wire, {"Host: " + server.Address(), "User-Agent: QRV Upgrade Tool",
                                            "Authorization: Basic YWRtaW46", "Content-Length: 10"})) {
            EXPECT_NE(at, std::string::npos) << wire;
        }
        EXPECT_EQ(wire.find("Expect:"), std::string::npos) << wire;
        EXPECT_EQ(wire.substr(wire.size() - 10), "inq=system");
    }
}

TEST(WinHttpInquiry, AnAuthenticationChallengeReadsAs401) {
    LoopbackHttpServer server(Answer("HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"camera\"\r\n", "denied"));
    const InquiryReply reply = PostInquiry({EndpointOf(server), "/command/inquiry.cgi", "inq=system", "", 5000ms});
    EXPECT_EQ(reply.result, kInquiryAuthDemanded);
    EXPECT_EQ(reply.text, "401 Unauthorized");
}

TEST(WinHttpInquiry, ASilentCameraEndsAtTheDeadlineOrAtAStop) {
    {
        LoopbackHttpServer silent("");
        const InquiryReply reply = PostInquiry({EndpointOf(silent), "/command/inquiry.cgi", "inq=system", "", 300ms});
        EXPECT_EQ(reply.result, kInquiryFailed);
        EXPECT_TRUE(reply.text.empty());
    }
    {
        LoopbackHttpServer silent("");
        std::stop_source stop;
        std::jthread stopper([&] {
            silent.WaitForRequest();
            stop.request_stop();
        });
        const InquiryReply reply =
            PostInquiry({EndpointOf(silent), "/command/inquiry.cgi", "inq=system", "", 600000ms}, stop.get_token());
        EXPECT_EQ(reply.result, kInquiryFailed);
        EXPECT_TRUE(reply.text.empty());
    }
}

struct MultipartRun {
    int result = 0;
    std::vector<size_t> pieces;
    int bodySentCalls = 0;
    int waitEndedCalls = 0;
};

MultipartRun Post(LoopbackHttpServer& server, const std::vector<std::string>& headers, std::span<const std::uint8_t> data,
                  bool awaitAnswer = true, std::stop_token stop = {}) {
    MultipartRun run;
    MultipartPost post;
    post.endpoint = EndpointOf(server);
    post.path = "/command/upload.cgi";
    post.headers = headers;
    post.head = "--b\r\nContent-Disposition: form-data; name=\"file\"\r\n\r\n";
    post.data = data;
    post.tail = "\r\n--b--\r\n";
    post.receiveTimeout = 10s;
    post.onPiece = [&run](size_t size) { run.pieces.push_back(size); };
    post.onBodySent = [&run, awaitAnswer] {
        ++run.bodySentCalls;
        return awaitAnswer;
    };
    post.onAnswerWaitEnded = [&run] { ++run.waitEndedCalls; };
    run.result = PostMultipart(post, stop);
    return run;
}

std::vector<std::string> FormHeaders(size_t dataSize) {
    const size_t total = std::string_view("--b\r\nContent-Disposition: form-data; name=\"file\"\r\n\r\n").size() + dataSize +
                         std::string_view("\r\n--b--\r\n").size();
    return {"Accept: */*", "Content-Type: multipart/form-data; boundary=b", "Connection: Keep-Alive",
            "Cache-Control: no-cache", "Content-Length: " + std::to_string(total), "Authorization: Basic YWRtaW46"};
}

TEST(WinHttpMultipart, SendsTheBodyInSegmentSizedPiecesAfterOurHeadersInOrder) {
    std::vector<std::uint8_t> data(3 * kUploadPiece + 100);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
    LoopbackHttpServer server(Answer("HTTP/1.1 200 OK\r\n", "done"));
    const std::vector<std::string> headers = FormHeaders(data.size());
    const MultipartRun run = Post(server, headers, data);

    EXPECT_EQ(run.result, kPostAnswered);
    EXPECT_EQ(run.pieces, (std::vector<size_t>{kUploadPiece, kUploadPiece, kUploadPiece, 100}));
    EXPECT_EQ(run.bodySentCalls, 1);
    EXPECT_EQ(run.waitEndedCalls, 1);
    const std::string wire = server.Request();
    const std::vector<size_t> at = PositionsOf(wire, headers);
    for (size_t i = 0; i < at.size(); ++i) {
        ASSERT_NE(at[i], std::string::npos) << headers[i] << "\n" << wire;
        if (i > 0) {
            EXPECT_LT(at[i - 1], at[i]) << headers[i] << " is out of order";
        }
    }
    EXPECT_EQ(wire.find("Expect:"), std::string::npos);
    const std::string body = wire.substr(wire.find("\r\n\r\n") + 4);
    const std::string expected = "--b\r\nContent-Disposition: form-data; name=\"file\"\r\n\r\n" +
                                 std::string(data.begin(), data.end()) + "\r\n--b--\r\n";
    EXPECT_TRUE(body == expected) << "the body differs from head, data and tail";
}

TEST(WinHttpMultipart, ARefusalIsNoAcceptanceAndAnUnawaitedAnswerIsNotRead) {
    const std::vector<std::uint8_t> data(500, 0x5A);
    {
        LoopbackHttpServer refusing(Answer("HTTP/1.1 500 Internal Server Error\r\n", "no"));
        EXPECT_EQ(Post(refusing, FormHeaders(data.size()), data).result, kPostAnswerFailed);
    }
    {
        LoopbackHttpServer silent("");
        const MultipartRun run = Post(silent, FormHeaders(data.size()), data, false);
        EXPECT_EQ(run.result, kPostAnswered);
        EXPECT_EQ(run.waitEndedCalls, 0);
    }
    {
        LoopbackHttpServer silent("");
        std::stop_source stop;
        std::jthread stopper([&] {
            silent.WaitForRequest();
            stop.request_stop();
        });
        const MultipartRun run = Post(silent, FormHeaders(data.size()), data, true, stop.get_token());
        EXPECT_EQ(run.result, kPostAnswerFailed);
        EXPECT_EQ(run.waitEndedCalls, 1);
    }
}

TEST(WinHttpDownload, StreamsTheBodyAndStopsWhenTheReceiverRefuses) {
    std::string file(200000, '\0');
    for (size_t i = 0; i < file.size(); ++i) file[i] = static_cast<char>('a' + i % 26);
    {
        LoopbackHttpServer server(Answer("HTTP/1.1 200 OK\r\n", file));
        std::string got;
        DownloadRequest request{EndpointOf(server), "/system/qrv-k7.cfg", "Authorization: Basic YWRtaW46", 10s,
                                [&got](std::span<const char> piece) {
                                    got.append(piece.data(), piece.size());
                                    return true;
                                }};
        const DownloadResult result = Download(request);
        EXPECT_TRUE(result.ok) << result.error;
        EXPECT_EQ(result.status, 200);
        EXPECT_TRUE(got == file);
        const std::string wire = server.Request();
        EXPECT_EQ(wire.rfind("GET /system/qrv-k7.cfg HTTP/1.1\r\n", 0), 0u) << wire;
        EXPECT_NE(wire.find("Authorization: Basic YWRtaW46\r\n"), std::string::npos) << wire;
    }
    {
        LoopbackHttpServer server(Answer("HTTP/1.1 200 OK\r\n", file));
        size_t got = 0;
        DownloadRequest request{EndpointOf(server), "/system/qrv-k7.cfg", "Authorization: Basic YWRtaW46", 10s,
                                [&got](std::span<const char> piece) {
                                    got += piece.size();
                                    return got < 1000;  // a limit smaller than the file
                                }};
        const DownloadResult result = Download(request);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.error, "The answer was refused.");
    }
}

}  // namespace
}  // namespace qrv
