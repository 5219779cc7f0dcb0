#include "engine/EngineMessages.h"

#include "resources/MessageTable.h"

namespace qrv {

std::u16string MessageText(int number, OwnerPort& owner) { return ProgramMessages().Text(number, &owner); }

BoxAnswer ShowBox(OwnerPort& owner, const std::u16string& text, int captionNumber, BoxIcon icon, BoxButtons buttons) {
    return owner.ShowMessageBox(MessageBox{text, MessageText(captionNumber, owner), icon, buttons});
}

}  // namespace qrv
