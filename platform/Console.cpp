#include "platform/Console.h"

#include <unistd.h>

namespace qrv {

bool StdinIsTerminal() { return ::isatty(STDIN_FILENO) == 1; }

}  // namespace qrv
