// A camera's configuration answer cut into any pieces: the checks must say
// "web page" exactly when the bytes received so far hold the mark (also
// across pieces), "too large" exactly when they pass the limit, and accept
// everything else, whatever the cuts.
//
// Input: two bytes of limit (0..65535), then the answer; each 0xFE byte ends
// a piece (it is not part of the answer).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/ConfigBackupStore.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::size_t limit = static_cast<std::size_t>(data[0]) << 8 | data[1];
    const std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);
    qrv::ConfigAnswerCheck check(limit);
    std::string received;  // what the camera has sent so far
    std::size_t from = 0;
    while (from <= rest.size()) {
        std::size_t cut = rest.find('\xFE', from);
        if (cut == std::string_view::npos) cut = rest.size();
        const std::string_view piece = rest.substr(from, cut - from);
        const std::size_t accepted = check.Size();
        received.append(piece);
        const auto verdict = check.Feed(piece);
        using Verdict = qrv::ConfigAnswerCheck::Verdict;
        if (received.find(qrv::HtmlMarkFinder::kMark) != std::string::npos) {
            Check(verdict == Verdict::WebPage);
            return 0;
        }
        if (received.size() > limit) {
            Check(verdict == Verdict::TooLarge);
            Check(check.Size() == accepted);
            return 0;
        }
        Check(verdict == Verdict::Accept);
        Check(check.Size() == received.size());
        from = cut + 1;
    }
    return 0;
}
