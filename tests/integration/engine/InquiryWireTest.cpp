// The inquiry on the wire and back: where it goes, what it carries, how the
// reply is read, and how it ends when the camera does not answer.

#include <thread>

#include "engine/CameraClient.h"
#include "tests/integration/engine/SimTestSupport.h"

namespace qrv::test {
namespace {

using namespace std::chrono_literals;

const ModelList& Models() { return Package().Models(); }

TEST(InquiryWire, GoesToPortEightyOrTheGivenPortWithOurHeadersAndBody) {
    SimProcess sim(Camera("127.0.0.2") + Camera("127.0.0.3:8080", "serial=B77"), kScale);
    HeadlessOwner owner;
    CameraClient plain(owner, "127.0.0.2", kAdminCredentials, Models());
    CameraClient custom(owner, "127.0.0.3:8080", kAdminCredentials, Models());

    const std::u16string system = plain.Inquire("inq=system", 5s);
    EXPECT_NE(system.find(u"ModelName=QRV-K7"), std::u16string::npos) << ToUtf8(system);
    EXPECT_NE(system.find(u"SoftVersion=1.20"), std::u16string::npos);
    EXPECT_NE(custom.Inquire("inq=system", 5s).find(u"Serial=B77"), std::u16string::npos);

    const std::vector<SimEvent> requests = RequestsTo(sim, "127.0.0.2:80", "/command/inquiry.cgi");
    ASSERT_EQ(requests.size(), 1u);
    const SimEvent& request = requests[0];
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.httpVersion, "HTTP/1.1");
    EXPECT_EQ(request.Header("User-Agent"), "QRV Upgrade Tool");
    EXPECT_EQ(request.Header("Authorization"), "Basic " + kAdminCredentials);
    EXPECT_EQ(request.Header("Expect"), std::nullopt);
    EXPECT_EQ(request.bodyLength, std::string("inq=system").size());
    EXPECT_EQ(RequestsTo(sim, "127.0.0.3:8080", "/command/inquiry.cgi").size(), 1u);
}

TEST(InquiryWire, AccountsInquiryCarriesTheAdministratorInItsEncodedForm) {
    SimProcess sim(Camera("127.0.0.2"), kScale);
    HeadlessOwner owner;
    CameraClient client(owner, "127.0.0.2", kAdminCredentials, Models());
    const std::u16string user = client.Inquire("inq=user", 5s);
    EXPECT_TRUE(client.CheckAdministrator(user)) << ToUtf8(user);
    EXPECT_TRUE(owner.Boxes().empty());
}

TEST(InquiryWire, DemandedAuthenticationBecomesFourOhOneWhateverTheBody) {
    SimProcess sim(Camera("127.0.0.2", "fault=always401"), kScale);
    HeadlessOwner owner;
    CameraClient client(owner, "127.0.0.2", kAdminCredentials, Models());
    EXPECT_EQ(client.Inquire("inq=user", 5s), u"401 Unauthorized");
    EXPECT_EQ(client.Inquire("inq=system", 5s), u"401 Unauthorized");
}

TEST(InquiryWire, WrongPasswordIsRefusedOnTheAccountsInquiry) {
    SimProcess sim(Camera("127.0.0.2"), kScale);
    HeadlessOwner owner;
    CameraClient client(owner, "127.0.0.2", CameraClient::Base64Encode("admin:wrong"), Models());
    EXPECT_EQ(client.Inquire("inq=user", 5s), u"401 Unauthorized");
    EXPECT_FALSE(client.CheckAdministrator(u"401 Unauthorized"));
    ASSERT_EQ(owner.Boxes().size(), 1u);
    EXPECT_EQ(owner.Boxes()[0].text, u"Please enter correct user name and password for the administrator.");
}

TEST(InquiryWire, LongReplyIsCutAtFiveThousandOneHundredTwentyBytes) {
    SimProcess sim(Camera("127.0.0.2", "fault=big-reply"), kScale);
    HeadlessOwner owner;
    CameraClient client(owner, "127.0.0.2", kAdminCredentials, Models());
    const std::u16string reply = client.Inquire("inq=system", 5s);
    EXPECT_EQ(reply.size(), 5120u);
    EXPECT_EQ(reply.rfind(u"ModelName=QRV-K7", 0), 0u);
}

TEST(InquiryWire, ReplyArrivingInSlowPiecesIsReadWhole) {
    SimProcess sim(Camera("127.0.0.2", "fault=big-reply fault=slow-reply"), kScale);
    HeadlessOwner owner;
    CameraClient client(owner, "127.0.0.2", kAdminCredentials, Models());
    const std::u16string reply = client.Inquire("inq=system", 20s);
    EXPECT_EQ(reply.size(), 5120u) << "the reply must not end with the first piece";
    EXPECT_TRUE(client.CheckModel(reply, false));
}

TEST(InquiryWire, SilentCameraGivesTheEmptyReplyAtTheDeadline) {
    SimProcess sim(Camera("127.0.0.2", "fault=silent"), kScale);
    HeadlessOwner owner;
    CameraClient client(owner, "127.0.0.2", kAdminCredentials, Models());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(client.Inquire("inq=system", 300ms), u"");
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 290ms);
    EXPECT_LT(took, 10s) << "the deadline ends the request";
}

TEST(InquiryWire, NoCameraAtTheAddressGivesTheEmptyReply) {
    SimProcess sim(Camera("127.0.0.2"), kScale);
    HeadlessOwner owner;
    CameraClient client(owner, "127.0.0.9", kAdminCredentials, Models());
    EXPECT_EQ(client.Inquire("inq=system", 5s), u"");
    CameraClient badAddress(owner, "camera.example:80", kAdminCredentials, Models());
    EXPECT_EQ(badAddress.Inquire("inq=system", 5s), u"") << "names are never resolved";
}

TEST(InquiryWire, StopRequestEndsAnInquiryAtOnce) {
    SimProcess sim(Camera("127.0.0.2", "fault=silent"), kScale);
    HeadlessOwner owner;
    CameraClient client(owner, "127.0.0.2", kAdminCredentials, Models());
    std::stop_source stop;
    std::u16string reply = u"unset";
    const auto start = std::chrono::steady_clock::now();
    std::jthread asker([&] { reply = client.Inquire("inq=system", 60s, stop.get_token()); });
    std::this_thread::sleep_for(100ms);
    stop.request_stop();
    asker.join();
    EXPECT_EQ(reply, u"");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
}

TEST(InquiryWire, NonBlockingInquiryIsPolledUntilDone) {
    SimProcess sim(Camera("127.0.0.2", "fault=delay:20000"), kScale);
    HeadlessOwner owner;
    CameraClient client(owner, "127.0.0.2", kAdminCredentials, Models());
    EXPECT_FALSE(client.IsInquiryDone());
    client.StartInquiry("inq=network");
    EXPECT_FALSE(client.IsInquiryDone()) << "the camera waits 200 ms before it answers";
    const auto start = std::chrono::steady_clock::now();
    while (!client.IsInquiryDone() && std::chrono::steady_clock::now() - start < 20s) {
        std::this_thread::sleep_for(5ms);
    }
    ASSERT_TRUE(client.IsInquiryDone());
    EXPECT_NE(client.InquiryReply().find(u"MacAddress=08:00:23:00:00:01"), std::u16string::npos);
    EXPECT_LE(client.InquiryStartTime(), std::chrono::steady_clock::now());
}

TEST(InquiryWire, DestroyingAClientEndsItsRunningInquiry) {
    SimProcess sim(Camera("127.0.0.2", "fault=silent"), kScale);
    HeadlessOwner owner;
    const auto start = std::chrono::steady_clock::now();
    {
        CameraClient client(owner, "127.0.0.2", kAdminCredentials, Models(), 0, nullptr, nullptr, nullptr, {},
                            Timing::Production());
        client.StartInquiry("inq=system");  // would wait 20 s for the silent camera
        ASSERT_TRUE(sim.WaitForEvent([](const SimEvent& e) { return e.kind == "request"; }, 10s));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, 15s);
}

}  // namespace
}  // namespace qrv::test
