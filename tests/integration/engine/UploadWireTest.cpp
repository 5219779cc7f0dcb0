// The firmware upload and the configuration restore as the camera receives
// them: every byte of the request, the pieces the image goes out in, the
// answer wait with the job's timer, and the ways the request can end.

#include <regex>
#include <thread>

#include "engine/CameraClient.h"
#include "engine/JobStage.h"
#include "platform/HttpClient.h"
#include "tests/integration/engine/SimTestSupport.h"

namespace qrv::test {
namespace {

using namespace std::chrono_literals;

std::vector<std::uint8_t> Pattern(size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>((i * 7 + i / 251) & 0xff);
    return bytes;
}

std::string Expected(const std::string& path, const std::string& host, const std::string& boundary,
                     const std::string& partHeader, const std::vector<std::uint8_t>& data,
                     const std::string& authorization) {
    const std::string head = "\r\n" + boundary + "\r\n" + partHeader + "\r\nContent-Type: application/octet-stream\r\n\r\n";
    const std::string tail = "\r\n" + boundary + "--\r\n\r\n";
    std::string wire = "POST " + path + " HTTP/1.1\r\n";
    wire += "Host: " + host + "\r\n";
    wire += "User-Agent: QRV Upgrade Tool\r\n";
    wire += "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, "
            "application/vnd.ms-excel, application/vnd.ms-powerpoint, application/msword, */*\r\n";
    wire += "Content-Type: multipart/form-data; boundary=" + boundary + "\r\n";
    wire += "Accept-Encoding: gzip, deflate\r\n";
    wire += "Connection: Keep-Alive\r\n";
    wire += "Proxy-Connection: Keep-Alive\r\n";
    wire += "Cache-Control: no-cache\r\n";
    wire += "Content-Length: " + std::to_string(head.size() + data.size() + tail.size()) + "\r\n";
    wire += authorization + "\r\n\r\n";
    wire += head;
    wire.append(data.begin(), data.end());
    wire += tail;
    return wire;
}

// The boundary the request used; it must be made of the time of the request.
std::string BoundaryOf(const std::string& captured, std::int64_t before, std::int64_t after) {
    std::smatch match;
    const std::regex pattern("boundary=(-{27}7d([0-9]+))\r\n");
    if (!std::regex_search(captured, match, pattern)) return {};
    const std::int64_t seconds = std::stoll(match[2].str());
    EXPECT_GE(seconds, before);
    EXPECT_LE(seconds, after);
    return match[1].str();
}

struct UploadWire : ::testing::Test {
    HeadlessOwner owner;
    CountingProgress bar;
    std::atomic<int> ticks{0};
    std::atomic<int> stageAtFirstTick{-1};

    std::unique_ptr<CameraClient> Client(const std::string& address) {
        auto client = std::make_unique<CameraClient>(owner, address, kAdminCredentials, Package().Models(), 2,
                                                     nullptr, nullptr, nullptr, std::u16string(), FastTiming());
        client->SetProgress(&bar, nullptr);
        CameraClient* raw = client.get();
        owner.SetTimerHandler([this, raw](int id) {
            if (id != kJobTickTimer + 2) return;
            int expected = -1;
            stageAtFirstTick.compare_exchange_strong(expected, raw->Stage());
            ++ticks;
        });
        return client;
    }

    // Runs `request` on a worker while this thread delivers the owner's timers.
    int RunWithOwner(const std::function<int()>& request) {
        std::atomic<bool> done{false};
        int result = 99;
        std::jthread worker([&] {
            result = request();
            done = true;
        });
        owner.RunUntil([&] { return done.load(); }, 60s);
        worker.join();
        return result;
    }
};

TEST_F(UploadWire, FirmwareRequestIsTheCamerasFormByteForByte) {
    SimProcess sim(Camera("127.0.0.2"), kScale);
    auto client = Client("127.0.0.2");
    const std::vector<std::uint8_t> image = Pattern(4000);
    client->SetUploadData(image);
    const std::int64_t before = SecondsSinceEpoch();
    EXPECT_EQ(RunWithOwner([&] { return client->UploadFirmware(); }), 0);
    const std::int64_t after = SecondsSinceEpoch();

    const std::vector<std::string> captured = sim.CapturedRequests("127.0.0.2:80");
    ASSERT_EQ(captured.size(), 1u);
    const std::string boundary = BoundaryOf(captured[0], before, after);
    ASSERT_FALSE(boundary.empty()) << captured[0].substr(0, 600);
    EXPECT_EQ(captured[0], Expected("/command/versionup.cgi", "127.0.0.2", boundary,
                                    "Content-Disposition: form-data; name=\"setting_file\"; filename=\"upgrade.bin\"",
                                    image, "Authorization: Basic " + kAdminCredentials));
    const std::vector<SimEvent> upload = Verdicts(sim, "127.0.0.2:80", "upload");
    ASSERT_EQ(upload.size(), 1u);
    EXPECT_TRUE(upload[0].ok) << upload[0].reason;
}

TEST_F(UploadWire, RestoreRequestCarriesTheFactoryAccountAndTheRestorePart) {
    SimProcess sim(Camera("127.0.0.3:8080"), kScale);
    auto client = Client("127.0.0.3:8080");
    const std::vector<std::uint8_t> config = Pattern(700);
    client->SetUploadData(config);
    const std::int64_t before = SecondsSinceEpoch();
    RunWithOwner([&] { return client->RestoreConfiguration(); });
    const std::int64_t after = SecondsSinceEpoch();

    const std::vector<std::string> captured = sim.CapturedRequests("127.0.0.3:8080");
    ASSERT_EQ(captured.size(), 1u);
    const std::string boundary = BoundaryOf(captured[0], before, after);
    ASSERT_FALSE(boundary.empty());
    EXPECT_EQ(captured[0], Expected("/command/all-configuration.cgi", "127.0.0.3:8080", boundary,
                                    "Content-Disposition: form-data; name=\"Restore\"; filename=\"temp.cfg\"", config,
                                    "Authorization: Basic TWFkZVVwVmFsdWU="));
}

TEST_F(UploadWire, ImageGoesOutInFullPiecesWithOneProgressStepEach) {
    // Each camera takes one upload, then reboots.
    SimProcess sim(Camera("127.0.0.2", "write=0") + Camera("127.0.0.3", "write=0") + Camera("127.0.0.4", "write=0") +
                       Camera("127.0.0.5", "write=0"),
                   kScale);
    int camera = 2;
    for (const size_t size : {size_t{1460 * 3}, size_t{1460 * 3 + 1}, size_t{700}}) {
        const std::optional<HttpEndpoint> endpoint = SplitAddress("127.0.0." + std::to_string(camera++));
        ASSERT_TRUE(endpoint);
        const std::vector<std::uint8_t> data = Pattern(size);
        std::vector<size_t> pieces;
        MultipartPost post;
        post.endpoint = *endpoint;
        post.path = "/command/versionup.cgi";
        const MultipartForm form = MakeMultipartForm(FormKind::Firmware, SecondsSinceEpoch());
        post.headers = form.Headers(size, "Authorization: Basic " + kAdminCredentials);
        post.head = form.head;
        post.data = data;
        post.tail = form.tail;
        post.onPiece = [&](size_t piece) { pieces.push_back(piece); };
        EXPECT_EQ(PostMultipart(post), 0);
        std::vector<size_t> expected(size / 1460, 1460);
        if (size % 1460) expected.push_back(size % 1460);
        EXPECT_EQ(pieces, expected) << "size " << size << ": no empty piece after a full one";
    }
    // The client's progress bar moves once per piece.
    auto client = Client("127.0.0.5");
    const std::vector<std::uint8_t> image = Pattern(1460 * 5);
    client->SetUploadData(image);
    RunWithOwner([&] { return client->UploadFirmware(); });
    EXPECT_EQ(bar.Position(), 5);
}

TEST_F(UploadWire, AnswerIsAwaitedWithTheJobTimerRunningInStageFour) {
    SimProcess sim(Camera("127.0.0.2", "write=30000"), kScale);  // the camera writes for 300 ms
    auto client = Client("127.0.0.2");
    const std::vector<std::uint8_t> image = Pattern(3000);
    client->SetUploadData(image);
    client->SetStage(kUploading);
    EXPECT_EQ(RunWithOwner([&] { return client->UploadFirmware(); }), 0);
    EXPECT_GT(ticks.load(), 3) << "one-second ticks (10 ms here) run while the camera writes";
    EXPECT_EQ(stageAtFirstTick.load(), kOverwriting);
    EXPECT_EQ(client->Stage(), kOverwriting);
    EXPECT_FALSE(owner.IsTimerRunning(kJobTickTimer + 2)) << "the timer stops with the answer";
}

TEST_F(UploadWire, EmergencyCameraIsNotAwaited) {
    SimProcess sim(Camera("127.0.0.2", "version=emergency"), kScale);
    auto client = Client("127.0.0.2");
    ASSERT_TRUE(client->CheckModel(client->Inquire("inq=system", 5s), false));
    ASSERT_TRUE(client->IsEmergency());
    const std::vector<std::uint8_t> image = Pattern(3000);
    client->SetUploadData(image);
    EXPECT_EQ(RunWithOwner([&] { return client->UploadFirmware(); }), 0);
    EXPECT_EQ(client->Stage(), kOverwriting);
    EXPECT_EQ(ticks.load(), 0) << "no answer wait, so no timer";
    ASSERT_TRUE(sim.WaitForEvent([](const SimEvent& e) { return e.kind == "verdict" && e.what == "upload"; }, 10s));
    EXPECT_TRUE(Verdicts(sim, "127.0.0.2:80", "upload")[0].ok) << "the whole body still arrives";
}

TEST_F(UploadWire, DroppedUploadFailsBeforeTheBodyIsComplete) {
    SimProcess sim(Camera("127.0.0.2", "fault=drop-upload:2000"), kScale);
    auto client = Client("127.0.0.2");
    // Large enough that the socket buffers cannot take it all before the camera drops it.
    const std::vector<std::uint8_t> image = Pattern(Package().Image(0).size());
    client->SetUploadData(image);
    client->SetStage(kUploading);
    EXPECT_EQ(RunWithOwner([&] { return client->UploadFirmware(); }), -1);
    EXPECT_EQ(client->Stage(), kUploading) << "stage 4 only after the tail";
    EXPECT_EQ(ticks.load(), 0);
}

TEST_F(UploadWire, MissingAnswerEndsAfterTheReceiveTimeout) {
    SimProcess sim(Camera("127.0.0.2", "fault=upload-no-answer"), kScale);
    auto client = Client("127.0.0.2");
    const std::vector<std::uint8_t> image = Pattern(3000);
    client->SetUploadData(image);
    EXPECT_EQ(RunWithOwner([&] { return client->UploadFirmware(); }), -2);
    EXPECT_EQ(client->Stage(), kOverwriting);
    EXPECT_FALSE(owner.IsTimerRunning(kJobTickTimer + 2));
}

TEST_F(UploadWire, NoCameraFailsBeforeTheBody) {
    SimProcess sim(Camera("127.0.0.2"), kScale);
    auto client = Client("127.0.0.7");
    const std::vector<std::uint8_t> image = Pattern(3000);
    client->SetUploadData(image);
    EXPECT_EQ(RunWithOwner([&] { return client->UploadFirmware(); }), -1);
}

}  // namespace
}  // namespace qrv::test
