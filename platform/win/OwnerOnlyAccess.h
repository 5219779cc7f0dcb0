#pragma once
// Windows' form of mode 0700 and 0600: a protected access list that lets the
// current user, the system and the administrators in, and no one else
// (nothing is inherited from the parent folder).

#include <windows.h>

#include <memory>
#include <string>

namespace qrv::win {

class OwnerOnlyAccess {
public:
    // Empty (Valid() false) when the current user's identity cannot be read.
    static const OwnerOnlyAccess& ForCurrentUser();

    bool Valid() const { return descriptor_ != nullptr; }
    // For CreateFileW and CreateDirectoryW.
    SECURITY_ATTRIBUTES* Attributes() const { return Valid() ? &attributes_ : nullptr; }
    // Whether the access list of `path` lets someone else than the current
    // user, the system or the administrators read it (no list at all lets
    // everyone in). False when the list cannot be read.
    bool OthersMayRead(const std::wstring& path) const;

private:
    OwnerOnlyAccess();
    struct LocalDeleter {
        void operator()(void* p) const { ::LocalFree(p); }
    };
    std::unique_ptr<void, LocalDeleter> descriptor_;
    std::unique_ptr<void, LocalDeleter> userSid_;
    mutable SECURITY_ATTRIBUTES attributes_{};  // the calls take it non-const
};

}  // namespace qrv::win
