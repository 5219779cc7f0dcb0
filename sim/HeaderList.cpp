#include "sim/HeaderList.h"

#include <algorithm>
#include <cctype>

namespace qrv::sim {

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::vector<std::string> HeaderValues(const HeaderList& headers, std::string_view name) {
    std::vector<std::string> values;
    for (const auto& [n, v] : headers)
        if (SameName(n, name)) values.push_back(v);
    return values;
}

}  // namespace qrv::sim
