// vardexctl read, write and upgrade against the simulated varDex, in-process,
// and the block sender against lrzsz's receiver.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "at_command.h"
#include "cli_job_window.h"
#include "cli_view.h"
#include "command_table.h"
#include "device/firmware_upgrade.h"
#include "firmware_image.h"
#include "identify_command.h"
#include "job_commands.h"
#include "params/field_table.h"
#include "platform/environment.h"
#include "pty_device.h"
#include "res/strings.h"
#include "scoped_env.h"
#include "scripted_job_view.h"
#include "selftest_command.h"
#include "settings/backup_store.h"
#include "sim_truth.h"
#include "time_scale.h"
#include "xmodem_interop.h"

using namespace vardex::platform;
using namespace vardex::params;

namespace vardex::test {
namespace {

// A thread a job's hook starts is there only if the job got that far: joined
// when it is, and false when it is not, so that the test fails saying so.
bool JoinIfStarted(std::thread& thread) {
    if (!thread.joinable()) {
        return false;
    }
    thread.join();
    return true;
}

std::string WriteFile(const std::string& name, const std::string& bytes) {
    const std::string path = TempPath(name);
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

// A handler run on the test's streams, with the row it serves.
struct Command {
    std::string_view name;
    int (*run)(const ctl::CommandCall&, std::ostream&, std::FILE*, std::FILE*, ctl::JobHook);
};
constexpr Command kRead{"read", ctl::RunRead};
constexpr Command kWrite{"write", ctl::RunWrite};
constexpr Command kDiff{"diff", ctl::RunDiff};
constexpr Command kApply{"apply", ctl::RunApply};
constexpr Command kRestore{"restore", ctl::RunRestore};
constexpr Command kUpgrade{"upgrade", ctl::RunUpgrade};

class Commands : public ::testing::Test {
protected:
    explicit Commands(sim::DeviceOptions options = {}, double scale = kAnswerScale)
        : state_("XDG_STATE_HOME", TempPath("state")), scale_(scale), device_(std::move(options)) {
        SysError error;
        EXPECT_TRUE(device_.Start(&error)) << error.Message();
        in_ = std::tmpfile();
        err_ = std::tmpfile();
    }
    ~Commands() override {
        std::fclose(in_);
        std::fclose(err_);
    }
    int Run(const Command& command, std::vector<std::string> args, ctl::JobHook hook = {}) {
        args.insert(args.begin(), {"--port", device_.Path()});
        out_.str("");
        return command.run(ctl::CallOf(command.name, args), out_, in_, err_, hook);
    }
    std::string Err() { return Written(err_); }

    ScopedEnv state_;  // the backups go to the test's folder, never the home
    ScopedTimeScale scale_;
    sim::PtyDevice device_;
    std::FILE* in_;
    std::FILE* err_;
    std::ostringstream out_;
};

TEST_F(Commands, WriteFieldsAndJsonFileThenReadBack) {
    // Profile 2 is 2 in a file as on the command line (--store 2).
    const std::string from = WriteFile("fields.json", R"({"m_strPhoneMsn":["11","","","","22",""],
                                     "m_byModemLlc":[[1,2,3],[4,5,200]],
                                     "m_wModelVersion":999, "m_nX25Tei":9,
                                     "m_nStoreProfile":2})");
    ASSERT_EQ(Run(kWrite, {"--from", from, "m_bCallWaiting1=0", "m_strDteMsn[2]=0777",
                           "m_byModemLlc[0][1]=0x9A", "--power-up", "2"}),
              0)
        << Err();
    EXPECT_EQ(
        device_.Inspect([](const sim::Device& d) { return d.Nv().profiles[2].registers[79]; }) & 4,
        0);
    ASSERT_EQ(Run(kRead, {"--json"}), 0);
    const std::string json = out_.str();
    EXPECT_NE(json.find("\"m_nStoreProfile\":-1,"), std::string::npos) << json;
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
    EXPECT_EQ(Run(kWrite, {"--from", again}), 0) << Err();
}

// Each choice the reply rules leave to the device, seed by seed (the X.121
// label, echo left on, leading zeros, a line break before replies or not,
// blanks in the listings, replies in pieces, a slow ATZ, registers the firmware
// refuses): a read gives exactly what the device holds, null for what it
// refuses and those commands named, and a verified write stores exactly what
// was asked.
class DialectCommands : public Commands, public ::testing::WithParamInterface<std::uint32_t> {
protected:
    // At a fifth of the real time: a reply's pause (at most a third of the
    // read time-out) then leaves tens of milliseconds for a busy machine.
    DialectCommands()
        : Commands(sim::DeviceOptions{.dialect = sim::Dialect::FromSeed(GetParam())}, 0.2) {}

    nlohmann::json ReadJson() {
        EXPECT_EQ(Run(kRead, {"--json"}), 0) << Err();
        return nlohmann::json::parse(out_.str(), nullptr, false);
    }
    // Every followed value of a read against the device, profile -1 the active.
    void ExpectExact(const nlohmann::json& read) {
        const sim::Dialect dialect =
            device_.Inspect([](const sim::Device& d) { return d.Options().dialect; });
        std::set<std::string> refused;
        for (const int reg : dialect.unknown_registers) {
            refused.insert("ATS" + std::to_string(reg) + "?");
        }
        EXPECT_EQ(read.at("refused_commands").get<std::set<std::string>>(), refused);
        for (const auto& [key, value] : read.items()) {
            const RecordField* field = FindField(key);
            if (field == nullptr) {
                continue;
            }
            const bool unknown = field->place.reg >= 0 && !dialect.Knows(field->place.reg);
            EXPECT_EQ(value.is_null(), unknown) << key << " " << value;
            const std::size_t count = value.is_array() ? value.size() : 0;
            for (std::size_t i = 0; i < std::max<std::size_t>(count, 1); ++i) {
                const std::string name = count > 0 ? key + "[" + std::to_string(i) + "]" : key;
                const auto truth =
                    device_.Inspect([&name](const sim::Device& d) { return Truth(d, name); });
                if (truth && !unknown) {
                    EXPECT_EQ(*truth, (count > 0 ? value[i] : value).dump()) << name;
                }
            }
        }
    }
};

TEST_P(DialectCommands, ReadAndVerifiedWriteAreExact) {
    device_.Modify([](sim::Device& d) {
        d.SetRegister(84, 0xD0);
        d.SetRegister(104, 0x35);
        d.SetRegister(106, 5);
        d.AddCall(sim::Line::kPhone2, 7);
    });
    ExpectExact(ReadJson());
    const std::string err = Err();
    // The job showed its caption on standard error; a file is no terminal, so
    // nothing of the progress bar went there.
    EXPECT_NE(err.find("== Uploading varDex Parameters..."), std::string::npos);
    EXPECT_FALSE(std::regex_search(err, std::regex(R"(\[[#.]+\] \d+/\d+)"))) << err;
    const sim::Dialect dialect =
        device_.Inspect([](const sim::Device& d) { return d.Options().dialect; });
    EXPECT_EQ(err.find("answered ERROR to") != std::string::npos,
              !dialect.unknown_registers.empty())
        << err;

    const std::map<std::string, std::string> wanted = {{"m_bCallWaiting1", "0"},
                                                       {"m_nFlashDuration", "55"},
                                                       {"m_strX25Address", "\"2624512\""},
                                                       {"m_strPhoneMsn[1]", "\"4711\""},
                                                       {"m_nFskLevel", "7"},
                                                       {"m_nX25Layer3Window", "6"},
                                                       {"m_bClipOnCw1", "0"}};
    std::vector<std::string> args = {"--store", "0"};
    for (const auto& [name, value] : wanted) {
        const bool text = value.front() == '"';
        args.push_back(name + "=" + (text ? value.substr(1, value.size() - 2) : value));
    }
    ASSERT_EQ(Run(kWrite, args), 0) << Err();
    device_.Inspect([&wanted](const sim::Device& d) {
        for (const auto& [name, value] : wanted) {
            EXPECT_EQ(Truth(d, name), value) << name;
            EXPECT_EQ(Truth(d, name, 0), value) << name << " in profile 0";
        }
        return 0;
    });
    const nlohmann::json again = ReadJson();
    ExpectExact(again);
    EXPECT_EQ(again.at("m_nFlashDuration"), 55);
    EXPECT_EQ(again.at("m_strX25Address"), "2624512");
}

INSTANTIATE_TEST_SUITE_P(Dialects, DialectCommands, ::testing::Range<std::uint32_t>(1, 9));

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
                                                 {"m_strDteMsn[1]=12;AT&F"},
                                                 {"m_strPhoneMsn[1]=1234567890123456789012345"},
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
        EXPECT_EQ(Run(kWrite, args), 2);
    }
    EXPECT_EQ(device_.BytesReceived(), 0u);
    EXPECT_NE(Err().find("m_nFlashDuration: expected a whole number 0..100"), std::string::npos);
}

TEST_F(Commands, TelephonyRulesOfTheCountryHoldBeforeAnySettingIsSent) {
    const int flash = device_.Register(56);
    for (const char* word : {"m_nFlashDuration=10", "m_bNoIncomingMlppp1=1"}) {
        SCOPED_TRACE(word);
        EXPECT_EQ(Run(kWrite, {"m_bCallWaiting1=0", word}), 2);
    }
    const std::string err = Err();
    EXPECT_NE(err.find("vardexctl write: m_nFlashDuration: Valid limits: 20 - 100\n"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("m_bNoIncomingMlppp1: the Hungarian variant does not have it"),
              std::string::npos);
    EXPECT_EQ(device_.Register(56), flash);
    EXPECT_EQ(device_.Register(79) & 4, 4) << "nothing of the write went out";
    // 0 is no flash, and allowed everywhere.
    EXPECT_EQ(Run(kWrite, {"m_nFlashDuration=0"}), 0) << Err();
    EXPECT_EQ(device_.Register(56), 0);
}

// The setting commands ("ATS79.2=0", "AT!X2=...") among what the device heard;
// the read asks only.
std::vector<std::string> SettingsSent(const sim::PtyDevice& device) {
    std::vector<std::string> sent;
    std::istringstream lines(device.ReceivedBytes());
    for (std::string line; std::getline(lines, line, '\r');) {
        if (line.find('=') != std::string::npos) {
            sent.push_back(line);
        }
    }
    return sent;
}

TEST_F(Commands, WritesKeepABackupThatRestoreAndApplyBringBack) {
    ASSERT_EQ(Run(kRead, {"--json"}), 0) << Err();
    const std::string first = out_.str();
    ASSERT_NE(first.find("\"m_nPowerUpProfile\":0,"), std::string::npos);  // what --store 0 keeps
    ASSERT_EQ(Run(kWrite, {"--store", "0", "m_bCallWaiting1=0"}), 0) << Err();
    std::vector<settings::Backup> backups = settings::ListBackups().value_or({});
    ASSERT_EQ(backups.size(), 1u);
    // The read as it was, then the unit's port and the time it was written.
    const std::string kept = ReadFile(backups[0].path);
    EXPECT_EQ(kept.substr(0, first.size() - 2), first.substr(0, first.size() - 2));
    EXPECT_NE(kept.find(",\"backup_port\":\"" + device_.Path() + "\","), std::string::npos) << kept;
    struct stat info {};
    ASSERT_EQ(::stat(backups[0].path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(backups[0].country, "Hungary");

    // The device differs from the backup in the one field written.
    EXPECT_EQ(Run(kDiff, {backups[0].path}), ctl::kExitDiffers);
    EXPECT_EQ(out_.str(), "m_bCallWaiting1: 0 -> 1\n");
    ASSERT_EQ(Run(kRestore, {"--yes", "--store", "0"}), 0) << Err();
    EXPECT_NE(out_.str().find("m_bCallWaiting1: 0 -> 1\n"), std::string::npos) << out_.str();
    ASSERT_EQ(Run(kRead, {"--json"}), 0);
    EXPECT_EQ(out_.str(), first);
    EXPECT_EQ(settings::ListBackups().value_or({}).size(), 2u);
    EXPECT_EQ(Run(kDiff, {backups[0].path}), 0);

    // A desired state by readable names: --check sends no setting, a second
    // apply finds nothing to do and sends nothing either.
    const std::string wanted =
        WriteFile("wanted.json", R"({"port1.call_waiting":0,"x25.tei":9,"m_bClip":1})");
    device_.KeepReceivedBytes(true);
    ASSERT_EQ(Run(kApply, {wanted, "--check", "--json"}), 0) << Err();
    EXPECT_EQ(out_.str(), R"({"changed":true,"changes":{"m_bCallWaiting1":{"before":1,"after":0},)"
                          R"("m_nX25Tei":{"before":0,"after":9}}})"
                          "\n");
    EXPECT_EQ(SettingsSent(device_), std::vector<std::string>{});
    ASSERT_EQ(Run(kApply, {wanted, "--store", "0"}), 0) << Err();
    EXPECT_FALSE(SettingsSent(device_).empty());
    device_.KeepReceivedBytes(false);
    device_.KeepReceivedBytes(true);
    ASSERT_EQ(Run(kApply, {wanted, "--json"}), 0) << Err();
    EXPECT_EQ(out_.str(), "{\"changed\":false,\"changes\":{}}\n");
    EXPECT_EQ(SettingsSent(device_), std::vector<std::string>{});
    // The check and the no-op kept none.
    EXPECT_EQ(settings::ListBackups().value_or({}).size(), 3u);
}

TEST_F(Commands, NoSettingIsSentWithoutABackupOrToAnotherVariant) {
    ASSERT_EQ(Run(kRead, {"--json"}), 0) << Err();
    std::string other = out_.str();
    other.replace(other.find("\"Hungary\""), 9, "\"Poland\"");
    const std::string polish = WriteFile("polish.json", other);
    // The backup folder cannot be made: a file stands where it would go.
    const std::string blocked = WriteFile("blocked", "");
    const std::string clip = WriteFile("clip.json", R"({"telephony.clip":0})");
    device_.KeepReceivedBytes(true);
    {
        ScopedEnv state("XDG_STATE_HOME", blocked);
        for (const Command& command : {kWrite, kApply}) {
            EXPECT_EQ(Run(command, {command.run == ctl::RunWrite ? "m_bClip=0" : clip}), 1);
            EXPECT_NE(Err().find("could not be kept as a backup"), std::string::npos);
        }
    }
    EXPECT_EQ(Run(kRestore, {"--yes", polish}), 2);
    EXPECT_NE(Err().find("was read from the varDex on an unknown port (Poland, model 1.2"),
              std::string::npos)
        << Err();
    EXPECT_EQ(SettingsSent(device_), std::vector<std::string>{});
    EXPECT_TRUE(settings::ListBackups().value_or({}).empty());
}

class PolandCommands : public Commands {
protected:
    PolandCommands() : Commands(sim::DeviceOptions{.country = "Poland"}) {}
};

TEST_F(PolandCommands, FlashFromFiveAndNoTerminals) {
    EXPECT_EQ(Run(kWrite, {"m_nFlashDuration=5"}), 0) << Err();
    EXPECT_EQ(device_.Register(56), 5);
    for (const char* word : {"m_nFlashDuration=4", "m_nTerminalType1=2", "m_bMessageWaiting2=1",
                             "m_byModemLlc[1][2]=9"}) {
        SCOPED_TRACE(word);
        EXPECT_EQ(Run(kWrite, {word}), 2);
    }
    const std::string err = Err();
    EXPECT_NE(err.find("m_nFlashDuration: Valid limits: 5 - 100"), std::string::npos) << err;
    EXPECT_NE(err.find("m_nTerminalType1: only the Hungarian variant has it"), std::string::npos);
}

TEST_F(PolandCommands, TheConnectionIsNotToBeChanged) {
    // Values other than the device's.
    const int protocol = CDeviceConfig::S82ToProtocol(device_.Register(82)) == 1 ? 2 : 1;
    const std::string bap = (device_.Register(102) & 1) != 0 ? "0" : "1";
    for (const std::string& word :
         {"m_nProtocol=" + std::to_string(protocol),
          "m_nBodAddRate=" + std::to_string(device_.Register(126) ^ 1), "m_bBapSupport=" + bap}) {
        SCOPED_TRACE(word);
        EXPECT_EQ(Run(kWrite, {"m_bCallWaiting1=0", word}), 2);
    }
    const std::string err = Err();
    EXPECT_NE(err.find("vardexctl write: m_nProtocol: the Polish variant keeps its connection"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("m_nBodAddRate: the Polish"), std::string::npos);
    EXPECT_EQ(device_.Register(79) & 4, 4) << "nothing of the write went out";
}

// A variant without X.25, V.110 or V.120.
class GermanyCommands : public Commands {
protected:
    GermanyCommands() : Commands(sim::DeviceOptions{.country = "Germany"}) {}
};

TEST_F(GermanyCommands, ProtocolsAndX25OnlyWhereTheVariantHasThem) {
    for (const char* word : {"m_nProtocol=4", "m_nProtocol=5", "m_nProtocol=6", "m_nX25Tei=5"}) {
        SCOPED_TRACE(word);
        EXPECT_EQ(Run(kWrite, {word}), 2);
    }
    const std::string err = Err();
    EXPECT_NE(err.find("m_nProtocol: this variant does not offer that protocol"), std::string::npos)
        << err;
    EXPECT_NE(err.find("m_nX25Tei: this variant has no X.25"), std::string::npos);
    EXPECT_EQ(Run(kWrite, {"m_nProtocol=3"}), 0) << Err();
    EXPECT_EQ(device_.Register(82), CDeviceConfig::ProtocolToS82(3));
}

TEST_F(Commands, X25ValuesKeepTheirRanges) {
    for (const char* word : {"m_nX25Tei=64", "m_nX25CugNumber=100", "m_nX25PacketSize=8",
                             "m_strX25Address=12a", "m_strX25Address=1234567890123456"}) {
        SCOPED_TRACE(word);
        EXPECT_EQ(Run(kWrite, {word}), 2);
    }
    EXPECT_EQ(device_.BytesReceived(), 0u);
    EXPECT_EQ(Run(kWrite, {"m_nX25CugNumber=255", "m_nX25Tei=63"}), 0) << Err();
    EXPECT_EQ(device_.Register(105), 255);
    EXPECT_EQ(device_.Register(90), 63);
}

TEST_F(Commands, ValuesTheDeviceRefusedAreNamedWithWhatItKept) {
    ASSERT_EQ(device_.Register(79) & 4, 4);  // call waiting on Phone 1
    ASSERT_EQ(device_.Register(85) & 1, 0);  // CLIR off on Phone 1
    const std::string flash = std::to_string(device_.Register(56));
    device_.SetRefuseWrites(true);
    EXPECT_EQ(Run(kWrite, {"m_bCallWaiting1=0", "m_nFlashDuration=33", "m_strPhoneMsn[1]=77",
                           "m_bClir1=1"}),
              1);
    const std::string err = Err();
    // The window's own message stays as the program shows it.
    EXPECT_NE(err.find("Faults detected while transfering data ("), std::string::npos) << err;
    for (const std::string& line :
         {std::string("m_bCallWaiting1=0: refused, the device holds 1"),
          "m_nFlashDuration=33: refused, the device holds " + flash,
          std::string("m_strPhoneMsn[1]=\"77\": refused, the device holds \"\""),
          // Not read back by its row: vardexctl asked.
          std::string("m_bClir1=1: refused, the device holds 0")}) {
        EXPECT_NE(err.find("vardexctl write: " + line + "\n"), std::string::npos) << line << err;
    }
    EXPECT_EQ(out_.str(), "");
}

TEST_F(Commands, SettingsFilesAreRegularFilesOfAtMostOneMebibyte) {
    const std::string fifo = TempPath("fifo.json");
    ::unlink(fifo.c_str());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // A FIFO without a writer must not hold the command: bounded, and freed if it does.
    std::promise<int> status;
    std::future<int> done = status.get_future();
    std::thread runner([&] { status.set_value(Run(kWrite, {"--from", fifo})); });
    if (done.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        ADD_FAILURE() << "--from FIFO blocked";
        ::close(::open(fifo.c_str(), O_WRONLY));
    }
    runner.join();
    EXPECT_EQ(done.get(), 2);
    ::unlink(fifo.c_str());

    const std::string object = R"({"m_bCallWaiting1":0})";
    const std::string big =
        WriteFile("big.json", object + std::string((1 << 20) + 1 - object.size(), ' '));
    const std::string missing = TempPath("missing.json");
    const std::map<std::string, std::string> said = {
        {big, "larger than 1 MiB"},
        {missing, "No such file or directory"},
        {::testing::TempDir(), "not a regular file"},
        {"/dev/zero", "not a regular file"},
    };
    for (const auto& [path, why] : said) {
        EXPECT_EQ(Run(kWrite, {"--from", path}), 2) << path;
    }
    const std::string err = Err();
    EXPECT_NE(err.find("cannot read " + fifo + ": not a regular file\n"), std::string::npos) << err;
    for (const auto& [path, why] : said) {
        EXPECT_NE(err.find("cannot read " + path + ": " + why + "\n"), std::string::npos) << err;
    }
    EXPECT_EQ(device_.BytesReceived(), 0u);
}

// An empty --port would search every port (and here find the simulator as COM1).
TEST_F(Commands, AnEmptyOrMissingPortIsAUsageErrorForEveryCommand) {
    test::ScopedEnv env(env::kPorts, device_.Path());
    env.Set(env::kLines, "");
    const std::string image = WriteFile("port.img", sim::MakeFirmwareImage("V4.2", 3000));
    for (const std::vector<std::string>& port :
         {std::vector<std::string>{"--port", ""}, std::vector<std::string>{"--port"}}) {
        const auto with = [&](std::vector<std::string> args) {
            args.insert(args.end(), port.begin(), port.end());
            return args;
        };
        std::ostringstream out;
        std::ostringstream err;
        // at takes every word after its first command as a command.
        std::vector<std::string> at = port;
        if (port.size() == 2) {
            at.push_back("ATI4");
        }
        EXPECT_EQ(ctl::RunAt(ctl::CallOf("at", at), out, err), ctl::kExitUsage);
        EXPECT_EQ(ctl::RunIdentify(ctl::CallOf("identify", with({})), out, in_, err_),
                  ctl::kExitUsage);
        EXPECT_EQ(ctl::RunRead(ctl::CallOf("read", with({})), out, in_, err_, {}), ctl::kExitUsage);
        EXPECT_EQ(ctl::RunWrite(ctl::CallOf("write", with({"m_bClip=1"})), out, in_, err_, {}),
                  ctl::kExitUsage);
        EXPECT_EQ(
            ctl::RunUpgrade(ctl::CallOf("upgrade", with({"--yes", image})), out, in_, err_, {}),
            ctl::kExitUsage);
        EXPECT_EQ(out.str(), "");
    }
    EXPECT_NE(Err().find("vardexctl write: --port needs the path of a port"), std::string::npos);
    EXPECT_EQ(device_.BytesReceived(), 0u);
}

// A --port that cannot be opened ends every command with the same sentence,
// under the command's own name, and nothing is searched instead.
TEST_F(Commands, APortThatCannotBeOpenedIsNamedWithItsReasonByEveryCommand) {
    test::ScopedEnv env(env::kPorts, device_.Path());
    env.Set(env::kLines, "");
    const std::string image = WriteFile("noport.img", sim::MakeFirmwareImage("V4.2", 3000));
    const std::string missing = "/dev/no-such-vardex";
    const std::string because = missing + " does not exist (";
    std::ostringstream out;
    std::ostringstream at_err;
    EXPECT_EQ(ctl::RunAt(ctl::CallOf("at", {"--port", missing, "ATI4"}), out, at_err),
              ctl::kExitLinkDown);
    EXPECT_NE(at_err.str().find("vardexctl at: " + because), std::string::npos);
    EXPECT_EQ(ctl::RunIdentify(ctl::CallOf("identify", {"--port", missing}), out, in_, err_),
              ctl::kExitLinkDown);
    EXPECT_EQ(ctl::RunRead(ctl::CallOf("read", {"--port", missing}), out, in_, err_, {}),
              ctl::kExitLinkDown);
    EXPECT_EQ(
        ctl::RunWrite(ctl::CallOf("write", {"--port", missing, "m_bClip=1"}), out, in_, err_, {}),
        ctl::kExitLinkDown);
    EXPECT_EQ(ctl::RunUpgrade(ctl::CallOf("upgrade", {"--port", missing, "--yes", image}), out, in_,
                              err_, {}),
              ctl::kExitLinkDown);
    const std::string err = Err();
    for (const char* command : {"identify", "read", "write", "upgrade"}) {
        EXPECT_NE(err.find("vardexctl " + std::string(command) + ": " + because), std::string::npos)
            << command;
    }
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(device_.BytesReceived(), 0u);
}

// Calls the hook's action when the job numbered `at` (1 the read, 2 the write) starts.
struct AtJob {
    int at = 0;
    int calls = 0;
    std::function<void(ctl::CliJobWindow*)> action;
    ctl::JobHook Hook() {
        return {[](ctl::CliJobWindow* window, void* c) {
                    auto* self = static_cast<AtJob*>(c);
                    if (++self->calls == self->at) {
                        self->action(window);
                    }
                },
                this};
    }
};

// The fate line of a field in a write's messages: "applied", "refused", ...
std::string Fate(const std::string& err, const std::string& name) {
    const std::string key = "vardexctl write: " + name + "=";
    const auto at = err.find(key);
    if (at == std::string::npos) {
        return "missing";
    }
    const auto colon = err.find(": ", at + key.size());
    const auto end = err.find_first_of(",(\n", colon);
    std::string fate = err.substr(colon + 2, end - colon - 2);
    while (!fate.empty() && fate.back() == ' ') {
        fate.pop_back();
    }
    return fate;
}

// The line goes down in the middle of a write: each value is said to be applied,
// refused, unknown (the row in progress) or not sent, in the order of the
// rows, and what is said applied is on the device, what is not is not.
TEST_F(Commands, AWriteThatLostTheLineSaysOfEachValueWhetherItWasApplied) {
    AtJob measure;
    std::uint64_t start = 0;
    measure.at = 2;
    measure.action = [&](ctl::CliJobWindow*) { start = device_.BytesReceived(); };
    // The same commands, byte for byte, as the write that is cut below.
    ASSERT_EQ(Run(kWrite,
                  {"m_strPhoneMsn[0]=5550", "m_bCallWaiting1=0", "m_nFlashDuration=31",
                   "m_byModemLlc[1][2]=6", "--store", "1"},
                  measure.Hook()),
              0)
        << Err();
    const std::uint64_t whole = device_.BytesReceived() - start;

    // The write recalls profile 1 before it reads, which holds the first write.
    AtJob cut;
    cut.at = 2;
    std::thread cutter;
    cut.action = [&](ctl::CliJobWindow*) {
        const std::uint64_t from = device_.BytesReceived();
        cutter = std::thread([this, from, whole] {
            device_.WaitForBytesReceived(from + whole / 2, std::chrono::seconds(30));
            device_.Hangup();
        });
    };
    EXPECT_EQ(Run(kWrite,
                  {"m_strPhoneMsn[0]=5551", "m_bCallWaiting1=1", "m_nFlashDuration=30",
                   "m_byModemLlc[1][2]=7", "--store", "1"},
                  cut.Hook()),
              1);
    // A write that stopped before its reading never started the cut.
    ASSERT_TRUE(JoinIfStarted(cutter)) << Err();
    const std::string err = Err();
    EXPECT_EQ(out_.str(), "");

    struct Value {
        const char* name;
        bool on_device;
    };
    const Value values[] = {
        {"m_strPhoneMsn[0]",
         device_.Inspect([](const sim::Device& d) { return d.Nv().msn[0] == "5551"; })},
        {"m_bCallWaiting1", (device_.Register(79) & 4) != 0},
        {"m_nFlashDuration", device_.Register(56) == 30},
        {"m_byModemLlc[1][2]", device_.Register(113) == 7},
        {"m_nStoreProfile", false},
    };
    const std::map<std::string, int> order = {
        {"applied", 0}, {"refused", 0}, {"unknown", 1}, {"not sent", 2}};
    int last = 0;
    int unknown = 0;
    std::set<std::string> fates;
    for (const Value& v : values) {
        SCOPED_TRACE(v.name);
        const std::string fate = Fate(err, v.name);
        ASSERT_EQ(order.count(fate), 1u) << err;
        EXPECT_GE(order.at(fate), last) << err;
        last = order.at(fate);
        unknown += fate == "unknown" ? 1 : 0;
        fates.insert(fate);
        if (fate == "applied") {
            EXPECT_TRUE(v.on_device) << err;
        } else if (fate == "not sent") {
            EXPECT_FALSE(v.on_device) << err;
        }
    }
    EXPECT_LE(unknown, 1);
    // Cut half-way, some values got there and some did not.
    EXPECT_GT(fates.size(), 1u) << err;
}

TEST_F(Commands, ASilentDeviceIsNeverReportedWritten) {
    for (const int at : {1, 2}) {
        SCOPED_TRACE(at == 1 ? "silent before the read" : "silent before the write");
        device_.SetSilent(false);
        AtJob silence;
        silence.at = at;
        silence.action = [this](ctl::CliJobWindow*) { device_.SetSilent(true); };
        EXPECT_EQ(::ftruncate(::fileno(err_), 0), 0);
        std::rewind(err_);
        EXPECT_EQ(Run(kWrite, {"m_bCallWaiting1=0"}, silence.Hook()), 1);
        EXPECT_EQ(out_.str(), "");
        const std::string err = Err();
        EXPECT_EQ(err.find("\nwritten"), std::string::npos) << err;
        if (at == 2) {
            EXPECT_EQ(Fate(err, "m_bCallWaiting1"), "not sent") << err;
        }
    }
}

// A store or a charge reset is done only on the device's "OK": one that was lost
// is asked again; one that never gets its "OK" fails the write, and the values
// it carried are said to be active, not stored.
TEST_F(Commands, AStoreOrResetWithoutTheDevicesOkIsNeverCalledDone) {
    const int reg = FieldOf(&CDeviceConfig::m_nBodAddTime)->place.reg;
    const auto stored = [this, reg] {
        return device_.Inspect(
            [reg](const sim::Device& d) { return int{d.Nv().profiles[0].registers[reg]}; });
    };
    const auto write_losing = [this](const std::string& prefix, int count,
                                     std::vector<std::string> args) {
        AtJob lose;
        lose.at = 2;
        lose.action = [&](ctl::CliJobWindow*) { device_.LoseCommands(prefix, count); };
        EXPECT_EQ(::ftruncate(::fileno(err_), 0), 0);
        std::rewind(err_);
        return Run(kWrite, std::move(args), lose.Hook());
    };

    EXPECT_EQ(write_losing("&W", 1, {"m_nBodAddTime=111", "--store", "0"}), 0) << Err();
    EXPECT_EQ(stored(), 111);

    EXPECT_EQ(write_losing("&W", 2, {"m_nBodAddTime=112", "--store", "0"}), 1);
    const std::string err = Err();
    EXPECT_EQ(out_.str(), "");
    EXPECT_NE(err.find("m_nBodAddTime=112: active, not stored"), std::string::npos) << err;
    EXPECT_NE(err.find("did not confirm storing them in profile 0"), std::string::npos) << err;
    EXPECT_EQ(device_.Register(reg), 112);
    EXPECT_EQ(stored(), 111);

    device_.Modify([](sim::Device& d) { d.AddCall(sim::Line::kPhone1, 7); });
    EXPECT_EQ(write_losing("CH0", 1, {"m_bResetCharges=1"}), 0) << Err();
    EXPECT_EQ(device_.Inspect([](const sim::Device& d) { return d.Nv().total_charge[0]; }), 0u);
}

// A write persists: stored in the power-up profile unless told otherwise, so
// that the next opening of the port (which resets the device) keeps it, and a
// second apply of the same state changes nothing. --no-store says it does not.
TEST_F(Commands, WritesAreStoredInThePowerUpProfileUnlessToldOtherwise) {
    device_.Modify([](sim::Device& d) { d.SetRegister(15, 2 << 5); });  // profile 2 at power-up
    ASSERT_EQ(Run(kRead, {"--json"}), 0) << Err();
    const std::string before = WriteFile("before.json", out_.str());
    const std::string wanted = WriteFile("wanted.json", R"({"port1.call_waiting":0})");
    const auto profile2 = [this] {
        return device_.Inspect(
            [](const sim::Device& d) { return d.Nv().profiles[2].registers[79]; });
    };

    ASSERT_EQ(Run(kWrite, {"m_bCallWaiting1=0", "--json"}), 0) << Err();
    const auto report = nlohmann::json::parse(out_.str());
    EXPECT_EQ(report.at("changed"), true);
    EXPECT_EQ(report.at("stored"), true);
    EXPECT_EQ(report.at("profile"), 2);
    EXPECT_EQ(report.at("fields")[0].at("fate"), "applied");
    EXPECT_EQ(profile2() & 4, 0);
    EXPECT_NE(Err().find("1 setting written and stored in profile 2, the power-up profile."),
              std::string::npos)
        << Err();
    EXPECT_EQ(Run(kDiff, {before}), ctl::kExitDiffers);
    EXPECT_EQ(out_.str(), "m_bCallWaiting1: 0 -> 1\n");
    ASSERT_EQ(Run(kApply, {wanted}), 0) << Err();
    EXPECT_EQ(out_.str(), "unchanged\n");

    ASSERT_EQ(Run(kWrite, {"m_bCallWaiting1=1", "--no-store"}), 0) << Err();
    EXPECT_EQ(profile2() & 4, 0);
    EXPECT_NE(Err().find("the next connection to the varDex (which resets it)"), std::string::npos);
    ASSERT_EQ(Run(kApply, {wanted}), 0) << Err();
    EXPECT_EQ(out_.str(), "unchanged\n") << "the opening brought back profile 2";

    // A device that starts with its factory defaults has no profile to store in.
    device_.Modify([](sim::Device& d) { d.SetRegister(15, 4 << 5); });
    EXPECT_EQ(Run(kWrite, {"m_bCallWaiting1=0"}), ctl::kExitUsage);
    EXPECT_NE(Err().find("give --store N"), std::string::npos) << Err();
}

// Two units of one variant: a backup knows its unit, restoring another's needs
// --force and names both, and a restore without a number takes the newest of
// this unit's backups, not the newest of all.
TEST_F(Commands, ABackupOfAnotherUnitIsRestoredOnlyWhenForced) {
    sim::PtyDevice other;
    SysError error;
    ASSERT_TRUE(other.Start(&error)) << error.Message();
    ASSERT_EQ(Run(kWrite, {"m_strPhoneMsn[0]=1111"}), 0) << Err();
    ASSERT_EQ(ctl::RunWrite(ctl::CallOf("write", {"--port", other.Path(), "m_strPhoneMsn[0]=2222"}),
                            out_, in_, err_, {}),
              0);
    // Each write kept the settings as read: h1's backup holds no number, h2's none.
    ASSERT_EQ(ctl::RunWrite(ctl::CallOf("write", {"--port", other.Path(), "m_strPhoneMsn[0]=3333"}),
                            out_, in_, err_, {}),
              0);
    const std::vector<settings::Backup> kept = settings::ListBackups().value_or({});
    ASSERT_EQ(kept.size(), 3u);
    EXPECT_EQ(kept[0].port, other.Path()) << "the newest is the other unit's";
    EXPECT_EQ(Run(kRestore, {"--yes", "1"}), ctl::kExitUsage);
    EXPECT_NE(Err().find("was read from the varDex on " + other.Path()), std::string::npos)
        << Err();
    EXPECT_NE(Err().find("this is the varDex on " + device_.Path()), std::string::npos) << Err();
    EXPECT_EQ(device_.Inspect([](const sim::Device& d) { return d.Nv().msn[0]; }), "1111");
    // Without a number: this unit's own backup, from before its write.
    ASSERT_EQ(Run(kRestore, {"--yes"}), 0) << Err();
    EXPECT_EQ(device_.Inspect([](const sim::Device& d) { return d.Nv().msn[0]; }), "");
    ASSERT_EQ(Run(kRestore, {"--yes", "--force", kept[0].path}), 0) << Err();
    EXPECT_EQ(device_.Inspect([](const sim::Device& d) { return d.Nv().msn[0]; }), "2222");
}

// apply --store N holds the file against what profile N holds, not against
// the power-up profile the opening loaded: the first run writes it, a second
// finds nothing to do.
TEST_F(Commands, ApplyToAProfileComparesWithWhatThatProfileHolds) {
    device_.Modify([](sim::Device& d) {
        sim::NvState nv = d.Nv();
        nv.profiles[0].registers[84] = 0x10;  // CLIP off at power-up
        nv.profiles[1].registers[84] = 0x00;  // on in profile 1
        d.LoadNv(nv);
    });
    const std::string wanted = WriteFile("clip.json", R"({"telephony.clip":0})");
    ASSERT_EQ(Run(kApply, {"--store", "1", wanted}), 0) << Err();
    EXPECT_EQ(out_.str(), "m_bClip: 1 -> 0\nchanged\n");
    EXPECT_EQ(
        device_.Inspect([](const sim::Device& d) { return d.Nv().profiles[1].registers[84]; }),
        0x10);
    ASSERT_EQ(Run(kApply, {"--store", "1", wanted}), 0) << Err();
    EXPECT_EQ(out_.str(), "unchanged\n");
}

// A variant without X.25 reads its X.25 settings as null, and the read goes
// back in (a packet size of 0 would be out of range).
TEST(RoundTrip, AReadOfAVariantWithoutX25GoesBackIn) {
    ScopedTimeScale scale(kAnswerScale);
    sim::PtyDevice device(sim::DeviceOptions{.country = "Poland"});
    SysError error;
    ASSERT_TRUE(device.Start(&error)) << error.Message();
    std::FILE* in = std::tmpfile();
    std::FILE* err = std::tmpfile();
    std::ostringstream out;
    EXPECT_EQ(
        ctl::RunRead(ctl::CallOf("read", {"--port", device.Path(), "--json"}), out, in, err, {}),
        0);
    EXPECT_NE(out.str().find("\"m_nX25PacketSize\":null"), std::string::npos) << out.str();
    const std::string from = WriteFile("poland.json", out.str());
    out.str("");
    EXPECT_EQ(ctl::RunWrite(ctl::CallOf("write", {"--port", device.Path(), "--from", from}), out,
                            in, err, {}),
              0)
        << Written(err);
    EXPECT_EQ(out.str(), "written\n");
    std::fclose(in);
    std::fclose(err);
}

TEST_F(Commands, UpgradeInstallsTheImageAndReadsAgain) {
    const std::string image = WriteFile("up.img", sim::MakeFirmwareImage("V4.2", 3000));
    EXPECT_EQ(Run(kUpgrade, {"--yes", image}), 0) << Err();
    EXPECT_EQ(out_.str(), "upgraded: software version 4.2\n");
    const std::string err = Err();
    EXPECT_NE(err.find("Warning!"), std::string::npos);
    EXPECT_NE(err.find("3000 bytes out of 3000 (100.0%)"), std::string::npos);

    // An image the loader does not take leaves the device waiting in it.
    EXPECT_EQ(Run(kUpgrade, {"--yes", WriteFile("junk.img", std::string(100, 'j'))}),
              ctl::kExitInLoader)
        << Err();
    EXPECT_NE(Err().find("still waiting in its firmware loader"), std::string::npos);
    EXPECT_EQ(Run(kUpgrade, {"--yes", image}), 0) << Err();

    // Without --yes the question is asked, and anything but yes keeps the firmware.
    std::fputs("n\n", in_);
    std::rewind(in_);
    EXPECT_EQ(Run(kUpgrade, {image}), 1);
    EXPECT_NE(Err().find("Continue? [y/N]"), std::string::npos);
}

TEST_F(Commands, UpgradeRefusesAFileThatIsNoImageBeforeTheDeviceHearsAWord) {
    const std::string dir = TempPath("upgrade-dir");
    std::filesystem::create_directories(dir);
    const std::string fifo = dir + "/fifo.img";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::uint64_t heard = device_.BytesReceived();
    for (const std::string& path :
         {dir + "/missing.img", WriteFile("empty-up.img", ""), dir, fifo}) {
        std::fflush(err_);
        EXPECT_EQ(::ftruncate(::fileno(err_), 0), 0);
        std::rewind(err_);
        EXPECT_EQ(Run(kUpgrade, {"--yes", path}), 1) << path;
        EXPECT_NE(Err().find(path), std::string::npos) << Err();
    }
    EXPECT_EQ(device_.BytesReceived(), heard);
    std::filesystem::remove_all(dir);
}

TEST_F(Commands, ADeviceInItsLoaderIsSaidSoWithWhatToDoAndItsOwnStatus) {
    device_.Modify([](sim::Device& d) { d.EnterLoader(); });
    const std::string not_found(res::LoadString(res::IDS_DEVICE_NOT_FOUND).substr(0, 20));
    const std::string in_loader(res::LoadString(res::IDS_DEVICE_IN_UPGRADE_MODE));
    for (const Command& command : {kRead, kWrite}) {
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
    EXPECT_EQ(ctl::RunIdentify(ctl::CallOf("identify", {"--port", device_.Path()}), out, in_, err_),
              ctl::kExitInLoader);
    const std::string err = Err();
    EXPECT_NE(err.find("vardexctl upgrade FILE"), std::string::npos) << err;
    EXPECT_EQ(err.find("no varDex was identified"), std::string::npos) << err;
    EXPECT_EQ(out.str(), "");

    // The self test has no tests to run there: it says why and ends as not found,
    // its 3 meaning an interrupted test.
    std::fflush(err_);
    EXPECT_EQ(::ftruncate(::fileno(err_), 0), 0);
    std::rewind(err_);
    EXPECT_EQ(ctl::RunSelfTest(ctl::CallOf("selftest", {"--port", device_.Path()}), out, in_, err_),
              ctl::kExitLinkDown);
    const std::string selftest_err = Err();
    EXPECT_NE(selftest_err.find("vardexctl selftest: "), std::string::npos) << selftest_err;
    EXPECT_NE(selftest_err.find("vardexctl upgrade FILE"), std::string::npos) << selftest_err;
    EXPECT_EQ(out.str(), "");
}

// As the program's Upgrade button: where the operator keeps upgrades, the
// device is not asked for its loader.
TEST(UpgradeCommand, OperatorCountryIsLeftAlone) {
    ScopedTimeScale scale(kAnswerScale);
    sim::PtyDevice device(sim::DeviceOptions{.country = "Poland"});
    SysError error;
    ASSERT_TRUE(device.Start(&error)) << error.Message();
    const std::string image = WriteFile("pl.img", sim::MakeFirmwareImage("V4.2", 3000));
    std::ostringstream out;
    std::FILE* in = std::tmpfile();
    std::FILE* err = std::tmpfile();
    EXPECT_EQ(ctl::RunUpgrade(ctl::CallOf("upgrade", {"--port", device.Path(), "--yes", image}),
                              out, in, err, {}),
              1);
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
    EXPECT_EQ(Run(kRead, {}, hook), 1);
    ASSERT_TRUE(JoinIfStarted(context.presser)) << Err();
    const std::string err = Err();
    EXPECT_NE(err.find("Sure you want to cancel the job?"), std::string::npos);
    EXPECT_EQ(err.find("A varDex was not found"), std::string::npos);
    EXPECT_EQ(out_.str(), "");
}

// Two Ctrl+C while a job identifies the device (a step that cannot stop: the
// channel settles) are not dropped: the job stops once the step ends, and
// apply writes nothing, whether they came in its read or in its write.
TEST_F(Commands, TwoCtrlCDuringIdentificationStopTheApply) {
    const std::string wanted = WriteFile("cw.json", R"({"m_bCallWaiting1":0})");
    for (const int at : {1, 2}) {
        SCOPED_TRACE(at == 1 ? "in the read" : "in the write");
        AtJob press;
        press.at = at;
        std::thread presser;
        press.action = [&](ctl::CliJobWindow* window) {
            const std::uint64_t from = device_.BytesReceived();
            presser = std::thread([this, window, from] {
                // "AT/SETRI" and "AT": the settle pause follows.
                device_.WaitForBytesReceived(from + 12, std::chrono::seconds(20));
                window->Interrupt();
                window->Interrupt();
            });
        };
        EXPECT_EQ(::ftruncate(::fileno(err_), 0), 0);
        std::rewind(err_);
        EXPECT_EQ(Run(kApply, {wanted}, press.Hook()), 1) << Err();
        ASSERT_TRUE(JoinIfStarted(presser)) << Err();
        // (Usually while the step could not stop; on a busy machine the
        // presses may land after it, and must stop the apply all the same.)
        EXPECT_NE(device_.Register(79) & 4, 0) << Err();
    }
}

// A polite kill (a time bound ran out, the session ended) has nobody to ask:
// the job stops after the command in progress instead of the program dying
// in the middle of a write.
TEST_F(Commands, SigtermStopsTheJobWithoutAskingAndTheProgramLives) {
    struct Context {
        sim::PtyDevice* device;
        std::thread killer;
    } context{&device_, {}};
    ctl::JobHook hook{[](ctl::CliJobWindow*, void* c) {
                          auto* ctx = static_cast<Context*>(c);
                          ctx->killer = std::thread([ctx] {
                              ctx->device->WaitForBytesReceived(200, std::chrono::seconds(20));
                              ::kill(::getpid(), SIGTERM);
                          });
                      },
                      &context};
    EXPECT_EQ(Run(kWrite, {"m_bClip=0", "m_bCallWaiting1=1"}, hook), 1);
    ASSERT_TRUE(JoinIfStarted(context.killer)) << Err();
    const std::string err = Err();
    EXPECT_EQ(err.find("Sure you want to cancel the job?"), std::string::npos) << err;
    EXPECT_NE(err.find("Stopped by a signal"), std::string::npos) << err;
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
// so the job takes it for a device in upgrade mode and sends the image; nothing
// answers after it, so nothing says the device restarted with the image: the
// command reports a failed upgrade whose loader may still wait.
TEST(XmodemInterop, UpgradeCommandIsReceivedByRx) {
    if (!ProgramExists("rx") || !ProgramExists("socat")) {
        GTEST_SKIP() << "needs lrzsz's rx and socat";
    }
    // rx keeps real time and answers a stray byte after about a second; half the
    // program's waits still leave twice that.
    ScopedTimeScale half_time(0.5);
    // 782 blocks: the block number wraps three times, and the last block is filled.
    const std::size_t size = 100000;
    const std::string name = "rx-" + std::to_string(size) + ".bin";
    const std::string out = TempPath(name);
    std::string image(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        image[i] = static_cast<char>((i * 31 + 7) & 0xFF);
    }
    const std::string path = WriteFile("rx.img", image);

    RxReceiver rx;
    const std::string pty = rx.Start(TestTempDir::Path(), name);
    ASSERT_FALSE(pty.empty());
    std::ostringstream stdout_text;
    std::FILE* in = std::tmpfile();
    std::FILE* err = std::tmpfile();
    const int status = ctl::RunUpgrade(ctl::CallOf("upgrade", {"--port", pty, "--yes", path}),
                                       stdout_text, in, err, {});
    const std::string err_text = Written(err);
    std::fclose(in);
    std::fclose(err);

    ASSERT_TRUE(rx.Wait(std::chrono::seconds(20)));
    EXPECT_EQ(ReadFile(out), image + std::string(128 - size % 128, '\xFF'));
    const std::string done = std::to_string(size) + " bytes out of " + std::to_string(size);
    EXPECT_NE(err_text.find(done), std::string::npos) << err_text;
    EXPECT_EQ(status, 3);
    EXPECT_EQ(err_text.find("the new firmware was sent and the device restarted"),
              std::string::npos)
        << err_text;
}

}  // namespace
}  // namespace vardex::test
