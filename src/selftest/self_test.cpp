#include "selftest/self_test.h"

#include <array>
#include <cstdio>
#include <exception>
#include <system_error>
#include <utility>

#include "link/at_commands.h"
#include "link/device_port.h"
#include "link/tapi_line.h"
#include "platform/vtime.h"
#include "res/strings.h"

namespace vardex::selftest {

using namespace vardex::link;

namespace {

// Size of the buffer every text operation formats into.
constexpr std::size_t kTextBufferSize = 512;
// Slice of the answer wait; between slices the cancel flag and the link are
// looked at, so a device that goes away ends a question within one slice.
constexpr std::int64_t kAnswerSliceMs = 500;

struct TestInfo {
    int name_id;
    std::string_view keyword;
};

constexpr std::array<TestInfo, kTestCount> kTests{{
    {vardex::res::IDS_TEST_HARDWARE_INTERFACE, "hardware"},
    {vardex::res::IDS_TEST_INTERBOARD, "interboard"},
    {vardex::res::IDS_TEST_RING, "ring"},
    {vardex::res::IDS_TEST_HANDSET, "handset"},
    {vardex::res::IDS_TEST_DIALING, "dialing"},
    {vardex::res::IDS_TEST_TONE, "tone"},
    {vardex::res::IDS_TEST_CHARGING, "charging"},
}};

// Thrown by CheckCancel and caught by the runner: unwinds the procedure.
struct TestInterrupted {};
// Thrown when the link to the device is found down: unwinds the procedure.
struct LinkGone {};

}  // namespace

int TestNameId(int test) {
    return test >= 0 && test < kTestCount ? kTests[static_cast<std::size_t>(test)].name_id : 0;
}

std::string_view TestKeyword(int test) {
    return test >= 0 && test < kTestCount ? kTests[static_cast<std::size_t>(test)].keyword
                                          : std::string_view{};
}

int TestFromText(std::string_view text) {
    if (text.size() == 1 && text[0] >= '0' && text[0] < '0' + kTestCount) {
        return text[0] - '0';
    }
    for (int test = 0; test < kTestCount; ++test) {
        if (!text.empty() && text == TestKeyword(test)) {
            return test;
        }
    }
    return -1;
}

std::vector<int> TestsForModel(std::uint16_t model_version) {
    std::vector<int> tests;
    for (int test = 0; test < kTestCount; ++test) {
        if (test == kTestDialing && (model_version >> 8) == 3) {
            continue;  // that model has no DTMF detector
        }
        tests.push_back(test);
    }
    return tests;
}

CSelfTestRunner::CSelfTestRunner(ISelfTestView& view, CDevicePort& port)
    : m_view(view), m_port(port) {}

CSelfTestRunner::~CSelfTestRunner() {
    // Never left waiting for a person who is gone: the test stops at its next
    // question or check.
    if (m_thread.joinable() && !m_bFinished.load()) {
        m_bCancel.store(1);
        Close();
    }
    Wait();
}

const std::vector<std::string>& CSelfTestRunner::ResetSequence() {
    namespace at = vardex::link::at;
    static const std::vector<std::string> sequence{
        std::string(at::kPotsConnect),
        at::ForPort(at::kChargeOff, 0),
        at::ForPort(at::kChargeOff, 1),
        at::ForPort(at::kHookState, at::kBothPorts),
        at::ForPort(at::kRingOff, at::kBothPorts),
        at::ForPort(at::kToneStop, at::kBothPorts),
        std::string(at::kPotsConnect),
    };
    return sequence;
}

bool CSelfTestRunner::LaunchWorker(std::function<void()> body) {
    try {
        m_thread = std::thread(std::move(body));
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

bool CSelfTestRunner::Start(int test, int ports) {
    Wait();  // a runner used again: the previous worker is done with the state
    m_bCancel.store(0);
    m_nAnswer.store(-1);
    m_nPorts = ports;
    m_nResult = TestEnd::kInterrupted;
    m_strErrors.clear();
    m_bFinished.store(false);
    m_bLinkLost.store(false);
    if (test < 0 || test >= kTestCount) {
        m_bFinished.store(true);
        return false;
    }
    if (!LaunchWorker([this, test] { Run(test); })) {
        m_nResult = TestEnd::kInterrupted;
        m_bFinished.store(true);
        return false;
    }
    return true;
}

void CSelfTestRunner::Wait() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

TestResult CSelfTestRunner::Translate(TestEnd result) {
    switch (result) {
        case TestEnd::kPass:
            return TEST_PASS;
        case TestEnd::kInterrupted:
            return TEST_INTERRUPTED;
        case TestEnd::kFail:
            break;
    }
    return TEST_FAIL;
}

TestResult CSelfTestRunner::RunTest(int test, int ports) {
    if (!Start(test, ports)) {
        return TEST_INTERRUPTED;
    }
    Wait();
    return Translate(m_nResult);
}

void CSelfTestRunner::Run(int test) {
    try {
        RunSelfTestProcedure(*this, test);
    } catch (const TestInterrupted&) {
        std::optional<std::string> reply;
        // A reconnect that finds the link down: the person learns why.
        m_bLinkLost.store(!Exchange(vardex::link::at::kPotsConnect.data(), &reply));
        m_strErrors.clear();
        m_nResult = TestEnd::kInterrupted;
    } catch (const LinkGone&) {
        // Nothing reaches a device that is gone: no reconnect either.
        m_bLinkLost.store(true);
        m_strErrors.clear();
        m_nResult = TestEnd::kInterrupted;
    } catch (const std::exception&) {
        // Out of memory or the like: the test did not complete, and the
        // dialog must still end.
        m_strErrors.clear();
        m_nResult = TestEnd::kInterrupted;
    }
    const TestEnd result = m_nResult;
    {
        std::lock_guard lock(m_answerMutex);
        m_bFinished.store(true);
        m_answerCv.notify_all();
    }
    m_view.TestEnded(result);
}

void CSelfTestRunner::Pulse() {
    // Under the lock: an answer that comes while no question waits is lost.
    if (m_bWaiting) {
        m_bPulsed = true;
        m_answerCv.notify_all();
    }
}

bool CSelfTestRunner::WaitForQuestion(std::chrono::milliseconds limit) {
    std::unique_lock lock(m_answerMutex);
    m_answerCv.wait_for(lock, limit,
                        [this] { return (m_bWaiting && !m_bPulsed) || m_bFinished.load(); });
    return m_bWaiting && !m_bPulsed;
}

void CSelfTestRunner::Answer(bool yes) {
    std::lock_guard lock(m_answerMutex);
    m_nAnswer.store(yes ? 1 : 0);
    Pulse();
}

void CSelfTestRunner::Close() {
    std::lock_guard lock(m_answerMutex);
    m_nAnswer.store(-1);
    Pulse();
}

void CSelfTestRunner::Cancel() {
    // Held across the pulse and the whole sequence: the worker's next command
    // (its own "AT/CONPOTS" when the pulse ends a question) waits until the
    // reset is through, and none of its commands lands inside it.
    std::lock_guard exchange(m_port.ExchangeMutex());
    {
        std::lock_guard lock(m_answerMutex);
        m_nAnswer.store(-1);
        Pulse();
    }
    for (const std::string& command : ResetSequence()) {
        m_port.SendCommand(command.c_str());
    }
    m_bCancel.store(1);
}

std::string CSelfTestRunner::Format(int id, std::va_list args) {
    const std::string format(vardex::res::LoadString(id));
    char text[kTextBufferSize];
    const int written = std::vsnprintf(text, sizeof text, format.c_str(), args);
    if (written < 0) {
        return {};
    }
    return text;
}

#define VARDEX_FORMATTED(id, name)             \
    std::va_list args;                         \
    va_start(args, id);                        \
    const std::string name = Format(id, args); \
    va_end(args)

void CSelfTestRunner::SetTitleText(int id, ...) {
    VARDEX_FORMATTED(id, text);
    m_view.SetCaption(text);
}

void CSelfTestRunner::SetNameText(int id, ...) {
    VARDEX_FORMATTED(id, text);
    m_view.SetNameText(text);
}

void CSelfTestRunner::SetPromptText(int id, ...) {
    VARDEX_FORMATTED(id, text);
    m_view.SetPromptText(text);
}

void CSelfTestRunner::SetDescriptionText(int id, ...) {
    VARDEX_FORMATTED(id, text);
    m_view.SetDescriptionText(text);
}

void CSelfTestRunner::SetYesCaption(int id, ...) {
    VARDEX_FORMATTED(id, text);
    m_view.SetYesCaption(text);
}

void CSelfTestRunner::AddFault(int id, ...) {
    VARDEX_FORMATTED(id, text);
    if (!m_strErrors.empty()) {
        m_strErrors += vardex::res::LoadString(vardex::res::IDS_FAULT_SEPARATOR);
    }
    m_strErrors += text;
}

void CSelfTestRunner::FlashFault(int id, ...) {
    VARDEX_FORMATTED(id, text);
    m_view.BeginAlarm(text);
    Sleep(m_view.AlarmDurationMs());
    m_view.EndAlarm();
}

#undef VARDEX_FORMATTED

void CSelfTestRunner::FlashFaults() {
    m_view.BeginAlarm(m_strErrors);
    Sleep(m_view.AlarmDurationMs());
    m_view.EndAlarm();
}

int CSelfTestRunner::AskUser() {
    m_view.EnableAnswers(true);
    {
        std::lock_guard lock(m_answerMutex);
        m_nAnswer.store(-1);
        m_bWaiting = true;
        m_bPulsed = false;
        m_answerCv.notify_all();  // a person waiting for the question
    }
    bool link_up = true;
    for (;;) {
        {
            std::unique_lock lock(m_answerMutex);
            // A test stopped before it asked need not wait out a slice.
            m_answerCv.wait_for(lock, vardex::platform::ScaledMs(kAnswerSliceMs),
                                [this] { return m_bPulsed || m_bCancel.load() != 0; });
            if (m_bPulsed || m_bCancel.load() != 0) {
                break;
            }
        }
        // Between slices, without the answer lock: a pulse meanwhile is kept
        // (the question still counts as waiting) and seen by the next slice.
        link_up = LinkUp();
        if (!link_up) {
            break;
        }
    }
    {
        std::lock_guard lock(m_answerMutex);
        m_bWaiting = false;
        m_bPulsed = false;
    }
    if (!link_up) {
        throw LinkGone{};
    }
    if (m_nAnswer.load() == -1) {
        m_bCancel.store(1);
    }
    CheckCancel();
    return m_nAnswer.load();
}

void CSelfTestRunner::CheckCancel() {
    if (m_bCancel.load() != 0) {
        throw TestInterrupted{};
    }
}

void CSelfTestRunner::EnableAnswers(bool enable) {
    m_view.EnableAnswers(enable);
}

void CSelfTestRunner::ShowAnswers(bool show_yes, bool show_no) {
    m_view.ShowAnswers(show_yes, show_no);
}

void CSelfTestRunner::SetPicture(TestPicture picture) {
    m_view.SetPicture(picture);
}

void CSelfTestRunner::SetProgressRange(int upper) {
    m_nProgressUpper = upper < 0 ? 0 : upper;
    m_nProgressPos = 0;
    m_view.SetProgressRange(m_nProgressUpper);
}

void CSelfTestRunner::StepProgress() {
    if (m_nProgressPos < m_nProgressUpper) {
        ++m_nProgressPos;
    }
    m_view.SetProgressPos(m_nProgressPos);
}

bool CSelfTestRunner::Exchange(const char* command, std::optional<std::string>* reply) {
    // The reply lives in the port's buffer until the next exchange, which may be
    // Cancel's on another thread: copied before the lock goes.
    std::lock_guard lock(m_port.ExchangeMutex());
    const char* text = m_port.SendCommand(command);
    reply->reset();
    if (text == nullptr) {
        return false;
    }
    if (*text != '\0') {
        *reply = std::string(text);
    }
    return true;
}

bool CSelfTestRunner::LinkUp() {
    std::lock_guard lock(m_port.ExchangeMutex());
    return m_port.Line().Guard() != 0;
}

std::optional<std::string> CSelfTestRunner::Send(const char* command) {
    std::optional<std::string> reply;
    if (!Exchange(command, &reply)) {
        throw LinkGone{};
    }
    return reply;
}

std::optional<std::string> CSelfTestRunner::SendWithTimeout(const char* command, std::uint32_t ms,
                                                            std::uint32_t after_ms) {
    std::optional<std::string> reply;
    bool up = false;
    {
        std::lock_guard lock(m_port.ExchangeMutex());
        m_port.SetReadTimeout(ms);
        up = Exchange(command, &reply);
        m_port.SetReadTimeout(after_ms);
    }
    if (!up) {
        throw LinkGone{};
    }
    return reply;
}

void CSelfTestRunner::Sleep(std::int64_t ms) {
    if (ms > 0) {
        vardex::platform::SleepMs(ms);
    }
}

}  // namespace vardex::selftest
