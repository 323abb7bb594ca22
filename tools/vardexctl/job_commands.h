// `vardexctl read`, `write` and `upgrade`: the device jobs of the program, run
// with the terminal as their window.
#pragma once

#include <cstdio>
#include <ostream>

namespace vardex::ctl {

class CliJobWindow;
struct CommandCall;

// Called with the job's window once it exists and before the job starts, so
// that a test can interrupt it as Ctrl+C would.
using WindowHook = void (*)(CliJobWindow* window, void* context);
struct JobHook {
    WindowHook started = nullptr;
    void* context = nullptr;
};

int RunRead(const CommandCall& call, std::ostream& out, std::FILE* in, std::FILE* err,
            JobHook hook = {});
int RunWrite(const CommandCall& call, std::ostream& out, std::FILE* in, std::FILE* err,
             JobHook hook = {});
// diff: 0 the same, kExitDiffers when they differ, kExitDiffFailed when the
// device could not be read (1 is taken), 2 and 3 as every command.
inline constexpr int kExitDiffers = 1;
inline constexpr int kExitDiffFailed = 4;
int RunDiff(const CommandCall& call, std::ostream& out, std::FILE* in, std::FILE* err,
            JobHook hook = {});
int RunApply(const CommandCall& call, std::ostream& out, std::FILE* in, std::FILE* err,
             JobHook hook = {});
int RunRestore(const CommandCall& call, std::ostream& out, std::FILE* in, std::FILE* err,
               JobHook hook = {});
// backups and schema need no device.
int RunBackups(const CommandCall& call, std::ostream& out, std::FILE* err);
int RunSchema(const CommandCall& call, std::ostream& out, std::FILE* err);
int RunUpgrade(const CommandCall& call, std::ostream& out, std::FILE* in, std::FILE* err,
               JobHook hook = {});

}  // namespace vardex::ctl
