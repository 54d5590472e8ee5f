#pragma once
// The simulator executable's command line: flags in, simulator options out.
#include "sim/StageSimulator.h"

#include <string>
#include <vector>

namespace sim {

struct SSimArgs {
    SSimOptions options;
    bool help = false;
};

// args without the program name. False with a message in `error` for an unknown flag, a missing
// value or a value out of range; "--flag VALUE" and "--flag=VALUE" are both accepted.
bool ParseSimArgs(const std::vector<std::string>& args, SSimArgs& out, std::string& error);

std::string SimUsage();

} // namespace sim
