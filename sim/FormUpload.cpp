#include "sim/FormUpload.h"

#include <algorithm>
#include <cctype>

namespace qrv::sim {
namespace {

constexpr std::string_view kTypePrefix = "multipart/form-data; boundary=";
constexpr std::string_view kBoundaryStem = "---------------------------7d";

bool IsProgramBoundary(std::string_view b) {
    if (b.size() <= kBoundaryStem.size() || b.substr(0, kBoundaryStem.size()) != kBoundaryStem) return false;
    const auto digits = b.substr(kBoundaryStem.size());
    return std::all_of(digits.begin(), digits.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

FormUpload Refuse(std::string reason) {
    FormUpload result;
    result.reason = std::move(reason);
    return result;
}

}  // namespace

FormUpload ReadFormUpload(const HeaderList& headers, std::string_view body, std::string_view fieldName,
                          std::string_view fileName) {
    const auto types = HeaderValues(headers, "Content-Type");
    if (types.size() != 1) return Refuse("expected exactly one Content-Type header, got " + std::to_string(types.size()));
    const std::string& type = types.front();
    if (type.compare(0, kTypePrefix.size(), kTypePrefix) != 0)
        return Refuse("Content-Type is not \"multipart/form-data; boundary=...\": " + type);
    const std::string boundary = type.substr(kTypePrefix.size());
    if (body.substr(0, 2 + boundary.size()) == "--" + boundary)
        return Refuse("delimiter is two hyphens and the boundary (an ordinary multipart form), not CR LF and the boundary");
    if (!IsProgramBoundary(boundary))
        return Refuse("boundary is not 27 hyphens, \"7d\" and the time in seconds: " + boundary);

    const auto lengths = HeaderValues(headers, "Content-Length");
    if (lengths.size() != 1) return Refuse("expected exactly one Content-Length header");
    if (lengths.front() != std::to_string(body.size()))
        return Refuse("Content-Length " + lengths.front() + " differs from the body length " + std::to_string(body.size()));

    const std::string head = "\r\n" + boundary + "\r\nContent-Disposition: form-data; name=\"" + std::string(fieldName) +
                             "\"; filename=\"" + std::string(fileName) +
                             "\"\r\nContent-Type: application/octet-stream\r\n\r\n";
    const std::string tail = "\r\n" + boundary + "--\r\n\r\n";
    const std::string opening = "\r\n" + boundary + "\r\n";
    if (body.substr(0, opening.size()) != opening) return Refuse("body does not start with CR LF, the boundary and CR LF");
    if (body.size() < head.size() + tail.size() || body.substr(0, head.size()) != head)
        return Refuse("part header is not the one for name=\"" + std::string(fieldName) + "\"; filename=\"" +
                      std::string(fileName) + "\" with Content-Type application/octet-stream");
    if (body.substr(body.size() - tail.size()) != tail)
        return Refuse("body does not end with CR LF, the boundary, \"--\", CR LF, CR LF");

    FormUpload result;
    result.content = body.substr(head.size(), body.size() - head.size() - tail.size());
    if (result.content.find("\r\n" + boundary) != std::string_view::npos)
        return Refuse("the form has more than one part");
    result.ok = true;
    result.boundary = boundary;
    return result;
}

}  // namespace qrv::sim
