#pragma once
// Request headers as they came on the wire: in order, names as sent.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qrv::sim {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

bool SameName(std::string_view a, std::string_view b);  // ASCII, case-insensitive

// Every value of the header `name`, in wire order.
std::vector<std::string> HeaderValues(const HeaderList& headers, std::string_view name);

}  // namespace qrv::sim
