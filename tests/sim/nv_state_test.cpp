// The state file: what goes in comes out, damage of any kind is refused as a
// whole, and a save replaces the file in one step.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "device.h"
#include "nv_state.h"

namespace vardex::sim {
namespace {

NvState Sample() {
    NvState state = Device::FactoryNv(DeviceOptions{});
    state.firmware_valid = false;
    state.software_version = "V2.31";
    state.crc = "CRC: 0BAD";
    state.s15 = 96;
    state.msn[0] = "3612345";
    state.msn[8] = "99";
    state.own[2] = "99";
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
    NvState parsed;
    std::string why;
    ASSERT_TRUE(ParseNv(SerializeNv(state), &parsed, &why)) << why;
    EXPECT_EQ(parsed, state);
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
        replaced("charge_last=1,2,3", "charge_last=1,2"),
        replaced("charge_total=4000000000", "charge_total=5000000000"),
        replaced("firmware_valid=0", "firmware_valid=yes"),
        replaced("profile3_clip=19", "profile3_clip=x"),
        replaced("4D", "4G"),  // a register's hex digit
        replaced("\nend\n", "\nend"),
    };
    for (const std::string& text : cases) {
        NvState state = Sample();
        state.s15 = 1;
        const NvState before = state;
        std::string why;
        EXPECT_FALSE(ParseNv(text, &state, &why)) << text.substr(0, 80);
        EXPECT_FALSE(why.empty());
        EXPECT_EQ(state, before);
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
    void TearDown() override {
        std::remove(path_.c_str());
        ::rmdir(folder_.c_str());
    }
    std::string folder_;
    std::string path_;
};

TEST_F(SimStateFileTest, SaveReplacesTheFileAndLeavesNoTemporary) {
    SysError error;
    NvState loaded;
    EXPECT_FALSE(LoadStateFile(path_, &loaded, &error));
    EXPECT_EQ(error.code, ENOENT);

    ASSERT_TRUE(SaveStateFile(path_, Device::FactoryNv(DeviceOptions{}), &error))
        << error.Message();
    ASSERT_TRUE(SaveStateFile(path_, Sample(), &error)) << error.Message();
    ASSERT_TRUE(LoadStateFile(path_, &loaded, &error)) << error.Message();
    EXPECT_EQ(loaded, Sample());

    // Only the state file is left in the folder.
    std::string listing;
    FILE* ls = ::popen(("ls -A '" + folder_ + "'").c_str(), "r");
    ASSERT_NE(ls, nullptr);
    char line[256];
    while (std::fgets(line, sizeof line, ls) != nullptr) {
        listing += line;
    }
    ::pclose(ls);
    EXPECT_EQ(listing, "device.state\n");
}

TEST_F(SimStateFileTest, AGarbledFileIsReportedWithItsLine) {
    std::ofstream(path_) << "vardex-sim state 1\nfirmware_valid=1\n\x01\x02\nend\n";
    NvState loaded;
    SysError error;
    EXPECT_FALSE(LoadStateFile(path_, &loaded, &error));
    EXPECT_EQ(error.code, EINVAL);
    EXPECT_NE(error.Message().find("line 3"), std::string::npos) << error.Message();

    // A folder that cannot be written to fails the save and keeps the old file.
    SysError save_error;
    EXPECT_FALSE(SaveStateFile(folder_ + "/missing/device.state", Sample(), &save_error));
    EXPECT_EQ(save_error.code, ENOENT);
}

}  // namespace
}  // namespace vardex::sim
