#include "platform/win/Winsock.h"

#include <winsock2.h>

namespace qrv::win {

bool StartWinsock() {
    // Never paired with WSACleanup: sockets live until the process ends, and
    // the system releases Winsock with it.
    static const bool started = [] {
        WSADATA data{};
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

}  // namespace qrv::win
