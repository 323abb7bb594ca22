// vardexctl read, write and upgrade against the simulated varDex, in-process,
// and the block sender against lrzsz's receiver.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <sstream>
#include <thread>

#include "at_command.h"
#include "cli_job_window.h"
#include "cli_view.h"
#include "device/firmware_upgrade.h"
#include "firmware_image.h"
#include "identify_command.h"
#include "job_commands.h"
#include "pty_device.h"
#include "res/strings.h"
#include "scripted_job_view.h"
#include "time_scale.h"
#include "xmodem_interop.h"

namespace vardex::test {
namespace {

// Named by process, so that tests running at the same time keep apart.
std::string TempName(const std::string& name) {
    return std::to_string(::getpid()) + "-" + name;
}
std::string TempPath(const std::string& name) {
    return ::testing::TempDir() + "/" + TempName(name);
}

std::string WriteFile(const std::string& name, const std::string& bytes) {
    const std::string path = TempPath(name);
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

// Everything written to a temporary file so far.
std::string Written(std::FILE* file) {
    std::fflush(file);
    std::rewind(file);
    std::string text;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        text.append(buffer, n);
    }
    return text;
}

class Commands : public ::testing::Test {
protected:
    Commands() : scale_(0.1) {
        SysError error;
        EXPECT_TRUE(device_.Start(&error)) << error.Message();
        in_ = std::tmpfile();
        err_ = std::tmpfile();
    }
    ~Commands() override {
        std::fclose(in_);
        std::fclose(err_);
    }
    using Command = int (*)(const std::vector<std::string>&, std::ostream&, std::FILE*, std::FILE*,
                            ctl::JobHook);
    int Run(Command command, std::vector<std::string> args, ctl::JobHook hook = {}) {
        args.insert(args.begin(), {"--port", device_.Path()});
        out_.str("");
        return command(args, out_, in_, err_, hook);
    }
    std::string Err() { return Written(err_); }

    ScopedTimeScale scale_;
    sim::PtyDevice device_;
    std::FILE* in_;
    std::FILE* err_;
    std::ostringstream out_;
};

TEST_F(Commands, ReadJsonNamesEveryFieldOfTheRecord) {
    ASSERT_EQ(Run(ctl::RunRead, {"--json"}), 0) << Err();
    const std::string json = out_.str();
    EXPECT_NE(json.find("\"m_bCallWaiting1\":1,"), std::string::npos) << json;
    EXPECT_NE(json.find("\"m_strPhoneMsn\":[\"\",\"\",\"\",\"\",\"\",\"\"]"), std::string::npos);
    EXPECT_NE(json.find("\"m_byModemLlc\":[[0,0,0],[0,0,0]]"), std::string::npos);
    EXPECT_NE(json.find("\"m_strCountry\":\"Hungary\""), std::string::npos);
    // The job showed its caption and progress on standard error.
    const std::string err = Err();
    EXPECT_NE(err.find("== Uploading varDex Parameters..."), std::string::npos);
    EXPECT_NE(err.find("23/23"), std::string::npos);
}

TEST_F(Commands, WriteFieldsAndJsonFileThenReadBack) {
    const std::string from = WriteFile("fields.json", R"({"m_strPhoneMsn":["11","","","","22",""],
                                     "m_byModemLlc":[[1,2,3],[4,5,200]],
                                     "m_wModelVersion":999, "m_nX25Tei":9})");
    ASSERT_EQ(Run(ctl::RunWrite, {"--from", from, "m_bCallWaiting1=0", "m_strDteMsn[2]=0777",
                                  "m_byModemLlc[0][1]=0x9A", "--store", "2", "--power-up", "2"}),
              0)
        << Err();
    ASSERT_EQ(Run(ctl::RunRead, {"--json"}), 0);
    const std::string json = out_.str();
    EXPECT_NE(json.find("\"m_bCallWaiting1\":0,"), std::string::npos);
    EXPECT_NE(json.find("\"m_strPhoneMsn\":[\"11\",\"\",\"\",\"\",\"22\",\"\"]"),
              std::string::npos);
    EXPECT_NE(json.find("\"m_strDteMsn\":[\"\",\"\",\"0777\"]"), std::string::npos);
    EXPECT_NE(json.find("\"m_byModemLlc\":[[1,154,3],[4,5,200]]"), std::string::npos);
    EXPECT_NE(json.find("\"m_nX25Tei\":9,"), std::string::npos);
    EXPECT_NE(json.find("\"m_nPowerUpProfile\":2,"), std::string::npos);
    // Opening the port resets the device to its power-up profile: what was
    // stored there came back. A read's output goes back in unchanged.
    const std::string again = WriteFile("again.json", json);
    EXPECT_EQ(Run(ctl::RunWrite, {"--from", again}), 0) << Err();
}

TEST_F(Commands, BadInputIsRefusedBeforeAnythingIsSent) {
    const std::string wrong_type = WriteFile("wrong.json", R"({"m_bClip":"yes"})");
    const std::string short_llc = WriteFile("llc.json", R"({"m_byModemLlc":[[1,2,3]]})");
    const std::string not_json = WriteFile("bad.json", R"({"m_bClip":1,})");
    for (const std::vector<std::string>& args : {std::vector<std::string>{"m_bNoSuchField=1"},
                                                 {"m_bClip=abc"},
                                                 {"m_nFlashDuration=101"},
                                                 {"m_nX25PacketSize=3"},
                                                 {"m_strPhoneMsn[6]=1"},
                                                 {"m_strPhoneMsn[0]=12a"},
                                                 {"m_wFirmwareVersion=1"},
                                                 {"m_byModemLlc[0][0]=256"},
                                                 {"--store", "4"},
                                                 {"--power-up", "5"},
                                                 {"--from", wrong_type},
                                                 {"--from", short_llc},
                                                 {"--from", not_json},
                                                 {"--from", TempPath("missing.json")},
                                                 {"m_bClip"}}) {
        SCOPED_TRACE(args.back());
        EXPECT_EQ(Run(ctl::RunWrite, args), 2);
    }
    EXPECT_EQ(device_.BytesReceived(), 0u);
    EXPECT_NE(Err().find("m_nFlashDuration: expected a whole number 0..100"), std::string::npos);
}

TEST_F(Commands, RefusedValueIsAFaultAndExitsOne) {
    device_.SetRefuseWrites(true);
    EXPECT_EQ(Run(ctl::RunWrite, {"m_bCallWaiting1=0"}), 1);
    EXPECT_NE(Err().find("Faults detected while transfering data (2)"), std::string::npos);
}

TEST_F(Commands, UpgradeInstallsTheImageAndReadsAgain) {
    const std::string image = WriteFile("up.img", sim::MakeFirmwareImage("V4.2", 3000));
    EXPECT_EQ(Run(ctl::RunUpgrade, {"--yes", image}), 0) << Err();
    EXPECT_EQ(out_.str(), "upgraded: software version 4.2\n");
    const std::string err = Err();
    EXPECT_NE(err.find("Warning!"), std::string::npos);
    EXPECT_NE(err.find("3000 bytes out of 3000 (100.0%)"), std::string::npos);

    // Without --yes the question is asked, and anything but yes keeps the firmware.
    std::fputs("n\n", in_);
    std::rewind(in_);
    EXPECT_EQ(Run(ctl::RunUpgrade, {image}), 1);
    EXPECT_NE(Err().find("Continue? [y/N]"), std::string::npos);
}

TEST_F(Commands, ADeviceInItsLoaderIsSaidSoWithWhatToDoAndItsOwnStatus) {
    device_.Modify([](sim::Device& d) { d.EnterLoader(); });
    const std::string not_found(res::LoadString(res::IDS_DEVICE_NOT_FOUND).substr(0, 20));
    const std::string in_loader(res::LoadString(res::IDS_DEVICE_IN_UPGRADE_MODE));
    for (const Command command : {ctl::RunRead, ctl::RunWrite}) {
        std::fflush(err_);
        EXPECT_EQ(::ftruncate(::fileno(err_), 0), 0);
        std::rewind(err_);
        EXPECT_EQ(Run(command, {}), ctl::kExitInLoader);
        const std::string err = Err();
        EXPECT_NE(err.find(in_loader), std::string::npos) << err;
        EXPECT_NE(err.find("vardexctl upgrade FILE"), std::string::npos) << err;
        EXPECT_EQ(err.find(not_found), std::string::npos) << err;
        EXPECT_EQ(err.find("did not complete"), std::string::npos) << err;
        EXPECT_EQ(out_.str(), "");
    }

    std::ostringstream out;
    std::fflush(err_);
    EXPECT_EQ(::ftruncate(::fileno(err_), 0), 0);
    std::rewind(err_);
    EXPECT_EQ(ctl::RunIdentify({"--port", device_.Path()}, out, in_, err_), ctl::kExitInLoader);
    const std::string err = Err();
    EXPECT_NE(err.find("vardexctl upgrade FILE"), std::string::npos) << err;
    EXPECT_EQ(err.find("no varDex was identified"), std::string::npos) << err;
    EXPECT_EQ(out.str(), "");
}

// As the program's Upgrade button: where the operator keeps upgrades, the
// device is not asked for its loader.
TEST(UpgradeCommand, OperatorCountryIsLeftAlone) {
    ScopedTimeScale scale(0.1);
    sim::PtyDevice device(sim::DeviceOptions{.country = "Poland"});
    SysError error;
    ASSERT_TRUE(device.Start(&error)) << error.Message();
    const std::string image = WriteFile("pl.img", sim::MakeFirmwareImage("V4.2", 3000));
    std::ostringstream out;
    std::FILE* in = std::tmpfile();
    std::FILE* err = std::tmpfile();
    EXPECT_EQ(ctl::RunUpgrade({"--port", device.Path(), "--yes", image}, out, in, err, {}), 1);
    const std::string err_text = Written(err);
    std::fclose(in);
    std::fclose(err);
    EXPECT_NE(err_text.find(std::string(res::kTextOperatorOnlyUpgrade)), std::string::npos)
        << err_text;
    EXPECT_EQ(device.Inspect([](const sim::Device& d) { return d.SoftwareVersion(); }), "V2.10");
    EXPECT_NE(device.Inspect([](const sim::Device& d) { return d.LastCommand(); }), "ATUPX");
    EXPECT_EQ(out.str(), "");
}

TEST_F(Commands, CtrlCAsksAndASecondOneStopsTheJob) {
    struct Context {
        sim::PtyDevice* device;
        std::thread presser;
    } context{&device_, {}};
    ctl::JobHook hook{[](ctl::CliJobWindow* window, void* c) {
                          auto* ctx = static_cast<Context*>(c);
                          ctx->presser = std::thread([window, ctx] {
                              // Once the queries are under way.
                              ctx->device->WaitForBytesReceived(200, std::chrono::seconds(20));
                              window->Interrupt();
                              window->Interrupt();
                          });
                      },
                      &context};
    EXPECT_EQ(Run(ctl::RunRead, {}, hook), 1);
    context.presser.join();
    const std::string err = Err();
    EXPECT_NE(err.find("Sure you want to cancel the job?"), std::string::npos);
    EXPECT_EQ(err.find("A varDex was not found"), std::string::npos);
    EXPECT_EQ(out_.str(), "");
}

// The answers to the questions, the device list and the Cancel confirmation
// come from one input: a reader must leave the next line for the next reader.
TEST(InputLines, EachReadTakesOneLineAndNothingMore) {
    std::FILE* in = std::tmpfile();
    std::fputs("y\n2\n\nlast", in);
    std::rewind(in);
    std::string line;
    ASSERT_TRUE(ctl::ReadInputLine(in, &line));
    EXPECT_EQ(line, "y");
    char rest[16] = {};
    const ssize_t n =
        ::pread(::fileno(in), rest, sizeof rest - 1, ::lseek(::fileno(in), 0, SEEK_CUR));
    EXPECT_EQ(std::string(rest, static_cast<std::size_t>(n)), "2\n\nlast");
    ASSERT_TRUE(ctl::ReadInputLine(in, &line));
    EXPECT_EQ(line, "2");
    ASSERT_TRUE(ctl::ReadInputLine(in, &line));
    EXPECT_EQ(line, "");
    ASSERT_TRUE(ctl::ReadInputLine(in, &line));
    EXPECT_EQ(line, "last");
    EXPECT_FALSE(ctl::ReadInputLine(in, &line));
    std::fclose(in);
}

// The whole upgrade command meets an XMODEM receiver this project did not
// write. rx answers the detection's commands with NAK as a waiting loader would,
// so the job takes it for a device in upgrade mode and sends the image; the
// read-back afterwards finds nothing, which the command reports as such.
TEST(XmodemInterop, UpgradeCommandIsReceivedByRx) {
    if (!ProgramExists("rx") || !ProgramExists("socat")) {
        GTEST_SKIP() << "needs lrzsz's rx and socat";
    }
    // rx keeps real time and answers a stray byte after about a second; half the
    // program's waits still leave twice that.
    ScopedTimeScale half_time(0.5);
    // 782 blocks: the block number wraps three times, and the last block is filled.
    const std::size_t size = 100000;
    const std::string name = TempName("rx-" + std::to_string(size) + ".bin");
    const std::string out = ::testing::TempDir() + "/" + name;
    std::remove(out.c_str());
    std::string image(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        image[i] = static_cast<char>((i * 31 + 7) & 0xFF);
    }
    const std::string path = WriteFile("rx.img", image);

    RxReceiver rx;
    const std::string pty = rx.Start(::testing::TempDir(), name);
    ASSERT_FALSE(pty.empty());
    std::ostringstream stdout_text;
    std::FILE* in = std::tmpfile();
    std::FILE* err = std::tmpfile();
    const int status = ctl::RunUpgrade({"--port", pty, "--yes", path}, stdout_text, in, err, {});
    const std::string err_text = Written(err);
    std::fclose(in);
    std::fclose(err);

    ASSERT_TRUE(rx.Wait(std::chrono::seconds(20)));
    EXPECT_EQ(ReadFile(out), image + std::string(128 - size % 128, '\xFF'));
    const std::string done = std::to_string(size) + " bytes out of " + std::to_string(size);
    EXPECT_NE(err_text.find(done), std::string::npos) << err_text;
    EXPECT_EQ(status, 1);
    EXPECT_NE(err_text.find("the new firmware was sent and the device restarted"),
              std::string::npos)
        << err_text;
    EXPECT_EQ(err_text.find("error occurred, during firmware upgrading"), std::string::npos)
        << err_text;
}

}  // namespace
}  // namespace vardex::test
