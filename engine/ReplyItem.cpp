#include "engine/ReplyItem.h"

#include <algorithm>

namespace qrv {

std::optional<std::u16string> FindItem(std::u16string_view reply, std::u16string_view key) {
    const size_t at = reply.find(key);
    if (at == std::u16string_view::npos) return std::nullopt;
    const size_t start = at + key.size();
    const size_t end = reply.find(u'&', start);
    return std::u16string(reply.substr(start, end == std::u16string_view::npos ? std::u16string_view::npos : end - start));
}

std::optional<std::u16string> ReadMacAddress(std::u16string_view reply) {
    std::optional<std::u16string> mac = FindItem(reply, u"MacAddress=");
    if (!mac || mac->empty()) return std::nullopt;
    std::replace(mac->begin(), mac->end(), u'-', u':');
    return mac;
}

std::u16string ReadDocType(std::u16string_view reply) { return FindItem(reply, u"DocType=").value_or(u""); }

}  // namespace qrv
