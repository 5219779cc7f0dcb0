#include "tests/support/CommandRun.h"

#include <fstream>
#include <sstream>

namespace qrv::test {

std::string ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace qrv::test
