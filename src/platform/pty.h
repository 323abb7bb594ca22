// A pseudo-terminal pair for the device simulator and the tests: the master side
// plays the device, the slave path is what the program opens as its port.
#pragma once

#include <string>

#include "sys_error.h"
#include "unique_fd.h"

namespace vardex::platform {

class PtyPair {
public:
    // Creates the pair in raw mode. The pair keeps a descriptor of its own on
    // the slave side, so that the master does not see a hang-up each time the
    // program closes its port; CloseKeeper() gives that up.
    static bool Create(PtyPair* pair, SysError* error);

    int Master() const { return master_.get(); }
    const std::string& SlavePath() const { return slave_path_; }

    // The device hangs up: the program's port sees DSR off from now on.
    void CloseMaster() { master_.reset(); }
    void CloseKeeper() { keeper_.reset(); }

private:
    // Members go in reverse order: the master, the device's side, closes first.
    UniqueFd keeper_;
    UniqueFd master_;
    std::string slave_path_;
};

}  // namespace vardex::platform
