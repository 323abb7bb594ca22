// `--port PATH`: the port a subcommand opens itself instead of searching.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class CDevicePort;

namespace vardex::ctl {

// Opens the port at path as the search leaves a chosen port open, with the
// device named after it; false with *why, what the person is told, when the
// port cannot be used.
bool OpenPortByPath(CDevicePort& port, const std::string& path, std::string* why);

inline constexpr const char* kPortNeedsPath = "--port needs the path of a port";

enum class PortWord { kNotPort, kTaken, kNoPath };
// When args[*i] is "--port", takes the path after it into *path and moves *i
// onto it (kTaken); kNoPath when the path is missing or empty, since an empty
// one would search every port. kNotPort for any other word.
PortWord TakePortWord(const std::vector<std::string>& args, std::size_t* i, std::string* path);

}  // namespace vardex::ctl
