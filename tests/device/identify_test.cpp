#include <gtest/gtest.h>

#include <algorithm>

#include "device_fixture.h"
#include "exchange_timing.h"
#include "link/protocol_waits.h"
#include "res/strings.h"

using namespace vardex::platform;
using namespace vardex::device;
using namespace vardex::link;

namespace vardex::test {
namespace {

class Identify : public DeviceTest {};

TEST_F(Identify, ReadsVersionsCountryAndCrcIntoTheWorkingRecord) {
    ScriptedPeer peer(VarDexReplies());
    OpenDirect(peer);
    ASSERT_EQ(IdentifyDevice(&view_, &app_), IdentifyResult::kIdentified);
    EXPECT_EQ(Record().m_wModelVersion, 0x0102);
    EXPECT_EQ(Record().m_wHardwareVersion, 0x0300);
    EXPECT_EQ(Record().m_wFirmwareVersion, 0x020A);
    EXPECT_EQ(Record().m_strCountry, "Hungary");
    EXPECT_EQ(Record().m_strCrc, "CRC: 5A3C");
    EXPECT_EQ(Record().m_bX25Available, 1);
    EXPECT_EQ(Record().m_bFskLevelAvailable, 1);
    EXPECT_EQ(Record().m_bUsbConnection, 0);
    // The device copy is not touched by identification.
    EXPECT_EQ(app_.m_deviceCopy.m_wModelVersion, 0xFFFF);

    ASSERT_GE(view_.status_texts.size(), 2u);
    EXPECT_EQ(view_.status_texts.front(),
              "Direct to " + peer.SlavePath() + ".\n\nPerforming initial probing....");
    EXPECT_EQ(view_.status_texts.back(),
              "Direct to " + peer.SlavePath() +
                  "\nvarDex country:\t\tHungary\nModel Version:\t\t1.2\nHardware "
                  "Version:\t3.0\nSoftware Version:\t2.10");
    EXPECT_EQ(view_.cancel_enabled, (std::vector<bool>{false, true}));
    EXPECT_TRUE(view_.prompts.messages.empty());
}

TEST_F(Identify, ConnectOnAnOpenChannelSendsOnlyTwoLines) {
    ScriptedPeer peer(VarDexReplies());
    OpenDirect(peer);
    const std::size_t before = peer.Lines().size();
    CNullProgressBar progress;
    ASSERT_TRUE(Record().Connect(&progress, &view_.prompts, 115200).Ok());
    const auto lines = peer.Lines();
    EXPECT_EQ(std::vector<std::string>(lines.begin() + static_cast<long>(before), lines.end()),
              (std::vector<std::string>{"AT/SETRI", "AT"}));
}

TEST_F(Identify, CountryVariantsSwitchTheCapabilities) {
    struct Case {
        std::string country;
        int x25;
        int fsk;
    };
    for (const Case& c : {Case{"Cyprus", 1, 1}, Case{"Brasil USB", 0, 0}, Case{"Brasil", 0, 0},
                          Case{"brasil usb", 0, 1}, Case{"hungary", 0, 1}, Case{"", 0, 1}}) {
        ScriptedPeer peer(VarDexReplies(c.country));
        Record().Close();
        OpenDirect(peer);
        ASSERT_EQ(IdentifyDevice(&view_, &app_), IdentifyResult::kIdentified) << c.country;
        EXPECT_EQ(Record().m_strCountry, c.country);
        EXPECT_EQ(Record().m_bX25Available, c.x25) << c.country;
        EXPECT_EQ(Record().m_bFskLevelAvailable, c.fsk) << c.country;
    }
}

TEST_F(Identify, YesNoPromptGetsExactlyOneN) {
    int ati4 = 0;
    auto normal = VarDexReplies();
    ScriptedPeer peer([&](const std::string& line) -> std::string {
        if (line.size() >= 4 && line.compare(line.size() - 4, 4, "ATI4") == 0 && ati4++ == 0) {
            return "\r\nYou have new messages. Read them (Y/N)?";
        }
        return normal(line);
    });
    OpenDirect(peer);
    ASSERT_EQ(IdentifyDevice(&view_, &app_), IdentifyResult::kIdentified);
    EXPECT_EQ(Record().m_wModelVersion, 0x0102);
    const std::string received = peer.Received();
    const auto first = received.find("ATI4\r");
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(received.substr(first, 10), "ATI4\rNATI4");
    EXPECT_EQ(std::count(received.begin(), received.end(), 'N'), 1);
}

TEST_F(Identify, ConsolePromptIsLeftWithQuit) {
    int ati4 = 0;
    auto normal = VarDexReplies();
    ScriptedPeer peer([&](const std::string& line) -> std::string {
        if (line == "ATI4" && ati4++ == 0) {
            return "\r\nvarDex console\r\n> ";
        }
        if (line == "QUIT") {
            return "";  // the console just ends
        }
        return normal(line);
    });
    OpenDirect(peer);
    ASSERT_EQ(IdentifyDevice(&view_, &app_), IdentifyResult::kIdentified);
    EXPECT_EQ(Record().m_wModelVersion, 0x0102);
    const auto lines = peer.Lines();
    const auto quit = std::find(lines.begin(), lines.end(), "QUIT");
    ASSERT_NE(quit, lines.end());
    ASSERT_NE(quit + 1, lines.end());
    EXPECT_EQ(*(quit + 1), "ATI4");
}

TEST_F(Identify, SilenceAfterTheModelIsNoIdentity) {
    // Taken as it came, the silence would identify a device of version 255.255.
    auto normal = VarDexReplies();
    ScriptedPeer peer([&](const std::string& line) -> std::string {
        return line == "ATI4" || line == "AT/SETRI" || line == "AT" ? normal(line) : "";
    });
    OpenDirect(peer);
    Record().m_wHardwareVersion = 0x0300;
    EXPECT_EQ(IdentifyDevice(&view_, &app_), IdentifyResult::kNotIdentified);
    EXPECT_EQ(Record().m_wHardwareVersion, 0x0300);
    ASSERT_EQ(view_.prompts.messages.size(), 1u);
    EXPECT_EQ(view_.prompts.messages[0].first, UnreadableMessage("ATI0"));
    EXPECT_EQ(view_.m_bQuietEnd, 1);
    // ATI0 was asked twice, ATI3 never.
    const auto lines = peer.Lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "ATI0"), 2);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "ATI3"), 0);
}

TEST_F(Identify, ADeviceThatDoesNotNameItselfIsNotIdentified) {
    // The loader probe comes first only in the silence timing.
    const ScopedExchangeTiming timing(ExchangeTiming::kSilence);
    // Silence, noise or another modem's answer to "ATI4", twice.
    for (const std::string& answer :
         {std::string(""),
          std::string("\r\n\x9c\xd1"
                      "Calvetra VarDex V1.2\r\n\r\nOK\r\n"),
          std::string("\r\nGeneric Modem 56k\r\n\r\nOK\r\n"), std::string("\r\nERROR\r\n")}) {
        auto normal = VarDexReplies();
        ScriptedPeer peer([&](const std::string& line) -> std::string {
            return line == "ATI4" ? answer : normal(line);
        });
        OpenDirect(peer);
        ScriptedJobView view;
        EXPECT_EQ(IdentifyDevice(&view, &app_), IdentifyResult::kInLoader);
        ASSERT_EQ(view.prompts.messages.size(), 1u);
        EXPECT_NE(view.prompts.messages[0].first.find("does not answer as a varDex"),
                  std::string::npos);
        EXPECT_EQ(view.m_bQuietEnd, 1);
        EXPECT_EQ(view.m_bInLoader, 0);
        const auto lines = peer.Lines();
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "ATI4"), 2);
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "ATI0"), 0);
        Record().Close();
    }
}

TEST_F(Identify, NoiseBeforeAnAnswerIsGoneWhenAskedAgain) {
    auto normal = VarDexReplies();
    int asked = 0;  // the peer's thread only
    ScriptedPeer peer([&](const std::string& line) -> std::string {
        if (line == "ATI3" && ++asked == 1) {
            return "\r\n\xf1\x85\xa0" + normal(line).substr(2);
        }
        return normal(line);
    });
    OpenDirect(peer);
    ASSERT_EQ(IdentifyDevice(&view_, &app_), IdentifyResult::kIdentified);
    EXPECT_EQ(Record().m_wFirmwareVersion, 0x020A);
    EXPECT_EQ(Record().m_strCountry, "Hungary");
    EXPECT_TRUE(view_.prompts.messages.empty());
}

TEST_F(Identify, LoaderNakGivesMinusFourAfterTheMessage) {
    // The loader probe comes first only in the silence timing.
    const ScopedExchangeTiming timing(ExchangeTiming::kSilence);
    ScriptedPeer peer(VarDexReplies());
    OpenDirect(peer);
    peer.SetIdleChatter("\x15", std::chrono::milliseconds(30));
    const auto start = Clock::now();
    EXPECT_EQ(IdentifyDevice(&view_, &app_), IdentifyResult::kInLoader);
    EXPECT_GE(MsSince(start), ScaledMs(kLoaderHeardPauseMs).count() / 1000);
    ASSERT_EQ(view_.prompts.messages.size(), 1u);
    EXPECT_EQ(view_.prompts.messages[0].first, res::LoadString(res::IDS_DEVICE_IN_UPGRADE_MODE));
    EXPECT_TRUE(Record().IsOpen());
    // Told already, and marked so that the caller offers the upgrade.
    EXPECT_EQ(view_.m_bInLoader, 1);
    EXPECT_EQ(view_.m_bQuietEnd, 1);
}

TEST_F(Identify, UnexpectedChatterOrAStopRequestEndWithTwo) {
    // The loader probe comes first only in the silence timing.
    const ScopedExchangeTiming timing(ExchangeTiming::kSilence);
    ScriptedPeer peer(VarDexReplies());
    OpenDirect(peer);
    // Endless chatter: each read of the probe fills its buffer and ends.
    std::string ring;
    for (int i = 0; i < 32; ++i) {
        ring += "RING\r\n";
    }
    peer.SetIdleChatter(ring, std::chrono::milliseconds(10));
    EXPECT_EQ(IdentifyDevice(&view_, &app_), IdentifyResult::kNotIdentified);
    peer.SetIdleChatter("", std::chrono::milliseconds(0));
    Record().PurgeInput();

    view_.m_bAbort = 1;
    EXPECT_EQ(IdentifyDevice(&view_, &app_), IdentifyResult::kNotIdentified);
    EXPECT_TRUE(view_.prompts.messages.empty());
}

TEST_F(Identify, NakToTheFirstQuestionIsTheLoaderToo) {
    // The loader's NAK came just after the probe: the same news as from the probe.
    ScriptedPeer peer([](const std::string& line) -> std::string {
        return line == "ATI4" ? "\x15" : "\r\nOK\r\n";
    });
    OpenDirect(peer);
    EXPECT_EQ(IdentifyDevice(&view_, &app_), IdentifyResult::kInLoader);
    ASSERT_EQ(view_.prompts.messages.size(), 1u);
    EXPECT_EQ(view_.prompts.messages[0].first, res::LoadString(res::IDS_DEVICE_IN_UPGRADE_MODE));
    EXPECT_EQ(view_.m_bInLoader, 1);
    EXPECT_EQ(view_.m_bQuietEnd, 1);

    // A later identification that finds the device working clears the mark.
    peer.SetResponder(VarDexReplies());
    EXPECT_EQ(IdentifyDevice(&view_, &app_), IdentifyResult::kIdentified);
    EXPECT_EQ(view_.m_bInLoader, 0);
}

TEST(NotFound, NamesThePortsThatWereRefusedOrBusy) {
    const std::string plain = NotFoundMessage({});
    EXPECT_EQ(plain, res::LoadString(res::IDS_DEVICE_NOT_FOUND));
    const std::string with_ports =
        NotFoundMessage({{"COM1", "/dev/ttyS0", SysError{EACCES, "open"}},
                         {"COM2", "/dev/ttyUSB0", SysError{EBUSY, "lock"}}});
    EXPECT_EQ(with_ports.rfind(plain, 0), 0u);
    EXPECT_NE(with_ports.find("COM1 (/dev/ttyS0): You may not open /dev/ttyS0"), std::string::npos)
        << with_ports;
    EXPECT_NE(with_ports.find("COM2 (/dev/ttyUSB0): /dev/ttyUSB0 is in use"), std::string::npos)
        << with_ports;
}

}  // namespace
}  // namespace vardex::test
