#include "platform/Files.h"

// What OutputFile is on every system: a descriptor that moves with the
// object and is closed with it (opening, writing and closing are Files.cpp's
// and win/'s).

#include <utility>

namespace qrv {

OutputFile::OutputFile(OutputFile&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

OutputFile::~OutputFile() { Close(); }

}  // namespace qrv
