#pragma once
// The rows of the automatic mode's target grid, without any window: one
// GridRow per detected camera and per camera added by hand, each with its
// target flag and administrator credentials. The grid control of the window
// program shows these rows; the command line and the tests use them directly.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "batch/ListObserver.h"
#include "engine/CameraAddress.h"

namespace qrv {

// At most this many cameras take part in one automatic run.
inline constexpr int kMaxListedCameras = 256;

// "a.b.c.d" for port 80, else "a.b.c.d:port".
std::u16string FormatAddress(const AddressBytes& ip, int port);
// The 8-bit form the camera client takes.
std::string FormatAddress8(const AddressBytes& ip, int port);

// The result of a row's last login check; it picks the row's background.
enum class CheckResult { None = 0, Failed = 1, Passed = 2 };

// The grid's columns, left to right.
enum class GridColumn { Target = 0, Mac, Address, Model, Serial, Version, Name, Count };

struct GridRow {
    int key = 0;      // the row's identity: never reused, kept across sorts
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
    CheckResult checkResult = CheckResult::None;
};

// The text a column shows for a row (empty for the check-box column).
std::u16string GridColumnText(const GridRow& row, GridColumn column);
// The address cell's tooltip: the real address of a row shown as "DHCP", else empty.
std::u16string AddressTip(const GridRow& row);
// The camera's web page: "http://a.b.c.d/" for port 80, else "http://a.b.c.d:port/".
std::u16string WebPageUrl(const AddressBytes& ip, int port);

// Width of a text in pixels, as the window that draws it measures it.
using TextWidth = std::function<int(std::u16string_view)>;
// The text unchanged when it fits `columnWidth` with `margin` to spare; else
// the longest prefix (at least one character) that fits with "..." appended.
std::u16string ShortenToFit(const std::u16string& text, int columnWidth, int margin, const TextWidth& width);
// The margin the camera lists keep inside each column.
inline constexpr int kTextMargin = 12;

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
    std::u16string mac;  // empty for a camera that was not discovered
};

class TargetGrid {
public:
    // Told of every row added, removed or changed (a window's model); sorting
    // is not told: whoever sorts tells its views.
    void SetObserver(ListObserver* observer) { observer_ = observer; }

    // Appends a row unless one with the same MAC is there (or, for a row
    // without a MAC, one with the same serial; a row with neither is added
    // only to an empty grid). Returns whether the row was added.
    bool AddRow(int position, const std::u16string& mac, const std::u16string& addressText,
                const std::u16string& model, const std::u16string& serial, const std::u16string& version,
                const AddressBytes& ip, int port, int tag);
    void DeleteAllRows();

    int RowCount() const { return static_cast<int>(rows_.size()); }
    const GridRow& Row(int row) const { return rows_.at(row); }
    const std::vector<GridRow>& Rows() const { return rows_; }

    void SetTarget(int row, bool target);
    void SetCredentials(int row, const std::u16string& name, const std::u16string& password);
    void SetCheckResult(int row, CheckResult result);
    void SetMac(int row, const std::u16string& mac);

    // The row's values for the progress list; `target` tells whether the row
    // is a target.
    UpgradeTarget GetUpgradeTarget(int row, bool& target) const;
    AddressBytes GetAddressBytes(int row) const { return rows_.at(row).ip; }
    // At least one target, and every target has a name and a password.
    bool TargetsHaveCredentials() const;
    // Position of the row with this key, or -1 once it is gone.
    int FindRow(int key) const;

    // ---- target flags ------------------------------------------------------------
    // A press on the check box of row `pressed`; `selected` holds the rows
    // selected before the press. One selected row, or a press outside the
    // selection: the pressed row's flag flips. Otherwise every selected row
    // takes the inverse of the pressed row's flag.
    void PressCheckBox(int pressed, const std::vector<int>& selected);
    // Space released on the focused row: when it is selected, every selected
    // row takes the inverse of its flag. Returns whether anything changed.
    bool PressSpace(int focused, const std::vector<int>& selected);

    // ---- sorting -----------------------------------------------------------------
    // A press on the header of `column`: the same column again flips the
    // direction, another one sorts ascending. Column 0 orders by target flag
    // (non-targets first when ascending) and leaves the rows alone when all
    // flags agree; columns 1..6 compare their texts code unit by code unit.
    // `keep` holds row positions the view wants to keep (its selection and
    // focus); they come back as the same rows' new positions. Ids follow the
    // new positions. Returns whether the rows were reordered.
    bool SortByColumn(int column, std::vector<int>& keep);
    int SortColumn() const { return sortColumn_; }
    bool SortAscending() const { return ascending_; }

private:
    bool IsDuplicate(const std::u16string& mac, const std::u16string& serial) const;
    void RowChanged(int row);

    ListObserver* observer_ = nullptr;
    std::vector<GridRow> rows_;
    int nextKey_ = 1;
    int sortColumn_ = -1;
    bool ascending_ = true;
};

}  // namespace qrv
