// The state file: what goes in comes out, damage of any kind is refused as a
// whole, only a regular file is read or replaced, and a save replaces the file
// in one step.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <future>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "device.h"
#include "nv_state.h"
#include "platform/unique_fd.h"

using namespace vardex::platform;

namespace vardex::sim {
namespace {

using namespace std::chrono_literals;

NvState Sample() {
    NvState state = Device::FactoryNv(DeviceOptions{});
    state.firmware_valid = false;
    state.software_version = "V2.31";
    state.crc = "CRC: 0BAD";
    state.s15 = 96;
    state.msn[0] = "3612345";
    // The DTE port's numbers, as the device keeps them: "=" and blanks included.
    state.msn[8] = "+36-1x*#9 =";
    state.own[2] = "+36-1x*#9 =";
    state.last_charge = {1, 2, 3};
    state.total_charge = {4000000000u, 5, 6};
    state.profiles[3].registers[56] = 77;
    state.profiles[3].registers[255] = 0xAB;
    state.profiles[3].clip_level = 19;
    state.profiles[3].x121 = "123456789012345";
    return state;
}

TEST(SimNvState, RoundTripsEveryField) {
    const NvState state = Sample();
    const auto parsed = ParseNv(SerializeNv(state));
    ASSERT_TRUE(parsed) << parsed.error();
    EXPECT_EQ(*parsed, state);
}

TEST(SimNvState, DamagedTextIsRefusedWhole) {
    const std::string good = SerializeNv(Sample());
    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        const std::size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return text.replace(at, from.size(), to);
    };
    const std::string cases[] = {
        "",
        good.substr(0, good.size() / 2),  // torn write
        good.substr(0, good.size() - 4),  // no end line
        good + "s15=1\n",                 // text after the end
        replaced("vardex-sim state 1", "vardex-sim state 2"),
        replaced("s15=96", "s15=960"),
        replaced("s15=96\n", ""),                       // missing key
        replaced("s15=96\n", "s15=96\ns15=96\n"),       // repeated key
        replaced("s15=96\n", "s15=96\ncolour=blue\n"),  // unknown key
        replaced("msn0=3612345", "msn0=36-12345"),
        replaced("msn8=+36-1x*#9 =", "msn8=+36;1"),
        replaced("own2=+36-1x*#9 =", "own2=" + std::string(25, '#')),
        replaced("charge_last=1,2,3", "charge_last=1,2"),
        replaced("charge_total=4000000000", "charge_total=5000000000"),
        replaced("firmware_valid=0", "firmware_valid=yes"),
        replaced("profile3_clip=19", "profile3_clip=x"),
        replaced("profile3_clip=19", "profile3_clip=-19"),
        replaced("4D", "4G"),  // a register's hex digit
        replaced("\nend\n", "\nend"),
    };
    for (const std::string& text : cases) {
        const auto parsed = ParseNv(text);
        EXPECT_TRUE(!parsed && !parsed.error().empty()) << text.substr(0, 80);
    }
}

class SimStateFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vardex-sim-state-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        folder_ = pattern;
        path_ = folder_ + "/device.state";
    }
    void TearDown() override { std::system(("rm -rf '" + folder_ + "'").c_str()); }

    std::string Listing() const {
        std::string listing;
        FILE* ls = ::popen(("ls -A '" + folder_ + "'").c_str(), "r");
        if (ls == nullptr) {
            return "<no listing>";
        }
        char line[256];
        while (std::fgets(line, sizeof line, ls) != nullptr) {
            listing += line;
        }
        ::pclose(ls);
        return listing;
    }
    // A socket file at path, as a control socket leaves it.
    static bool MakeSocket(const std::string& path) {
        const UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        return fd &&
               ::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    static mode_t Kind(const std::string& path) {
        struct stat info {};
        return ::lstat(path.c_str(), &info) == 0 ? info.st_mode & S_IFMT : 0;
    }
    static std::string Content(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::string folder_;
    std::string path_;
};

TEST_F(SimStateFileTest, SaveReplacesTheFileAndLeavesNoTemporary) {
    const auto missing = ReadStateFile(path_);
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().status, StateFileStatus::kMissing);

    SysError error;
    ASSERT_TRUE(SaveStateFile(path_, Device::FactoryNv(DeviceOptions{}), &error))
        << error.Message();
    ASSERT_TRUE(SaveStateFile(path_, Sample(), &error)) << error.Message();
    const auto loaded = ReadStateFile(path_);
    ASSERT_TRUE(loaded) << loaded.error().text;
    EXPECT_EQ(*loaded, Sample());
    EXPECT_EQ(Listing(), "device.state\n");

    // A folder that cannot be written to fails the save.
    EXPECT_FALSE(SaveStateFile(folder_ + "/missing/device.state", Sample(), &error));
    EXPECT_EQ(error.code, ENOENT);
}

TEST_F(SimStateFileTest, ARegularFileWithoutAUsableStateIsUnusableAndSaysWhy) {
    std::ofstream(path_) << "vardex-sim state 1\nfirmware_valid=1\n\x01\x02\nend\n";
    const auto damaged = ReadStateFile(path_);
    ASSERT_FALSE(damaged);
    EXPECT_EQ(damaged.error().status, StateFileStatus::kUnusable);
    EXPECT_NE(damaged.error().text.find(path_ + ": line 3"), std::string::npos)
        << damaged.error().text;

    // Too large to be one, whatever it holds: not read beyond the cap.
    std::string large = SerializeNv(Sample());
    large.resize(kStateFileMaxBytes + 1, '\n');
    std::ofstream(path_, std::ios::trunc) << large;
    const auto too_large = ReadStateFile(path_);
    ASSERT_FALSE(too_large);
    EXPECT_EQ(too_large.error().status, StateFileStatus::kUnusable);
    EXPECT_NE(too_large.error().text.find("too large"), std::string::npos)
        << too_large.error().text;
}

// A device node, a FIFO, a socket or a directory is refused before it is opened:
// an open or read of a FIFO would wait for a writer for ever.
TEST_F(SimStateFileTest, OnlyARegularFileIsRead) {
    const std::string fifo = folder_ + "/fifo";
    const std::string socket = folder_ + "/socket";
    const std::string directory = folder_ + "/directory";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_TRUE(MakeSocket(socket));
    ASSERT_EQ(::mkdir(directory.c_str(), 0700), 0);
    ASSERT_EQ(::symlink(fifo.c_str(), (folder_ + "/to-fifo").c_str()), 0);
    ASSERT_EQ(::symlink((folder_ + "/nothing").c_str(), (folder_ + "/to-nothing").c_str()), 0);
    const std::pair<std::string, const char*> cases[] = {
        {"/dev/zero", "/dev/zero is a character device"},
        {fifo, "fifo is a FIFO"},
        {socket, "socket is a socket"},
        {directory, "directory is a directory"},
        {folder_ + "/to-fifo", "to-fifo leads to a FIFO"},
        {folder_ + "/to-nothing", "to-nothing is a symbolic link to nothing"},
    };
    for (const auto& [path, said] : cases) {
        // Bounded: should the read wait on the FIFO after all, a writer that
        // comes and goes ends it.
        auto read = std::async(std::launch::async, [&] { return ReadStateFile(path); });
        if (read.wait_for(5s) != std::future_status::ready) {
            ADD_FAILURE() << path << " blocked the read";
            // Opened and closed at once: the reader sees a writer come and go.
            (void)UniqueFd(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
        }
        const auto refused = read.get();
        ASSERT_FALSE(refused) << path;
        EXPECT_EQ(refused.error().status, StateFileStatus::kRefused) << path;
        EXPECT_NE(refused.error().text.find(said), std::string::npos) << refused.error().text;
    }

    // A link to a regular file is followed.
    SysError error;
    ASSERT_TRUE(SaveStateFile(path_, Sample(), &error)) << error.Message();
    ASSERT_EQ(::symlink(path_.c_str(), (folder_ + "/link").c_str()), 0);
    const auto loaded = ReadStateFile(folder_ + "/link");
    ASSERT_TRUE(loaded) << loaded.error().text;
    EXPECT_EQ(*loaded, Sample());
}

// A save replaces a regular file and nothing else: renaming over a device node
// (as root) or a FIFO would destroy it, renaming over a link would cut it.
TEST_F(SimStateFileTest, SaveReplacesOnlyARegularFileAndWritesThroughALink) {
    const std::string fifo = folder_ + "/fifo";
    const std::string socket = folder_ + "/socket";
    const std::string directory = folder_ + "/directory";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_TRUE(MakeSocket(socket));
    ASSERT_EQ(::mkdir(directory.c_str(), 0700), 0);
    std::vector<std::string> targets = {fifo, socket, directory};
    // A node of /dev/zero of our own, where this process may make one (never the
    // real one: a save that went wrong would replace it).
    const std::string node = folder_ + "/zero";
    if (::mknod(node.c_str(), S_IFCHR | 0600, ::makedev(1, 5)) == 0) {
        targets.push_back(node);
    }
    ASSERT_EQ(::symlink(fifo.c_str(), (folder_ + "/to-fifo").c_str()), 0);
    targets.push_back(folder_ + "/to-fifo");
    const std::string listing = Listing();
    for (const std::string& target : targets) {
        const mode_t kind = Kind(target);
        SysError error;
        EXPECT_FALSE(SaveStateFile(target, Sample(), &error)) << target;
        EXPECT_EQ(error.code, EPERM) << error.Message();
        EXPECT_NE(error.Message().find("not a regular file"), std::string::npos) << error.Message();
        EXPECT_EQ(Kind(target), kind) << target;
    }
    EXPECT_EQ(Kind(fifo), S_IFIFO);
    EXPECT_EQ(Listing(), listing);  // nothing replaced, no temporary left

    // Through a link the target gets the new content and keeps its permissions;
    // the link stays a link.
    const std::string link = folder_ + "/link";
    std::ofstream(path_) << "some old content\n";
    ASSERT_EQ(::chmod(path_.c_str(), 0600), 0);
    ASSERT_EQ(::symlink("device.state", link.c_str()), 0);
    SysError error;
    ASSERT_TRUE(SaveStateFile(link, Sample(), &error)) << error.Message();
    EXPECT_EQ(Kind(link), S_IFLNK);
    EXPECT_EQ(Content(path_), SerializeNv(Sample()));
    struct stat info {};
    ASSERT_EQ(::stat(path_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);

    // A link to nothing is not followed: nothing is created where it points.
    const std::string dangling = folder_ + "/to-nothing";
    ASSERT_EQ(::symlink("nothing", dangling.c_str()), 0);
    EXPECT_FALSE(SaveStateFile(dangling, Sample(), &error));
    EXPECT_EQ(Kind(dangling), S_IFLNK);
    EXPECT_EQ(Kind(folder_ + "/nothing"), 0u);
}

}  // namespace
}  // namespace vardex::sim
