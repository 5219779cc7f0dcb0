#include "cli/CliCommand.h"

#include <algorithm>

namespace qrv::cli {

namespace {
std::vector<CliCommand>& Table() {
    static std::vector<CliCommand> table;
    return table;
}
}  // namespace

int UsageError(CliIo& io, std::string_view message) {
    io.Err(std::string(kProgramName) + ": " + std::string(message));
    return kExitUsage;
}

void CommandTable::Add(const CliCommand& command) {
    std::vector<CliCommand>& table = Table();
    table.insert(std::upper_bound(table.begin(), table.end(), command,
                                  [](const CliCommand& a, const CliCommand& b) { return a.name < b.name; }),
                 command);
}

const std::vector<CliCommand>& CommandTable::All() { return Table(); }

}  // namespace qrv::cli
