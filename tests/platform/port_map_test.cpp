#include "platform/port_map.h"

#include "platform/port_kind.h"
#include "temp_files.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

using namespace vardex::platform;

namespace vardex {
namespace {

namespace fs = std::filesystem;

class FakeSysfs : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = test::TempPath("sysfs");
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    void TearDown() override { fs::remove_all(root_); }
    void AddTty(const std::string& name, const std::string& type = "") {
        fs::create_directories(root_ / name);
        if (!type.empty()) {
            std::ofstream(root_ / name / "type") << type << "\n";
        }
    }
    void SetConsole(const std::string& active) {
        fs::create_directories(root_ / "console");
        std::ofstream(root_ / "console" / "active") << active << "\n";
    }
    fs::path root_;
};

TEST_F(FakeSysfs, OrdersFamiliesByNumberAndSkipsConsoleAndEmptyUarts) {
    AddTty("ttyS0", "4");
    AddTty("ttyS1", "0");  // no UART behind it
    AddTty("ttyS10", "4");
    AddTty("ttyS2", "4");
    AddTty("ttyUSB1");
    AddTty("ttyUSB0");
    AddTty("ttyAMA0");
    AddTty("tty5");
    AddTty("ttySx");
    SetConsole("tty0 ttyS0");
    const auto ports = SystemSerialPorts(root_.string(), "/dev");
    const std::vector<std::string> expected = {"/dev/ttyS2", "/dev/ttyS10", "/dev/ttyUSB0",
                                               "/dev/ttyUSB1", "/dev/ttyAMA0"};
    EXPECT_EQ(ports, expected);
}

TEST_F(FakeSysfs, KeepsAtMostTen) {
    for (int i = 0; i < 14; ++i) {
        AddTty("ttyUSB" + std::to_string(i));
    }
    const auto ports = SystemSerialPorts(root_.string(), "/dev");
    ASSERT_EQ(ports.size(), 10u);
    EXPECT_EQ(ports.back(), "/dev/ttyUSB9");
}

TEST(PortList, EntriesMapToComNumbers) {
    auto ports = ParsePortList("/dev/pts/3::/tmp/x");
    ASSERT_EQ(ports.size(), 10u);
    EXPECT_EQ(ports[0], "/dev/pts/3");
    EXPECT_EQ(ports[1], "");
    EXPECT_EQ(ports[2], "/tmp/x");
    EXPECT_EQ(ports[3], "");
    EXPECT_EQ(ParsePortList("").size(), 10u);
    EXPECT_EQ(ParsePortList("a:b:c:d:e:f:g:h:i:j:k:l")[9], "j");
}

TEST(PortList, NetworkEntriesAreTakenWholeWithTheirColons) {
    auto ports = ParsePortList(
        "rfc2217://cabinet:3001:/dev/pts/3:RFC2217://[fe80::1%eth0]:7000::rfc2217://[::1]:99");
    EXPECT_EQ(ports[0], "rfc2217://cabinet:3001");
    EXPECT_EQ(ports[1], "/dev/pts/3");
    EXPECT_EQ(ports[2], "RFC2217://[fe80::1%eth0]:7000");
    EXPECT_EQ(ports[3], "");
    EXPECT_EQ(ports[4], "rfc2217://[::1]:99");
    EXPECT_EQ(ports[5], "");
    // A host without a port ends at the colon, so the next entry keeps its place;
    // a port number must run up to the next separator to belong to the host.
    ports = ParsePortList("rfc2217://cabinet:/dev/pts/4:rfc2217://[::1]:rfc2217://h:12x:x");
    EXPECT_EQ(ports[0], "rfc2217://cabinet");
    EXPECT_EQ(ports[1], "/dev/pts/4");
    EXPECT_EQ(ports[2], "rfc2217://[::1]");
    EXPECT_EQ(ports[3], "rfc2217://h");
    EXPECT_EQ(ports[4], "12x");
    EXPECT_EQ(ports[5], "x");
    // An unclosed literal takes the rest rather than splitting inside it.
    ports = ParsePortList("/dev/a:rfc2217://[::1:3001");
    EXPECT_EQ(ports[1], "rfc2217://[::1:3001");
    EXPECT_EQ(ports[2], "");
    // Not the scheme: plain colon-separated paths, as before.
    ports = ParsePortList("rfc2217:/x:tcp://h:1");
    EXPECT_EQ(ports[0], "rfc2217");
    EXPECT_EQ(ports[1], "/x");
    EXPECT_EQ(ports[2], "tcp");
    EXPECT_EQ(ports[3], "//h");
    // Eleven network entries still make ten COM ports.
    std::string many;
    for (int i = 1; i <= 11; ++i) {
        many += (i > 1 ? ":" : "") + std::string("rfc2217://h:") + std::to_string(i);
    }
    ports = ParsePortList(many);
    ASSERT_EQ(ports.size(), 10u);
    EXPECT_EQ(ports[9], "rfc2217://h:10");
}

TEST(PortList, ComNamesResolveToNetworkPorts) {
    ::setenv("VARDEX_PORTS", "::rfc2217://cabinet:3001", 1);
    EXPECT_EQ(ResolvePortName("COM3").value_or(""), "rfc2217://cabinet:3001");
    EXPECT_EQ(DescribePort("COM3"), "COM3 (rfc2217://cabinet:3001)");
    EXPECT_FALSE(ResolvePortName("COM4"));
    ::unsetenv("VARDEX_PORTS");
}

TEST(PortList, ResolvesComNamesThroughTheEnvironment) {
    ::setenv("VARDEX_PORTS", "/dev/pts/7::/dev/pts/9", 1);
    EXPECT_EQ(ResolvePortName("COM1").value_or(""), "/dev/pts/7");
    EXPECT_EQ(ResolvePortName("com3").value_or(""), "/dev/pts/9");
    EXPECT_FALSE(ResolvePortName("COM2"));   // empty entry
    EXPECT_FALSE(ResolvePortName("COM4"));   // beyond the list
    EXPECT_FALSE(ResolvePortName("COM11"));  // beyond COM10
    EXPECT_FALSE(ResolvePortName("COM0"));
    EXPECT_FALSE(ResolvePortName("LPT1"));
    EXPECT_FALSE(ResolvePortName("COM1x"));
    EXPECT_EQ(DescribePort("COM3"), "COM3 (/dev/pts/9)");
    EXPECT_EQ(DescribePort("COM2"), "COM2");
    ::unsetenv("VARDEX_PORTS");
}

TEST_F(FakeSysfs, OnlyAModemClassUsbDeviceIsTheDevicesOwnUsbPort) {
    // Device nodes of a fake /dev, each tty with the driver the kernel names.
    const fs::path dev = root_ / "dev";
    fs::create_directories(dev);
    const auto add = [&](const std::string& name, const std::string& driver) {
        std::ofstream(dev / name) << "";
        fs::create_directories(root_ / name / "device");
        if (!driver.empty()) {
            fs::create_directory_symlink(root_ / "drivers" / driver,
                                         root_ / name / "device" / "driver");
        }
    };
    add("ttyACM0", "cdc_acm");
    add("ttyUSB0", "ftdi_sio");  // an RS-232 adapter, whatever its name says
    add("ttyS0", "serial8250");
    add("ttyX", "");
    fs::create_symlink(dev / "ttyACM0", dev / "vardex");
    const std::string sysfs = root_.string();
    EXPECT_TRUE(IsUsbModemPort((dev / "ttyACM0").string(), sysfs));
    EXPECT_TRUE(IsUsbModemPort((dev / "vardex").string(), sysfs));  // through a link
    EXPECT_FALSE(IsUsbModemPort((dev / "ttyUSB0").string(), sysfs));
    EXPECT_FALSE(IsUsbModemPort((dev / "ttyS0").string(), sysfs));
    EXPECT_FALSE(IsUsbModemPort((dev / "ttyX").string(), sysfs));
    EXPECT_FALSE(IsUsbModemPort((dev / "missing").string(), sysfs));
    EXPECT_FALSE(IsUsbModemPort("", sysfs));
}

}  // namespace
}  // namespace vardex
