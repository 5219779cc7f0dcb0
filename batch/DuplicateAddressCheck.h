#pragma once
// Two cameras that share an address cannot both be upgraded: the check over
// the target grid names every shared address and blocks the automatic mode.

#include <optional>
#include <string>

#include "batch/TargetGrid.h"
#include "platform/OwnerPort.h"

namespace qrv {

// The message that lists the shared addresses ("#a.b.c.d\r\n" per pair of
// rows with equal address bytes), or nothing when every address is unique.
std::optional<std::u16string> DuplicateAddressMessage(const TargetGrid& grid);

// True when no two rows share an address, or while relaxed addressing is on.
// Otherwise shows the message (caption "Error", stop icon) through `owner`
// when one is given, and returns false.
bool CheckDuplicateAddresses(const TargetGrid& grid, bool relaxedAddressing, OwnerPort* owner);

}  // namespace qrv
