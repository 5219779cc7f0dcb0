#include "cli/CliCommand.h"

namespace qrv::cli {

namespace {
std::vector<CliCommand>& Table() {
    static std::vector<CliCommand> table;
    return table;
}
}  // namespace

void CommandTable::Add(const CliCommand& command) { Table().push_back(command); }

const std::vector<CliCommand>& CommandTable::All() { return Table(); }

const CliCommand* CommandTable::Find(std::string_view name) {
    for (const CliCommand& command : Table()) {
        if (command.name == name) return &command;
    }
    return nullptr;
}

}  // namespace qrv::cli
