// Deciding about a camera from its replies: supported model, version texts,
// emergency state and administrator rights, with the boxes a user would see in
// manual mode and the stage codes of automatic mode.

#include <gtest/gtest.h>

#include "engine/CameraClient.h"
#include "engine/JobStage.h"
#include "platform/HeadlessOwner.h"

namespace qrv {
namespace {

const ModelList kModels = {"QRV-K7", "QRV-K7N", "QRV-K7P"};
const std::string kAdmin = "YWRtaW46YWRtaW4=";  // admin:admin

struct Checks : ::testing::Test {
    HeadlessOwner owner;
    CameraClient client{owner, "127.0.0.2", kAdmin, kModels};
    std::atomic<int> counter{0};

    void MakeAutomatic() { client.SetProgress(nullptr, &counter); }
    MessageBox OnlyBox() const {
        EXPECT_EQ(owner.Boxes().size(), 1u);
        return owner.Boxes().empty() ? MessageBox{} : owner.Boxes().back();
    }
};

TEST_F(Checks, ModelMustMatchExactlyAndTheRefusalNamesTheFirstModel) {
    EXPECT_TRUE(client.CheckModel(u"ModelName=QRV-K7P&SoftVersion=1.20", true));
    EXPECT_FALSE(client.CheckModel(u"ModelName=qrv-k7&SoftVersion=1.20", false));
    EXPECT_FALSE(client.CheckModel(u"ModelName=QRV-K7X&SoftVersion=1.20", false));
    EXPECT_TRUE(owner.Boxes().empty()) << "no box without show";
    EXPECT_FALSE(client.CheckModel(u"ModelName=QRV-K70", true));
    const MessageBox box = OnlyBox();
    EXPECT_EQ(box.text, u"This program works for the QRV-K7. Please select the correct camera.");
    EXPECT_EQ(box.caption, u"Information");
    EXPECT_EQ(box.icon, BoxIcon::Exclamation);
}

TEST_F(Checks, EmptyReplyIsRefusedLikeAnUnknownModel) {
    EXPECT_FALSE(client.CheckModel(u"", true));
    EXPECT_EQ(OnlyBox().text, u"This program works for the QRV-K7. Please select the correct camera.");
}

TEST_F(Checks, FirstCheckFillsBothVersionsLaterChecksMoveOnlyVersionNow) {
    ASSERT_TRUE(client.CheckModel(u"ModelName=QRV-K7&SoftVersion=1.20", false));
    EXPECT_EQ(client.VersionBefore(), u"ver1.20");
    EXPECT_EQ(client.VersionNow(), u"ver1.20");
    ASSERT_TRUE(client.CheckModel(u"ModelName=QRV-K7&SoftVersion=1.30", false));
    EXPECT_EQ(client.VersionBefore(), u"ver1.20");
    EXPECT_EQ(client.VersionNow(), u"ver1.30");
    EXPECT_FALSE(client.IsEmergency());
}

TEST_F(Checks, EmergencyCameraIsUnknownAndFlagged) {
    std::u16string model, serial;
    ASSERT_TRUE(client.ReadIdentity(u"ModelName=QRV-K7&Serial=E1&SoftVersion=emergency", model, serial, true));
    EXPECT_EQ(model, u"QRV-K7");
    EXPECT_EQ(serial, u"E1");
    EXPECT_EQ(client.VersionBefore(), u"unknown");
    EXPECT_TRUE(client.IsEmergency());
    ASSERT_TRUE(client.CheckModel(u"ModelName=QRV-K7&SoftVersion=1.30", false));
    EXPECT_EQ(client.VersionNow(), u"ver1.30");
}

TEST_F(Checks, ReadIdentityHandsOutModelAndSerialOnlyForSupportedModels) {
    std::u16string model, serial = u"stale";
    EXPECT_FALSE(client.ReadIdentity(u"ModelName=OTHER&Serial=9", model, serial, true));
    EXPECT_EQ(model, u"OTHER");
    EXPECT_EQ(serial, u"");
    EXPECT_EQ(OnlyBox().text, u"This program works for the QRV-K7. Please select the correct camera.");
    EXPECT_TRUE(client.VersionBefore().empty());
}

TEST_F(Checks, AdministratorMatchesAfterPercentThreeDBecomesEquals) {
    EXPECT_TRUE(client.CheckAdministrator(u"Administrator=YWRtaW46YWRtaW4%3D&User1=x"));
    EXPECT_TRUE(client.CheckAdministrator(u"Administrator=YWRtaW46YWRtaW4="));
    EXPECT_TRUE(owner.Boxes().empty());
}

TEST_F(Checks, ManualRefusalsShowTheirBoxes) {
    EXPECT_FALSE(client.CheckAdministrator(u"401 Unauthorized"));
    EXPECT_FALSE(client.CheckAdministrator(u"User1=abc"));
    EXPECT_FALSE(client.CheckAdministrator(u"Administrator=b3RoZXI6b3RoZXI%3D"));
    const std::vector<MessageBox> boxes = owner.Boxes();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].text, u"Please enter correct user name and password for the administrator.");
    EXPECT_EQ(boxes[1].text, u"Cannot find the camera. (The camera may be turned off.)");
    EXPECT_EQ(boxes[2].text, u"Level 4 users other than Administrator cannot run the program.");
    for (const MessageBox& box : boxes) {
        EXPECT_EQ(box.caption, u"Information");
        EXPECT_EQ(box.icon, BoxIcon::Exclamation);
    }
    EXPECT_EQ(client.Stage(), kStandby);
}

TEST_F(Checks, AutomaticRefusalsAreStageCodesWithoutBoxes) {
    MakeAutomatic();
    EXPECT_FALSE(client.CheckAdministrator(u"401 Unauthorized"));
    EXPECT_EQ(client.Stage(), kError3);
    EXPECT_FALSE(client.CheckAdministrator(u"User1=abc"));
    EXPECT_EQ(client.Stage(), kError1);
    EXPECT_FALSE(client.CheckAdministrator(u"Administrator=b3RoZXI6b3RoZXI%3D"));
    EXPECT_EQ(client.Stage(), kError3);
    EXPECT_TRUE(owner.Boxes().empty());
}

}  // namespace
}  // namespace qrv
