#pragma once
// The fleet file: one camera per line (format in sim/README.md), and the
// ordinary fleet that --cameras N makes.
#include <string>
#include <string_view>
#include <vector>

#include "sim/CameraSetup.h"

namespace qrv::sim {

// Returns false with a message naming the line when the text is not a valid
// fleet; cameras is then left in no useful state.
bool ParseFleet(std::string_view text, std::vector<CameraSetup>& cameras, std::string& error);

// N ordinary cameras on 127.0.0.2 upward, distinct serials and MACs.
std::vector<CameraSetup> MakeOrdinaryFleet(int count);

// The defaults a camera at position index (0-based) of a fleet gets.
std::string DefaultSerial(int index);
std::string DefaultMac(int index);

}  // namespace qrv::sim
