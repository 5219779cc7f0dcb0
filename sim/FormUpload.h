#pragma once
// Reader of the one multipart form the camera takes for firmware and for a
// configuration restore: delimiter lines that are the boundary itself (no two
// hyphens before it), one part, a fixed part header and a fixed tail. Any
// other form, including an ordinary multipart form, is refused with a reason.
#include <string>
#include <string_view>

#include "sim/HeaderList.h"

namespace qrv::sim {

struct FormUpload {
    bool ok = false;
    std::string reason;       // why the form was refused
    std::string boundary;     // the boundary of an accepted form
    std::string_view content; // the file in the form, a view into the body
};

FormUpload ReadFormUpload(const HeaderList& headers, std::string_view body, std::string_view fieldName,
                          std::string_view fileName);

}  // namespace qrv::sim
