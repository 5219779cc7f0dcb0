#include "cli/CliProgram.h"

#include <cstdio>

#include "serial_protect/SerialRules.h"

namespace qrv::cli {

CliProgram::CliProgram(bool assumeYes) : owner(assumeYes), package(EmbeddedResources(), &owner) {
    package.LoadAll();
    ns_serial_protect::InitSerialRules();
}

void PrintLine(const std::string& text) {
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

}  // namespace qrv::cli
