#pragma once
// The stage code of a camera's upgrade job. Codes above kReconfiguring are final.

namespace qrv {

enum JobStage : int {
    kStandby = 0,
    kPrepare = 1,
    kSavingConfig = 2,
    kUploading = 3,
    kOverwriting = 4,
    kSearching = 5,
    kRebooting = 6,
    kLoadingConfig = 7,
    kReconfiguring = 8,
    kCompleted = 9,
    kError1 = 10,  // network error, camera not found
    kError2 = 11,  // the camera came back with another version
    kError3 = 12,  // refused credentials or not the administrator
    kError4 = 13,
    kError5 = 14,
    kError6 = 15,  // the configuration could not be saved
    kError7 = 16,  // the configuration could not be restored
};

inline bool IsFinalStage(int stage) { return stage > kReconfiguring; }

}  // namespace qrv

namespace qrv {

// Number of the message that names `stage` on the manual progress page, or 0
// when that page shows nothing for it (0) or keeps its previous text (errors).
inline int ManualStageMessage(int stage) {
    static constexpr int kNumbers[] = {0, 361, 360, 323, 320, 319, 322, 357, 359, 321};
    return stage >= 0 && stage <= kCompleted ? kNumbers[stage] : 0;
}

// Number of the message that names `stage` in the automatic lists; 0 for an
// unknown code.
inline int ListStageMessage(int stage) {
    static constexpr int kNumbers[] = {258, 376, 363, 259, 260, 261, 262, 364, 365,
                                       263, 264, 265, 257, 354, 358, 367, 369};
    return stage >= 0 && stage <= kError7 ? kNumbers[stage] : 0;
}

}  // namespace qrv
