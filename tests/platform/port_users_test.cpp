// Who holds a port and which group owns it, from /proc and the device node.
#include "platform/port_users.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>

#include <filesystem>
#include <fstream>

#include "platform/port_kind.h"
#include "platform/port_presence.h"
#include "port_holder.h"
#include "scripted_peer.h"
#include "temp_files.h"

using namespace vardex::platform;

namespace vardex {
namespace {

namespace fs = std::filesystem;
using test::PortHolder;
using test::ScriptedPeer;

TEST(PortUsers, FindsAnotherProcessHoldingThePortButNotThisOne) {
    ScriptedPeer peer;  // its own descriptor on the port is this process's
    EXPECT_TRUE(FindPortUsers(peer.SlavePath()).empty());
    {
        PortHolder holder(peer.SlavePath(), "vdx-holder");
        ASSERT_TRUE(holder.Held());
        const auto users = FindPortUsers(peer.SlavePath());
        ASSERT_EQ(users.size(), 1u);
        EXPECT_EQ(users[0].pid, holder.Pid());
        EXPECT_EQ(users[0].name, "vdx-holder");
        EXPECT_TRUE(RunningProcess("vdx-holder"));
    }
    EXPECT_TRUE(FindPortUsers(peer.SlavePath()).empty());
    EXPECT_FALSE(RunningProcess("vdx-holder"));
    EXPECT_TRUE(FindPortUsers("/nonexistent/tty").empty());
    EXPECT_TRUE(FindPortUsers("/etc/hostname").empty());  // no device: nobody to find
}

TEST(PortUsers, ReadsAFakeProcTree) {
    // What a privileged look at /proc shows of a system service holding the port.
    ScriptedPeer peer;
    const fs::path proc = fs::path(test::TempPath("vardex-proc"));
    fs::remove_all(proc);
    fs::create_directories(proc / "812" / "fd");
    std::ofstream(proc / "812" / "comm") << "ModemManager\n";
    fs::create_symlink("/dev/null", proc / "812" / "fd" / "0");
    fs::create_symlink(peer.SlavePath(), proc / "812" / "fd" / "9");
    fs::create_directories(proc / "self-not-a-pid");
    auto users = FindPortUsers(peer.SlavePath(), proc.string());
    ASSERT_EQ(users.size(), 1u);
    EXPECT_EQ(users[0].pid, 812);
    EXPECT_EQ(users[0].name, "ModemManager");

    // The process holding the lock keeps the others out: it is named first,
    // also when its descriptors are out of sight (another user's process).
    struct stat node {};
    ASSERT_EQ(::stat(peer.SlavePath().c_str(), &node), 0);
    char where[64];
    std::snprintf(where, sizeof where, "%02x:%02x:%lu", ::major(node.st_dev), ::minor(node.st_dev),
                  static_cast<unsigned long>(node.st_ino));
    std::ofstream(proc / "locks") << "1: POSIX  ADVISORY  READ 77 00:01:99 0 EOF\n"
                                  << "2: FLOCK  ADVISORY  WRITE 900 " << where << " 0 EOF\n"
                                  << "2: -> FLOCK  ADVISORY  WRITE 901 " << where << " 0 EOF\n";
    fs::create_directories(proc / "900");
    std::ofstream(proc / "900" / "comm") << "picoterm\n";
    users = FindPortUsers(peer.SlavePath(), proc.string());
    ASSERT_EQ(users.size(), 2u);
    EXPECT_EQ(users[0].pid, 900);
    EXPECT_EQ(users[0].name, "picoterm");
    EXPECT_EQ(users[1].pid, 812);
    EXPECT_TRUE(RunningProcess("ModemManager", proc.string()));
    EXPECT_FALSE(RunningProcess("getty", proc.string()));
    fs::remove_all(proc);
}

TEST(PortUsers, NamesTheGroupThatOwnsTheNode) {
    const fs::path file = fs::path(test::TempPath("vardex-group"));
    std::ofstream(file) << "";
    const group* dialout = ::getgrnam("dialout");
    if (dialout == nullptr || ::chown(file.c_str(), static_cast<uid_t>(-1), dialout->gr_gid) != 0) {
        fs::remove(file);
        GTEST_SKIP() << "no dialout group to hand the file to";
    }
    EXPECT_EQ(DeviceGroup(file.string()), "dialout");
    EXPECT_EQ(DeviceGroup("/nonexistent/tty"), "");
    fs::remove(file);
}

// "rfc2217://h:1" is also a relative path (rfc2217:/h:1). Where such a file
// happens to exist, a network port must still not be taken for it: no group, no
// USB driver, no vanishing when the file goes.
TEST(PortUsers, NetworkNamesAreNeverLookedUpAsFiles) {
    const fs::path dir = fs::path(test::TempPath("vardex-net"));
    fs::remove_all(dir);
    fs::create_directories(dir / "rfc2217:");
    fs::create_directories(dir / "sys" / "null" / "device");
    fs::create_symlink("/dev/null", dir / "rfc2217:" / "h:1");
    fs::create_symlink("../../bus/usb/drivers/cdc_acm", dir / "sys" / "null" / "device" / "driver");
    const fs::path before = fs::current_path();
    fs::current_path(dir);
    const std::string name = "rfc2217://h:1";
    ASSERT_EQ(DeviceGroup("rfc2217:/h:1"), DeviceGroup("/dev/null"));  // the trap is set
    EXPECT_EQ(DeviceGroup(name), "");
    EXPECT_TRUE(FindPortUsers(name).empty());
    EXPECT_FALSE(IsUsbModemPort(name, (dir / "sys").string()));
    const PortPresence presence(name);
    fs::remove(dir / "rfc2217:" / "h:1");
    EXPECT_FALSE(presence.Vanished());
    fs::current_path(before);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace vardex
