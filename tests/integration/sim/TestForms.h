#pragma once
// What the tests send to simulated cameras: ustar images, the program's
// multipart form, raw HTTP exchanges over a plain socket. Written for the
// tests alone, apart from both the program and the simulator.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace qrv::test {

// A ustar archive with one small member per name.
std::string MakeUstar(const std::vector<std::string>& names);
// The six members of a firmware image for variant digit 1 or 2.
std::string MakeFirmwareImage(int variant);

// Body and Content-Type of the program's form (delimiters are the boundary
// itself, tail boundary + "--" + CR LF CR LF).
struct ProgramForm {
    std::string boundary;
    std::string contentType;
    std::string body;
};
ProgramForm MakeProgramForm(const std::string& field, const std::string& file, const std::string& content);

// A whole request: request line, the given headers in order, Content-Length
// when a body is given or the method is POST, then the body.
std::string MakeRequest(const std::string& method, const std::string& target,
                        const std::vector<std::pair<std::string, std::string>>& headers, const std::string& body = "");
std::string Basic(const std::string& nameAndPassword);  // "Basic " + Base64

struct RawResponse {
    bool connected = false;  // false: the connection was refused
    bool complete = false;   // a whole answer (head and Content-Length body) arrived
    bool closed = false;     // the camera closed or reset the connection
    int status = 0;
    int interim = 0;         // "100 Continue" answers before it
    size_t used = 0;         // bytes up to the end of the answer
    std::string head;
    std::string body;
    std::string bytes;       // everything received
    std::string Header(const std::string& name) const;
};

// Sends the request on a new connection and reads one answer, giving up
// after `limit` without one.
// With answers > 1 (pipelined requests) it waits for that many answers and
// describes the first.
RawResponse Exchange(const std::string& address, uint16_t port, const std::string& request,
                     std::chrono::milliseconds limit = std::chrono::seconds(5), int answers = 1);
// Number of whole answers in the bytes of a connection.
int CountAnswers(const std::string& bytes);
bool CanConnect(const std::string& address, uint16_t port);

struct Datagram {
    std::string bytes;
    std::string from;  // sender address
};
// Broadcasts `request` (the allinfo request unless given) and collects the
// datagrams that come back within `window`.
std::vector<Datagram> Discover(std::chrono::milliseconds window, int copies = 1, const std::string& request = "");

}  // namespace qrv::test
