// Every fixed text the program sends to the device: commands, the start-up
// sequences, the loader's answers, the self test's and the trace switches.
// A text sent as a whole line gets kEnd behind it (SendCommand adds it). All
// are literals, so data() is NUL-terminated where a const char* is wanted.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace vardex::link::at {

// The end of a command line.
inline constexpr std::string_view kEnd = "\r";

// A command written raw: the text and its line end.
inline std::string Line(std::string_view command) {
    return std::string(command).append(kEnd);
}

// ---- identification ----
// Model and version; also what the device search asks every port.
inline constexpr std::string_view kIdentify = "ATI4";
inline constexpr std::string_view kHardwareVersion = "ATI0";
inline constexpr std::string_view kFirmwareVersion = "ATI3";
inline constexpr std::string_view kFirmwareCrc = "ATI1";
// The bare attention command; after an upgrade, whether the firmware or still
// the loader answers.
inline constexpr std::string_view kAttention = "AT";
// "No" to the question the device may be waiting on (written raw, no line end).
inline constexpr std::string_view kAnswerNo = "N";
// Leaves the device's console prompt.
inline constexpr std::string_view kLeaveConsole = "QUIT";

// ---- start-up ----
// The device signals incoming calls on its ring-indicator line.
inline constexpr std::string_view kRingIndicator = "AT/SETRI";
// The stored profile recalled (a restart), then the echo off.
inline constexpr std::string_view kRecallProfile = "ATZ";
inline constexpr std::string_view kEchoOff = "ATE0";
// What a freshly opened line hears: a USB modem line through the telephony
// provider, which has no ring indicator to set up.
inline constexpr std::array<std::string_view, 2> kLineStartUp = {kRecallProfile, kEchoOff};
// What a freshly opened serial port hears.
inline constexpr std::array<std::string_view, 3> kPortStartUp = {kRingIndicator, kRecallProfile,
                                                                 kEchoOff};
// A channel opened again for a device already in use: no ATZ, which would drop
// the settings written but not yet stored.
inline constexpr std::array<std::string_view, 2> kReconnect = {kRingIndicator, kAttention};
// "ATZ0".."ATZ4": one of the stored profiles recalled.
inline std::string RecallProfile(int profile) {
    return std::string(kRecallProfile) + std::to_string(profile);
}

// ---- firmware upgrade ----
// Asks the device into its loader; it asks back "... (Y/N)?".
inline constexpr std::string_view kUpgradeRequest = "ATUPX";
// "Yes" to that question (written raw, no line end).
inline constexpr std::string_view kAnswerYes = "Y";

// ---- parameter rows ----
// Register commands: "ATSr?" asks, "ATSr=v" sets, "ATSr.b?" / "ATSr.b=v" a bit.
inline constexpr std::string_view kRegister = "ATS";
inline constexpr std::string_view kQuery = "?";
inline constexpr std::string_view kSet = "=";
inline constexpr std::string_view kBit = ".";
// The protocol code of the data port.
inline constexpr std::string_view kProtocolRegister = "ATS82";
// The LLC octets, one register each: S108 .. S113.
inline constexpr int kLlcFirstRegister = 108;
inline constexpr int kLlcRegisterCount = 6;
// The numbers a port answers to: asked all at once, set as "AT&ZIn=number".
inline constexpr std::string_view kNumbersQuery = "AT&ZI?";
inline constexpr std::string_view kNumberSet = "AT&ZI";
// The own numbers of Phone 1, Phone 2 and the DTE port.
inline constexpr std::string_view kOwnNumbersQuery = "AT&ZO?";
inline constexpr std::string_view kOwnNumberPhone1Set = "AT&ZOa=";
inline constexpr std::string_view kOwnNumberPhone2Set = "AT&ZOb=";
inline constexpr std::string_view kOwnNumberDteSet = "AT&ZOi=";
// The charge counters: read, and cleared in the device's flash.
inline constexpr std::string_view kChargesQuery = "ATCH?";
inline constexpr std::string_view kChargesClear = "ATCH0";
// The X.121 address.
inline constexpr std::string_view kX121Query = "AT!X2?";
inline constexpr std::string_view kX121Set = "AT!X2=";
// The caller-ID level: asked bare, set with a space and the level.
inline constexpr std::string_view kClipLevel = "AT/CLIPLEVEL";
// "AT&Wn": the settings stored into profile n.
inline constexpr std::string_view kStoreProfile = "AT&W";

// ---- self test ----
// The analogue ports back to the exchange, or cut off from it for a test.
inline constexpr std::string_view kPotsConnect = "AT/CONPOTS";
inline constexpr std::string_view kPotsDisconnect = "AT/DISCPOTS";
inline constexpr std::string_view kDigitalLoop = "AT/DLOOP";
inline constexpr std::string_view kInterboardTest = "AT/SPICOMTEST";
// Followed by a space and the port number ("AT/RING 0"); port 2 means both.
inline constexpr std::string_view kRing = "AT/RING";
inline constexpr std::string_view kRingOff = "AT/NORING";
inline constexpr std::string_view kHookState = "AT/HOOKSTATE";
// Whether a key is held down on the port.
inline constexpr std::string_view kDtmfState = "AT/DTMFSTATE";
inline constexpr std::string_view kDtmfRead = "AT/DTMFREAD";
inline constexpr std::string_view kToneStart = "AT/STARTTONE";
inline constexpr std::string_view kToneStop = "AT/STOPTONE";
inline constexpr std::string_view kCharge = "AT/CHARGE";
inline constexpr std::string_view kChargeOff = "AT/NOCHARGE";
// How long "AT/CHARGE n ms" keeps sending charge pulses in the test: long
// enough for the person to see the meter count.
inline constexpr int kChargeTestMs = 10000;
// The port number that names both analogue ports.
inline constexpr int kBothPorts = 2;
// A command with the port number behind it: "AT/RING 0".
inline std::string ForPort(std::string_view command, int port) {
    return std::string(command) + ' ' + std::to_string(port);
}

// ---- trace switches ----
// Every layer off and the trace output stopped; an ordinary exchange.
inline constexpr std::string_view kAllTracesOff = "ATCD0CD2CD4CD6CD8CD10";
// Per layer (U, L1, L2, L3, App) its switch written raw, line end included:
// off and on over the serial data port ("CD9"), then over USB ("CD26").
inline constexpr std::array<std::array<std::string_view, 4>, 5> kTraceSwitches = {{
    {"ATCD10CD9\r", "ATCD11CD9\r", "ATCD10CD26\r", "ATCD11CD26\r"},
    {"ATCD0CD9\r", "ATCD1CD9\r", "ATCD0CD26\r", "ATCD1CD26\r"},
    {"ATCD2CD9\r", "ATCD3CD9\r", "ATCD2CD26\r", "ATCD3CD26\r"},
    {"ATCD4CD9\r", "ATCD5CD9\r", "ATCD4CD26\r", "ATCD5CD26\r"},
    {"ATCD6CD9\r", "ATCD7CD9\r", "ATCD6CD26\r", "ATCD7CD26\r"},
}};

}  // namespace vardex::link::at
