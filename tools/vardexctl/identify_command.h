// `vardexctl identify`: find the device (or open the given port) and identify it.
#pragma once

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

namespace vardex::ctl {

int RunIdentify(const std::vector<std::string>& args, std::ostream& out, std::FILE* in,
                std::FILE* err);

}  // namespace vardex::ctl
