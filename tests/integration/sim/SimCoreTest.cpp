// The simulator's own readers and writers, without network: what it accepts
// and refuses decides what the program's tests can catch.
#include <gtest/gtest.h>

#include <algorithm>

#include "sim/Base64.h"
#include "sim/Camera.h"
#include "sim/ConfigFile.h"
#include "sim/DiscoveryResponder.h"
#include "sim/EventLog.h"
#include "sim/FleetFile.h"
#include "sim/FormUpload.h"
#include "sim/LocalNetwork.h"
#include "sim/RequestHead.h"
#include "sim/Scheduler.h"
#include "sim/SimOptions.h"
#include "sim/TarMembers.h"
#include "tests/integration/sim/TestForms.h"
#include "tests/support/SimEvent.h"

namespace qrv::sim {
namespace {

// ---- where the simulator may run ---------------------------------------------------

constexpr const char* kRouteHeading =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";

std::string Route(const char* device, const char* destination, const char* gateway, const char* flags,
                  const char* mask) {
    return std::string(device) + "\t" + destination + "\t" + gateway + "\t" + flags + "\t0\t0\t0\t" + mask +
           "\t0\t0\t0\n";
}

TEST(SimNetwork, RunsOnlyOnLoAloneOrOnVethLinksOfANamespaceApart) {
    using Space = NetworkFacts::Namespace;
    const NetworkFacts::Link lo{"lo", true, ""};
    const NetworkFacts::Link veth{"qrvseg1", false, "veth"};
    const NetworkFacts::Link eth{"eth0", false, "virtio_net"};
    const NetworkFacts::Link bridge{"br0", false, "bridge"};
    const std::string loDefault = Route("lo", "00000000", "00000000", "0001", "00000000");
    const std::string segment = Route("qrvseg1", "0001C90A", "00000000", "0001", "00FFFFFF");
    struct Case {
        const char* what;
        NetworkFacts facts;
        bool allowed;
        const char* reason;  // a part of it
    };
    const Case cases[] = {
        {"lo alone, wherever", {{lo}, kRouteHeading + loDefault, Space::MachineOwn}, true, ""},
        {"lo alone, namespace unknown", {{lo}, kRouteHeading, Space::Unknown}, true, ""},
        {"no interface listed", {{}, kRouteHeading, Space::Separate}, false, "cannot be listed"},
        {"veth in a namespace apart", {{lo, veth}, kRouteHeading + loDefault + segment, Space::Separate}, true, ""},
        {"veth in the machine's own namespace", {{lo, veth}, kRouteHeading + segment, Space::MachineOwn}, false,
         "machine's own network"},
        {"veth where the namespace is unknown", {{lo, veth}, kRouteHeading + segment, Space::Unknown}, false,
         "not known to be a namespace apart"},
        {"a real interface", {{lo, eth}, kRouteHeading, Space::Separate}, false, "eth0 is not a veth link"},
        {"a bridge", {{lo, veth, bridge}, kRouteHeading, Space::Separate}, false, "br0 is not a veth link"},
        {"a driver that cannot be told", {{lo, {"x0", false, ""}}, kRouteHeading, Space::Separate}, false,
         "x0 is not a veth link"},
        {"a route through a gateway",
         {{lo, veth}, kRouteHeading + segment + Route("qrvseg1", "0002C90A", "0101C90A", "0003", "00FFFFFF"),
          Space::Separate},
         false, "route through a gateway (on qrvseg1)"},
        {"a default route off lo",
         {{lo, veth}, kRouteHeading + segment + Route("qrvseg1", "00000000", "00000000", "0001", "00000000"),
          Space::Separate},
         false, "default route off lo (on qrvseg1)"},
    };
    for (const Case& c : cases) {
        std::string reason;
        EXPECT_EQ(JudgeNetwork(c.facts, reason), c.allowed) << c.what;
        EXPECT_NE(reason.find(c.reason), std::string::npos) << c.what << ": " << reason;
    }
}

TEST(SimNetwork, CamerasLiveOnLoopbackOrOnTheAddressesOfOtherInterfaces) {
    // 10.201.1.1/24 on qrvcam1 (index 2); lo (index 1) holds 127.0.0.1/8.
    const LocalNetwork network({{{"lo", true, ""}, {"qrvcam1", false, "veth"}}, kRouteHeading,
                                NetworkFacts::Namespace::Separate},
                               {{"lo", 1, 0x7F000001u, 0xFF000000u, true},
                                {"qrvcam1", 2, 0x0AC90105u, 0xFFFFFF00u, false}});
    struct Case {
        uint32_t address;
        bool mayHold;
        unsigned interface;
        bool answered;  // as a discovery sender
    };
    const Case cases[] = {
        {0x7F000002u, true, 1, true},    // 127.0.0.2
        {0x7F010203u, true, 1, true},    // 127.1.2.3
        {0x0AC90105u, true, 2, true},    // 10.201.1.5, held by qrvcam1
        {0x0AC90106u, false, 0, true},   // 10.201.1.6: on the segment, not held here
        {0x0AC90205u, false, 0, false},  // 10.201.2.5: another segment
        {0xC0A80105u, false, 0, false},  // 192.168.1.5
        {0x00000000u, false, 0, true},   // 0.0.0.0, as a broadcast from an unbound socket shows
    };
    for (const Case& c : cases) {
        EXPECT_EQ(network.MayHold(c.address), c.mayHold) << AddressText(c.address);
        EXPECT_EQ(network.InterfaceOf(c.address), c.interface) << AddressText(c.address);
        EXPECT_EQ(network.IsAnsweredSender(c.address), c.answered) << AddressText(c.address);
    }
    EXPECT_EQ(network.NameOf(2), "qrvcam1");
    EXPECT_EQ(network.LinkNames(), "lo qrvcam1");
}

TEST(SimBase64, EncodesWithPaddingAndDecodesOnlyStrictText) {
    EXPECT_EQ(Base64Encode(""), "");
    EXPECT_EQ(Base64Encode("a"), "YQ==");
    EXPECT_EQ(Base64Encode("ab"), "YWI=");
    EXPECT_EQ(Base64Encode("admin:admin"), "YWRtaW46YWRtaW4=");
    EXPECT_EQ(Base64Decode("YWRtaW46YWRtaW4="), "admin:admin");
    EXPECT_EQ(Base64Decode(kFactoryToken), "MadeUpValue");
    EXPECT_EQ(FactoryAdministrator().credentials, "MadeUpValue");
    const std::string bytes("\x00\xff\x10:=", 5);
    EXPECT_EQ(Base64Decode(Base64Encode(bytes)), bytes);
    EXPECT_FALSE(Base64Decode("YWRtaW46YWRtaW4"));   // padding missing
    EXPECT_FALSE(Base64Decode("YQ=a"));              // text after "="
    EXPECT_FALSE(Base64Decode("YR=="));              // unused bits set
    EXPECT_FALSE(Base64Decode("YW Rt"));
    EXPECT_FALSE(Base64Decode("=AAA"));
}

TEST(SimFleetFile, ReadsEveryKeyCommentsAndDefaults) {
    std::vector<CameraSetup> cameras;
    std::string error;
    ASSERT_TRUE(ParseFleet("# a fleet\n\n"
                           "127.0.0.2\n"
                           "  127.0.0.3:8080 model=QRV-K7P serial=77 mac=aa:bb:cc:dd:ee:ff version=emergency newversion=2.00 "
                           "doctype=g3 admin=root:pa:ss user=op:pw:2 user=guest:x:1 dhcp=on dnsauto=ON write=5 reboot=6 "
                           "reconfig=7 fault=delay:300 fault=disc-model:A:B fault=disc-webport: fault=restore-refuse:2 "
                           "fault=html-config fault=config-drip:50 # end\n"
                           "127.0.1.0 doctype=\n",
                           cameras, error))
        << error;
    ASSERT_EQ(cameras.size(), 3u);
    const CameraSetup& plain = cameras[0];
    EXPECT_EQ(plain.Label(), "127.0.0.2:80");
    EXPECT_EQ(plain.model, "QRV-K7");
    EXPECT_EQ(plain.version, "1.20");
    EXPECT_EQ(plain.newVersion, "1.30");
    EXPECT_FALSE(plain.docType.has_value());
    EXPECT_EQ(plain.admin.credentials, "admin:admin");
    EXPECT_EQ(plain.writeMs, 20000);
    const CameraSetup& full = cameras[1];
    EXPECT_EQ(full.Label(), "127.0.0.3:8080");
    EXPECT_EQ(full.serial, "77");
    EXPECT_EQ(full.mac, "aa:bb:cc:dd:ee:ff");
    EXPECT_EQ(full.version, "emergency");
    EXPECT_EQ(full.newVersion, "2.00");
    EXPECT_EQ(full.docType, "g3");
    EXPECT_EQ(full.admin.credentials, "root:pa:ss");
    ASSERT_EQ(full.users.size(), 2u);
    EXPECT_EQ(full.users[0].credentials, "op:pw");
    EXPECT_EQ(full.users[0].level, 2);
    EXPECT_TRUE(full.dhcp);
    EXPECT_TRUE(full.dnsAuto);
    EXPECT_EQ(full.rebootMs, 6);
    EXPECT_EQ(full.faults.delayMs, 300);
    EXPECT_EQ(full.faults.discModel, "A:B");  // split at the first ':' only
    EXPECT_EQ(full.faults.discWebport, "");
    EXPECT_EQ(full.faults.restoreRefuse, 2);
    EXPECT_EQ(full.faults.config, ConfigFault::Drip);  // the last configuration fault wins
    EXPECT_EQ(full.faults.configDripMs, 50);
    EXPECT_EQ(cameras[2].docType, "");  // present and empty
    // Defaults differ from line to line.
    EXPECT_NE(cameras[0].serial, cameras[2].serial);
    EXPECT_NE(cameras[0].mac, cameras[2].mac);
}

TEST(SimFleetFile, RefusesBadLinesNamingTheLine) {
    std::vector<CameraSetup> cameras;
    std::string error;
    auto refused = [&](const std::string& text, const std::string& part) {
        error.clear();
        EXPECT_FALSE(ParseFleet(text, cameras, error)) << text;
        EXPECT_NE(error.find(part), std::string::npos) << error;
    };
    refused("127.0.0.2\n203.0.113.2\n", "line 2");
    refused("127.0.0.2\n172.32.0.2\n", "private-range");
    refused("127.0.0.2:0\n", "port");
    refused("127.0.0.2 colour=red\n", "unknown key");
    refused("127.0.0.2 fault=explode\n", "unknown fault");
    refused("127.0.0.2 fault=drop-upload\n", "needs a number");
    refused("127.0.0.2 fault=disc-model\n", "TEXT");
    refused("127.0.0.2 fault=config-drip\n", "needs a number");
    refused("127.0.0.2 fault=config-cut:2\n", "takes no argument");
    refused("127.0.0.2 mac=aa-bb-cc-dd-ee-ff\n", "mac");
    refused("127.0.0.2 user=op:pw\n", "LEVEL");
    refused("127.0.0.2\n127.0.0.2:80\n", "second camera");
    refused("# nothing\n", "no camera");
}

TEST(SimFleetFile, OrdinaryFleetRunsOnFrom127002WithDistinctIdentities) {
    const auto cameras = MakeOrdinaryFleet(300);
    EXPECT_EQ(cameras.front().Label(), "127.0.0.2:80");
    EXPECT_EQ(cameras[253].AddressText(), "127.0.0.255");
    EXPECT_EQ(cameras[254].AddressText(), "127.0.1.0");
    std::set<std::string> serials, macs;
    for (const auto& camera : cameras) {
        serials.insert(camera.serial);
        macs.insert(camera.mac);
        EXPECT_EQ(camera.model, "QRV-K7");
    }
    EXPECT_EQ(serials.size(), 300u);
    EXPECT_EQ(macs.size(), 300u);
}

TEST(SimOptionsTest, NeedsExactlyOneFleetAndAPositiveScale) {
    struct Case {
        std::vector<const char*> arguments;
        bool parses;
        int cameras;
        double timeScale;
    };
    const Case cases[] = {
        {{"--cameras", "3", "--time-scale", "0.01", "--events", "e", "--capture", "c"}, true, 3, 0.01},
        {{"--cameras=3", "--time-scale=0.5"}, true, 3, 0.5},
        {{"--fleet", "f"}, true, 0, 1.0},
        {{"--cameras", "3", "--fleet", "f"}, false, 0, 0},
        {{}, false, 0, 0},
        {{"--cameras", "1", "--time-scale", "0"}, false, 0, 0},
        {{"--cameras", "1", "--time-scale", "-2"}, false, 0, 0},
        {{"--cameras", "1", "--time-scale", "nan"}, false, 0, 0},
        {{"--cameras", "1", "--time-scale", "inf"}, false, 0, 0},
        {{"--cameras", "1025"}, false, 0, 0},
        {{"--cameras", "3x"}, false, 0, 0},
        {{"--cameras"}, false, 0, 0},
        {{"--cameras", "1", "--unknown"}, false, 0, 0},
    };
    for (const Case& c : cases) {
        std::vector<const char*> argv{"qrv-camera-sim"};
        argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
        SimOptions options;
        std::string error;
        const bool parsed = ParseOptions(static_cast<int>(argv.size()), argv.data(), options, error);
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        EXPECT_EQ(parsed, c.parses) << error;
        EXPECT_EQ(error.empty(), c.parses) << error;
        if (parsed) {
            EXPECT_EQ(options.cameras, c.cameras);
            EXPECT_DOUBLE_EQ(options.timeScale, c.timeScale);
        }
    }
    SimOptions options;
    std::string error;
    const char* help[] = {"qrv-camera-sim", "--cameras", "1", "--help"};
    ASSERT_TRUE(ParseOptions(4, help, options, error));
    EXPECT_TRUE(options.help);
    for (const char* option : {"--fleet", "--cameras", "--time-scale", "--events", "--capture", "--help"}) {
        EXPECT_NE(Usage().find(option), std::string::npos) << option;
    }
}

HeaderList FormHeaders(const std::string& type, size_t length) {
    return {{"Content-Type", type}, {"Content-Length", std::to_string(length)}};
}

TEST(SimFormUpload, TakesTheProgramsFormAndGivesTheFileUnchanged) {
    const std::string image("\r\n--x\0\xff payload", 15);
    const auto form = test::MakeProgramForm("setting_file", "upgrade.bin", image);
    const auto read = ReadFormUpload(FormHeaders(form.contentType, form.body.size()), form.body, "setting_file", "upgrade.bin");
    ASSERT_TRUE(read.ok) << read.reason;
    EXPECT_EQ(read.content, image);
    EXPECT_EQ(read.boundary, form.boundary);
}

TEST(SimFormUpload, RefusesEveryOtherForm) {
    const auto form = test::MakeProgramForm("setting_file", "upgrade.bin", "image");
    auto refusal = [](const HeaderList& headers, const std::string& body) {
        const auto read = ReadFormUpload(headers, body, "setting_file", "upgrade.bin");
        EXPECT_FALSE(read.ok);
        return read.reason;
    };
    // An ordinary multipart form: "--" + boundary delimiters.
    const std::string ordinary = "--" + form.boundary + "\r\nContent-Disposition: form-data; name=\"setting_file\"; "
                                 "filename=\"upgrade.bin\"\r\nContent-Type: application/octet-stream\r\n\r\nimage\r\n--" +
                                 form.boundary + "--\r\n";
    EXPECT_NE(refusal(FormHeaders(form.contentType, ordinary.size()), ordinary).find("ordinary multipart"), std::string::npos);
    // Another field name or file name.
    const auto restore = test::MakeProgramForm("Restore", "temp.cfg", "image");
    EXPECT_NE(refusal(FormHeaders(restore.contentType, restore.body.size()), restore.body).find("part header"), std::string::npos);
    // Content-Length that is not the body's.
    EXPECT_NE(refusal(FormHeaders(form.contentType, form.body.size() + 1), form.body).find("Content-Length"), std::string::npos);
    // A boundary of another shape.
    std::string otherBoundary = form.body;
    const std::string plainBoundary = "----WebKitFormBoundary7MA4YWxk";
    for (size_t at; (at = otherBoundary.find(form.boundary)) != std::string::npos;)
        otherBoundary.replace(at, form.boundary.size(), plainBoundary);
    EXPECT_NE(refusal(FormHeaders("multipart/form-data; boundary=" + plainBoundary, otherBoundary.size()), otherBoundary)
                  .find("boundary"),
              std::string::npos);
    // Tail without the final CR LF CR LF.
    const std::string shortTail = form.body.substr(0, form.body.size() - 2);
    EXPECT_NE(refusal(FormHeaders(form.contentType, shortTail.size()), shortTail).find("end"), std::string::npos);
    // A second part inside.
    const auto two = test::MakeProgramForm("setting_file", "upgrade.bin", "a");
    std::string twoParts = two.body;
    twoParts.insert(twoParts.size() - (two.boundary.size() + 8), "\r\n" + two.boundary + "\r\nmore");
    EXPECT_NE(refusal(FormHeaders(two.contentType, twoParts.size()), twoParts).find("more than one part"), std::string::npos);
    // No Content-Type at all.
    EXPECT_FALSE(refusal({{"Content-Length", std::to_string(form.body.size())}}, form.body).empty());
}

TEST(SimTarMembers, ListsMembersAndDecidesTheFitByDocType) {
    const auto listing = ListUstarMembers(test::MakeFirmwareImage(1));
    ASSERT_TRUE(listing.ok) << listing.reason;
    ASSERT_EQ(listing.names.size(), 6u);
    EXPECT_EQ(listing.names.front(), "qrvk7_etc1.tar.gz");
    std::string reason;
    EXPECT_TRUE(ImageFits(listing, "", reason));
    EXPECT_TRUE(ImageFits(listing, "other", reason));
    EXPECT_FALSE(ImageFits(listing, "g3", reason));
    EXPECT_NE(reason.find("qrvk7_etc1.tar.gz"), std::string::npos);
    EXPECT_TRUE(ImageFits(ListUstarMembers(test::MakeFirmwareImage(2)), "g3", reason));
    // An image padded with zeros to a fixed size still lists.
    std::string padded = test::MakeFirmwareImage(2);
    padded.append(20480, '\0');
    EXPECT_TRUE(ListUstarMembers(padded).ok);
}

TEST(SimTarMembers, RefusesDamagedArchives) {
    std::string image = test::MakeFirmwareImage(1);
    std::string badSum = image;
    badSum[0] = 'Q';  // name changes, checksum does not
    EXPECT_NE(ListUstarMembers(badSum).reason.find("checksum"), std::string::npos);
    EXPECT_FALSE(ListUstarMembers(image.substr(0, 700)).ok);  // cut inside a member
    EXPECT_FALSE(ListUstarMembers(std::string(4096, 'x')).ok);
    EXPECT_FALSE(ListUstarMembers(std::string(1024, '\0')).ok);  // no member
    std::string reason;
    EXPECT_FALSE(ImageFits(ListUstarMembers("not an archive"), "", reason));
}

CameraSettings SampleSettings() {
    CameraSettings settings;
    settings.model = "QRV-K7";
    settings.serial = "1000001";
    settings.mac = "02:71:72:00:00:01";
    settings.admin = Account{"root:secret", 4};
    settings.users = {Account{"op:pw", 2}};
    settings.dhcp = true;
    return settings;
}

TEST(SimConfigFile, RoundTripsAccountsInAFewKilobytesOfBinary) {
    const std::string file = EncodeConfig(SampleSettings());
    EXPECT_GE(file.size(), 4096u);
    EXPECT_NE(file.find('\0'), std::string::npos);
    EXPECT_NE(file.find("\r\n"), std::string::npos);
    EXPECT_EQ(file.find("<HTML>"), std::string::npos);
    const auto read = DecodeConfig(file);
    ASSERT_TRUE(read.ok) << read.reason;
    EXPECT_EQ(read.settings.admin.credentials, "root:secret");
    ASSERT_EQ(read.settings.users.size(), 1u);
    EXPECT_EQ(read.settings.users[0].credentials, "op:pw");
    EXPECT_EQ(read.settings.users[0].level, 2);
    EXPECT_TRUE(read.settings.dhcp);
    EXPECT_FALSE(read.settings.dnsAuto);
    EXPECT_EQ(read.settings.serial, "1000001");
}

TEST(SimConfigFile, RefusesFilesDamagedOnTheWay) {
    const std::string file = EncodeConfig(SampleSettings());
    std::string textMode = file;  // CR LF turned into LF, as a text-mode copy would
    for (size_t at; (at = textMode.find("\r\n")) != std::string::npos;) textMode.erase(at, 1);
    EXPECT_FALSE(DecodeConfig(textMode).ok);
    EXPECT_FALSE(DecodeConfig(file.substr(0, file.size() - 1)).ok);
    std::string flipped = file;
    flipped[200] = static_cast<char>(flipped[200] ^ 1);
    EXPECT_NE(DecodeConfig(flipped).reason.find("CRC"), std::string::npos);
    EXPECT_FALSE(DecodeConfig("<HTML><BODY>login</BODY></HTML>").ok);
    EXPECT_FALSE(DecodeConfig(test::MakeFirmwareImage(1)).ok);
}

TEST(SimRequestHead, KeepsHeaderOrderAndRefusesBrokenHeads) {
    RequestHead head;
    std::string reason;
    ASSERT_TRUE(ParseRequestHead("POST /command/inquiry.cgi?x=1 HTTP/1.1\r\nZeta: 1\r\nalpha:  two \r\nZeta: 3", head, reason));
    EXPECT_EQ(head.method, "POST");
    EXPECT_EQ(head.path, "/command/inquiry.cgi");
    EXPECT_EQ(head.target, "/command/inquiry.cgi?x=1");
    ASSERT_EQ(head.headers.size(), 3u);
    EXPECT_EQ(head.headers[0], (std::pair<std::string, std::string>{"Zeta", "1"}));
    EXPECT_EQ(head.headers[1], (std::pair<std::string, std::string>{"alpha", "two"}));
    EXPECT_FALSE(ParseRequestHead("GET / HTTP/1.1\nHost: x", head, reason));
    EXPECT_FALSE(ParseRequestHead("GET /  HTTP/1.1", head, reason));
    EXPECT_FALSE(ParseRequestHead("GET / HTTP/2", head, reason));
    EXPECT_FALSE(ParseRequestHead("GET / HTTP/1.1\r\nNoColon", head, reason));
}

TEST(SimRequestHead, FramesBodiesByContentLengthOnly) {
    RequestHead head;
    head.headers = {{"Content-Length", "12"}, {"content-length", "12"}};
    EXPECT_EQ(FindBodyLength(head).length, 12u);
    head.headers = {{"Content-Length", "12"}, {"Content-Length", "13"}};
    EXPECT_FALSE(FindBodyLength(head).ok);
    head.headers = {{"Content-Length", "-1"}};
    EXPECT_FALSE(FindBodyLength(head).ok);
    head.headers = {{"Transfer-Encoding", "chunked"}};
    EXPECT_FALSE(FindBodyLength(head).ok);
    EXPECT_EQ(FindBodyLength(head).status, 411);
    head.headers = {};
    EXPECT_TRUE(FindBodyLength(head).ok);
    head.version = "HTTP/1.1";
    EXPECT_TRUE(WantsKeepAlive(head));
    head.headers = {{"Connection", "Keep-Alive"}};
    EXPECT_TRUE(WantsKeepAlive(head));
    head.headers = {{"Connection", "close"}};
    EXPECT_FALSE(WantsKeepAlive(head));
    head.version = "HTTP/1.0";
    head.headers = {};
    EXPECT_FALSE(WantsKeepAlive(head));
}

TEST(SimRequestHead, ShapedAnswerCarriesTheFrontsConnectionDecision) {
    const std::string raw = "HTTP/1.1 401 Unauthorized\r\nConnection: close\r\nKeep-Alive: timeout=5\r\n"
                            "WWW-Authenticate: Basic realm=\"QRV-K7\"\r\nContent-Length: 2\r\n\r\nno";
    const auto shaped = ShapeResponse(raw, true);
    ASSERT_TRUE(shaped.ok);
    EXPECT_EQ(shaped.status, 401);
    EXPECT_EQ(shaped.wire, "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"QRV-K7\"\r\nContent-Length: 2\r\n"
                           "Connection: keep-alive\r\n\r\nno");
    EXPECT_NE(ShapeResponse("HTTP/1.1 200 OK\r\n\r\nabc", false).wire.find("Content-Length: 3\r\nConnection: close"),
              std::string::npos);
    EXPECT_FALSE(ShapeResponse("garbage", true).ok);
}

class SimDiscoveryReply : public ::testing::Test {
protected:
    std::vector<std::string> Replies(const std::string& line) {
        std::vector<CameraSetup> setups;
        std::string error;
        EXPECT_TRUE(ParseFleet(line, setups, error)) << error;
        Camera camera(setups.at(0), log_, scheduler_, 1.0);
        return DiscoveryReplies(camera);
    }
    EventLog log_;
    Scheduler scheduler_;
};

TEST_F(SimDiscoveryReply, CarriesEveryKeyEndedBy0xFFBetweenSTXAndETX) {
    const auto replies = Replies("127.0.0.9:8081 serial=123 mac=aa:bb:cc:dd:ee:ff dhcp=on version=1.21\n");
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0], std::string("\x02MODEL:QRV-K7\xffSERIAL:123\xffMAC:aa:bb:cc:dd:ee:ff\xff"
                                      "DHCP:ON\xff" "DNSAUTO:OFF\xffIPADR:127.0.0.9\xffWEBPORT:8081\xff"
                                      "SOFTVERSION:1.21\xff\x03"));
    EXPECT_TRUE(IsAllInfoRequest(std::string("\x02" "ENQ:allinfo" "\xff\x03", 14)));
    EXPECT_FALSE(IsAllInfoRequest(std::string("\x02" "ENQ:allinfo" "\xff\x03\x00", 15)));
}

TEST_F(SimDiscoveryReply, FaultsShapeTheReplies) {
    EXPECT_TRUE(Replies("127.0.0.2 fault=disc-silent\n").empty());
    EXPECT_EQ(Replies("127.0.0.2 fault=disc-duplicate\n").size(), 2u);
    const auto odd = Replies("127.0.0.2 fault=disc-model:" + std::string(40, 'M') +
                             " fault=disc-serial:123456789012345 fault=disc-ipadr:192.168.0.300 fault=disc-webport: "
                             "fault=disc-dhcp:on fault=disc-ack-in-reply fault=disc-ack fault=disc-nak\n");
    ASSERT_EQ(odd.size(), 3u);
    EXPECT_NE(odd[0].find("MODEL:" + std::string(40, 'M') + "\xff"), std::string::npos);
    EXPECT_NE(odd[0].find("SERIAL:123456789012345\xff"), std::string::npos);
    EXPECT_NE(odd[0].find("IPADR:192.168.0.300\xff"), std::string::npos);
    EXPECT_NE(odd[0].find("WEBPORT:\xff"), std::string::npos);
    EXPECT_NE(odd[0].find("DHCP:on\xff"), std::string::npos);
    EXPECT_NE(odd[0].find("ACK:"), std::string::npos);
    EXPECT_EQ(odd[1].find("MODEL:"), std::string::npos);
    EXPECT_NE(odd[1].find("ACK:"), std::string::npos);
    EXPECT_NE(odd[2].find("NAK:"), std::string::npos);
}

TEST(SimEventLine, BytesSurviveTheJsonRoundTrip) {
    const std::string bytes("a\"b\\c\r\n\x01\x7f\xff\xfe", 11);
    JsonFields fields;
    fields.Str("reason", bytes).Int("status", 401).Bool("ok", false).Headers("headers", {{"X-A", bytes}, {"B", ""}});
    std::string line = EventLine(3, 1.5, "verdict", "127.0.0.2:80", fields);
    ASSERT_EQ(line.back(), '\n');
    line.pop_back();
    EXPECT_TRUE(std::all_of(line.begin(), line.end(), [](char c) { return c >= 0x20 && c < 0x7F; })) << line;
    const auto event = test::ParseSimEvent(line);
    ASSERT_TRUE(event.has_value());
    EXPECT_NE(line.find("\\u007f\\u00ff\\u00fe"), std::string::npos) << line;
    EXPECT_EQ(event->seq, 3u);
    EXPECT_EQ(event->time, 1.5);
    EXPECT_EQ(event->kind, "verdict");
    EXPECT_EQ(event->Field("status"), "401");
    EXPECT_EQ(event->Field("ok"), "false");
    EXPECT_EQ(event->reason, bytes);
    EXPECT_EQ(event->status, 401);
    EXPECT_FALSE(event->ok);
    ASSERT_EQ(event->headers.size(), 2u);
    EXPECT_EQ(event->headers[0].second, bytes);
    EXPECT_EQ(event->Header("x-a"), bytes);
    EXPECT_FALSE(test::ParseSimEvent(line.substr(0, line.size() - 1)).has_value());
}

}  // namespace
}  // namespace qrv::sim
