// Several devices at once: one vardexctl per port, the results in port order,
// the exit status the worst of them.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "failure.h"
#include "pty_device.h"
#include "scoped_env.h"
#include "temp_files.h"

using namespace vardex::platform;

namespace vardex::test {
namespace {

struct Ran {
    int status = -1;
    std::string out;
};

Ran Vardexctl(const std::string& words) {
    Ran ran;
    std::FILE* pipe =
        ::popen((std::string(VARDEXCTL_PATH) + " " + words + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) {
        return ran;
    }
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        ran.out.append(buffer, n);
    }
    const int status = ::pclose(pipe);
    ran.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return ran;
}

TEST(Fleet, EachPortGetsItsResultInOrderAndTheWorstStatusWins) {
    const ScopedTempDir dir;
    ScopedEnv env("VARDEX_TIME_SCALE", "0.2");
    env.Set("XDG_STATE_HOME", dir.Path());
    sim::PtyDevice cyprus(sim::DeviceOptions{.country = "Cyprus"});
    sim::PtyDevice poland(sim::DeviceOptions{.country = "Poland"});
    SysError error;
    ASSERT_TRUE(cyprus.Start(&error)) << error.Message();
    ASSERT_TRUE(poland.Start(&error)) << error.Message();
    const std::string missing = dir.Path() + "/missing";

    const Ran read = Vardexctl("read --json --port " + poland.Path() + " --port " + missing +
                               " --port " + cyprus.Path());
    EXPECT_EQ(read.status, 1) << "the missing port's status";
    const std::string lines[] = {
        "{\"port\":\"" + poland.Path() + "\",\"status\":0,\"m_bUsbConnection\":0,",
        "{\"port\":\"" + missing + "\",\"status\":1,\"error\":\"" + missing + " does not exist",
        "{\"port\":\"" + cyprus.Path() + "\",\"status\":0,\"m_bUsbConnection\":0,"};
    std::size_t at = 0;
    for (const std::string& line : lines) {
        EXPECT_EQ(read.out.compare(at, line.size(), line), 0) << read.out;
        at = read.out.find('\n', at) + 1;
    }
    EXPECT_EQ(at, read.out.size()) << "one line per device";
    // The failed device's own object joins its line: the kind of failure, and one status.
    const std::size_t failed = read.out.find(missing);
    const std::string line = read.out.substr(failed, read.out.find('\n', failed) - failed);
    EXPECT_NE(line.find("\"reason\":\"" + std::string(ctl::ReasonWord(ctl::Reason::kNoDevice))),
              std::string::npos)
        << line;
    EXPECT_EQ(line.find("\"status\""), line.rfind("\"status\"")) << line;
    // A port given twice is one device, asked once.
    const Ran twice = Vardexctl("identify --port " + cyprus.Path() + " --port " + cyprus.Path());
    EXPECT_EQ(twice.status, 0) << twice.out;

    // --all: every varDex the search finds, each written on its own channel.
    env.Set("VARDEX_PORTS", cyprus.Path() + "::" + poland.Path());
    const std::string wanted = dir.Path() + "/wanted.json";
    std::FILE* file = std::fopen(wanted.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs(R"({"port1.call_waiting":0})", file);
    std::fclose(file);
    const Ran apply = Vardexctl("apply --all --store 0 --json " + wanted);
    EXPECT_EQ(apply.status, 0) << apply.out;
    EXPECT_NE(apply.out.find("{\"port\":\"" + cyprus.Path() + "\",\"status\":0,\"changed\":true"),
              std::string::npos)
        << apply.out;
    EXPECT_NE(apply.out.find("{\"port\":\"" + poland.Path() + "\",\"status\":0,\"changed\":true"),
              std::string::npos);
    for (sim::PtyDevice* device : {&cyprus, &poland}) {
        EXPECT_EQ(device->Inspect([](const sim::Device& d) { return d.Register(79) & 4; }), 0);
    }
    EXPECT_EQ(Vardexctl("identify --all --port " + cyprus.Path()).status, 2);
    // A port the configuration names that no varDex answers on fails --all.
    env.Set("VARDEX_PORTS", cyprus.Path() + ":" + missing);
    EXPECT_EQ(Vardexctl("identify --all").status, 1);
}

}  // namespace
}  // namespace vardex::test
