#pragma once
// The rows of the automatic mode's target grid, without any window: one
// GridRow per detected camera and per camera added by hand, each with its
// target flag and administrator credentials. The grid control of the window
// program shows these rows; the command line and the tests use them directly.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace qrv {

using AddressBytes = std::array<std::uint8_t, 4>;

inline constexpr int kDefaultHttpPort = 80;
// At most this many cameras take part in one automatic run.
inline constexpr int kMaxListedCameras = 256;

// "a.b.c.d" for port 80, else "a.b.c.d:port".
std::u16string FormatAddress(const AddressBytes& ip, int port);
// The 8-bit form the camera client takes.
std::string FormatAddress8(const AddressBytes& ip, int port);

struct GridRow {
    int id = 0;       // equals the row's position
    int tag = 0;      // handed to AddRow, not interpreted
    int target = 1;   // the check box
    std::u16string text0;
    std::u16string mac;
    std::u16string addressText;  // "a.b.c.d", "a.b.c.d:port" or "DHCP"
    std::u16string model;
    std::u16string serial;
    std::u16string version;
    std::u16string name;      // administrator name
    std::u16string password;  // administrator password
    AddressBytes ip{};
    int port = kDefaultHttpPort;
    int checkResult = 0;  // 0 no login check yet, 1 failed, 2 passed
    int selected = 0;
    int focused = 0;
};

// What the progress list takes from one grid row.
struct UpgradeTarget {
    std::u16string name;
    std::u16string password;
    std::u16string model;
    std::u16string version;
    std::u16string serial;
    AddressBytes ip{};
    int port = kDefaultHttpPort;
    bool dhcp = false;
};

class TargetGrid {
public:
    // Appends a row unless one with the same MAC is there (or, for a row
    // without a MAC, one with the same serial; a row with neither is added
    // only to an empty grid). Returns whether the row was added.
    bool AddRow(int position, const std::u16string& mac, const std::u16string& addressText,
                const std::u16string& model, const std::u16string& serial, const std::u16string& version,
                const AddressBytes& ip, int port, int tag);
    void DeleteAllRows() { rows_.clear(); }

    int RowCount() const { return static_cast<int>(rows_.size()); }
    const GridRow& Row(int row) const { return rows_.at(row); }
    const std::vector<GridRow>& Rows() const { return rows_; }

    void SetTarget(int row, bool target) { rows_.at(row).target = target ? 1 : 0; }
    void SetCredentials(int row, const std::u16string& name, const std::u16string& password);
    void SetCheckResult(int row, int result) { rows_.at(row).checkResult = result; }
    void SetMac(int row, const std::u16string& mac) { rows_.at(row).mac = mac; }

    // The row's values for the progress list; `target` tells whether the row
    // is a target.
    UpgradeTarget GetUpgradeTarget(int row, bool& target) const;
    AddressBytes GetAddressBytes(int row) const { return rows_.at(row).ip; }
    // At least one target, and every target has a name and a password.
    bool TargetsHaveCredentials() const;

private:
    bool IsDuplicate(const std::u16string& mac, const std::u16string& serial) const;

    std::vector<GridRow> rows_;
};

}  // namespace qrv
