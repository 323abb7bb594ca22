// The environment variables the programs read: each one's name, what it does
// and which programs read it. Code that reads a variable takes its name from
// here, and each program's --help prints its ENVIRONMENT section from it.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace vardex::platform::env {

inline constexpr const char* kPorts = "VARDEX_PORTS";
inline constexpr const char* kLines = "VARDEX_LINES";
inline constexpr const char* kExchange = "VARDEX_EXCHANGE";
inline constexpr const char* kTimeScale = "VARDEX_TIME_SCALE";
inline constexpr const char* kTapiProvider = "VARDEX_TAPI_PROVIDER";
inline constexpr const char* kTrace = "VARDEX_TRACE";
inline constexpr const char* kStateHome = "XDG_STATE_HOME";

// The programs, as bits of Variable::readers.
enum Program : unsigned {
    kConfig = 1U << 0,  // vardex-config
    kCtl = 1U << 1,     // vardexctl
    kSim = 1U << 2,     // vardex-sim
};

struct Variable {
    const char* name;
    std::string_view what;
    unsigned readers;
};

std::span<const Variable> Variables();

// The "ENVIRONMENT" section of a program's --help: a heading and the rows of
// the variables that program reads, each description wrapped beside its name.
std::string HelpSection(Program program);

}  // namespace vardex::platform::env
