#pragma once
// Waits that must not freeze the window: the work runs on a worker thread
// while the GUI thread keeps painting and serving timers and posted events,
// but takes no user input, and the wait cursor shows.

#include <functional>

namespace qrv {

// Runs `work` to its end as described above and returns its result. Boxes the
// work asks for through the owner port still show and take answers.
bool RunBusy(const std::function<bool()>& work);

}  // namespace qrv
