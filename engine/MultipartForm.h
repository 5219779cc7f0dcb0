#pragma once
// The multipart form in which the firmware image and a saved configuration go
// to a camera. The camera expects this form byte for byte: the delimiter lines
// are the boundary itself (no leading "--"), and the headers come in a fixed
// order.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qrv {

enum class FormKind {
    Firmware,       // POST /command/versionup.cgi, field "setting_file", file "upgrade.bin"
    Configuration,  // POST /command/all-configuration.cgi, field "Restore", file "temp.cfg"
};

// The camera's factory administrator account, which a freshly upgraded camera
// answers with until its configuration is back.
inline constexpr std::string_view kFactoryAuthorization = "Authorization: Basic TWFkZVVwVmFsdWU=";

// The nine accept types, in the order the camera has always seen them.
inline constexpr std::string_view kAcceptTypes =
    "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, "
    "application/vnd.ms-excel, application/vnd.ms-powerpoint, application/msword, */*";

struct MultipartForm {
    std::string path;      // request object
    std::string boundary;  // 27 hyphens, "7d", the seconds since 1970
    std::string head;      // CR LF, boundary, the part header
    std::string tail;      // CR LF, boundary, "--", CR LF, CR LF

    // Content-Length of a body carrying `dataSize` bytes.
    std::uint64_t ContentLength(std::uint64_t dataSize) const { return head.size() + tail.size() + dataSize; }
    // The header lines in wire order: Accept, then Content-Type,
    // Accept-Encoding, Connection, Proxy-Connection, Cache-Control,
    // Content-Length and the given Authorization line.
    std::vector<std::string> Headers(std::uint64_t dataSize, std::string_view authorization) const;
};

// The form for a request made at `seconds` since 1970: two forms made within
// the same second share their boundary.
MultipartForm MakeMultipartForm(FormKind kind, std::int64_t seconds);

}  // namespace qrv
