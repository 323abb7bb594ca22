// `vardexctl read`, `write` and `upgrade`: the device jobs of the program, run
// with the terminal as their window.
#pragma once

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

namespace vardex::ctl {

class CliJobWindow;

// Called with the job's window once it exists and before the job starts, so
// that a test can interrupt it as Ctrl+C would.
using WindowHook = void (*)(CliJobWindow* window, void* context);
struct JobHook {
    WindowHook started = nullptr;
    void* context = nullptr;
};

int RunRead(const std::vector<std::string>& args, std::ostream& out, std::FILE* in, std::FILE* err,
            JobHook hook = {});
int RunWrite(const std::vector<std::string>& args, std::ostream& out, std::FILE* in, std::FILE* err,
             JobHook hook = {});
int RunUpgrade(const std::vector<std::string>& args, std::ostream& out, std::FILE* in,
               std::FILE* err, JobHook hook = {});

}  // namespace vardex::ctl
