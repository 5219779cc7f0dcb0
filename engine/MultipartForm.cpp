#include "engine/MultipartForm.h"

namespace qrv {

MultipartForm MakeMultipartForm(FormKind kind, std::int64_t seconds) {
    MultipartForm form;
    const bool firmware = kind == FormKind::Firmware;
    form.path = firmware ? "/command/versionup.cgi" : "/command/all-configuration.cgi";
    form.boundary = std::string(27, '-') + "7d" + std::to_string(seconds);
    const std::string disposition = firmware
        ? "Content-Disposition: form-data; name=\"setting_file\"; filename=\"upgrade.bin\""
        : "Content-Disposition: form-data; name=\"Restore\"; filename=\"temp.cfg\"";
    form.head = "\r\n" + form.boundary + "\r\n" + disposition + "\r\nContent-Type: application/octet-stream\r\n\r\n";
    form.tail = "\r\n" + form.boundary + "--\r\n\r\n";
    return form;
}

std::vector<std::string> MultipartForm::Headers(std::uint64_t dataSize, std::string_view authorization) const {
    return {
        std::string(kAcceptTypes),
        "Content-Type: multipart/form-data; boundary=" + boundary,
        "Accept-Encoding: gzip, deflate",
        "Connection: Keep-Alive",
        "Proxy-Connection: Keep-Alive",
        "Cache-Control: no-cache",
        "Content-Length: " + std::to_string(ContentLength(dataSize)),
        std::string(authorization),
    };
}

}  // namespace qrv
