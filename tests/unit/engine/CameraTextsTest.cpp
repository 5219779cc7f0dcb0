// Texts a camera conversation is made of: Base64 credentials, reply items,
// the multipart form and the stage lines.

#include <gtest/gtest.h>

#include "engine/CameraClient.h"
#include "engine/JobStage.h"
#include "engine/MultipartForm.h"
#include "engine/ReplyItem.h"
#include "resources/MessageTable.h"

namespace qrv {
namespace {

TEST(Base64Encode, MatchesTheStandardVectorsWithPadding) {
    EXPECT_EQ(CameraClient::Base64Encode(""), "");
    EXPECT_EQ(CameraClient::Base64Encode("f"), "Zg==");
    EXPECT_EQ(CameraClient::Base64Encode("fo"), "Zm8=");
    EXPECT_EQ(CameraClient::Base64Encode("foo"), "Zm9v");
    EXPECT_EQ(CameraClient::Base64Encode("foob"), "Zm9vYg==");
    EXPECT_EQ(CameraClient::Base64Encode("fooba"), "Zm9vYmE=");
    EXPECT_EQ(CameraClient::Base64Encode("foobar"), "Zm9vYmFy");
    EXPECT_EQ(CameraClient::Base64Encode("admin:admin"), "YWRtaW46YWRtaW4=");
}

TEST(Base64Encode, HandlesLongInputsAndEveryByteValue) {
    // Longer than any fixed buffer a login could need; no line breaks.
    const std::string name(16, 'n');
    const std::string encoded = CameraClient::Base64Encode(name + ":" + std::string(16, 'p') + std::string(40, 'x'));
    EXPECT_EQ(encoded.size(), (73 + 2) / 3 * 4);
    EXPECT_EQ(encoded.find('\n'), std::string::npos);
    EXPECT_EQ(CameraClient::Base64Encode(std::string("\xff\xfe\x00\x80", 4)), "//4AgA==");
    // Each call has its own result: an earlier one is not overwritten.
    const std::string first = CameraClient::Base64Encode("first");
    const std::string second = CameraClient::Base64Encode("second");
    EXPECT_EQ(first, "Zmlyc3Q=");
    EXPECT_EQ(second, "c2Vjb25k");
}

TEST(ReplyItems, ValueRunsFromTheKeyToTheNextAmpersandOrTheEnd) {
    const std::u16string reply = u"ModelName=QRV-K7&SoftVersion=1.20&Serial=A123&DocType=g3";
    EXPECT_EQ(FindItem(reply, u"ModelName="), u"QRV-K7");
    EXPECT_EQ(FindItem(reply, u"SoftVersion="), u"1.20");
    EXPECT_EQ(FindItem(reply, u"DocType="), u"g3");  // last item, no '&' after it
    EXPECT_EQ(FindItem(reply, u"Administrator="), std::nullopt);
    EXPECT_EQ(FindItem(u"Serial=&x=1", u"Serial="), u"");
    // The first occurrence anywhere counts, as the cameras have always been read.
    EXPECT_EQ(FindItem(u"OldSerial=1&Serial=2", u"Serial="), u"1");
}

TEST(ReplyItems, MacAddressKeepsTheDiscoveredFormAndDocTypeDefaultsToEmpty) {
    // Colons and the camera's letter case, as discovery shows the MAC.
    EXPECT_EQ(ReadMacAddress(u"a=1&MacAddress=08:00:23:0a:bc:01&b=2"), u"08:00:23:0a:bc:01");
    EXPECT_EQ(ReadMacAddress(u"MacAddress=08:00:23:0A:BC:01"), u"08:00:23:0A:BC:01");
    EXPECT_EQ(ReadMacAddress(u"MacAddress=02-71-72-00-00-09"), u"02:71:72:00:00:09");
    EXPECT_EQ(ReadMacAddress(u"MacAddress=&b=2"), std::nullopt);
    EXPECT_EQ(ReadMacAddress(u"ModelName=QRV-K7"), std::nullopt);
    EXPECT_EQ(ReadDocType(u"ModelName=QRV-K7&SoftVersion=1.20"), u"");
    EXPECT_EQ(ReadDocType(u"DocType=g3&x=y"), u"g3");
}

TEST(MultipartFormText, FirmwareHeadAndTailAreTheCamerasFormByteForByte) {
    const MultipartForm form = MakeMultipartForm(FormKind::Firmware, 1700000000);
    const std::string boundary = "---------------------------7d1700000000";
    EXPECT_EQ(form.boundary, boundary);
    EXPECT_EQ(form.path, "/command/versionup.cgi");
    EXPECT_EQ(form.head, "\r\n" + boundary +
                             "\r\nContent-Disposition: form-data; name=\"setting_file\"; filename=\"upgrade.bin\"\r\n"
                             "Content-Type: application/octet-stream\r\n\r\n");
    EXPECT_EQ(form.tail, "\r\n" + boundary + "--\r\n\r\n");
}

TEST(MultipartFormText, ConfigurationFormDiffersOnlyInPathAndPartHeader) {
    const MultipartForm form = MakeMultipartForm(FormKind::Configuration, 42);
    const std::string boundary = std::string(27, '-') + "7d42";
    EXPECT_EQ(form.path, "/command/all-configuration.cgi");
    EXPECT_EQ(form.head, "\r\n" + boundary +
                             "\r\nContent-Disposition: form-data; name=\"Restore\"; filename=\"temp.cfg\"\r\n"
                             "Content-Type: application/octet-stream\r\n\r\n");
    EXPECT_EQ(form.tail, "\r\n" + boundary + "--\r\n\r\n");
    // Two forms of the same second share the boundary.
    EXPECT_EQ(MakeMultipartForm(FormKind::Firmware, 42).boundary, form.boundary);
}

TEST(MultipartFormText, HeadersComeInTheirFixedOrderWithTheWholeLength) {
    const MultipartForm form = MakeMultipartForm(FormKind::Firmware, 1700000000);
    const std::uint64_t image = 3348480;
    const std::vector<std::string> headers = form.Headers(image, "Authorization: Basic YWRtaW46YWRtaW4=");
    const std::vector<std::string> expected = {
        "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, "
        "application/vnd.ms-excel, application/vnd.ms-powerpoint, application/msword, */*",
        "Content-Type: multipart/form-data; boundary=---------------------------7d1700000000",
        "Accept-Encoding: gzip, deflate",
        "Connection: Keep-Alive",
        "Proxy-Connection: Keep-Alive",
        "Cache-Control: no-cache",
        "Content-Length: " + std::to_string(form.head.size() + form.tail.size() + image),
        "Authorization: Basic YWRtaW46YWRtaW4=",
    };
    EXPECT_EQ(headers, expected);
}

TEST(StageTexts, ManualPageAndListsNameEveryStage) {
    const MessageTable& messages = ProgramMessages();
    EXPECT_EQ(ManualStageMessage(kStandby), 0);
    EXPECT_EQ(messages.Text(ManualStageMessage(kUploading), nullptr), u"Uploading");
    EXPECT_EQ(messages.Text(ManualStageMessage(kSearching), nullptr), u"Missing target.(Network error) Searching now.");
    EXPECT_EQ(messages.Text(ManualStageMessage(kCompleted), nullptr), u"Completed");
    EXPECT_EQ(ManualStageMessage(kError1), 0) << "the manual page keeps its text for error codes";
    EXPECT_EQ(messages.Text(ListStageMessage(kStandby), nullptr), u"Standby");
    EXPECT_EQ(messages.Text(ListStageMessage(kSearching), nullptr), u"Searching");
    EXPECT_EQ(messages.Text(ListStageMessage(kError3), nullptr), u"Error3");
    EXPECT_EQ(messages.Text(ListStageMessage(kError7), nullptr), u"Error7");
    EXPECT_EQ(ListStageMessage(17), 0);
}

}  // namespace
}  // namespace qrv
