#pragma once
// Runs the camera simulator (qrv-camera-sim) for a test: writes the fleet,
// starts the process with an event log and a capture folder, waits for
// READY, and stops it with SIGTERM when destroyed. The test itself must run
// inside the private network namespace (qrv_test(... NETWORK)).
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/SimEvent.h"

namespace qrv::test {

class SimProcess {
public:
    // Throws std::runtime_error if the simulator does not start within a few
    // seconds (its own message goes to the test's standard error).
    explicit SimProcess(const std::string& fleet, double timeScale = 0.01);
    // Starts the simulator through `launcher`, a command (found on PATH) that
    // execs its arguments in place, such as {"nsenter", "-t", PID, "-n", "--"}
    // to run it in another network namespace.
    SimProcess(const std::string& fleet, std::vector<std::string> launcher, double timeScale = 0.01);
    static std::unique_ptr<SimProcess> WithCameras(int count, double timeScale = 0.01);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    std::vector<SimEvent> Events() const;
    bool WaitForEvent(const std::function<bool(const SimEvent&)>& match, std::chrono::milliseconds limit) const;
    // Raw bytes of each request a camera ("127.0.0.2:80") received, in order.
    std::vector<std::string> CapturedRequests(const std::string& camera) const;
    std::string EventLogPath() const;
    std::string CaptureDir() const;

    // Sends SIGTERM and waits; returns the exit status (-1 if it had to be
    // killed or did not end normally). Called by the destructor if needed.
    int Stop();

    static std::string SimulatorPath();

private:
    struct CamerasTag {};
    static std::string NewFolder();  // an empty folder of the simulator's own
    SimProcess(CamerasTag, int count, double timeScale);
    void Launch(std::vector<std::string> arguments, std::vector<std::string> launcher = {});

    std::string dir_;
    pid_t pid_ = -1;
    int stdout_ = -1;
    int exitStatus_ = -1;
};

}  // namespace qrv::test
