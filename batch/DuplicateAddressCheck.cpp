#include "batch/DuplicateAddressCheck.h"

#include "engine/EngineMessages.h"
#include "platform/Text.h"

namespace qrv {

std::optional<std::u16string> DuplicateAddressMessage(const TargetGrid& grid) {
    std::u16string lines;
    const std::vector<GridRow>& rows = grid.Rows();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        for (std::size_t j = i + 1; j < rows.size(); ++j) {
            if (rows[i].ip == rows[j].ip) lines += u"#" + FormatAddress(rows[i].ip, kDefaultHttpPort) + u"\r\n";
        }
    }
    if (lines.empty()) return std::nullopt;
    return u"There is more than one camera with the same IP address as below.\r\n" + lines +
           u"Please assign different addresses to avoid any conflict.";
}

bool CheckDuplicateAddresses(const TargetGrid& grid, bool relaxedAddressing, OwnerPort* owner) {
    if (relaxedAddressing) return true;
    const std::optional<std::u16string> message = DuplicateAddressMessage(grid);
    if (!message) return true;
    if (owner) ShowBox(*owner, *message, kMsgError, BoxIcon::Stop);
    return false;
}

}  // namespace qrv
