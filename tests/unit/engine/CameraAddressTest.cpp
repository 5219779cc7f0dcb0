// Camera addresses as the user types them and as every list shows them.

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "engine/CameraAddress.h"

namespace qrv {
namespace {

struct AddressCase {
    const char* text;
    std::optional<CameraAddress> parsed;  // nothing: refused
    const char* shown = "";               // Text8 of the parsed address
};

TEST(CameraAddress, ParsesTheDottedFormAndShowsPort80WithoutSuffix) {
    const AddressCase cases[] = {
        {"192.168.0.100", CameraAddress{{192, 168, 0, 100}, 80}, "192.168.0.100"},
        {"0.0.0.0", CameraAddress{{0, 0, 0, 0}, 80}, "0.0.0.0"},
        {"255.255.255.255", CameraAddress{{255, 255, 255, 255}, 80}, "255.255.255.255"},
        // Port 80 given explicitly is still shown without it.
        {"10.1.2.3:80", CameraAddress{{10, 1, 2, 3}, 80}, "10.1.2.3"},
        {"10.1.2.3:0080", CameraAddress{{10, 1, 2, 3}, 80}, "10.1.2.3"},
        // Explicit ports at the edges of 1024..65535.
        {"10.1.2.3:1023", std::nullopt},
        {"10.1.2.3:1024", CameraAddress{{10, 1, 2, 3}, 1024}, "10.1.2.3:1024"},
        {"10.1.2.3:01024", CameraAddress{{10, 1, 2, 3}, 1024}, "10.1.2.3:1024"},
        {"10.1.2.3:65535", CameraAddress{{10, 1, 2, 3}, 65535}, "10.1.2.3:65535"},
        {"10.1.2.3:65536", std::nullopt},
        {"10.1.2.3:79", std::nullopt},
        {"10.1.2.3:81", std::nullopt},
        {"10.1.2.3:0", std::nullopt},
        {"10.1.2.3:008080", std::nullopt},  // more than five digits
        // Junk around the port.
        {"10.1.2.3:", std::nullopt},
        {"10.1.2.3:8080x", std::nullopt},
        {"10.1.2.3:+8080", std::nullopt},
        {"10.1.2.3:80:80", std::nullopt},
        // Octets above 255, missing, extra or malformed.
        {"256.1.1.1", std::nullopt},
        {"1.2.3.300", std::nullopt},
        {"10.1.2", std::nullopt},
        {"10.1.2.", std::nullopt},
        {"10..2.3", std::nullopt},
        {".10.1.2.3", std::nullopt},
        {"1.2.3.4.5", std::nullopt},
        {"1.2.3.4.", std::nullopt},
        {"01.2.3.4", std::nullopt},
        {"1.2.3.0004", std::nullopt},
        {"1.2.3.-4", std::nullopt},
        {" 1.2.3.4", std::nullopt},
        {"1.2.3.4 ", std::nullopt},
        {"camera.local", std::nullopt},
        {"", std::nullopt},
        {":8080", std::nullopt},
    };
    for (const AddressCase& c : cases) {
        const std::optional<CameraAddress> parsed = CameraAddress::Parse(c.text);
        EXPECT_EQ(parsed, c.parsed) << c.text;
        if (!parsed || !c.parsed) continue;
        EXPECT_EQ(parsed->Text8(), c.shown) << c.text;
        const std::string shown = c.shown;
        EXPECT_EQ(parsed->Text(), std::u16string(shown.begin(), shown.end())) << c.text;
        EXPECT_EQ(CameraAddress::Parse(parsed->Text8()), parsed) << "the shown text reads back: " << c.text;
    }
}

TEST(CameraAddress, PortRuleIs80Or1024To65535) {
    const std::pair<int, bool> ports[] = {{80, true},    {0, false},     {79, false},  {81, false},   {1023, false},
                                          {1024, true},  {8080, true},   {65535, true}, {65536, false}, {-80, false}};
    for (const auto& [port, valid] : ports) EXPECT_EQ(IsValidPort(port), valid) << port;
    // A default address is port 80 and shows no suffix.
    EXPECT_EQ(CameraAddress{}.Text8(), "0.0.0.0");
    EXPECT_EQ((CameraAddress{{127, 0, 0, 2}, 8080}.Text()), u"127.0.0.2:8080");
}

}  // namespace
}  // namespace qrv
