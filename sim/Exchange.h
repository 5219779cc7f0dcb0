#pragma once
// One request and the camera's answer to it, shared by the camera's TCP
// front (which received the request) and the HTTP server (which answers).
#include <cstdint>
#include <string>

#include "sim/HeaderList.h"
#include "sim/RequestHead.h"

namespace qrv::sim {

// What a camera does after it has answered.
struct Downtime {
    enum class Kind { None, Reboot, Reconfigure };
    Kind kind = Kind::None;
    int ms = 0;
    bool forever = false;           // never comes back
    std::string versionAfter;       // reported once it is back (reboot)
    bool factoryAccounts = false;   // accounts reset to factory state (new firmware)
};

struct Answer {
    enum class Delivery {
        Send,    // the answer goes out
        Silent,  // nothing goes out; the connection ends with the downtime
        Hold,    // nothing goes out; the connection stays open until the client leaves
        Drop,    // the connection is reset at once
    };
    int status = 200;
    std::string contentType = "text/plain";
    std::string body;
    HeaderList headers;
    Delivery delivery = Delivery::Send;
    int waitMs = 0;  // the camera's own work before it answers (writing the firmware)
    // Answers no HTTP server gives, which the camera's front writes itself
    // (status 200, contentType, body); the connection ends after them.
    enum class Stream {
        None,     // the server's answer
        Cut,      // chunked: one chunk with the body's first half, then the connection closes
        Drip,     // the head (with Content-Length) at once, then the body a byte at a time
        Endless,  // chunked: configuration lines without end, until the client leaves
    };
    Stream stream = Stream::None;
    int pauseMs = 0;  // between two bytes of a drip, two chunks of an endless answer
    Downtime downtime;
};

struct Exchange {
    uint64_t id = 0;
    uint64_t connection = 0;
    RequestHead head;
    std::string body;
};

}  // namespace qrv::sim
