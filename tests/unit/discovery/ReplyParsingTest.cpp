// What one received datagram does to the discovery table: crafted replies,
// no network.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "discovery/DiscoveryService.h"
#include "discovery/ReplyFields.h"
#include "serial_protect/SerialRules.h"
#include "tests/unit/discovery/DatagramBuilder.h"

namespace qrv {
namespace {

using test::Bytes;
using test::CameraReply;
using test::Framed;

const std::vector<std::string> kModels = {"QRV-K7", "QRV-K7N", "QRV-K7P"};

class ReplyParsing : public ::testing::Test {
protected:
    void TearDown() override { ns_serial_protect::InitSerialRules(); }

    DiscoveredCamera Only() {
        const auto slots = table.Snapshot();
        EXPECT_EQ(slots.size(), 1u);
        return slots.empty() ? DiscoveredCamera{} : slots.front();
    }
    DiscoveredCamera ParseOne(std::initializer_list<test::Field> fields) {
        service.HandleDatagram(Bytes(Framed(fields)));
        return Only();
    }

    DiscoveryTable table{kModels};
    DiscoveryService service{table, nullptr};
};

TEST(ReplyFieldsTest, ValueRunsFromTheKeyToTheNextFfOrTheEndOfTheText) {
    const std::string text = Framed({{"MODEL:", "QRV-K7"}, {"SERIAL:", "1234"}}) + "MAC:00:11";
    std::array<char, 32> out{};
    ExtractField(text, "SERIAL:", out);
    EXPECT_STREQ(out.data(), "1234");
    ExtractField(text, "MAC:", out);
    EXPECT_STREQ(out.data(), "00:11") << "a value without a closing 0xFF runs to the end";
    ExtractField(text, "WEBPORT:", out);
    EXPECT_STREQ(out.data(), "") << "a missing key leaves the buffer empty";
    std::array<char, 4> narrow{'x', 'x', 'x', 'x'};
    ExtractField(text, "MODEL:", narrow);
    EXPECT_EQ(std::string(narrow.data(), 4), std::string("QRV\0", 4)) << "cut to width - 1, NUL-ended";
}

TEST(ReplyFieldsTest, KeysAreFoundByPlainSubstringSearchFirstOccurrenceWins) {
    const std::string text = "garbageSERIAL:77\xFFSERIAL:88\xFF";
    EXPECT_EQ(FieldValue(text, "SERIAL:"), "77");
    EXPECT_EQ(IsFlagOn("DHCP:ON", "DHCP:"), 1);
    EXPECT_EQ(IsFlagOn("DHCP:ONE\xFF", "DHCP:"), 0);
    EXPECT_EQ(IsFlagOn("DNSAUTO:ON\xFF", "DHCP:"), 0);
}

TEST(ReplyFieldsTest, AddressPartsKeepTheirLow8BitsAndMissingPartsStayZero) {
    using A = std::array<std::uint8_t, 4>;
    EXPECT_EQ(ParseAddressBytes("192.168.0.300"), (A{192, 168, 0, 44}));
    EXPECT_EQ(ParseAddressBytes("10.0"), (A{10, 0, 0, 0}));
    EXPECT_EQ(ParseAddressBytes(""), (A{0, 0, 0, 0}));
    EXPECT_EQ(ParseAddressBytes("1.x.3.4"), (A{1, 0, 0, 0}));
    EXPECT_EQ(ParseAddressBytes("1.2.3.4.5"), (A{1, 2, 3, 4}));
    EXPECT_EQ(ParseAddressBytes("99999999999.1.1.1"), (A{static_cast<std::uint8_t>(99999999999ull % (1ull << 32)), 1, 1, 1}));
}

TEST(ReplyFieldsTest, WebPortIsEightyWhenEmptyElseTheLeadingNumber) {
    EXPECT_EQ(ParseWebPort(""), 80);
    EXPECT_EQ(ParseWebPort("8080"), 8080);
    EXPECT_EQ(ParseWebPort("8080x"), 8080);
    EXPECT_EQ(ParseWebPort("abc"), 0);
    EXPECT_EQ(ParseWebPort("999999999999999"), INT32_MAX) << "no overflow";
}

TEST_F(ReplyParsing, EveryFieldOfAnAllInfoReplyLandsInItsSlot) {
    const DiscoveredCamera camera = ParseOne({{"MODEL:", "QRV-K7N"},
                                              {"SERIAL:", "5001234"},
                                              {"MAC:", "00:80:45:12:34:56"},
                                              {"DHCP:", "ON"},
                                              {"DNSAUTO:", "ON"},
                                              {"IPADR:", "10.1.2.3"},
                                              {"WEBPORT:", "8080"},
                                              {"SOFTVERSION:", "1.20"}});
    EXPECT_EQ(FieldText(camera.model), "QRV-K7N");
    EXPECT_EQ(FieldText(camera.serial), "5001234");
    EXPECT_EQ(FieldText(camera.mac), "00:80:45:12:34:56");
    EXPECT_EQ(FieldText(camera.version), "1.20");
    EXPECT_EQ(camera.ip, (std::array<std::uint8_t, 4>{10, 1, 2, 3}));
    EXPECT_EQ(camera.port, 8080);
    EXPECT_EQ(camera.dhcp, 1);
    EXPECT_EQ(camera.dnsauto, 1);
    EXPECT_EQ(AddressText(camera), "10.1.2.3:8080");
}

TEST_F(ReplyParsing, TheSlotNamesTheInterfaceOfTheLatestReply) {
    const std::string reply = Framed({{"MODEL:", "QRV-K7"}, {"MAC:", "m1"}});
    struct Case {
        std::string interfaceName, stored;
    };
    const Case cases[] = {
        {"", ""},
        {"eth0", "eth0"},
        {"qrvseg1", "qrvseg1"},
        {"fifteen-letters", "fifteen-letters"},
        {"sixteen-letters!", "sixteen-letters"},  // cut to the slot's width less one
        {"lo", "lo"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(service.HandleDatagram(Bytes(reply), c.interfaceName), DiscoveryService::DatagramKind::AllInfo);
        EXPECT_EQ(FieldText(Only().interfaceName), c.stored) << c.interfaceName;
    }
    EXPECT_EQ(table.Count(), 1) << "one camera, one slot, whatever the interface";
}

TEST_F(ReplyParsing, WebPortEmptyOrMissingGivesEighty) {
    EXPECT_EQ(ParseOne({{"MODEL:", "QRV-K7"}, {"MAC:", "m1"}, {"WEBPORT:", ""}}).port, 80);
    EXPECT_EQ(ParseOne({{"MODEL:", "QRV-K7"}, {"MAC:", "m1"}}).port, 80);
    EXPECT_EQ(AddressText(Only()), "0.0.0.0");
}

TEST_F(ReplyParsing, OnlyAnUpperCaseOnSetsAFlag) {
    EXPECT_EQ(ParseOne({{"MODEL:", "QRV-K7"}, {"MAC:", "m1"}, {"DHCP:", "ON"}}).dhcp, 1);
    EXPECT_EQ(ParseOne({{"MODEL:", "QRV-K7"}, {"MAC:", "m1"}, {"DHCP:", "on"}}).dhcp, 0);
    EXPECT_EQ(ParseOne({{"MODEL:", "QRV-K7"}, {"MAC:", "m1"}, {"DHCP:", "OFF"}}).dhcp, 0);
    EXPECT_EQ(ParseOne({{"MODEL:", "QRV-K7"}, {"MAC:", "m1"}, {"DNSAUTO:", "ON"}}).dnsauto, 1);
    EXPECT_EQ(ParseOne({{"MODEL:", "QRV-K7"}, {"MAC:", "m1"}}).dnsauto, 0);
}

TEST_F(ReplyParsing, LongTextsAreCutToTheirSlotWidths) {
    const DiscoveredCamera camera = ParseOne({{"MODEL:", "QRV-K7"},
                                              {"SERIAL:", "123456789012345"},
                                              {"MAC:", "00:80:45:12:34:56:78:9a"},
                                              {"SOFTVERSION:", "1.20.3456789012345"}});
    EXPECT_EQ(FieldText(camera.serial), "12345678901");
    EXPECT_EQ(FieldText(camera.mac), "00:80:45:12:34:56");
    EXPECT_EQ(FieldText(camera.version), "1.20.3456789012");
}

TEST_F(ReplyParsing, AFortyCharacterModelIsJudgedByItsFirst31Characters) {
    const std::string forty(40, 'M');
    service.HandleDatagram(Bytes(CameraReply("m1", "1", forty)));
    EXPECT_EQ(table.Count(), 0) << "unlisted model";
    table.SetModels({"QRV-K7", std::string(31, 'M')});
    service.HandleDatagram(Bytes(CameraReply("m1", "1", forty)));
    EXPECT_EQ(FieldText(Only().model), std::string(31, 'M'));
}

TEST_F(ReplyParsing, TheSerialRuleSeesUpTo31CharactersButTheSlotKeeps11) {
    ns_serial_protect::InitSerialRules("allow,deny", "123456789012345", "none");
    service.HandleDatagram(Bytes(CameraReply("m1", "12345678901")));
    EXPECT_EQ(table.Count(), 0) << "the 11-character cut is not what the rule judges";
    service.HandleDatagram(Bytes(CameraReply("m2", "123456789012345")));
    EXPECT_EQ(FieldText(Only().serial), "12345678901");
}

TEST_F(ReplyParsing, UnsupportedModelOrRefusedSerialLeavesTheTableUnchanged) {
    service.HandleDatagram(Bytes(CameraReply("m1", "1000001")));
    const auto before = table.Snapshot();
    service.HandleDatagram(Bytes(CameraReply("m2", "1000002", "QRV-X1")));
    service.HandleDatagram(Bytes(CameraReply("m1", "1000003", "qrv-k7")));
    ns_serial_protect::InitSerialRules("allow,deny", "all", "9999999");
    service.HandleDatagram(Bytes(CameraReply("m1", "9999999")));
    service.HandleDatagram(Bytes(CameraReply("m3", "9999999")));
    EXPECT_EQ(table.Snapshot(), before);
}

TEST_F(ReplyParsing, ModelListEndsAtItsFirstEmptyNameAndAfterTenNames) {
    table.SetModels({"A", "", "QRV-K7"});
    service.HandleDatagram(Bytes(CameraReply("m1", "1", "QRV-K7")));
    EXPECT_EQ(table.Count(), 0);
    std::vector<std::string> eleven(10, "X");
    eleven.push_back("QRV-K7");
    table.SetModels(eleven);
    service.HandleDatagram(Bytes(CameraReply("m1", "1", "QRV-K7")));
    EXPECT_EQ(table.Count(), 0);
    service.HandleDatagram(Bytes(CameraReply("m1", "1", "")));
    EXPECT_EQ(table.Count(), 0) << "an empty model is never supported";
}

TEST_F(ReplyParsing, KindsAreToldApartModelFirstThenAckOrNak) {
    using Kind = DiscoveryService::DatagramKind;
    EXPECT_EQ(service.HandleDatagram(Bytes("\x02" "ACK:allinfo\xFF\x03")), Kind::Acknowledgement);
    EXPECT_EQ(service.HandleDatagram(Bytes("\x02" "NAK:allinfo\xFF\x03")), Kind::Acknowledgement);
    EXPECT_EQ(service.HandleDatagram(Bytes("\x02" "ENQ:allinfo\xFF\x03")), Kind::Other);
    EXPECT_EQ(table.Count(), 0);
    const std::string both = Framed({{"ACK:", "allinfo"}, {"MODEL:", "QRV-K7"}, {"MAC:", "m1"}});
    EXPECT_EQ(service.HandleDatagram(Bytes(both)), Kind::AllInfo);
    EXPECT_EQ(FieldText(Only().mac), "m1");
}

TEST_F(ReplyParsing, TheTextEndsAtTheFirstNulByte) {
    std::string reply = Framed({{"MODEL:", "QRV-K7"}, {"MAC:", "m1"}});
    reply += std::string("\0SOFTVERSION:9.99\xFF", 18);
    service.HandleDatagram(Bytes(reply));
    EXPECT_EQ(FieldText(Only().version), "");
    service.HandleDatagram(Bytes(std::string("\0MODEL:QRV-K7\xFFMAC:m2\xFF", 21)));
    EXPECT_EQ(table.Count(), 1);
}

TEST_F(ReplyParsing, AFullBufferWithoutNulIsReadToItsLastByteOnly) {
    // Exactly the receive buffer's size and no NUL: the MAC value runs to the
    // last byte; reading further would run off the buffer.
    std::string reply = Framed({{"MODEL:", "QRV-K7"}}) + "MAC:";
    reply.resize(DiscoveryService::kDatagramBuffer, 'a');
    std::vector<std::uint8_t> exact(reply.begin(), reply.end());
    service.HandleDatagram(exact);
    EXPECT_EQ(FieldText(Only().mac), std::string(17, 'a'));
}

TEST_F(ReplyParsing, SameMacTakesOneSlotAndTheLastReplyWins) {
    service.HandleDatagram(Bytes(CameraReply("00:00:00:00:00:01", "1000001")));
    service.HandleDatagram(Bytes(CameraReply("00:00:00:00:00:02", "1000002")));
    service.HandleDatagram(Bytes(Framed({{"MODEL:", "QRV-K7P"},
                                         {"SERIAL:", "1000009"},
                                         {"MAC:", "00:00:00:00:00:01"},
                                         {"DHCP:", "ON"},
                                         {"IPADR:", "10.0.0.9"},
                                         {"WEBPORT:", "8080"},
                                         {"SOFTVERSION:", "1.30"}})));
    const auto slots = table.Snapshot();
    ASSERT_EQ(slots.size(), 2u);
    EXPECT_EQ(FieldText(slots[0].model), "QRV-K7P");
    EXPECT_EQ(FieldText(slots[0].serial), "1000009");
    EXPECT_EQ(FieldText(slots[0].version), "1.30");
    EXPECT_EQ(slots[0].dhcp, 1);
    EXPECT_EQ(slots[0].dnsauto, 0) << "a refresh overwrites every field, also with absent ones";
    EXPECT_EQ(AddressText(slots[0]), "10.0.0.9:8080");
    EXPECT_EQ(FieldText(slots[1].serial), "1000002");
}

TEST_F(ReplyParsing, A257thCameraIsDroppedAndKnownCamerasStillRefresh) {
    for (int i = 0; i < 257; ++i) {
        service.HandleDatagram(Bytes(CameraReply("mac" + std::to_string(i), std::to_string(1000000 + i))));
    }
    const auto slots = table.Snapshot();
    ASSERT_EQ(slots.size(), 256u);
    EXPECT_EQ(FieldText(slots[255].mac), "mac255");
    service.HandleDatagram(Bytes(CameraReply("mac7", "7777777")));
    EXPECT_EQ(FieldText(table.Snapshot()[7].serial), "7777777");
    EXPECT_EQ(table.Count(), 256);
}

TEST_F(ReplyParsing, AReplyWithoutMacIsIgnored) {
    service.HandleDatagram(Bytes(Framed({{"MODEL:", "QRV-K7"}, {"SERIAL:", "1"}})));
    service.HandleDatagram(Bytes(Framed({{"MODEL:", "QRV-K7"}, {"MAC:", ""}})));
    EXPECT_EQ(table.Count(), 0);
    service.HandleDatagram(Bytes(CameraReply("m1")));
    EXPECT_EQ(table.Count(), 1);
}

TEST(DiscoveryRequest, IsTheFourteenAllInfoBytes) {
    const std::array<std::uint8_t, 14> expected = {0x02, 0x45, 0x4E, 0x51, 0x3A, 0x61, 0x6C,
                                                   0x6C, 0x69, 0x6E, 0x66, 0x6F, 0xFF, 0x03};
    EXPECT_EQ(DiscoveryService::AllInfoRequest(), expected);
}

}  // namespace
}  // namespace qrv
