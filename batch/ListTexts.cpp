#include "batch/ListTexts.h"

#include "engine/JobStage.h"
#include "resources/MessageTable.h"

namespace qrv {

namespace {

// Message numbers of the outcomes of stages 9 to 16.
int OutcomeMessage(int stage) {
    static constexpr int kNumbers[] = {315, 316, 317, 318, 355, 356, 370, 371};
    return stage >= kCompleted && stage <= kError7 ? kNumbers[stage - kCompleted] : 0;
}

// A missing item shows nothing rather than a box per tick.
std::u16string Message(int number) { return number ? ProgramMessages().Text(number, nullptr) : std::u16string(); }

}  // namespace

std::u16string ListStageText(int stage) { return Message(ListStageMessage(stage)); }

std::u16string OutcomeText(int stage) { return Message(OutcomeMessage(stage)); }

std::u16string WithoutVerPrefix(std::u16string version) {
    if (version.starts_with(u"ver")) version.erase(0, 3);
    return version;
}

std::u16string ResultLine(const std::u16string& model, const std::u16string& addressText, bool dhcp, int progress,
                          int result) {
    if (progress == 0) return {};
    const std::u16string outcome = OutcomeText(result);
    if (outcome.empty()) return {};
    return model + (dhcp ? u"(DHCP:" : u"(") + addressText + u") " + outcome;
}

}  // namespace qrv
