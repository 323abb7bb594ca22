// The device's dialect at the byte level, on the pure state machine with a
// virtual clock: registers and their limits, numbers, charges, profiles, the
// prompts, the self-test circuits and the traces.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "device.h"

namespace vardex::sim {
namespace {

// A device with echo off and one capture sink for everything it sends.
class SimDialectTest : public ::testing::Test {
protected:
    explicit SimDialectTest(DeviceOptions options = Quiet())
        : device_(std::move(options), [this](std::string_view bytes) { out_ += bytes; }) {}

    static DeviceOptions Quiet() {
        DeviceOptions options;
        options.echo = false;
        return options;
    }

    // The reply to one command line, as the program sees it: the leading "\r\n"
    // removed.
    std::string Ask(std::string_view command) {
        out_.clear();
        device_.Feed(std::string(command) + "\r");
        std::string reply = out_;
        if (reply.starts_with("\r\n")) {
            reply.erase(0, 2);
        }
        return reply;
    }
    bool Accepted(std::string_view command) { return Ask(command) == "OK\r\n"; }
    long Number(std::string_view command) { return std::strtol(Ask(command).c_str(), nullptr, 10); }

    std::string out_;
    Device device_;
};

// The program's section parser for "AT&ZI?" and "ATCH?": sections selected by
// their first line, three passes over the labels, digit runs.
std::map<std::string, std::string> ParseSections(std::string_view text,
                                                 const std::vector<std::string>& sections,
                                                 const std::vector<std::string>& labels) {
    std::map<std::string, std::string> found;
    auto skip_blank = [&] {
        while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
            text.remove_prefix(1);
        }
    };
    for (;;) {
        skip_blank();
        if (text.empty() || text.starts_with("OK")) {
            break;
        }
        std::string section;
        for (const std::string& name : sections) {
            if (text.starts_with(name)) {
                section = name;
                break;
            }
        }
        const std::size_t line_end = text.find("\r\n");
        if (section.empty() || line_end == std::string_view::npos) {
            break;
        }
        text.remove_prefix(line_end + 2);
        for (int pass = 0; pass < 3; ++pass) {
            for (const std::string& label : labels) {
                if (text.starts_with(label)) {
                    text.remove_prefix(label.size());
                    while (!text.empty() && text.front() != '\r' &&
                           std::isspace(static_cast<unsigned char>(text.front()))) {
                        text.remove_prefix(1);
                    }
                    std::size_t digits = 0;
                    while (digits < text.size() && digits < 79 &&
                           std::isdigit(static_cast<unsigned char>(text[digits]))) {
                        ++digits;
                    }
                    found[section + "/" + label] = std::string(text.substr(0, digits));
                    text.remove_prefix(digits);
                }
                skip_blank();
            }
        }
    }
    return found;
}

TEST_F(SimDialectTest, FactoryRegistersAreWhatThePagesCanShow) {
    const std::map<int, long> factory = {{15, 0},    {56, 20}, {79, 12},  {82, 74},
                                         {83, 3},    {84, 0},  {90, 0},   {104, 0x22},
                                         {105, 255}, {106, 7}, {126, 48}, {127, 32}};
    for (const auto& [number, value] : factory) {
        EXPECT_EQ(Number("ATS" + std::to_string(number) + "?"), value) << number;
    }
    EXPECT_EQ(Ask("ATS103.2?"), "0\r\n\r\nOK\r\n");
    EXPECT_EQ(Ask("ATS79.3?"), "1\r\n\r\nOK\r\n");
}

TEST_F(SimDialectTest, EachRegisterRefusesWhatItsPageCannotProduce) {
    struct Case {
        int number;
        int good;
        int bad;
    };
    for (const Case& c :
         {Case{56, 100, 101}, Case{82, 84, 82}, Case{82, 70, 71}, Case{90, 63, 64},
          Case{105, 99, 100}, Case{105, 255, 254}, Case{106, 4, 3}, Case{106, 7, 8},
          Case{124, 255, 256}, Case{126, 64, 65}, Case{127, 128, 129}, Case{15, 128, 160}}) {
        const std::string reg = "ATS" + std::to_string(c.number);
        ASSERT_TRUE(Accepted(reg + "=" + std::to_string(c.good))) << reg;
        EXPECT_EQ(Ask(reg + "=" + std::to_string(c.bad)), "ERROR\r\n") << reg << "=" << c.bad;
        EXPECT_EQ(Number(reg + "?"), c.good) << reg;
    }
    // A bit write is checked on the value it produces.
    EXPECT_EQ(Ask("ATS82.0=1"), "ERROR\r\n");
    EXPECT_EQ(Ask("ATS15.6=1"), "ERROR\r\n");  // 128 + 64: profile 6 does not exist
    EXPECT_EQ(Number("ATS15?"), 128);
    EXPECT_TRUE(Accepted("ATS90.5=1"));  // 63 still
    EXPECT_EQ(Ask("ATS90.6=1"), "ERROR\r\n");
    // Registers the device does not have.
    EXPECT_EQ(Ask("ATS0?"), "ERROR\r\n");
    EXPECT_EQ(Ask("ATS200=1"), "ERROR\r\n");
}

TEST_F(SimDialectTest, RefuseFaultTurnsEverySettingIntoError) {
    device_.SetRefuseWrites(true);
    for (const std::string_view command : {"ATS56=30", "ATS79.2=0", "AT&ZI0=123", "AT&ZOa=123",
                                           "AT/CLIPLEVEL 3", "AT!X2=1", "ATCH0"}) {
        EXPECT_EQ(Ask(command), "ERROR\r\n") << command;
    }
    EXPECT_EQ(Number("ATS56?"), 20);
    EXPECT_EQ(Number("ATS79?"), 12);
    EXPECT_EQ(Number("AT/CLIPLEVEL"), 10);
    device_.SetRefuseWrites(false);
    EXPECT_TRUE(Accepted("ATS56=30"));
}

TEST_F(SimDialectTest, SubscriberNumbersListInTheSectionsTheProgramParses) {
    EXPECT_TRUE(Accepted("AT&ZI0=3612345"));
    EXPECT_TRUE(Accepted("AT&ZI2=3699"));
    EXPECT_TRUE(Accepted("AT&ZI4=3655555"));
    EXPECT_TRUE(Accepted("AT&ZI8=1"));
    EXPECT_TRUE(Accepted("AT&ZI8="));  // cleared again
    EXPECT_EQ(Ask("AT&ZI9=1"), "ERROR\r\n");
    EXPECT_EQ(Ask("AT&ZI1=12a"), "ERROR\r\n");
    EXPECT_EQ(Ask("AT&ZI1=" + std::string(25, '1')), "ERROR\r\n");
    EXPECT_TRUE(Accepted("AT&ZI1=" + std::string(24, '1')));

    const std::string reply = Ask("AT&ZI?");
    EXPECT_TRUE(reply.starts_with("Phone 1\r\nMSN1 : 3612345\r\nMSN2 : 1111")) << reply;
    EXPECT_TRUE(reply.ends_with("MSN3 : \r\n\r\nOK\r\n")) << reply;
    const auto numbers =
        ParseSections(reply, {"Phone 1", "Phone 2", "DTE Port"}, {"MSN1 : ", "MSN2 : ", "MSN3 : "});
    EXPECT_EQ(numbers.size(), 9u);
    EXPECT_EQ(numbers.at("Phone 1/MSN1 : "), "3612345");
    EXPECT_EQ(numbers.at("Phone 1/MSN2 : "), std::string(24, '1'));
    EXPECT_EQ(numbers.at("Phone 1/MSN3 : "), "3699");
    EXPECT_EQ(numbers.at("Phone 2/MSN2 : "), "3655555");
    EXPECT_EQ(numbers.at("Phone 2/MSN1 : "), "");
    EXPECT_EQ(numbers.at("DTE Port/MSN3 : "), "");

    // The DTE port's numbers keep a terminal's dialling characters; ";" never.
    EXPECT_TRUE(Accepted("AT&ZI6=+36-1x*#9"));
    EXPECT_EQ(Ask("AT&ZI7=1;2"), "ERROR\r\n");
    EXPECT_NE(Ask("AT&ZI?").find("DTE Port\r\nMSN1 : +36-1x*#9\r\nMSN2 : \r\n"), std::string::npos);
}

TEST_F(SimDialectTest, OwnNumbersKeepTheTextTheyGet) {
    EXPECT_TRUE(Accepted("AT&ZOa=3612345"));
    EXPECT_TRUE(Accepted("AT&ZOb="));
    EXPECT_TRUE(Accepted("AT&ZOi=+36-1x*#9"));
    EXPECT_EQ(Ask("AT&ZOc=1"), "ERROR\r\n");
    EXPECT_EQ(Ask("AT&ZOa=12-3"), "ERROR\r\n");
    EXPECT_EQ(Ask("AT&ZOi=1;2"), "ERROR\r\n");
    EXPECT_EQ(Ask("AT&ZO?"),
              "Phone 1\r\nOWN NUMBER : 3612345\r\nPhone 2\r\nOWN NUMBER : \r\n"
              "DTE Port\r\nOWN NUMBER : +36-1x*#9\r\n\r\nOK\r\n");
}

TEST_F(SimDialectTest, ChargesGrowDuringACallAndClearWithCh0) {
    auto charges = [this] {
        return ParseSections(Ask("ATCH?"), {"Last", "Accumulated"},
                             {"DTE Port: ", "Phone 1: ", "Phone 2: "});
    };
    auto all = charges();
    ASSERT_EQ(all.size(), 6u);
    EXPECT_EQ(all.at("Last/Phone 1: "), "0");

    device_.StartCall(Line::kPhone1, 1000);
    EXPECT_EQ(device_.NextDeadline(), 1000);
    device_.AdvanceTo(1000);
    device_.AdvanceTo(2000);
    device_.AdvanceTo(3500);
    device_.EndCall(Line::kPhone1);
    device_.AdvanceTo(10000);
    device_.AddCall(Line::kDte, 7);
    device_.StartCall(Line::kPhone1, 1000);  // a new call starts its "last" count at 0
    device_.AdvanceTo(11000);
    device_.EndCall(Line::kPhone1);
    all = charges();
    EXPECT_EQ(all.at("Last/Phone 1: "), "1");
    EXPECT_EQ(all.at("Accumulated/Phone 1: "), "4");
    EXPECT_EQ(all.at("Last/DTE Port: "), "7");
    EXPECT_EQ(all.at("Accumulated/DTE Port: "), "7");
    EXPECT_EQ(all.at("Accumulated/Phone 2: "), "0");
    EXPECT_EQ(device_.NextDeadline(), Device::kNever);

    EXPECT_TRUE(Accepted("ATCH0"));
    for (const auto& [label, value] : charges()) {
        EXPECT_EQ(value, "0") << label;
    }
    EXPECT_EQ(Ask("ATCH1"), "ERROR\r\n");
}

TEST_F(SimDialectTest, ProfilesStoreAndRecallAndTheRegisterS15PicksThePowerUpOne) {
    ASSERT_TRUE(Accepted("ATS56=40"));
    ASSERT_TRUE(Accepted("AT/CLIPLEVEL 3"));
    ASSERT_TRUE(Accepted("AT!X2=1234"));
    ASSERT_TRUE(Accepted("AT&W2"));
    ASSERT_TRUE(Accepted("ATS56=60"));
    ASSERT_TRUE(Accepted("AT&W"));  // profile 0
    ASSERT_TRUE(Accepted("ATS56=80"));

    EXPECT_TRUE(Accepted("ATZ2"));
    EXPECT_EQ(Number("ATS56?"), 40);
    EXPECT_EQ(Number("AT/CLIPLEVEL"), 3);
    EXPECT_EQ(Ask("AT!X2?"), "X121 ADDR: 1234\r\n\r\nOK\r\n");
    EXPECT_TRUE(Accepted("ATZ4"));
    EXPECT_EQ(Number("ATS56?"), 20);
    EXPECT_EQ(Ask("AT!X2?"), "X121 ADDR: \r\n\r\nOK\r\n");
    EXPECT_TRUE(Accepted("ATZ0"));
    EXPECT_EQ(Number("ATS56?"), 60);
    EXPECT_TRUE(Accepted("ATZ1"));  // never stored: factory
    EXPECT_EQ(Number("ATS56?"), 20);

    // Plain ATZ and a power cycle load the profile S15 names; S15 itself is not
    // part of any profile.
    ASSERT_TRUE(Accepted("ATS15=64"));
    EXPECT_TRUE(Accepted("ATZ"));
    EXPECT_EQ(Number("ATS56?"), 40);
    device_.PowerUp();
    EXPECT_EQ(Number("ATS56?"), 40);
    ASSERT_TRUE(Accepted("ATS15=128"));
    ASSERT_TRUE(Accepted("ATZ0"));
    EXPECT_EQ(Number("ATS15?"), 128);
    EXPECT_TRUE(Accepted("ATZ"));
    EXPECT_EQ(Number("ATS56?"), 20);

    EXPECT_EQ(Ask("AT&W4"), "ERROR\r\n");
    EXPECT_TRUE(Accepted("AT&F"));
}

TEST_F(SimDialectTest, ClipLevelAndX121Address) {
    EXPECT_EQ(Ask("AT/CLIPLEVEL"), "10\r\n\r\nOK\r\n");
    EXPECT_TRUE(Accepted("AT/CLIPLEVEL 19"));
    EXPECT_TRUE(Accepted("AT/CLIPLEVEL=0"));
    EXPECT_EQ(Ask("AT/CLIPLEVEL 20"), "ERROR\r\n");
    EXPECT_EQ(Ask("AT/CLIPLEVEL5"), "ERROR\r\n");
    EXPECT_EQ(Number("AT/CLIPLEVEL?"), 0);

    EXPECT_TRUE(Accepted("AT!X2=" + std::string(15, '9')));
    EXPECT_EQ(Ask("AT!X2=" + std::string(16, '9')), "ERROR\r\n");
    EXPECT_EQ(Ask("AT!X2=12x"), "ERROR\r\n");
    // The program drops eleven characters and keeps the digits behind them.
    const std::string reply = Ask("AT!X2?");
    EXPECT_EQ(reply.substr(11, 15), std::string(15, '9'));
    EXPECT_TRUE(Accepted("AT!X2="));
    EXPECT_EQ(Ask("AT!X2?").substr(11), "\r\n\r\nOK\r\n");
}

TEST(SimDialectCountry, VariantsWithoutFskOrX25AnswerErrorThere) {
    for (const char* country : {"Brasil", "Brasil USB"}) {
        DeviceOptions options;
        options.echo = false;
        options.country = country;
        std::string out;
        Device device(options, [&](std::string_view bytes) { out += bytes; });
        device.Feed("AT/CLIPLEVEL\r");
        EXPECT_EQ(out, "\r\nERROR\r\n") << country;
    }
    for (const char* country : {"Poland", "UAE", "Lithuania", "hungary", ""}) {
        DeviceOptions options;
        options.echo = false;
        options.country = country;
        std::string out;
        Device device(options, [&](std::string_view bytes) { out += bytes; });
        device.Feed("AT!X2?\r");
        EXPECT_EQ(out, "\r\nERROR\r\n") << country;
        out.clear();
        device.Feed("AT/CLIPLEVEL\r");
        EXPECT_EQ(out, "\r\n10\r\n\r\nOK\r\n") << country;
    }
    DeviceOptions cyprus;
    cyprus.country = "Cyprus";
    cyprus.echo = false;
    std::string out;
    Device device(cyprus, [&](std::string_view bytes) { out += bytes; });
    device.Feed("AT!X2?\r");
    EXPECT_EQ(out, "\r\nX121 ADDR: \r\n\r\nOK\r\n");
}

TEST_F(SimDialectTest, UpgradeQuestionWaitsForOneKey) {
    const std::string question = Ask("ATUPX");
    EXPECT_NE(question.find("Firmware Upgrade"), std::string::npos);
    EXPECT_TRUE(question.ends_with("(Y/N)?")) << question;
    EXPECT_EQ(device_.CurrentMode(), Mode::kQuestion);

    // A command meets the question again, beginning with "Y"; "N" leaves
    // without a word, so the next command's reply comes alone.
    EXPECT_TRUE(Ask("ATI4").starts_with("Yes/No (Y/N)?"));
    out_.clear();
    device_.Feed("N");
    EXPECT_EQ(out_, "");
    EXPECT_EQ(Ask("ATI4"), "Calvetra VarDex V1.2\r\n\r\nOK\r\n");

    // "Y" erases and starts the loader, which speaks first after about a second.
    Ask("ATUPX");
    out_.clear();
    device_.Feed("y");
    EXPECT_TRUE(out_.starts_with("Y\r\nErasing")) << out_;
    EXPECT_EQ(device_.CurrentMode(), Mode::kLoader);
    EXPECT_FALSE(device_.Nv().firmware_valid);
    out_.clear();
    device_.AdvanceTo(device_.Now() + 999);
    EXPECT_EQ(out_, "");
    device_.AdvanceTo(device_.Now() + 1);
    EXPECT_EQ(out_, "\x15");
}

TEST_F(SimDialectTest, ConsoleAnswersWithItsPromptUntilQuit) {
    device_.EnterConsole();
    const std::string reply = Ask("ATI4");
    EXPECT_TRUE(reply.ends_with("> ")) << reply;
    EXPECT_NE(reply.find("Unknown command: ATI4"), std::string::npos);
    EXPECT_NE(Ask("ver").find("software V2.10"), std::string::npos);
    EXPECT_EQ(Ask(""), "VDX> ");
    out_.clear();
    device_.Feed("QUIT\r");
    EXPECT_EQ(out_, "");
    EXPECT_EQ(Ask("ATI4"), "Calvetra VarDex V1.2\r\n\r\nOK\r\n");

    EXPECT_TRUE(Ask("AT/CONSOLE").ends_with("VDX> "));
    EXPECT_EQ(device_.CurrentMode(), Mode::kConsole);
}

TEST_F(SimDialectTest, HandsetAndDtmfAsTheDialingTestPollsThem) {
    ASSERT_TRUE(Accepted("AT/DISCPOTS"));
    EXPECT_EQ(Number("AT/HOOKSTATE 0"), 0);
    device_.LiftHandset(0);
    EXPECT_EQ(Number("AT/HOOKSTATE 0"), 1);
    EXPECT_EQ(Number("AT/HOOKSTATE 1"), 0);
    EXPECT_EQ(Number("AT/HOOKSTATE 2"), 1);

    EXPECT_EQ(Ask("AT/DTMFREAD 0"), "OK\r\n");  // no key yet: not a digit
    EXPECT_TRUE(device_.PressKey(0, '1'));
    EXPECT_EQ(Ask("AT/DTMFREAD 0"), "1\r\n\r\nOK\r\n");
    EXPECT_EQ(Ask("AT/DTMFREAD 0"), "1\r\n\r\nOK\r\n");  // latched
    device_.PressKey(0, '#');
    EXPECT_EQ(Number("AT/DTMFSTATE 0"), 1);
    EXPECT_EQ(Ask("AT/DTMFREAD 0"), "#\r\n\r\nOK\r\n");
    EXPECT_EQ(Number("AT/DTMFSTATE 0"), 0);
    EXPECT_FALSE(device_.PressKey(0, 'A'));

    // On hook nothing is heard; a faulty detector hears the wrong key, a faulty
    // hook detector never sees the handset lifted.
    device_.PressKey(1, '5');
    EXPECT_EQ(Ask("AT/DTMFREAD 1"), "OK\r\n");
    device_.LiftHandset(1);
    device_.SetFault(Circuit::kDtmf2, true);
    device_.PressKey(1, '5');
    EXPECT_EQ(Ask("AT/DTMFREAD 1"), "6\r\n\r\nOK\r\n");
    device_.SetFault(Circuit::kHook2, true);
    EXPECT_EQ(Number("AT/HOOKSTATE 1"), 0);
    device_.ReplaceHandset(0);
    EXPECT_EQ(Ask("AT/DTMFREAD 0"), "OK\r\n");

    for (const std::string_view bad :
         {"AT/HOOKSTATE", "AT/HOOKSTATE 3", "AT/HOOKSTATE0", "AT/DTMFREAD 2", "AT/DTMFSTATE x"}) {
        EXPECT_EQ(Ask(bad), "ERROR\r\n") << bad;
    }
}

TEST_F(SimDialectTest, RingToneAndChargeNeedThePortsUnderTest) {
    EXPECT_EQ(Ask("AT/RING 0"), "ERROR\r\n");
    ASSERT_TRUE(Accepted("AT/DISCPOTS"));
    EXPECT_TRUE(Accepted("AT/RING 0"));
    EXPECT_TRUE(device_.Phone(0).ringing);
    device_.LiftHandset(0);  // ring trip
    EXPECT_FALSE(device_.Phone(0).ringing);
    EXPECT_TRUE(Accepted("AT/RING 1"));
    EXPECT_TRUE(Accepted("AT/NORING 1"));
    EXPECT_FALSE(device_.Phone(1).ringing);

    EXPECT_TRUE(Accepted("AT/STARTTONE 0"));
    EXPECT_TRUE(device_.Phone(0).tone);
    EXPECT_TRUE(Accepted("AT/STOPTONE 2"));
    EXPECT_FALSE(device_.Phone(0).tone);

    device_.AdvanceTo(1000);
    EXPECT_TRUE(Accepted("AT/CHARGE 0 10000"));
    EXPECT_TRUE(device_.Phone(0).charging);
    EXPECT_EQ(device_.NextDeadline(), 11000);
    device_.AdvanceTo(10999);
    EXPECT_TRUE(device_.Phone(0).charging);
    device_.AdvanceTo(11000);
    EXPECT_FALSE(device_.Phone(0).charging);
    EXPECT_TRUE(Accepted("AT/CHARGE 1 500"));
    EXPECT_TRUE(Accepted("AT/NOCHARGE 1"));
    EXPECT_FALSE(device_.Phone(1).charging);
    EXPECT_EQ(Ask("AT/CHARGE 1 0"), "ERROR\r\n");

    // Broken generators: the command is taken, the telephone shows nothing.
    device_.SetFault(Circuit::kRing2, true);
    device_.SetFault(Circuit::kTone2, true);
    device_.SetFault(Circuit::kCharge2, true);
    EXPECT_TRUE(Accepted("AT/RING 1"));
    EXPECT_TRUE(Accepted("AT/STARTTONE 1"));
    EXPECT_TRUE(Accepted("AT/CHARGE 1 10000"));
    EXPECT_FALSE(device_.Phone(1).ringing);
    EXPECT_FALSE(device_.Phone(1).tone);
    EXPECT_FALSE(device_.Phone(1).charging);

    // Giving the ports back silences everything; the Cancel sequence is taken.
    EXPECT_TRUE(Accepted("AT/STARTTONE 0"));
    EXPECT_TRUE(Accepted("AT/CONPOTS"));
    EXPECT_FALSE(device_.Phone(0).tone);
    EXPECT_FALSE(device_.Phone(0).disconnected);
    for (const std::string_view command :
         {"AT/CONPOTS", "AT/NOCHARGE 0", "AT/NOCHARGE 1", "AT/HOOKSTATE 2", "AT/NORING 2",
          "AT/STOPTONE 2", "AT/CONPOTS"}) {
        EXPECT_TRUE(Ask(command).ends_with("OK\r\n")) << command;
    }
}

TEST_F(SimDialectTest, InterfaceTestsNameTheFaultyInterfaces) {
    EXPECT_EQ(Ask("AT/DLOOP"), "OK\r\n");
    EXPECT_EQ(Ask("AT/SPICOMTEST"), "OK\r\n");
    device_.SetFault(Circuit::kDChannel, true);
    EXPECT_EQ(Ask("AT/DLOOP").find("OK"), std::string::npos);

    // The program looks for "OK", then "U " and "S ".
    device_.SetFault(Circuit::kUInterface, true);
    std::string reply = Ask("AT/SPICOMTEST");
    EXPECT_EQ(reply.find("OK"), std::string::npos);
    EXPECT_NE(reply.find("U "), std::string::npos);
    EXPECT_EQ(reply.find("S "), std::string::npos);
    device_.SetFault(Circuit::kSInterface, true);
    reply = Ask("AT/SPICOMTEST");
    EXPECT_NE(reply.find("U "), std::string::npos);
    EXPECT_NE(reply.find("S "), std::string::npos);
    device_.SetFault(Circuit::kUInterface, false);
    reply = Ask("AT/SPICOMTEST");
    EXPECT_EQ(reply.find("U "), std::string::npos);
    EXPECT_NE(reply.find("S "), std::string::npos);
}

TEST_F(SimDialectTest, TraceSwitchesDriveUnaskedTraceLines) {
    EXPECT_TRUE(Accepted("ATCD1CD9"));
    EXPECT_TRUE(device_.Tracing(TraceLayer::kL1));
    EXPECT_TRUE(device_.TraceOutput());
    EXPECT_TRUE(Accepted("ATCD11CD26"));
    EXPECT_TRUE(device_.Tracing(TraceLayer::kU));
    EXPECT_TRUE(Accepted("atcd5cd9"));

    // Lines come between half a second and a second and a half apart.
    out_.clear();
    std::int64_t last = device_.Now();
    for (int i = 0; i < 12; ++i) {
        const std::int64_t due = device_.NextDeadline();
        ASSERT_GE(due - last, 500);
        ASSERT_LE(due - last, 1500);
        device_.AdvanceTo(due);
        last = due;
    }
    for (const char* layer : {" L1 ", " L3 ", " U "}) {
        EXPECT_NE(out_.find(layer), std::string::npos) << layer << out_;
    }
    EXPECT_EQ(out_.find(" L2 "), std::string::npos);
    EXPECT_EQ(std::count(out_.begin(), out_.end(), '\n'), 12);

    EXPECT_TRUE(Accepted("ATCD0CD2CD4CD6CD8CD10"));
    EXPECT_FALSE(device_.TraceOutput());
    EXPECT_EQ(device_.NextDeadline(), Device::kNever);
    for (const std::string_view bad : {"ATCD12CD9", "ATCD1CX9", "ATCD", "ATCD1CD"}) {
        EXPECT_EQ(Ask(bad), "ERROR\r\n") << bad;
    }
    // One layer switched off of several keeps the others going; ATZ stops all.
    EXPECT_TRUE(Accepted("ATCD3CD5CD9"));
    EXPECT_TRUE(Accepted("ATCD2CD9"));
    EXPECT_TRUE(device_.Tracing(TraceLayer::kL3));
    EXPECT_NE(device_.NextDeadline(), Device::kNever);
    EXPECT_TRUE(Accepted("ATZ"));
    EXPECT_EQ(device_.NextDeadline(), Device::kNever);
}

TEST_F(SimDialectTest, NonVolatileChangesReachTheSinkAndVolatileOnesDoNot) {
    int saves = 0;
    NvState last;
    device_.SetNvSink([&](const NvState& state) {
        ++saves;
        last = state;
    });
    Ask("ATS56=33");
    Ask("AT/CLIPLEVEL 4");
    EXPECT_EQ(saves, 0);
    Ask("AT&W1");
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(last.profiles[1].registers[56], 33);
    EXPECT_EQ(last.profiles[1].clip_level, 4);
    Ask("AT&ZI3=55");
    Ask("AT&ZOb=55");
    Ask("ATS15=32");
    Ask("ATCH0");
    EXPECT_EQ(saves, 5);
    EXPECT_EQ(last.msn[3], "55");
    EXPECT_EQ(last.own[1], "55");
    EXPECT_EQ(last.s15, 32);

    // A device built from that state comes up with profile 1 active.
    DeviceOptions options = Quiet();
    std::string out;
    Device again(options, [&](std::string_view bytes) { out += bytes; });
    again.LoadNv(last);
    EXPECT_EQ(again.Register(56), 33);
    EXPECT_EQ(again.ClipLevel(), 4);
}

}  // namespace
}  // namespace vardex::sim
