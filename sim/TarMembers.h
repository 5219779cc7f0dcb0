#pragma once
// Lists the members of a ustar archive (a firmware image) so the camera can
// tell whether the image was built for it.
#include <string>
#include <string_view>
#include <vector>

namespace qrv::sim {

struct TarListing {
    bool ok = false;
    std::string reason;
    std::vector<std::string> names;  // regular-file members, in archive order
};

TarListing ListUstarMembers(std::string_view archive);

// An image fits a camera when it has members and every member is named
// <stem><digit>.tar.gz with digit 2 for DocType "g3" and 1 for any other.
bool ImageFits(const TarListing& listing, std::string_view docType, std::string& reason);

}  // namespace qrv::sim
