// vardexctl as a script sees it: no progress bar, which only a terminal gets.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <regex>
#include <string>

#include "cli_view.h"
#include "temp_files.h"

namespace vardex::test {
namespace {

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

}  // namespace
}  // namespace vardex::test
