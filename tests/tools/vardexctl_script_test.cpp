// vardexctl as a script sees it: no progress bar, which only a terminal gets,
// and with --json each failure as one object on standard output, the reason a
// person reads, its kind and the exit status.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <vector>

#include "at_command.h"
#include "cli_view.h"
#include "command_table.h"
#include "failure.h"
#include "params/field_table.h"
#include "platform/environment.h"
#include "pty_device.h"
#include "scoped_env.h"
#include "sim_truth.h"
#include "temp_files.h"
#include "time_scale.h"

using namespace vardex::platform;
using namespace vardex::params;

namespace vardex::test {
namespace {

using ctl::Reason;

// What CliProgressBar draws: "[#####.....] 5/10".
const std::regex kProgressBar(R"(\[[#.]+\] \d+/\d+)");

// Everything written to a pseudo-terminal's other side within a moment.
std::string Drain(int master) {
    std::string text;
    pollfd ready{master, POLLIN, 0};
    char buffer[4096];
    ssize_t n = 0;
    while (::poll(&ready, 1, 200) == 1 && (n = ::read(master, buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

TEST(ProgressBar, IsDrawnOnATerminalAndNowhereElse) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    std::FILE* terminal = std::fopen(::ptsname(master), "w");
    ASSERT_NE(terminal, nullptr);
    std::FILE* file = std::tmpfile();
    for (std::FILE* out : {terminal, file}) {
        ctl::CliJobView view(stdin, out);
        view.Progress().SetRange32(0, 10);
        view.Progress().SetPos(5);
        // A status whose last line alone changes rides on the bar.
        view.SetStatusText("Sending\n1 of 2");
        view.SetStatusText("Sending\n2 of 2");
        view.Finish();
        std::fflush(out);
    }
    EXPECT_TRUE(std::regex_search(Drain(master), kProgressBar));
    const std::string logged = Written(file);
    EXPECT_FALSE(std::regex_search(logged, kProgressBar)) << logged;
    EXPECT_NE(logged.find("2 of 2\n"), std::string::npos) << "the status as it ended: " << logged;
    std::fclose(terminal);
    std::fclose(file);
    ::close(master);
}

struct ScriptRun {
    int status = -1;
    std::string out;
    std::string err;
};

// vardexctl as a script runs it, in environment (NAME=VALUE words, or
// nothing): standard output read, standard error a file.
ScriptRun RunAsScript(const std::string& words, const std::string& environment = {}) {
    ScriptRun run;
    const std::string err = TempPath("stderr");
    std::FILE* pipe =
        ::popen((environment + " " + VARDEXCTL_PATH + " " + words + " 2>" + err).c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        run.out.append(buffer, n);
    }
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.err = ReadFile(err);
    return run;
}

std::string SettingsFile(const std::string& name, const std::string& json) {
    const std::string path = TempPath(name);
    std::ofstream(path) << json;
    return path;
}

class JsonFailures : public ::testing::Test {
protected:
    JsonFailures() : env_(env::kTimeScale, std::to_string(kAnswerScale)) {
        env_.Set("XDG_STATE_HOME", TempPath("state"));
        env_.Set(env::kLines, "");
        SysError error;
        EXPECT_TRUE(device_.Start(&error)) << error.Message();
    }
    // The port's call waiting as the device does not hold it.
    std::string ChangedCallWaiting() {
        const auto held =
            device_.Inspect([](const sim::Device& d) { return Truth(d, "m_bCallWaiting1"); });
        return SettingsFile("change.json", std::string(R"({"port1.call_waiting":)") +
                                               (held == "1" ? "0" : "1") + "}");
    }

    ScopedEnv env_;
    sim::PtyDevice device_;
};

TEST_F(JsonFailures, EachIsOneObjectWithItsCauseItsKindAndTheExitStatus) {
    sim::PtyDevice silent;
    SysError error;
    ASSERT_TRUE(silent.Start(&error)) << error.Message();
    silent.SetSilent(true);
    const RecordField* flash = FindField("telephony.flash_duration");
    ASSERT_NE(flash, nullptr);
    const std::string misspelt = SettingsFile("misspelt.json", R"({"port1.call_wating":0})");
    const std::string beyond = SettingsFile(
        "beyond.json", R"({"telephony.flash_duration":)" + std::to_string(flash->hi + 1) + "}");
    const std::string wanted = ChangedCallWaiting();
    const std::string port = " --port " + device_.Path();
    const std::string search = std::string(env::kPorts) + "=" + silent.Path();
    struct Case {
        std::string words;
        Reason reason;
        int status;
        std::vector<std::string> said;  // in the error, which the usage text never is
        std::string environment = {};
    };
    const Case cases[] = {
        {"apply " + misspelt + " --json" + port,
         Reason::kUnknownField,
         ctl::kExitUsage,
         {"port1.call_wating"}},
        {"apply " + beyond + " --json" + port,
         Reason::kOutOfRange,
         ctl::kExitUsage,
         {"telephony.flash_duration", std::to_string(flash->hi)}},
        {"write --json m_wFirmwareVersion=1" + port,
         Reason::kRefused,
         ctl::kExitUsage,
         {"m_wFirmwareVersion"}},
        {"apply " + wanted + " --json --jsn" + port, Reason::kUsage, ctl::kExitUsage, {"--jsn"}},
        {"apply " + wanted + " --json --port " + silent.Path(),
         Reason::kNoDevice,
         ctl::kExitLinkDown,
         {silent.Path()}},
        {"read --json --port " + TempPath("nothing"),
         Reason::kNoDevice,
         ctl::kExitLinkDown,
         {TempPath("nothing"), "does not exist"}},
        {"apply " + wanted + " --json",
         Reason::kNoDevice,
         ctl::kExitLinkDown,
         {"no varDex answered on " + silent.Path()},
         search},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.words);
        const ScriptRun run = RunAsScript(c.words, c.environment);
        EXPECT_EQ(run.status, c.status) << run.err;
        const nlohmann::json failure = nlohmann::json::parse(run.out, nullptr, false);
        ASSERT_TRUE(failure.is_object()) << "not one object: " << run.out;
        EXPECT_EQ(failure.size(), 3u) << run.out;
        EXPECT_EQ(failure.value("status", -1), run.status);
        EXPECT_EQ(failure.value("reason", ""), ctl::ReasonWord(c.reason));
        const std::string said = failure.value("error", "");
        for (const std::string& words : c.said) {
            EXPECT_NE(said.find(words), std::string::npos) << said;
        }
        EXPECT_EQ(said.find("usage:"), std::string::npos) << said;
        EXPECT_NE(run.err.find(said), std::string::npos) << "a person reads it too: " << run.err;
        EXPECT_FALSE(std::regex_search(run.err, kProgressBar)) << run.err;
    }
    EXPECT_EQ(device_.BytesReceived(), 0u) << "refused before the device heard a word";
}

// The program parses each subcommand's words once, with its row, and its
// handler tells what that found before any device hears a word: --help is the
// row's usage, an unknown option the row's usage error, kept for --json.
TEST_F(JsonFailures, EverySubcommandTellsItsOwnParseBeforeAnyDevice) {
    ScopedEnv ports(env::kPorts, device_.Path());
    for (const ctl::CommandSpec& command : ctl::Commands()) {
        const std::string name(command.name);
        SCOPED_TRACE(name);
        const ScriptRun help = RunAsScript(name + " --help");
        EXPECT_EQ(help.status, ctl::kExitOk) << help.err;
        EXPECT_EQ(help.out, ctl::CommandUsage(command));
        const bool json = std::any_of(command.options.begin(), command.options.end(),
                                      [](const ctl::OptionSpec& o) { return o.name == "--json"; });
        const ScriptRun bad = RunAsScript(name + " --bogus" + (json ? " --json" : ""));
        EXPECT_EQ(bad.status, ctl::kExitUsage);
        EXPECT_EQ(bad.err, ctl::UsageError(command, "unknown option '--bogus'"));
        if (!json) {
            EXPECT_EQ(bad.out, "");
            continue;
        }
        const nlohmann::json failure = nlohmann::json::parse(bad.out, nullptr, false);
        ASSERT_TRUE(failure.is_object()) << "not one object: " << bad.out;
        EXPECT_EQ(failure.value("reason", ""), ctl::ReasonWord(Reason::kUsage));
        EXPECT_EQ(failure.value("status", -1), ctl::kExitUsage);
    }
    EXPECT_EQ(device_.BytesReceived(), 0u);
}

TEST_F(JsonFailures, AFailedWritesReportGainsItsKindAndStatus) {
    device_.SetRefuseWrites(true);
    const ScriptRun run =
        RunAsScript("apply " + ChangedCallWaiting() + " --json --store 0 --port " + device_.Path());
    EXPECT_EQ(run.status, ctl::kExitLinkDown) << run.err;
    const nlohmann::json report = nlohmann::json::parse(run.out, nullptr, false);
    ASSERT_TRUE(report.is_object()) << "not one object: " << run.out;
    // The write's own members stay as callers know them.
    EXPECT_TRUE(report.value("changed", nlohmann::json()).is_boolean()) << run.out;
    ASSERT_TRUE(report.contains("fields")) << run.out;
    EXPECT_EQ(report["fields"][0].value("fate", ""), "refused") << run.out;
    EXPECT_TRUE(report.value("error", nlohmann::json()).is_string()) << run.out;
    EXPECT_EQ(report.value("reason", ""), ctl::ReasonWord(Reason::kRefused));
    EXPECT_EQ(report.value("status", -1), run.status);
    EXPECT_EQ(run.out.find("\"status\""), run.out.rfind("\"status\"")) << run.out;
}

}  // namespace
}  // namespace vardex::test
