// Discovery on every network interface, for real: inside the private network
// namespace the test makes three more segments, each a veth pair whose far end
// lies in a further network namespace of the test's own (held by an
// `unshare -n sleep` process), with simulated cameras listening only there:
//
//   this namespace              segment namespaces
//   lo  127.0.0.2-3 (cameras)
//   qrvseg1 10.201.1.1/24  <->  qrvcam1 10.201.1.5-7 (cameras)
//   qrvseg2 10.201.2.1/24  <->  qrvcam2 10.201.2.5,7 (cameras)
//   qrvseg3 10.201.3.1/24  <->  qrvcam3 10.201.3.5 (camera)  -- qrvseg3 is down
//
// The addresses exist only in these namespaces; every datagram stays in them.
// Each discovery window is short (two requests per socket), and the
// namespaces and links go with the test.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "discovery/DiscoveryRoutes.h"
#include "platform/NetworkInterfaces.h"
#include "tests/support/CommandRun.h"
#include "tests/support/SimProcess.h"

extern char** environ;

namespace qrv::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string NetworkNamespaceOf(pid_t pid) {
    char target[128] = {};
    const std::string path = "/proc/" + std::to_string(pid) + "/ns/net";
    const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

// One segment: a veth pair from this namespace to a namespace of its own.
struct Segment {
    int number = 0;
    pid_t holder = -1;  // the process that holds the segment's namespace
    std::string Near() const { return "qrvseg" + std::to_string(number); }
    std::string Far() const { return "qrvcam" + std::to_string(number); }
    std::string Prefix() const { return "10.201." + std::to_string(number) + "."; }
    // Runs a command in the segment's namespace.
    std::vector<std::string> Enter() const { return {"nsenter", "-t", std::to_string(holder), "-n", "--"}; }
};

struct Camera {
    std::string ip;
    std::string interface;
};

// mac -> camera, from the lines of `discover --json`.
std::map<std::string, Camera> ParseCameras(const std::string& json) {
    static const std::regex kLine(R"re(\{"mac":"([^"]*)","ip":"([^"]*)".*"interface":"([^"]*)"\})re");
    std::map<std::string, Camera> cameras;
    std::smatch match;
    std::string::const_iterator from = json.begin();
    while (std::regex_search(from, json.end(), match, kLine)) {
        cameras[match[1]] = Camera{match[2], match[3]};
        from = match.suffix().first;
    }
    return cameras;
}

std::vector<SimEvent> DiscoveryEvents(const SimProcess& sim) {
    std::vector<SimEvent> events;
    for (SimEvent& event : sim.Events()) {
        if (event.kind == "discovery") events.push_back(std::move(event));
    }
    return events;
}

class DiscoveryInterfaces : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("qrv-interfaces-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        // scripts/run-in-private-network leaves only lo; the segments are this test's own.
        const CommandRun links = Shell("ip -o link show");
        ASSERT_EQ(links.out.rfind("1: lo:", 0), 0u) << links.out;
        ASSERT_EQ(std::count(links.out.begin(), links.out.end(), '\n'), 1)
            << "the test must run inside scripts/run-in-private-network: " << links.out;
        for (int number = 1; number <= 3; ++number) {
            segments_.push_back(Segment{number});
            MakeSegment(segments_.back(), /*up=*/number != 3);
            if (HasFatalFailure()) return;
        }
        loSim_ = std::make_unique<SimProcess>(
            "127.0.0.2 mac=02:00:00:00:00:02\n"
            "127.0.0.3 mac=02:00:00:00:00:03\n");
        sims_.push_back(std::make_unique<SimProcess>(
            "10.201.1.5 mac=02:00:00:00:01:05\n"
            "10.201.1.6:8080 mac=02:00:00:00:01:06\n"
            "10.201.1.7 mac=02:00:00:00:09:99\n",
            segments_[0].Enter()));
        sims_.push_back(std::make_unique<SimProcess>(
            "10.201.2.5 mac=02:00:00:00:02:05\n"
            "10.201.2.7 mac=02:00:00:00:09:99\n",  // the same camera as 10.201.1.7, by its MAC
            segments_[1].Enter()));
        sims_.push_back(std::make_unique<SimProcess>("10.201.3.5 mac=02:00:00:00:03:05\n", segments_[2].Enter()));
    }

    void TearDown() override {
        sims_.clear();
        loSim_.reset();
        for (const Segment& segment : segments_) {
            // Deleting one end deletes the pair; the namespace goes with its holder.
            Shell("ip link del " + segment.Near() + " 2>/dev/null || true");
            if (segment.holder > 0) {
                ::kill(segment.holder, SIGKILL);
                ::waitpid(segment.holder, nullptr, 0);
            }
        }
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    CommandRun Shell(const std::string& command) const {
        return RunCommand("/bin/sh", "-c '" + command + "'", dir_);
    }

    void MustRun(const std::string& command) const {
        const CommandRun run = Shell(command);
        ASSERT_EQ(run.exitCode, 0) << command << ": " << run.err;
    }

    void MakeSegment(Segment& segment, bool up) {
        std::vector<std::string> words = {"unshare", "-n", "sleep", "60"};
        std::vector<char*> argv;
        for (std::string& word : words) argv.push_back(word.data());
        argv.push_back(nullptr);
        ASSERT_EQ(::posix_spawnp(&segment.holder, argv[0], nullptr, nullptr, argv.data(), environ), 0)
            << "cannot start unshare";
        const std::string own = NetworkNamespaceOf(::getpid());
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (NetworkNamespaceOf(segment.holder) == own && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(5ms);
        }
        const std::string theirs = NetworkNamespaceOf(segment.holder);
        ASSERT_FALSE(theirs.empty() || theirs == own)
            << "unshare -n made no network namespace of its own here; this test needs namespaces and veth links";
        const std::string pid = std::to_string(segment.holder);
        const std::string prefix = segment.Prefix();
        MustRun("ip link add " + segment.Near() + " type veth peer name " + segment.Far() + " netns " + pid);
        MustRun("ip addr add " + prefix + "1/24 brd + dev " + segment.Near());
        if (up) MustRun("ip link set " + segment.Near() + " up");
        MustRun("nsenter -t " + pid + " -n sh -c \"ip link set lo up && ip addr add " + prefix + "5/24 brd + dev " +
                segment.Far() + " && ip addr add " + prefix + "6/24 brd + dev " + segment.Far() +
                " && ip addr add " + prefix + "7/24 brd + dev " + segment.Far() + " && ip link set " + segment.Far() +
                " up\"");
        if (!up) return;
        // The link carries once both ends are up.
        const auto carrier = std::chrono::steady_clock::now() + 5s;
        while (Shell("ip -o link show " + segment.Near()).out.find("state UP") == std::string::npos) {
            ASSERT_LT(std::chrono::steady_clock::now(), carrier) << segment.Near() << " did not come up";
            std::this_thread::sleep_for(5ms);
        }
    }

    CommandRun Discover(const std::string& args) const {
        return RunCommand(QRV_CLI_PATH, "discover " + args, dir_);
    }

    void ExpectNoDatagram(const SimProcess& sim, const std::string& what) const {
        EXPECT_TRUE(DiscoveryEvents(sim).empty()) << what << " saw a discovery datagram";
    }

    fs::path dir_;
    std::vector<Segment> segments_;
    std::unique_ptr<SimProcess> loSim_;
    std::vector<std::unique_ptr<SimProcess>> sims_;
};

TEST_F(DiscoveryInterfaces, TheListingAndTheRoutesMatchTheSegments) {
    const std::vector<NetworkInterface> interfaces = ListIpv4Interfaces();
    std::map<std::string, NetworkInterface> byName;
    for (const NetworkInterface& entry : interfaces) byName[entry.name] = entry;
    ASSERT_EQ(byName.size(), 4u);
    EXPECT_TRUE(byName["lo"].loopback);
    EXPECT_TRUE(byName["lo"].up);
    EXPECT_EQ(byName["qrvseg1"].address, (Ipv4Address{10, 201, 1, 1}));
    EXPECT_EQ(byName["qrvseg1"].broadcast, (Ipv4Address{10, 201, 1, 255}));
    EXPECT_TRUE(byName["qrvseg1"].up && byName["qrvseg1"].canBroadcast && !byName["qrvseg1"].loopback);
    EXPECT_NE(byName["qrvseg1"].index, 0u);
    EXPECT_FALSE(byName["qrvseg3"].up);

    const DiscoveryRoutePlan plan = PlanDiscoveryRoutes(interfaces, {});
    std::vector<std::string> routes;
    for (const DiscoveryRoute& route : plan.routes) {
        routes.push_back(route.interfaceName + ">" + DottedText(route.targets.at(0)));
    }
    std::sort(routes.begin() + 1, routes.end());
    EXPECT_EQ(routes, (std::vector<std::string>{">255.255.255.255", "qrvseg1>10.201.1.255", "qrvseg2>10.201.2.255"}));
}

TEST_F(DiscoveryInterfaces, FindsTheCamerasOnLoopbackAndOnEverySegmentThatIsUp) {
    const CommandRun run = Discover("--json --seconds 0.6");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    std::map<std::string, Camera> cameras = ParseCameras(run.out);
    // The camera on two segments keeps one slot; its latest reply names the segment.
    ASSERT_EQ(cameras.count("02:00:00:00:09:99"), 1u) << run.out;
    const Camera both = cameras["02:00:00:00:09:99"];
    EXPECT_TRUE((both.ip == "10.201.1.7" && both.interface == "qrvseg1") ||
                (both.ip == "10.201.2.7" && both.interface == "qrvseg2"))
        << both.ip << " on " << both.interface;
    cameras.erase("02:00:00:00:09:99");
    const std::map<std::string, std::pair<std::string, std::string>> expected = {
        {"02:00:00:00:00:02", {"127.0.0.2", "lo"}},      {"02:00:00:00:00:03", {"127.0.0.3", "lo"}},
        {"02:00:00:00:01:05", {"10.201.1.5", "qrvseg1"}}, {"02:00:00:00:01:06", {"10.201.1.6", "qrvseg1"}},
        {"02:00:00:00:02:05", {"10.201.2.5", "qrvseg2"}},
    };
    std::map<std::string, std::pair<std::string, std::string>> found;
    for (const auto& [mac, camera] : cameras) found[mac] = {camera.ip, camera.interface};
    EXPECT_EQ(found, expected) << run.out;

    // Each segment that is up got the request at the start and at half time,
    // sent to its broadcast address from the near end's address.
    for (int i = 0; i < 2; ++i) {
        const std::vector<SimEvent> events = DiscoveryEvents(*sims_[i]);
        EXPECT_EQ(events.size(), 2u) << segments_[i].Near();
        for (const SimEvent& event : events) {
            EXPECT_EQ(event.Field("to"), segments_[i].Prefix() + "255");
            EXPECT_EQ(event.Field("interface"), segments_[i].Far());
            EXPECT_EQ(event.Field("from").rfind(segments_[i].Prefix() + "1:", 0), 0u) << event.Field("from");
            EXPECT_EQ(event.Field("replies"), i == 0 ? "3" : "2");
        }
    }
    // The segment whose near end is down saw nothing; and nothing was sent
    // toward it at all: the system would take a request to 10.201.3.255 from
    // 10.201.3.1 even with qrvseg3 down, and deliver its local copy on lo.
    ExpectNoDatagram(*sims_[2], "the far end of the interface that is down");
    for (const SimProcess* sim : {loSim_.get(), sims_[0].get(), sims_[1].get()}) {
        for (const SimEvent& event : DiscoveryEvents(*sim)) {
            EXPECT_NE(event.Field("to"), "10.201.3.255") << "a request was sent on the interface that is down";
            EXPECT_EQ(event.Field("from").rfind("10.201.3.", 0), std::string::npos) << event.Field("from");
        }
    }

    // On loopback: 255.255.255.255 from the main socket, answered; the copies
    // of the directed broadcasts that the system delivers locally come in on
    // the segments' interfaces, where no loopback camera lives.
    int onLo = 0;
    for (const SimEvent& event : DiscoveryEvents(*loSim_)) {
        if (event.Field("interface") == "lo") {
            ++onLo;
            EXPECT_EQ(event.Field("to"), "255.255.255.255");
            EXPECT_EQ(event.Field("replies"), "2");
        } else {
            EXPECT_EQ(event.Field("replies"), "0") << event.Field("interface");
        }
    }
    EXPECT_EQ(onLo, 2);
}

TEST_F(DiscoveryInterfaces, OneInterfaceLimitsDiscoveryToIt) {
    const CommandRun run = Discover("--json --seconds 0.4 --interface qrvseg1");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::map<std::string, std::pair<std::string, std::string>> found;
    for (const auto& [mac, camera] : ParseCameras(run.out)) found[mac] = {camera.ip, camera.interface};
    EXPECT_EQ(found, (std::map<std::string, std::pair<std::string, std::string>>{
                         {"02:00:00:00:01:05", {"10.201.1.5", "qrvseg1"}},
                         {"02:00:00:00:01:06", {"10.201.1.6", "qrvseg1"}},
                         {"02:00:00:00:09:99", {"10.201.1.7", "qrvseg1"}},
                     }))
        << run.out;
    // On qrvseg1 both the directed and the limited broadcast, twice each,
    // from its address; on the other segments nothing.
    std::multiset<std::string> targets;
    for (const SimEvent& event : DiscoveryEvents(*sims_[0])) {
        targets.insert(event.Field("to"));
        EXPECT_EQ(event.Field("interface"), "qrvcam1");
        EXPECT_EQ(event.Field("from").rfind("10.201.1.1:", 0), 0u) << event.Field("from");
    }
    EXPECT_EQ(targets, (std::multiset<std::string>{"10.201.1.255", "10.201.1.255", "255.255.255.255",
                                                    "255.255.255.255"}));
    ExpectNoDatagram(*sims_[1], "qrvcam2");
    ExpectNoDatagram(*sims_[2], "qrvcam3");
    for (const SimEvent& event : DiscoveryEvents(*loSim_)) {
        EXPECT_NE(event.Field("interface"), "lo") << "a request went out on lo";
        EXPECT_EQ(event.Field("replies"), "0");
    }
}

TEST_F(DiscoveryInterfaces, AnInterfaceThatIsDownOrUnknownIsAnErrorAndSendsNothing) {
    const CommandRun down = Discover("--json --seconds 0.2 --interface qrvseg3");
    EXPECT_EQ(down.exitCode, 2);
    EXPECT_EQ(down.out, "");
    EXPECT_EQ(down.err, "the network interface 'qrvseg3' is down\n");
    const CommandRun unknown = Discover("--seconds 0.2 --interface qrvseg9");
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_EQ(unknown.out, "");
    EXPECT_EQ(unknown.err,
              "no network interface with an IPv4 address is named 'qrvseg9' (there are: lo, qrvseg1, qrvseg2, "
              "qrvseg3)\n");
    ExpectNoDatagram(*loSim_, "lo");
    for (std::size_t i = 0; i < sims_.size(); ++i) ExpectNoDatagram(*sims_[i], segments_[i].Far());
}

}  // namespace
}  // namespace qrv::test
