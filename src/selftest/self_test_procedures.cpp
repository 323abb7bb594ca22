// The seven hardware tests. Each drives one circuit of the device with its test
// commands (lines that begin with AT/), asks the person what the telephone does
// or tells them what to do with it, and decides pass or fail.
#include <cctype>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "link/at_commands.h"
#include "res/strings.h"
#include "selftest/self_test.h"

namespace vardex::selftest {

using namespace vardex::res;
namespace at = vardex::link::at;

namespace {

constexpr std::string_view kDtmfKeys = "123456789*0#";
constexpr int kKeyCount = 12;
// Pauses of the polling loops (nominal milliseconds).
constexpr std::int64_t kHookPollMs = 500;
constexpr std::int64_t kKeyPollMs = 250;
// Pause after a passed port-less test, so the person sees it pass.
constexpr std::int64_t kPassPauseMs = 2000;
constexpr std::uint32_t kDLoopTimeoutMs = 10000;
constexpr std::uint32_t kInterboardTimeoutMs = 2000;
constexpr std::uint32_t kAfterTimeoutMs = 250;

// The decimal number at the start of a reply after leading white space; 0 when
// no digit follows (large values saturate rather than overflow).
long ReadNumber(const std::string& reply) {
    std::size_t at = 0;
    while (at < reply.size() && std::isspace(static_cast<unsigned char>(reply[at])) != 0) {
        ++at;
    }
    long value = 0;
    for (; at < reply.size() && reply[at] >= '0' && reply[at] <= '9'; ++at) {
        if (value < 100000000L) {
            value = value * 10 + (reply[at] - '0');
        }
    }
    return value;
}

bool Contains(const std::optional<std::string>& reply, std::string_view what) {
    return reply && reply->find(what) != std::string::npos;
}

// How the test lays out its buttons at the start.
enum class Buttons { kHidden, kDisabled, kTestOnly };

struct Opening {
    int progress;
    Buttons buttons;
    int caption;
    int description;
    int yes_caption = 0;  // 0: Yes keeps its caption
};

void Open(CSelfTestRunner& r, const Opening& o) {
    r.EnableAnswers(false);
    r.SetProgressRange(o.progress);
    switch (o.buttons) {
        case Buttons::kHidden:
            r.ShowAnswers(false, false);
            break;
        case Buttons::kDisabled:
            r.ShowAnswers(true, true);
            break;
        case Buttons::kTestOnly:
            r.ShowAnswers(true, false);
            break;
    }
    if (o.yes_caption != 0) {
        r.SetYesCaption(o.yes_caption);
    }
    r.SetTitleText(o.caption);
    r.SetDescriptionText(o.description);
    r.m_strErrors.clear();
}

void Close(CSelfTestRunner& r, bool failed) {
    r.Send(at::kPotsConnect.data());
    r.m_nResult = failed ? TestEnd::kFail : TestEnd::kPass;
}

void Report(CSelfTestRunner& r, int fault) {
    r.AddFault(fault);
    r.FlashFault(fault);
}

int SelectedPorts(int mask) {
    return ((mask & kPortFirst) != 0 ? 1 : 0) + ((mask & kPortSecond) != 0 ? 1 : 0);
}

// What differs between the two analog ports.
struct PortTexts {
    int number;  // in the commands: 0 or 1
    TestPicture picture;
    int plug;         // "Plug a telephone in the ... analog port."
    int plug_pickup;  // "... and pickup the handset."
    int ring_fault, hook_fault, dtmf_fault, tone_fault, charge_fault;
};

constexpr PortTexts kPorts[2] = {
    {0, TestPicture::kFirstSocket, IDS_PLUG_PORT1, IDS_PLUG_PORT1_PICKUP, IDS_FAULT_RING1,
     IDS_FAULT_HOOK1, IDS_FAULT_DTMF1, IDS_FAULT_TONE1, IDS_FAULT_CHARGE1},
    {1, TestPicture::kSecondSocket, IDS_PLUG_PORT2, IDS_PLUG_PORT2_PICKUP, IDS_FAULT_RING2,
     IDS_FAULT_HOOK2, IDS_FAULT_DTMF2, IDS_FAULT_TONE2, IDS_FAULT_CHARGE2},
};

// Runs port_test on each selected port, first port first; true when one failed.
template <typename F>
bool EachPort(CSelfTestRunner& r, F&& port_test) {
    bool failed = false;
    for (int i = 0; i < 2; ++i) {
        if ((r.m_nPorts & (1 << i)) != 0 && !port_test(kPorts[i])) {
            failed = true;
        }
    }
    return failed;
}

void HardwareInterfaceTest(CSelfTestRunner& r) {
    Open(r, {1, Buttons::kHidden, IDS_TEST_HARDWARE_INTERFACE, IDS_DESC_HARDWARE_INTERFACE});
    r.SetNameText(IDS_TEST_IN_PROGRESS);
    r.StepProgress();
    r.SetPicture(TestPicture::kNoPhone);
    r.SetPromptText(IDS_PROMPT_VERIFY_D);
    r.Send(at::kPotsDisconnect.data());
    const auto reply = r.SendWithTimeout(at::kDigitalLoop.data(), kDLoopTimeoutMs, kAfterTimeoutMs);
    const bool passed = Contains(reply, "OK");
    if (passed) {
        r.Sleep(kPassPauseMs);
    } else {
        r.AddFault(IDS_FAULT_D_CHANNEL);
        r.FlashFaults();
    }
    Close(r, !passed);
}

void InterboardTest(CSelfTestRunner& r) {
    Open(r, {1, Buttons::kHidden, IDS_TEST_INTERBOARD, IDS_DESC_INTERBOARD});
    r.SetNameText(IDS_TEST_IN_PROGRESS);
    r.StepProgress();
    r.SetPicture(TestPicture::kNoPhone);
    r.SetPromptText(IDS_PROMPT_VERIFY_INTERBOARD);
    r.Send(at::kPotsDisconnect.data());
    const auto reply =
        r.SendWithTimeout(at::kInterboardTest.data(), kInterboardTimeoutMs, kAfterTimeoutMs);
    const bool passed = Contains(reply, "OK");
    if (passed) {
        r.Sleep(kPassPauseMs);
    } else {
        if (!reply) {
            r.AddFault(IDS_FAULT_NO_RESPONSE);
        } else {
            if (Contains(reply, "U ")) {
                r.AddFault(IDS_FAULT_U_INTERFACE);
            }
            if (Contains(reply, "S ")) {
                r.AddFault(IDS_FAULT_S_INTERFACE);
            }
        }
        r.FlashFaults();
    }
    Close(r, !passed);
}

void RingTest(CSelfTestRunner& r) {
    Open(r, {SelectedPorts(r.m_nPorts), Buttons::kDisabled, IDS_TEST_RING, IDS_DESC_RING});
    const bool failed = EachPort(r, [&r](const PortTexts& p) {
        r.SetNameText(p.plug);
        r.SetPicture(p.picture);
        r.StepProgress();
        r.SetPromptText(IDS_PROMPT_RINGING);
        r.Send(at::kPotsDisconnect.data());
        r.Send(at::ForPort(at::kRing, p.number).c_str());
        const int answer = r.AskUser();
        r.Send(at::ForPort(at::kRingOff, p.number).c_str());
        if (answer != 1) {
            Report(r, p.ring_fault);
            return false;
        }
        return true;
    });
    Close(r, failed);
}

// A hook-state reading: the number of the reply, or nullopt without one.
std::optional<long> HookState(CSelfTestRunner& r, int port) {
    const auto reply = r.Send(at::ForPort(at::kHookState, port).c_str());
    if (!reply) {
        return std::nullopt;
    }
    return ReadNumber(*reply);
}

void HandsetTest(CSelfTestRunner& r) {
    Open(r, {2 * SelectedPorts(r.m_nPorts), Buttons::kTestOnly, IDS_TEST_HANDSET, IDS_DESC_HANDSET,
             IDS_TEST_BUTTON});
    const bool failed = EachPort(r, [&r](const PortTexts& p) {
        r.SetNameText(p.plug);
        r.StepProgress();
        r.SetPicture(p.picture);
        r.SetPromptText(IDS_PROMPT_HANDSET_DOWN);
        r.Send(at::kPotsDisconnect.data());
        r.AskUser();  // only waits for the press
        const auto down = HookState(r, p.number);
        r.StepProgress();
        // No reply cannot be read as on hook: the detector is not answering.
        if (!down || *down != 0) {
            Report(r, p.hook_fault);
            return false;
        }
        r.SetPromptText(IDS_PROMPT_HANDSET_UP);
        r.AskUser();
        const auto up = HookState(r, p.number);
        if (!up || *up != 1) {
            Report(r, p.hook_fault);
            return false;
        }
        return true;
    });
    Close(r, failed);
}

bool IsKey(char c) {
    return (c >= '0' && c <= '9') || c == '*' || c == '#';
}

void DialingTest(CSelfTestRunner& r) {
    Open(r, {kKeyCount * SelectedPorts(r.m_nPorts), Buttons::kHidden, IDS_TEST_DIALING,
             IDS_DESC_DIALING, IDS_TEST_BUTTON});
    const bool failed = EachPort(r, [&r](const PortTexts& p) {
        r.SetNameText(p.plug_pickup);
        r.SetPicture(p.picture);
        r.SetPromptText(IDS_PROMPT_PICKUP);
        r.Send(at::kPotsDisconnect.data());
        for (;;) {
            const auto hook = HookState(r, p.number);
            if (hook && *hook != 0) {
                break;
            }
            r.Sleep(kHookPollMs);
            r.CheckCancel();
        }
        const std::string read = at::ForPort(at::kDtmfRead, p.number);
        for (int i = 0; i < kKeyCount; ++i) {
            const char expected = kDtmfKeys[static_cast<std::size_t>(i)];
            r.StepProgress();
            r.SetPromptText(IDS_PROMPT_PRESS_KEY, static_cast<int>(expected));
            if (p.number == 1) {
                r.Send(at::ForPort(at::kDtmfState, p.number).c_str());
            }
            char got = '\0';
            for (;;) {
                const auto reply = r.Send(read.c_str());
                // The detector keeps the last key: the previous key read again
                // is not a new press.
                if (reply && IsKey((*reply)[0]) &&
                    (i == 0 || (*reply)[0] != kDtmfKeys[static_cast<std::size_t>(i - 1)])) {
                    got = (*reply)[0];
                    break;
                }
                r.Sleep(kKeyPollMs);
                r.CheckCancel();
            }
            if (got != expected) {
                Report(r, p.dtmf_fault);
                for (int skipped = 0; skipped < kKeyCount - 1 - i; ++skipped) {
                    r.StepProgress();
                }
                return false;
            }
        }
        return true;
    });
    Close(r, failed);
}

void ToneTest(CSelfTestRunner& r) {
    Open(r, {SelectedPorts(r.m_nPorts), Buttons::kDisabled, IDS_TEST_TONE, IDS_DESC_TONE});
    const bool failed = EachPort(r, [&r](const PortTexts& p) {
        r.SetNameText(p.plug_pickup);
        r.SetPicture(p.picture);
        r.SetPromptText(IDS_PROMPT_PICKUP);
        r.Send(at::kPotsDisconnect.data());
        r.EnableAnswers(false);
        for (;;) {
            const auto hook = HookState(r, p.number);
            if (hook && *hook != 0) {
                break;
            }
            // The first port polls back to back; the second pauses first (a
            // link that goes down ends the test at its poll, never a spin).
            if (p.number == 1) {
                r.Sleep(kHookPollMs);
            }
            r.CheckCancel();
        }
        r.EnableAnswers(true);
        r.StepProgress();
        r.SetPromptText(IDS_PROMPT_HEAR_TONE);
        r.Send(at::ForPort(at::kToneStart, p.number).c_str());
        const int answer = r.AskUser();
        r.Send(at::ForPort(at::kToneStop, p.number).c_str());
        if (answer != 1) {
            Report(r, p.tone_fault);
            return false;
        }
        return true;
    });
    Close(r, failed);
}

void ChargingTest(CSelfTestRunner& r) {
    Open(r, {SelectedPorts(r.m_nPorts), Buttons::kDisabled, IDS_TEST_CHARGING, IDS_DESC_CHARGING});
    const bool failed = EachPort(r, [&r](const PortTexts& p) {
        r.SetNameText(p.plug_pickup);
        r.SetPicture(p.picture);
        r.StepProgress();
        r.SetPromptText(IDS_PROMPT_CHARGING);
        r.Send(at::kPotsDisconnect.data());
        r.Send(
            (at::ForPort(at::kCharge, p.number) + ' ' + std::to_string(at::kChargeTestMs)).c_str());
        const int answer = r.AskUser();
        r.Send(at::ForPort(at::kChargeOff, p.number).c_str());
        if (answer != 1) {
            Report(r, p.charge_fault);
            return false;
        }
        return true;
    });
    Close(r, failed);
}

}  // namespace

void RunSelfTestProcedure(CSelfTestRunner& runner, int test) {
    switch (test) {
        case kTestHardwareInterface:
            HardwareInterfaceTest(runner);
            break;
        case kTestInterboard:
            InterboardTest(runner);
            break;
        case kTestRing:
            RingTest(runner);
            break;
        case kTestHandset:
            HandsetTest(runner);
            break;
        case kTestDialing:
            DialingTest(runner);
            break;
        case kTestTone:
            ToneTest(runner);
            break;
        case kTestCharging:
            ChargingTest(runner);
            break;
        default:
            runner.m_nResult = TestEnd::kFail;
            break;
    }
}

}  // namespace vardex::selftest
