#include "platform/win/OwnerOnlyAccess.h"

#include <aclapi.h>
#include <sddl.h>

#include <vector>

namespace qrv::win {
namespace {

// The current user's identity as "S-1-5-21-...", empty when unknown.
std::wstring CurrentUserSid() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size);
    std::wstring text;
    if (size > 0 && ::GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
        wchar_t* sid = nullptr;
        if (::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sid)) {
            text = sid;
            ::LocalFree(sid);
        }
    }
    ::CloseHandle(token);
    return text;
}

bool IsTrusted(PSID sid, PSID user) {
    return ::EqualSid(sid, user) || ::IsWellKnownSid(sid, WinLocalSystemSid) ||
           ::IsWellKnownSid(sid, WinBuiltinAdministratorsSid);
}

}  // namespace

OwnerOnlyAccess::OwnerOnlyAccess() {
    const std::wstring user = CurrentUserSid();
    if (user.empty()) return;
    PSID sid = nullptr;
    if (!::ConvertStringSidToSidW(user.c_str(), &sid)) return;
    userSid_.reset(sid);
    // P: protected (no inherited entries); OICI: folders pass it on to what
    // is made inside them; FA: full access; SY: the system, BA: administrators.
    const std::wstring sddl = L"D:P(A;OICI;FA;;;" + user + L")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
        return;
    }
    descriptor_.reset(descriptor);
    attributes_.nLength = sizeof attributes_;
    attributes_.lpSecurityDescriptor = descriptor;
    attributes_.bInheritHandle = FALSE;
}

const OwnerOnlyAccess& OwnerOnlyAccess::ForCurrentUser() {
    static const OwnerOnlyAccess access;
    return access;
}

bool OwnerOnlyAccess::OthersMayRead(const std::wstring& path) const {
    if (!userSid_) return false;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    bool others = dacl == nullptr;
    constexpr ACCESS_MASK kRead = FILE_READ_DATA | GENERIC_READ | GENERIC_ALL;
    for (DWORD i = 0; dacl && !others && i < dacl->AceCount; ++i) {
        void* entry = nullptr;
        if (!::GetAce(dacl, i, &entry)) continue;
        const auto* header = static_cast<ACE_HEADER*>(entry);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE)) continue;
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
        if ((allowed->Mask & kRead) && !IsTrusted(&allowed->SidStart, userSid_.get())) others = true;
    }
    ::LocalFree(descriptor);
    return others;
}

}  // namespace qrv::win
