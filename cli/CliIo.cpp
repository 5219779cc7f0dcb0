#include "cli/CliIo.h"

#include <istream>
#include <optional>
#include <ostream>
#include <span>

namespace qrv::cli {

CliIo::CliIo(std::ostream& out, std::ostream& err, std::istream& in, bool terminal)
    : out_(out), err_(err), in_(in), terminal_(terminal) {}

std::ostream& CliIo::Printed() { return moved_ ? err_ : out_; }

void CliIo::Out(std::string_view line) {
    std::lock_guard lock(mutex_);
    Printed() << line << '\n' << std::flush;
}

void CliIo::Err(std::string_view line) {
    std::lock_guard lock(mutex_);
    err_ << line << '\n' << std::flush;
}

void CliIo::OutText(std::string_view text) {
    std::lock_guard lock(mutex_);
    Printed() << text << std::flush;
}

void CliIo::ErrText(std::string_view text) {
    std::lock_guard lock(mutex_);
    err_ << text << std::flush;
}

std::optional<std::string> CliIo::ReadHidden(const std::string& prompt) {
    if (!terminal_ || !readHiddenLine) return std::nullopt;
    return readHiddenLine(prompt);
}

bool CliIo::WriteToStandardOutput(std::string_view bytes) {
    std::lock_guard lock(mutex_);
    if (!takeStandardOutput) {
        out_ << bytes << std::flush;
        return static_cast<bool>(out_);
    }
    if (!tookStandardOutput_) {
        out_ << std::flush;
        standardOutput_ = takeStandardOutput();
        tookStandardOutput_ = true;
    }
    return standardOutput_.Write(std::span<const char>(bytes.data(), bytes.size()));
}

}  // namespace qrv::cli
