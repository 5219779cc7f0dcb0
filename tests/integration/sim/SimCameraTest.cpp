// Simulated cameras over real sockets, started through SimProcess inside the
// private network namespace: what a client sees, and what the event log and
// the capture say it sent.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

#include "sim/Connection.h"
#include "tests/integration/sim/TestForms.h"
#include "tests/support/SimProcess.h"

namespace qrv::test {
namespace {

using namespace std::chrono_literals;

const std::string kCam = "127.0.0.2";

// Every test also checks that the simulator ends cleanly on SIGTERM (exit 0:
// no hang, no sanitizer report).
struct Sim : SimProcess {
    using SimProcess::SimProcess;
    ~Sim() { EXPECT_EQ(Stop(), 0); }
};

std::string Inquiry(const std::string& body, const std::string& auth = "") {
    std::vector<std::pair<std::string, std::string>> headers{{"Host", kCam}};
    if (!auth.empty()) headers.emplace_back("Authorization", auth);
    return MakeRequest("POST", "/command/inquiry.cgi", headers, body);
}

std::string Upload(const std::string& image, const std::string& auth, const std::string& address = kCam) {
    const auto form = MakeProgramForm("setting_file", "upgrade.bin", image);
    return MakeRequest("POST", "/command/versionup.cgi",
                       {{"Host", address}, {"Content-Type", form.contentType}, {"Authorization", auth}}, form.body);
}

std::string Restore(const std::string& file, const std::string& auth = "Basic TWFkZVVwVmFsdWU=") {
    const auto form = MakeProgramForm("Restore", "temp.cfg", file);
    return MakeRequest("POST", "/command/all-configuration.cgi",
                       {{"Host", kCam}, {"Content-Type", form.contentType}, {"Authorization", auth}}, form.body);
}

std::string GetConfig(const std::string& auth, const std::string& name = "qrv-k7") {
    return MakeRequest("GET", "/system/" + name + ".cfg", {{"Host", kCam}, {"Authorization", auth}});
}

auto IsState(const std::string& camera, const std::string& state) {
    return [=](const SimEvent& e) { return e.kind == "state" && e.camera == camera && e.state == state; };
}

auto IsVerdict(const std::string& what, bool ok) {
    return [=](const SimEvent& e) { return e.kind == "verdict" && e.what == what && e.ok == ok; };
}

std::string SystemReply(uint16_t port = 80, const std::string& address = kCam) {
    return Exchange(address, port, Inquiry("inq=system")).body;
}

// ---- the connection's read stamps ----------------------------------------

// A request is logged with the moment its last bytes came in, which a busy
// simulator may read much later: its client has seen them acknowledged and
// may be sending its next request by then.
TEST(SimConnection, AReadCarriesWhenItsBytesCameInNotWhenItWasRead) {
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    sim::Connection connection(1, ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC));
    ::close(listener);

    // The kernel starts stamping a moment after the first socket asked for
    // it (the simulator asks when a camera starts listening).
    std::string buffer;
    ASSERT_EQ(::send(client, "warm", 4, 0), 4);
    ASSERT_EQ(connection.ReadSome(buffer, 1000), sim::Connection::Io::Ok);
    std::this_thread::sleep_for(100ms);
    for (const std::string piece : {"first", "second"}) {
        const auto sent = std::chrono::steady_clock::now();
        ASSERT_EQ(::send(client, piece.data(), piece.size(), 0), static_cast<ssize_t>(piece.size()));
        std::this_thread::sleep_for(300ms);  // the reader is late
        ASSERT_EQ(connection.ReadSome(buffer, 1000), sim::Connection::Io::Ok);
        const auto read = std::chrono::steady_clock::now();
        EXPECT_GE(connection.LastReadArrived(), sent - 5ms) << piece;
        EXPECT_LE(connection.LastReadArrived(), read - 250ms) << piece;
    }
    EXPECT_EQ(buffer, "warmfirstsecond");
    ::close(client);
}

// ---- inquiries and accounts ------------------------------------------------

TEST(SimInquiry, SystemAnswersAnyoneWithTheIdentityItems) {
    Sim sim("127.0.0.2 serial=4711 mac=aa:bb:cc:00:11:22 doctype=g3 version=1.21\n");
    const auto reply = Exchange(kCam, 80, Inquiry("inq=system"));
    ASSERT_TRUE(reply.complete);
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.body.rfind("ModelName=QRV-K7&Serial=4711&SoftVersion=1.21&MacAddress=aa:bb:cc:00:11:22&DocType=g3&", 0), 0u)
        << reply.body;
    EXPECT_EQ(reply.body.find('\n'), std::string::npos);  // one line, no line end
}

TEST(SimInquiry, DocTypeItemOnlyWhenConfigured) {
    Sim sim("127.0.0.2\n127.0.0.3 doctype=\n");
    EXPECT_EQ(SystemReply().find("DocType"), std::string::npos);
    EXPECT_NE(SystemReply(80, "127.0.0.3").find("&DocType=&"), std::string::npos);
}

TEST(SimInquiry, UserAndNetworkNeedAValidAccount) {
    Sim sim("127.0.0.2 admin=root:pa=ss user=op:pw:2\n");
    for (const std::string inq : {"inq=user", "inq=network"}) {
        for (const std::string& auth : {std::string(), Basic("root:wrong"), std::string("Basic %%%%"), std::string("Digest x")}) {
            const auto refused = Exchange(kCam, 80, Inquiry(inq, auth));
            EXPECT_EQ(refused.status, 401) << inq << " " << auth;
            EXPECT_EQ(refused.Header("WWW-Authenticate"), "Basic realm=\"QRV-K7\"");
            EXPECT_EQ(refused.body.find("Administrator="), std::string::npos);
        }
    }
    // The administrator is reported as the Base64 of name:password, "=" as "%3D".
    const auto user = Exchange(kCam, 80, Inquiry("inq=user", Basic("root:pa=ss")));
    EXPECT_EQ(user.status, 200);
    EXPECT_EQ(user.body, "Administrator=cm9vdDpwYT1zcw%3D%3D&User1=b3A6cHc%3D&UserLevel1=2");
    const auto network = Exchange(kCam, 80, Inquiry("inq=network", Basic("op:pw")));
    EXPECT_EQ(network.status, 200);
    EXPECT_NE(network.body.find("MacAddress=02:71:72:00:00:01"), std::string::npos);
}

TEST(SimInquiry, Always401RefusesEvenTheSystemInquiry) {
    Sim sim("127.0.0.2 fault=always401\n");
    const auto reply = Exchange(kCam, 80, Inquiry("inq=system"));
    EXPECT_EQ(reply.status, 401);
    EXPECT_FALSE(reply.Header("WWW-Authenticate").empty());
}

TEST(SimInquiry, KeepAliveServesSeveralRequestsOnOneConnection) {
    Sim sim("127.0.0.2\n");
    const auto reply = Exchange(kCam, 80, Inquiry("inq=system") + Inquiry("inq=user", Basic("admin:admin")), 2s, 2);
    ASSERT_TRUE(reply.complete);
    EXPECT_EQ(CountAnswers(reply.bytes), 2);
    // Both answers came on the one connection.
    EXPECT_NE(reply.bytes.find("Administrator="), std::string::npos);
    const auto events = sim.Events();
    int requests = 0;
    uint64_t connection = 0;
    for (const auto& e : events) {
        if (e.kind != "request") continue;
        ++requests;
        if (connection == 0) connection = e.connection;
        EXPECT_EQ(e.connection, connection);
    }
    EXPECT_EQ(requests, 2);
}

// ---- event log and capture -----------------------------------------------------

TEST(SimRecord, RequestEventAndCaptureHoldTheWireBytes) {
    Sim sim("127.0.0.2\n");
    const std::string request = "POST /command/inquiry.cgi HTTP/1.1\r\nUser-Agent: QRV Upgrade Tool\r\nHost: 127.0.0.2\r\n"
                                "Authorization: Basic YWRtaW46YWRtaW4=\r\nContent-Length: 8\r\n\r\ninq=user";
    ASSERT_EQ(Exchange(kCam, 80, request).status, 200);
    ASSERT_TRUE(sim.WaitForEvent([](const SimEvent& e) { return e.kind == "response"; }, 2s));
    const auto events = sim.Events();
    const auto request_event = std::find_if(events.begin(), events.end(), [](const SimEvent& e) { return e.kind == "request"; });
    ASSERT_NE(request_event, events.end());
    EXPECT_EQ(request_event->camera, "127.0.0.2:80");
    EXPECT_EQ(request_event->method, "POST");
    EXPECT_EQ(request_event->path, "/command/inquiry.cgi");
    ASSERT_EQ(request_event->headers.size(), 4u);
    EXPECT_EQ(request_event->headers[0].first, "User-Agent");  // wire order, not sorted
    EXPECT_EQ(request_event->headers[2].second, "Basic YWRtaW46YWRtaW4=");
    EXPECT_EQ(request_event->bodyLength, 8u);
    // SHA-256 of "inq=user".
    EXPECT_EQ(request_event->bodySha256, "4dc52035ec8518b394a1fef44589eef7830a23d7cd2687470f2ede69bc6d2468");
    EXPECT_TRUE(request_event->complete);
    const auto captured = sim.CapturedRequests("127.0.0.2:80");
    ASSERT_EQ(captured.size(), 1u);
    EXPECT_EQ(captured[0], request);
    const auto response_event = std::find_if(events.begin(), events.end(), [](const SimEvent& e) { return e.kind == "response"; });
    EXPECT_EQ(response_event->status, 200);
    EXPECT_EQ(response_event->exchange, request_event->exchange);
}

TEST(SimRecord, RequestsThatCannotBeFramedAreRefusedAndLogged) {
    Sim sim("127.0.0.2\n");
    const auto chunked = Exchange(kCam, 80, "POST /command/inquiry.cgi HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n"
                                            "a\r\ninq=system\r\n0\r\n\r\n");
    EXPECT_EQ(chunked.status, 411);
    const auto bareLf = Exchange(kCam, 80, "POST /command/inquiry.cgi HTTP/1.1\nContent-Length: 10\n\ninq=system");
    EXPECT_EQ(bareLf.status, 400);
    EXPECT_EQ(Exchange(kCam, 80, "hello\r\n\r\n").status, 400);
    EXPECT_EQ(Exchange(kCam, 80, "POST /command/versionup.cgi HTTP/1.1\r\nContent-Length: 99999999999\r\n\r\n").status, 413);
    EXPECT_TRUE(sim.WaitForEvent(
        [](const SimEvent& e) { return e.kind == "verdict" && e.what == "request" && e.reason.find("Transfer-Encoding") != std::string::npos; },
        1s));
    // An interim answer for a client that waits for it, then the real one.
    const auto expecting = Exchange(kCam, 80, MakeRequest("POST", "/command/inquiry.cgi", {{"Expect", "100-continue"}}, "inq=system"));
    EXPECT_EQ(expecting.bytes.rfind("HTTP/1.1 100 Continue\r\n\r\n", 0), 0u);
    EXPECT_EQ(expecting.interim, 1);
    EXPECT_EQ(expecting.status, 200);
}

TEST(SimRecord, StopsCleanlyOnSigtermWithClientsConnected) {
    Sim sim("127.0.0.2 fault=silent\n127.0.0.3 fault=upload-no-answer\n");
    std::jthread hanging([] { Exchange(kCam, 80, Inquiry("inq=system"), 20s); });
    ASSERT_TRUE(sim.WaitForEvent([](const SimEvent& e) { return e.kind == "request"; }, 2s));
    EXPECT_EQ(sim.Stop(), 0);
}

// ---- firmware upload -------------------------------------------------------------

class SimUpgrade : public ::testing::Test {
protected:
    static bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!condition()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(5ms);
        }
        return true;
    }
};

TEST_F(SimUpgrade, ProgramFormIsTakenThenTheCameraRebootsIntoTheNewVersionWithFactoryAccounts) {
    // Scaled: write 1 s -> 100 ms, reboot 3 s -> 300 ms.
    Sim sim("127.0.0.2 admin=root:pw user=op:x:2 write=1000 reboot=3000 reconfig=2000\n", 0.1);
    const auto saved = Exchange(kCam, 80, GetConfig(Basic("root:pw")));
    ASSERT_EQ(saved.status, 200);
    ASSERT_EQ(saved.Header("Content-Type"), "application/octet-stream");

    const auto start = std::chrono::steady_clock::now();
    const auto answer = Exchange(kCam, 80, Upload(MakeFirmwareImage(1), Basic("root:pw")));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 90ms);  // the answer waits for the writing
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.Header("Connection"), "close");
    // Down right after the answer: connections are refused.
    EXPECT_FALSE(CanConnect(kCam, 80));
    ASSERT_TRUE(sim.WaitForEvent(IsState("127.0.0.2:80", "up"), 3s));
    EXPECT_TRUE(WaitUntil([] { return CanConnect(kCam, 80); }, 1s));
    EXPECT_NE(SystemReply().find("&SoftVersion=1.30&"), std::string::npos);

    // New firmware: the old accounts are gone, the factory administrator is in.
    EXPECT_EQ(Exchange(kCam, 80, Inquiry("inq=user", Basic("root:pw"))).status, 401);
    const auto factory = Exchange(kCam, 80, Inquiry("inq=user", "Basic TWFkZVVwVmFsdWU="));
    EXPECT_EQ(factory.body, "Administrator=TWFkZVVwVmFsdWU%3D");

    // The saved configuration brings the accounts back, then the camera reconfigures.
    const auto restored = Exchange(kCam, 80, Restore(saved.body));
    EXPECT_EQ(restored.status, 200);
    EXPECT_FALSE(CanConnect(kCam, 80));
    ASSERT_TRUE(sim.WaitForEvent(IsState("127.0.0.2:80", "reconfiguring"), 1s));
    EXPECT_TRUE(WaitUntil([] { return CanConnect(kCam, 80); }, 2s));
    EXPECT_EQ(Exchange(kCam, 80, Inquiry("inq=user", Basic("root:pw"))).body,
              "Administrator=cm9vdDpwdw%3D%3D&User1=b3A6eA%3D%3D&UserLevel1=2");

    // The state events tell the whole story in order.
    std::vector<std::string> states;
    for (const auto& e : sim.Events())
        if (e.kind == "state") states.push_back(e.state + (e.state == "up" ? " " + e.version : ""));
    EXPECT_EQ(states, (std::vector<std::string>{"up 1.20", "writing", "rebooting", "up 1.30", "reconfiguring", "up 1.30"}));
}

TEST_F(SimUpgrade, OrdinaryMultipartAndWrongUsersAreRefused) {
    Sim sim("127.0.0.2 user=op:pw:4\n");
    const auto form = MakeProgramForm("setting_file", "upgrade.bin", MakeFirmwareImage(1));
    const std::string ordinary = "--" + form.boundary + "\r\nContent-Disposition: form-data; name=\"setting_file\"; "
                                 "filename=\"upgrade.bin\"\r\nContent-Type: application/octet-stream\r\n\r\n" +
                                 MakeFirmwareImage(1) + "\r\n--" + form.boundary + "--\r\n";
    const auto refused = Exchange(kCam, 80, MakeRequest("POST", "/command/versionup.cgi",
                                                        {{"Content-Type", form.contentType}, {"Authorization", Basic("admin:admin")}},
                                                        ordinary));
    EXPECT_EQ(refused.status, 400);
    ASSERT_TRUE(sim.WaitForEvent(IsVerdict("upload", false), 1s));
    // A valid user who is not the administrator is refused like bad credentials.
    const auto user = Exchange(kCam, 80, Upload(MakeFirmwareImage(1), Basic("op:pw")));
    EXPECT_EQ(user.status, 401);
    EXPECT_FALSE(user.Header("WWW-Authenticate").empty());
    EXPECT_EQ(Exchange(kCam, 80, GetConfig(Basic("op:pw"))).status, 401);
    // Nothing of that made the camera reboot.
    EXPECT_TRUE(CanConnect(kCam, 80));
    for (const auto& e : sim.Events()) EXPECT_NE(e.state, "writing");
}

TEST_F(SimUpgrade, ImageForAnotherDocTypeOrRebootOldComeBackOnTheOldVersion) {
    Sim sim("127.0.0.2 doctype=g3\n127.0.0.3 fault=reboot-old\n127.0.0.4 doctype=g3\n");
    EXPECT_EQ(Exchange(kCam, 80, Upload(MakeFirmwareImage(1), Basic("admin:admin"))).status, 200);
    EXPECT_EQ(Exchange("127.0.0.3", 80, Upload(MakeFirmwareImage(1), Basic("admin:admin"), "127.0.0.3")).status, 200);
    EXPECT_EQ(Exchange("127.0.0.4", 80, Upload(MakeFirmwareImage(2), Basic("admin:admin"), "127.0.0.4")).status, 200);
    for (const std::string camera : {"127.0.0.2:80", "127.0.0.3:80", "127.0.0.4:80"})
        ASSERT_TRUE(sim.WaitForEvent([&](const SimEvent& e) { return IsState(camera, "up")(e) && e.seq > 4; }, 5s)) << camera;
    EXPECT_NE(SystemReply().find("SoftVersion=1.20"), std::string::npos);
    EXPECT_NE(SystemReply(80, "127.0.0.3").find("SoftVersion=1.20"), std::string::npos);
    EXPECT_NE(SystemReply(80, "127.0.0.4").find("SoftVersion=1.30"), std::string::npos);
    EXPECT_TRUE(sim.WaitForEvent(
        [](const SimEvent& e) { return IsVerdict("image", false)(e) && e.reason.find("qrvk7_etc1.tar.gz") != std::string::npos; }, 1s));
    // The old firmware keeps its accounts.
    EXPECT_EQ(Exchange("127.0.0.3", 80, Inquiry("inq=user", Basic("admin:admin"))).status, 200);
}

TEST_F(SimUpgrade, EmergencyCameraTakesTheUploadFromAnyoneWithoutAnswering) {
    // Scaled: writing 1 s, reboot 0.1 s.
    Sim sim("127.0.0.2 version=emergency admin=root:pw write=100000 reboot=10000\n");
    EXPECT_NE(SystemReply().find("SoftVersion=emergency"), std::string::npos);
    RawResponse upload;
    std::jthread uploader([&] { upload = Exchange(kCam, 80, Upload(MakeFirmwareImage(1), "Basic bm9ib2R5Om5vdGhpbmc="), 5s); });
    ASSERT_TRUE(sim.WaitForEvent(IsState("127.0.0.2:80", "writing"), 2s));
    // While it writes, the camera answers nobody, not even the system inquiry.
    const auto busy = Exchange(kCam, 80, Inquiry("inq=system"), 300ms);
    EXPECT_TRUE(busy.connected);
    EXPECT_TRUE(busy.bytes.empty());
    uploader.join();
    EXPECT_TRUE(upload.connected);
    EXPECT_TRUE(upload.bytes.empty());  // no answer at all, the connection just ends with the reboot
    EXPECT_TRUE(upload.closed);
    ASSERT_TRUE(sim.WaitForEvent([](const SimEvent& e) { return e.kind == "state" && e.state == "up" && e.version == "1.30"; }, 5s));
    EXPECT_NE(SystemReply().find("SoftVersion=1.30"), std::string::npos);
}

TEST_F(SimUpgrade, NeverBackAndUploadNoAnswer) {
    Sim sim("127.0.0.2 fault=never-back\n127.0.0.3 fault=upload-no-answer\n");
    EXPECT_EQ(Exchange(kCam, 80, Upload(MakeFirmwareImage(1), Basic("admin:admin"))).status, 200);
    ASSERT_TRUE(sim.WaitForEvent(IsState("127.0.0.2:80", "down"), 1s));
    std::this_thread::sleep_for(1s);  // ten times the scaled reboot time
    EXPECT_FALSE(CanConnect(kCam, 80));

    const auto hung = Exchange("127.0.0.3", 80, Upload(MakeFirmwareImage(1), Basic("admin:admin"), "127.0.0.3"), 1s);
    EXPECT_TRUE(hung.connected);
    EXPECT_FALSE(hung.closed);
    EXPECT_TRUE(hung.bytes.empty());
    // It still answers inquiries, on its old version.
    EXPECT_NE(SystemReply(80, "127.0.0.3").find("SoftVersion=1.20"), std::string::npos);
}

TEST_F(SimUpgrade, DropUploadClosesAfterNBytesOfTheBody) {
    Sim sim("127.0.0.2 fault=drop-upload:5000\n");
    const std::string image = MakeFirmwareImage(1) + std::string(200000, '\0');
    const auto reply = Exchange(kCam, 80, Upload(image, Basic("admin:admin")));
    EXPECT_TRUE(reply.closed);
    EXPECT_FALSE(reply.complete);
    ASSERT_TRUE(sim.WaitForEvent(
        [](const SimEvent& e) { return e.kind == "request" && e.path == "/command/versionup.cgi" && !e.complete; }, 2s));
    for (const auto& e : sim.Events()) {
        if (e.kind == "request") {
            EXPECT_EQ(e.bodyLength, 5000u);
        }
    }
    EXPECT_TRUE(CanConnect(kCam, 80));  // the camera itself is fine
}

// ---- configuration download and restore ---------------------------------------

TEST(SimConfig, FamilyAndOwnModelNamesServeTheFileOtherPathsAre404) {
    Sim sim("127.0.0.2 model=QRV-K7P\n");
    const auto family = Exchange(kCam, 80, GetConfig(Basic("admin:admin"), "qrv-k7"));
    const auto own = Exchange(kCam, 80, GetConfig(Basic("admin:admin"), "qrv-k7p"));
    EXPECT_EQ(family.status, 200);
    EXPECT_EQ(family.body, own.body);
    EXPECT_GE(family.body.size(), 4096u);
    const auto other = Exchange(kCam, 80, GetConfig(Basic("admin:admin"), "qrv-k9"));
    EXPECT_EQ(other.status, 404);
    EXPECT_NE(other.body.find("<HTML>"), std::string::npos);
    EXPECT_EQ(Exchange(kCam, 80, GetConfig("")).status, 401);
}

TEST(SimConfig, HtmlConfigAnswersAPage) {
    Sim sim("127.0.0.2 fault=html-config\n");
    const auto page = Exchange(kCam, 80, GetConfig(Basic("admin:admin")));
    EXPECT_EQ(page.status, 200);
    EXPECT_EQ(page.body.rfind("<HTML>", 0), 0u);
}

TEST(SimConfig, RestoreTakesOnlyTheFactoryTokenAndAConfigurationOfThisCamera) {
    Sim sim("127.0.0.2 reconfig=100\n127.0.0.3 model=QRV-K7N\n");
    const auto saved = Exchange(kCam, 80, GetConfig(Basic("admin:admin")));
    ASSERT_EQ(saved.status, 200);
    EXPECT_EQ(Exchange(kCam, 80, Restore(saved.body, Basic("admin:admin"))).status, 401);
    EXPECT_EQ(Exchange(kCam, 80, Restore(MakeFirmwareImage(1))).status, 400);
    std::string damaged = saved.body;
    damaged[100] = static_cast<char>(damaged[100] ^ 0x40);
    EXPECT_EQ(Exchange(kCam, 80, Restore(damaged)).status, 400);
    // Another model's file.
    const auto other = Exchange("127.0.0.3", 80, GetConfig(Basic("admin:admin")));
    EXPECT_EQ(Exchange(kCam, 80, Restore(other.body)).status, 400);
    EXPECT_EQ(Exchange(kCam, 80, Restore(saved.body)).status, 200);
}

TEST(SimConfig, RestoreRefuseDropsTheFirstTriesWithoutAnswer) {
    Sim sim("127.0.0.2 fault=restore-refuse:2 reconfig=100\n");
    const auto saved = Exchange(kCam, 80, GetConfig(Basic("admin:admin")));
    for (int i = 0; i < 2; ++i) {
        const auto refused = Exchange(kCam, 80, Restore(saved.body));
        EXPECT_TRUE(refused.closed) << i;
        EXPECT_TRUE(refused.bytes.empty()) << i;
    }
    EXPECT_EQ(Exchange(kCam, 80, Restore(saved.body)).status, 200);
}

// ---- configuration downloads that go wrong -------------------------------------

// What one connection brought: the client sends the request, then reads
// until the camera closes, `enough` bytes came or `limit` passed, and keeps
// the connection open until the caller is done with it.
struct Wire {
    int fd = -1;
    std::string bytes;
    bool closed = false;
    ~Wire() {
        if (fd >= 0) ::close(fd);
    }
    void Leave() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
    std::string Head() const { return bytes.substr(0, bytes.find("\r\n\r\n")); }
    std::string Body() const {
        const auto end = bytes.find("\r\n\r\n");
        return end == std::string::npos ? std::string() : bytes.substr(end + 4);
    }
    std::string Header(const std::string& name) const {
        RawResponse parsed;
        parsed.head = Head();
        return parsed.Header(name);
    }
};

void Receive(Wire& wire, const std::string& address, const std::string& request, std::chrono::milliseconds limit,
             size_t enough) {
    wire.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(80);
    ::inet_pton(AF_INET, address.c_str(), &to.sin_addr);
    ASSERT_EQ(::connect(wire.fd, reinterpret_cast<sockaddr*>(&to), sizeof to), 0) << address;
    ASSERT_EQ(::send(wire.fd, request.data(), request.size(), MSG_NOSIGNAL), static_cast<ssize_t>(request.size()));
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (wire.bytes.size() < enough) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{wire.fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
        char chunk[65536];
        const ssize_t n = ::recv(wire.fd, chunk, sizeof chunk, 0);
        if (n <= 0) {
            wire.closed = true;
            break;
        }
        wire.bytes.append(chunk, static_cast<size_t>(n));
    }
}

// The data of a chunked body, and whether its last (empty) chunk came.
std::string Unchunk(std::string_view body, bool& terminated) {
    std::string data;
    terminated = false;
    while (true) {
        const auto lineEnd = body.find("\r\n");
        if (lineEnd == std::string_view::npos) return data;
        const size_t size = std::strtoul(std::string(body.substr(0, lineEnd)).c_str(), nullptr, 16);
        if (size == 0) {
            terminated = body.substr(lineEnd) == "\r\n\r\n";
            return data;
        }
        if (body.size() < lineEnd + 2 + size + 2) return data + std::string(body.substr(lineEnd + 2));
        data += body.substr(lineEnd + 2, size);
        body.remove_prefix(lineEnd + 2 + size + 2);
    }
}

TEST(SimConfig, FaultsOfTheDownloadOnTheWire) {
    enum class Body { Exact, FirstHalf, Dripping, Endless };
    struct Row {
        std::string fault;
        std::string statusLine;
        std::vector<std::pair<std::string, std::string>> headers;  // "" as value: must be absent
        std::chrono::milliseconds read;  // the client reads this long at most...
        size_t enough;                   // ...or until this many bytes came
        bool closedByCamera;
        Body body;
        std::string exact;
        std::string stream;  // the response event's stream ("" when it has none)
        bool sentWhole;      // the response event's sent
    };
    const size_t kMiB = 1 << 20;
    const std::vector<Row> rows{
        {"config-empty", "HTTP/1.1 200 OK", {{"Content-Length", "0"}, {"Transfer-Encoding", ""}}, 2s, SIZE_MAX, true,
         Body::Exact, "", "", true},
        {"config-html-lower", "HTTP/1.1 200 OK", {{"Content-Type", "text/html"}}, 2s, SIZE_MAX,
         true, Body::Exact, " \r\n\t\n<!doctype html><html><body>login</body></html>", "", true},
        {"config-redirect", "HTTP/1.1 302 Found", {{"Location", "/login.html"}}, 2s, SIZE_MAX,
         true, Body::Exact, "Moved", "", true},
        {"config-cut", "HTTP/1.1 200 OK", {{"Transfer-Encoding", "chunked"}, {"Content-Length", ""}}, 2s, SIZE_MAX, true,
         Body::FirstHalf, "", "cut", true},
        // 5 s scaled by 0.01: a byte every 50 ms.
        {"config-drip:5000", "HTTP/1.1 200 OK", {{"Transfer-Encoding", ""}}, 200ms, SIZE_MAX, false, Body::Dripping, "",
         "drip", false},
        {"config-endless", "HTTP/1.1 200 OK", {{"Transfer-Encoding", "chunked"}, {"Content-Length", ""}}, 20s,
         kMiB + kMiB / 2, false, Body::Endless, "", "endless", false},
    };
    // Every camera has the same identity, so each would serve the same file;
    // the plain one on 127.0.0.2 shows which.
    std::string fleet = "127.0.0.2 serial=4711 mac=02:00:00:00:00:01\n";
    for (size_t i = 0; i < rows.size(); ++i)
        fleet += "127.0.0." + std::to_string(3 + i) + " serial=4711 mac=02:00:00:00:00:01 fault=" + rows[i].fault + "\n";
    Sim sim(fleet);
    const auto plain = Exchange(kCam, 80, GetConfig(Basic("admin:admin")));
    ASSERT_EQ(plain.status, 200);
    const std::string& config = plain.body;
    ASSERT_GE(config.size(), 4096u);

    for (size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        SCOPED_TRACE(row.fault);
        const std::string address = "127.0.0." + std::to_string(3 + i);
        const std::string camera = address + ":80";
        Wire wire;
        Receive(wire, address,
                MakeRequest("GET", "/system/qrv-k7.cfg",
                            {{"Host", address}, {"Authorization", Basic("admin:admin")}, {"Connection", "close"}}),
                row.read, row.enough);
        ASSERT_NE(wire.bytes.find("\r\n\r\n"), std::string::npos) << "no whole head";
        EXPECT_EQ(wire.Head().substr(0, wire.Head().find("\r\n")), row.statusLine);
        for (const auto& [name, value] : row.headers) {
            if (value.empty())
                EXPECT_EQ(wire.Head().find(name + ":"), std::string::npos) << name;
            else
                EXPECT_EQ(wire.Header(name), value) << name;
        }
        EXPECT_EQ(wire.closed, row.closedByCamera);
        bool terminated = false;
        const std::string body = wire.Body();
        switch (row.body) {
            case Body::Exact:
                EXPECT_EQ(body, row.exact);
                EXPECT_EQ(wire.Header("Content-Length"), std::to_string(row.exact.size()));
                break;
            case Body::FirstHalf:
                EXPECT_EQ(Unchunk(body, terminated), config.substr(0, config.size() / 2));
                EXPECT_FALSE(terminated);
                break;
            case Body::Dripping:
                EXPECT_EQ(wire.Header("Content-Length"), std::to_string(config.size()));
                EXPECT_GE(body.size(), 1u);
                EXPECT_LE(body.size(), 6u);
                EXPECT_EQ(body, config.substr(0, body.size()));
                break;
            case Body::Endless: {
                const std::string data = Unchunk(body, terminated);
                EXPECT_GT(data.size(), kMiB);
                EXPECT_FALSE(terminated);
                EXPECT_EQ(data.rfind("key=value-00000\nkey=value-00001\n", 0), 0u);
                break;
            }
        }
        // While that connection is still open, the other cameras answer.
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(SystemReply().rfind("ModelName=", 0), 0u);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
        wire.Leave();

        // The log tells that the file was asked for, which fault answered and
        // what left (a camera that streams notices that its client left).
        EXPECT_TRUE(sim.WaitForEvent(
            [&](const SimEvent& e) { return e.kind == "request" && e.camera == camera && e.path == "/system/qrv-k7.cfg"; }, 1s));
        const std::string faultName = row.fault.substr(0, row.fault.find(':'));
        EXPECT_TRUE(sim.WaitForEvent(
            [&](const SimEvent& e) { return e.camera == camera && IsVerdict("config", false)(e) && e.Field("fault") == faultName; },
            1s));
        EXPECT_TRUE(sim.WaitForEvent(
            [&](const SimEvent& e) {
                return e.kind == "response" && e.camera == camera && e.Field("stream") == row.stream &&
                       e.Field("sent") == (row.sentWhole ? "true" : "false");
            },
            3s));
    }
    // The cut and the endless answer count the body's bytes that left.
    for (const auto& e : sim.Events()) {
        if (e.kind != "response") continue;
        if (e.Field("stream") == "cut") {
            EXPECT_EQ(e.Field("body_length"), std::to_string(config.size() / 2));
        }
        if (e.Field("stream") == "endless") {
            EXPECT_GT(std::stoull(e.Field("body_length")), kMiB);
        }
    }
}

// The system inquiry's texts with control characters or a formula; the model
// stays, so the camera is still recognised. Discovery reports the same.
TEST(SimInquiry, TextControlAndVersionFormulaBendTheReportedTexts) {
    Sim sim("127.0.0.2 serial=4711 fault=text-control\n127.0.0.3 serial=4712 fault=version-formula\n");
    struct Row {
        std::string address;
        std::string fault;
        std::string items;    // the reply's start
        std::string name;     // CameraName's value
        std::string serial;   // in discovery
        std::string version;  // in discovery
    };
    const std::vector<Row> rows{
        {"127.0.0.2", "text-control", "ModelName=QRV-K7&Serial=4711\x1b[2J\x08\x7f&SoftVersion=1.20&",
         "=cmd|\x1b[31mred\x07\x08\x7f", "4711\x1b[2J\x08\x7f", "1.20"},
        {"127.0.0.3", "version-formula", "ModelName=QRV-K7&Serial=4712&SoftVersion==1+2&", "Camera-4712", "4712", "=1+2"},
    };
    const auto replies = Discover(500ms);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fault);
        const std::string reply = SystemReply(80, row.address);
        EXPECT_EQ(reply.rfind(row.items, 0), 0u) << reply;
        EXPECT_NE(reply.find("&CameraName=" + row.name + "&Uptime="), std::string::npos) << reply;
        EXPECT_TRUE(sim.WaitForEvent(
            [&](const SimEvent& e) { return e.camera == row.address + ":80" && IsVerdict("inquiry", true)(e) && e.Field("fault") == row.fault; },
            1s));
        const auto datagram = std::find_if(replies.begin(), replies.end(), [&](const Datagram& d) { return d.from == row.address; });
        ASSERT_NE(datagram, replies.end());
        EXPECT_NE(datagram->bytes.find("SERIAL:" + row.serial + "\xff"), std::string::npos);
        EXPECT_NE(datagram->bytes.find("SOFTVERSION:" + row.version + "\xff"), std::string::npos);
    }
}

// ---- answers that misbehave -----------------------------------------------------

TEST(SimReplyFaults, SilentDelayBigSlowAndGarbage) {
    Sim sim("127.0.0.2 fault=silent\n127.0.0.3 fault=delay:30000\n127.0.0.4 fault=big-reply\n"
                   "127.0.0.5 fault=slow-reply\n127.0.0.6 fault=garbage\n");
    const auto silent = Exchange(kCam, 80, Inquiry("inq=system"), 500ms);
    EXPECT_TRUE(silent.connected);
    EXPECT_TRUE(silent.bytes.empty());
    EXPECT_FALSE(silent.closed);

    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(Exchange("127.0.0.3", 80, Inquiry("inq=system")).status, 200);
    EXPECT_GE(std::chrono::steady_clock::now() - before, 290ms);  // 30 s scaled by 0.01

    const std::string big = SystemReply(80, "127.0.0.4");
    EXPECT_GT(big.size(), 5120u);
    EXPECT_EQ(big.rfind("ModelName=QRV-K7&Serial=", 0), 0u);

    // Slow: the answer arrives in many small reads, but whole.
    const auto slow = Exchange("127.0.0.5", 80, Inquiry("inq=system"));
    EXPECT_EQ(slow.body.rfind("ModelName=QRV-K7", 0), 0u);

    const std::string garbage = SystemReply(80, "127.0.0.6");
    EXPECT_FALSE(garbage.empty());
    EXPECT_EQ(garbage.find('='), std::string::npos);
    EXPECT_EQ(garbage.find('&'), std::string::npos);
}

// ---- discovery -----------------------------------------------------------------------

TEST(SimDiscovery, OneReplyPerCameraFromItsOwnAddress) {
    Sim sim("127.0.0.2\n127.0.0.3:8080 dhcp=on\n127.0.0.4 fault=disc-silent\n");
    const auto replies = Discover(500ms);
    ASSERT_EQ(replies.size(), 2u);
    std::set<std::string> from;
    for (const auto& d : replies) from.insert(d.from);
    EXPECT_EQ(from, (std::set<std::string>{"127.0.0.2", "127.0.0.3"}));
    for (const auto& d : replies) {
        if (d.from != "127.0.0.3") continue;
        EXPECT_NE(d.bytes.find("WEBPORT:8080\xff"), std::string::npos);
        EXPECT_NE(d.bytes.find("DHCP:ON\xff"), std::string::npos);
    }
    EXPECT_TRUE(sim.WaitForEvent([](const SimEvent& e) { return e.kind == "discovery" && e.Field("replies") == "2"; }, 1s));
}

TEST(SimDiscovery, OtherDatagramsAreNotAnswered) {
    Sim sim("127.0.0.2\n");
    ASSERT_TRUE(Discover(300ms).size() == 1);
    // Only the exact 14 bytes are the request.
    EXPECT_TRUE(Discover(300ms, 1, std::string("\x02" "ENQ:allinfo\x03", 13)).empty());
    EXPECT_TRUE(sim.WaitForEvent([](const SimEvent& e) { return e.kind == "discovery" && !e.ok; }, 1s));
}

TEST(SimDiscovery, RebootingCamerasDoNotAnswer) {
    Sim sim("127.0.0.2 reboot=100000\n127.0.0.3\n");
    EXPECT_EQ(Exchange(kCam, 80, Upload(MakeFirmwareImage(1), Basic("admin:admin"))).status, 200);
    const auto replies = Discover(300ms);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].from, "127.0.0.3");
}

TEST(SimDiscovery, BurstOf256CamerasAnswersEveryRequestInFull) {
    auto sim = SimProcess::WithCameras(256);
    const auto replies = Discover(1500ms, 2);
    EXPECT_EQ(sim->Stop(), 0);
    std::map<std::string, int> perCamera;
    for (const auto& d : replies) ++perCamera[d.from];
    EXPECT_EQ(perCamera.size(), 256u);
    for (const auto& [camera, count] : perCamera) EXPECT_EQ(count, 2) << camera;
    EXPECT_EQ(perCamera.count("127.0.1.1"), 1u);  // the 256th camera
}

}  // namespace
}  // namespace qrv::test
