// qrv-firmware-upgrade-cli: the headless front end over the upgrade engine.
// What needs the process itself stays here: its standard streams, whether a
// person sits at the terminal, the hidden password prompt and the standard
// output that `--report -` takes over.

#include <iostream>
#include <string>
#include <vector>

#include "cli/CliIo.h"
#include "cli/CommandLine.h"
#include "platform/Console.h"
#include "platform/Files.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    qrv::cli::CliIo io(std::cout, std::cerr, std::cin, qrv::StdinIsTerminal());
    io.takeStandardOutput = [] { return qrv::OutputFile::TakeStandardOutput(); };
    io.readHiddenLine = [](const std::string& prompt) { return qrv::ReadHiddenLine(prompt); };
    return qrv::cli::RunCommandLine(args, io);
}
