#pragma once
// Message numbers the engine shows and a helper that puts a box up through the
// owner port with a numbered caption.

#include <string>

#include "platform/OwnerPort.h"

namespace qrv {

enum MessageNumber : int {
    kMsgError = 139,             // caption "Error"
    kMsgInformation = 203,       // caption "Information"
    kMsgVersionUpError = 206,    // "Version up error."
    kMsgProceed = 209,           // "Proceed to the firmware upgrade?"
    kMsgCameraNotFound = 212,    // "Cannot find the camera. (The camera may be turned off.)"
    kMsgNetworkError = 225,      // "Network error occurred.\r\nPlease retry ..."
};

// The text of a numbered message (empty when the table lacks it).
std::u16string MessageText(int number, OwnerPort& owner);

// Shows `text` under the caption of message `captionNumber`.
BoxAnswer ShowBox(OwnerPort& owner, const std::u16string& text, int captionNumber, BoxIcon icon,
                  BoxButtons buttons = BoxButtons::Ok);

}  // namespace qrv
