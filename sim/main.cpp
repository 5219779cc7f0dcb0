// qrv-camera-sim: a fleet of simulated network cameras for trying and testing
// the firmware upgrade program (see sim/README.md).
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "sim/Fleet.h"
#include "sim/FleetFile.h"
#include "sim/LocalNetwork.h"
#include "sim/SimOptions.h"

namespace {

bool ReadFile(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream content;
    content << in.rdbuf();
    text = content.str();
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace qrv::sim;
    SimOptions options;
    std::string error;
    if (!ParseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "qrv-camera-sim: %s\n%s", error.c_str(), Usage().c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(Usage().c_str(), stdout);
        return 0;
    }
    std::vector<CameraSetup> setups;
    if (options.cameras > 0) {
        setups = MakeOrdinaryFleet(options.cameras);
    } else {
        std::string text;
        if (!ReadFile(options.fleetFile, text)) {
            std::fprintf(stderr, "qrv-camera-sim: cannot read %s\n", options.fleetFile.c_str());
            return 2;
        }
        if (!ParseFleet(text, setups, error)) {
            std::fprintf(stderr, "qrv-camera-sim: %s: %s\n", options.fleetFile.c_str(), error.c_str());
            return 2;
        }
    }
    const LocalNetwork network = LocalNetwork::Read();
    std::string reason;
    if (!network.IsPrivate(reason)) {
        std::fprintf(stderr,
                     "qrv-camera-sim: %s; run me inside scripts/run-in-private-network (or in a namespace of "
                     "veth links that a test made there, see sim/README.md) so that nothing leaves the machine\n",
                     reason.c_str());
        return 3;
    }
    for (const CameraSetup& setup : setups) {
        if (!network.MayHold(setup.address)) {
            std::fprintf(stderr,
                         "qrv-camera-sim: camera %s: no interface of this network holds %s (a camera outside "
                         "127.x.y.z lives on an address of a veth interface here; interfaces: %s)\n",
                         setup.Label().c_str(), setup.AddressText().c_str(), network.LinkNames().c_str());
            return 2;
        }
    }

    // Each camera holds a listening socket and each connection a few
    // descriptors; a large fleet needs more than the usual soft limit.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }

    // Every thread inherits this mask, so the two stop signals reach only the
    // sigwait below; a peer that leaves early must not kill the process.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    Fleet fleet;
    if (!fleet.Start(std::move(setups), options, network, error)) {
        std::fprintf(stderr, "qrv-camera-sim: %s\n", error.c_str());
        fleet.Stop();
        return 1;
    }
    std::fputs("READY\n", stdout);
    std::fflush(stdout);

    int signal = 0;
    sigwait(&stopSignals, &signal);
    fleet.Stop();
    return 0;
}
