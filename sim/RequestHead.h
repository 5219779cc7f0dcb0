#pragma once
// The request line and headers of one HTTP request, exactly as received.
#include <string>
#include <string_view>

#include "sim/HeaderList.h"

namespace qrv::sim {

struct RequestHead {
    std::string method;
    std::string target;   // as sent, query included
    std::string path;     // target before "?"
    std::string version;  // "HTTP/1.1"
    HeaderList headers;   // wire order, values without surrounding blanks
};

// head is everything before the CR LF CR LF that ends the head.
bool ParseRequestHead(std::string_view head, RequestHead& out, std::string& reason);

// Result of looking for the body length of a parsed head.
struct BodyFraming {
    bool ok = false;
    int status = 400;  // the answer to a request that cannot be framed
    std::string reason;
    uint64_t length = 0;
};
BodyFraming FindBodyLength(const RequestHead& head);

bool WantsKeepAlive(const RequestHead& head);

// The HTTP server's complete answer (read to its end), with its own
// connection headers replaced by the front's decision.
struct ShapedResponse {
    bool ok = false;
    int status = 0;
    size_t bodyLength = 0;
    std::string wire;
};
ShapedResponse ShapeResponse(std::string_view raw, bool keepAlive);

}  // namespace qrv::sim
