#pragma once
// The texts the automatic lists show for a job: the status column by stage
// code and the result line of a camera in the upgrade log.

#include <string>

namespace qrv {

// "Standby" ... "Error7" by stage code; empty for any other code.
std::u16string ListStageText(int stage);
// The upgrade log's outcome of a final stage ("Completed successfully.\r\n",
// ...); empty for any other code.
std::u16string OutcomeText(int stage);
// Removes one leading "ver" from a version text.
std::u16string WithoutVerPrefix(std::u16string version);

// "model(address) " or "model(DHCP:address) " and the outcome of `result`.
// Empty for a row whose progress is 0 (its job never ran) and for a result
// without an outcome text, so that every line of the log ends in CR LF.
std::u16string ResultLine(const std::u16string& model, const std::u16string& addressText, bool dhcp, int progress,
                          int result);

}  // namespace qrv
