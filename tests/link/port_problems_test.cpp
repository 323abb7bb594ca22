// What the person is told about a port that could not be used.
#include "link/port_problems.h"
#include "temp_files.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <set>

using namespace vardex::platform;
using namespace vardex::link;

namespace vardex::test {
namespace {

namespace fs = std::filesystem;

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(PortProblems, ARefusedPortNamesItsGroupTheCommandAndTheNewLogin) {
    const fs::path node = fs::path(TempPath("vardex-tty"));
    std::ofstream(node) << "";
    const group* dialout = ::getgrnam("dialout");
    if (dialout != nullptr && ::chown(node.c_str(), static_cast<uid_t>(-1), dialout->gr_gid) == 0) {
        const std::string text = DescribeAccessProblem(node, SysError{EACCES, "open"});
        EXPECT_TRUE(Has(text, "group 'dialout'")) << text;
        EXPECT_TRUE(Has(text, "sudo usermod -aG dialout $USER")) << text;
        EXPECT_TRUE(Has(text, "log out and in again")) << text;
    }
    // A node of root's group: no group to join, only an administrator helps.
    ASSERT_EQ(::chown(node.c_str(), static_cast<uid_t>(-1), 0), 0);
    const std::string root = DescribeAccessProblem(node, SysError{EPERM, "open"});
    EXPECT_TRUE(Has(root, "administrator")) << root;
    EXPECT_FALSE(Has(root, "usermod")) << root;
    fs::remove(node);
}

TEST(PortProblems, ABusyPortNamesItsHolderAndWhatToDo) {
    const std::string held = DescribeBusy("/dev/ttyACM0", {{4711, "picoterm"}}, false);
    EXPECT_TRUE(Has(held, "/dev/ttyACM0 is in use by picoterm (process 4711)")) << held;
    EXPECT_TRUE(Has(held, "Close that program")) << held;

    const std::string probe = DescribeBusy("/dev/ttyACM0", {{812, "ModemManager"}}, true);
    EXPECT_TRUE(Has(probe, "ModemManager (process 812)")) << probe;
    EXPECT_TRUE(Has(probe, "sudo systemctl stop ModemManager")) << probe;
    EXPECT_TRUE(Has(probe, "udev rule")) << probe;

    // Holder out of sight (another user's process), ModemManager running: it is
    // the likely one.
    const std::string likely = DescribeBusy("/dev/ttyACM0", {}, true);
    EXPECT_TRUE(Has(likely, "another program")) << likely;
    EXPECT_TRUE(Has(likely, "systemctl stop ModemManager")) << likely;
    const std::string unknown = DescribeBusy("/dev/ttyACM0", {}, false);
    EXPECT_FALSE(Has(unknown, "ModemManager")) << unknown;
}

TEST(PortProblems, OpenFailuresSayWhatHappenedAndWhatToDo) {
    const std::string not_ready = DescribeOpenFailure(
        OpenResult::kNotReady, "Direct to COM2 (/dev/ttyS1)", "/dev/ttyS1", SysError{});
    EXPECT_TRUE(Has(not_ready, "Direct to COM2 (/dev/ttyS1)")) << not_ready;
    EXPECT_TRUE(Has(not_ready, "CTS or DSR stayed off")) << not_ready;
    EXPECT_TRUE(Has(not_ready, "switched on")) << not_ready;
    EXPECT_TRUE(Has(DescribeOpenFailure(OpenResult::kFailed, "/dev/ttyS9", "/dev/ttyS9",
                                        SysError{ENOENT, "open"}),
                    "does not exist"));
    EXPECT_TRUE(Has(DescribeOpenFailure(OpenResult::kGetSettingsFailed, "/dev/null", "/dev/null",
                                        SysError{ENOTTY, "x"}),
                    "not a serial port"));
    EXPECT_TRUE(Has(DescribeOpenFailure(OpenResult::kFailed, "/dev/ttyS9", "/dev/ttyS9",
                                        SysError{EBUSY, "lock"}),
                    "in use by"));
    // Each step that can fail has words of its own, the port named in them.
    std::set<std::string> texts;
    for (const OpenResult step :
         {OpenResult::kFailed, OpenResult::kGetSettingsFailed, OpenResult::kSetSettingsFailed,
          OpenResult::kSetTimeoutsFailed, OpenResult::kModemStatusFailed, OpenResult::kNotReady}) {
        const std::string text = DescribeOpenFailure(step, "COM4", "/dev/ttyS3", SysError{});
        EXPECT_TRUE(Has(text, "COM4")) << text;
        texts.insert(text);
    }
    EXPECT_EQ(texts.size(), 6u);
    // A network port's server serving someone else: no local holder to name.
    const std::string net = DescribeAccessProblem("rfc2217://cabinet:3001", SysError{EBUSY, "x"});
    EXPECT_TRUE(Has(net, "rfc2217://cabinet:3001 is in use by another program")) << net;
    EXPECT_FALSE(Has(net, "ModemManager")) << net;
}

TEST(PortProblems, ASearchReportsOnlyWhatThePersonCanActOn) {
    EXPECT_TRUE(WorthReporting(SysError{EACCES, "open"}));
    EXPECT_TRUE(WorthReporting(SysError{EBUSY, "lock"}));
    EXPECT_FALSE(WorthReporting(SysError{ENOENT, "open"}));
    EXPECT_EQ(DescribePortFailures({}), "");
    const std::string text =
        DescribePortFailures({{"COM1", "/dev/ttyS0", SysError{EBUSY, "lock"}},
                              {"/dev/ttyACM0", "/dev/ttyACM0", SysError{EBUSY, "lock"}}});
    EXPECT_TRUE(Has(text, "COM1 (/dev/ttyS0): /dev/ttyS0 is in use")) << text;
    EXPECT_TRUE(Has(text, "\n\n/dev/ttyACM0: /dev/ttyACM0 is in use")) << text;
}

// A COM port mapped to a port server was mapped on purpose: that it could not be
// reached is told, in the system's words; its holder sits on the server's machine.
TEST(PortProblems, ANetworkPortThatFailsIsReportedWithoutLocalAdvice) {
    const std::string net = "rfc2217://cabinet:3001";
    EXPECT_TRUE(WorthReportingPort(net, SysError{ECONNREFUSED, "connect"}));
    EXPECT_FALSE(WorthReportingPort(net, SysError{}));
    EXPECT_FALSE(WorthReportingPort("/dev/ttyS3", SysError{ENOENT, "open"}));
    EXPECT_TRUE(WorthReportingPort("/dev/ttyS3", SysError{EBUSY, "lock"}));
    const std::string text =
        DescribePortFailures({{"COM3", net, SysError{ECONNREFUSED, "connect"}},
                              {"COM4", "rfc2217://cabinet:3002", SysError{EBUSY, "connect"}}});
    EXPECT_TRUE(Has(text, "COM3 (rfc2217://cabinet:3001): Cannot open rfc2217://cabinet:3001 ("))
        << text;
    EXPECT_TRUE(Has(text, "rfc2217://cabinet:3002 is in use by another program")) << text;
    EXPECT_FALSE(Has(text, "ModemManager")) << text;
    EXPECT_FALSE(Has(text, "process")) << text;

    // Closed by the server at whichever step of opening: said as such, for a
    // network port only.
    for (const OpenResult code : {OpenResult::kFailed, OpenResult::kGetSettingsFailed,
                                  OpenResult::kSetSettingsFailed, OpenResult::kModemStatusFailed}) {
        const std::string closed =
            DescribeOpenFailure(code, "Direct to COM3 (" + net + ")", net, SysError{EIO, "x"});
        EXPECT_TRUE(Has(closed, "Cannot open Direct to COM3 (" + net + ") (x: ")) << closed;
        EXPECT_TRUE(Has(closed, "the port server closed the connection")) << closed;
    }
    EXPECT_FALSE(Has(DescribeOpenFailure(OpenResult::kGetSettingsFailed, "/dev/ttyS1", "/dev/ttyS1",
                                         SysError{EIO, "x"}),
                     "port server"));
    EXPECT_TRUE(Has(DescribePortFailures({{"COM3", net, SysError{ECONNRESET, "negotiate"}}}),
                    "COM3 (" + net + "): Cannot open " + net + " (negotiate: "));
}

}  // namespace
}  // namespace vardex::test
