#pragma once
// What happens to a camera's settings across the upgrade, from the two check
// boxes "&Retain the current settings" and "Backup the current &settings".

namespace qrv {

enum class SetupDataMode {
    Discard,  // neither saved nor restored
    Retain,   // saved, restored, then the .cfg file is deleted
    Backup,   // saved and restored; the .cfg file stays
};

inline SetupDataMode MakeSetupDataMode(bool retain, bool backup) {
    if (!retain) return SetupDataMode::Discard;
    return backup ? SetupDataMode::Backup : SetupDataMode::Retain;
}

}  // namespace qrv
