#pragma once
// Winsock must be started once per process before the first socket call.

namespace qrv::win {

// Starts Winsock 2.2 on the first call; later calls only report how that went.
bool StartWinsock();

}  // namespace qrv::win
