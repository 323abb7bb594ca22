// The hardware self test: the test numbers, the result codes, the view a running
// test shows itself through, and CSelfTestRunner, which runs one test procedure
// on a worker thread and meets the person's answers there.
//
// Threading contract
// - Owner thread (the GUI thread, vardexctl's main thread, a test): constructs
//   the runner, calls Start (or RunTest) once, and reads Result() and Errors()
//   after Wait() has returned. The destructor stops a test still running
//   (as an unanswered question would) and waits for the worker.
// - Worker thread: runs the procedure; every ISelfTestView call except
//   TestEnded's delivery comes from it, and must be handed over to the widgets'
//   thread by the view (the worker never touches a widget). TestEnded is the
//   worker's last act; the view may then call Wait() from its own thread.
// - Answer, Close and Cancel may come from any thread at any time while the
//   worker runs. Answer and Close never block. Cancel BLOCKS while it sends the
//   reset sequence to the device (several exchanges, each bounded by the
//   channel's read time-out): a window must call it off its GUI thread and show
//   that the test is stopping meanwhile.
// - A device that goes away ends the test: an exchange that finds the link
//   down, or the look at the link between the slices of a question's wait,
//   stops the procedure as interrupted and LinkLost() says why. No wait of the
//   worker outlasts the device.
// - Every exchange with the device (the worker's and Cancel's) is serialised
//   with CDevicePort::ExchangeMutex(); Cancel holds it for its whole sequence,
//   so no command of the worker lands inside it.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace vardex::link {
class CDevicePort;
}

namespace vardex::selftest {

// What RunTest returns (the Self Test page's result codes).
enum class TestResult { kFail = 0, kPass = 1, kInterrupted = 3 };
inline constexpr TestResult TEST_PASS = TestResult::kPass;
inline constexpr TestResult TEST_FAIL = TestResult::kFail;
inline constexpr TestResult TEST_INTERRUPTED = TestResult::kInterrupted;

// How a procedure ended: the runner's and the progress window's end value,
// which RunTest translates into the page's result.
enum class TestEnd { kInterrupted = -1, kFail = 0, kPass = 1 };

// Test numbers.
inline constexpr int kTestHardwareInterface = 0;
inline constexpr int kTestInterboard = 1;
inline constexpr int kTestRing = 2;
inline constexpr int kTestHandset = 3;
inline constexpr int kTestDialing = 4;
inline constexpr int kTestTone = 5;
inline constexpr int kTestCharging = 6;
inline constexpr int kTestCount = 7;

// Port mask bits: the first and the second analog port.
inline constexpr int kPortFirst = 1;
inline constexpr int kPortSecond = 2;
inline constexpr int kPortsBoth = kPortFirst | kPortSecond;

// The string id of a test's name (caption and list row); 0 outside 0..6.
int TestNameId(int test);
// The short English keyword of a test ("hardware", "interboard", "ring",
// "handset", "dialing", "tone", "charging"); empty outside 0..6.
std::string_view TestKeyword(int test);
// A test number from its number ("0".."6") or keyword; -1 when neither.
int TestFromText(std::string_view text);
// The tests a device of that model version has, in list order: all seven,
// except the dialing test when the major number (high byte) is 3.
std::vector<int> TestsForModel(std::uint16_t model_version);

// The back-panel picture beside the prompt.
enum class TestPicture { kFirstSocket, kSecondSocket, kNoPhone };

// How a running test shows itself. Calls come from the worker thread.
class ISelfTestView {
public:
    virtual ~ISelfTestView() = default;

    virtual void SetCaption(const std::string& text) = 0;
    virtual void SetNameText(const std::string& text) = 0;
    virtual void SetPromptText(const std::string& text) = 0;
    virtual void SetDescriptionText(const std::string& text) = 0;
    virtual void SetYesCaption(const std::string& text) = 0;
    // Yes and No together.
    virtual void EnableAnswers(bool enable) = 0;
    virtual void ShowAnswers(bool show_yes, bool show_no) = 0;
    virtual void SetPicture(TestPicture picture) = 0;
    // Range 0..upper with the position at 0 (the step is always 1).
    virtual void SetProgressRange(int upper) = 0;
    virtual void SetProgressPos(int position) = 0;
    // A fault shown as an alarm: the runner calls BeginAlarm, keeps the worker
    // waiting for AlarmDurationMs() (nominal milliseconds, scaled), then EndAlarm. The
    // view keeps the prompt text and colours it replaced and restores them in
    // EndAlarm.
    virtual void BeginAlarm(const std::string& text) = 0;
    virtual void EndAlarm() = 0;
    virtual std::int64_t AlarmDurationMs() const { return 2000; }
    // The worker's last act.
    virtual void TestEnded(TestEnd result) = 0;
};

class CSelfTestRunner {
public:
    // The port is the working record's channel; both outlive the runner.
    CSelfTestRunner(ISelfTestView& view, vardex::link::CDevicePort& port);
    virtual ~CSelfTestRunner();
    CSelfTestRunner(const CSelfTestRunner&) = delete;
    CSelfTestRunner& operator=(const CSelfTestRunner&) = delete;

    // ---- owner thread ----
    // Starts test (0..6) on ports (mask) on the worker thread. False when the
    // worker could not be started or the test number is unknown: the test is
    // then over at once, interrupted (Result() -1, TestEnded not called).
    bool Start(int test, int ports);
    // Waits for the worker to end (returns at once when none runs).
    void Wait();
    // Whether the worker has finished its procedure (any thread).
    bool Finished() const { return m_bFinished.load(); }
    // After Wait: how the test ended, and the fault texts.
    TestEnd Result() const { return m_nResult; }
    const std::string& Errors() const { return m_strErrors; }
    // After Wait: the test was interrupted because the link to the device went
    // down; the person is to be told so (res::kTextDeviceVanished).
    bool LinkLost() const { return m_bLinkLost.load(); }
    // The end value as the page sees it.
    static TestResult Translate(TestEnd result);
    // Start, Wait and Translate in one; TEST_INTERRUPTED when it cannot start.
    TestResult RunTest(int test, int ports);

    // ---- the person's side, any thread ----
    // Yes (true) or No (false): releases a pending question; lost otherwise.
    void Answer(bool yes);
    // The window is being closed: no answer. Ends a pending question as
    // interrupted; does nothing to a polling phase.
    void Close();
    // Stops the test: no answer, then the reset sequence to the device (replies
    // ignored), then the cancel flag, which the procedure honours at its next
    // check. BLOCKS for the device's replies: never call it on a GUI thread.
    void Cancel();
    // Waits (at most limit, real time) until the worker waits for an answer
    // that has not come yet; false on the limit or once the test has ended.
    // For a person who answers only what is asked (the terminal, the tests).
    bool WaitForQuestion(std::chrono::milliseconds limit);

    // ---- worker thread: the operations the procedures use ----
    // Text operations: a string id and printf-style arguments, formatted into
    // a bounded buffer (longer results are cut short, never overrun).
    void SetTitleText(int id, ...);
    void SetNameText(int id, ...);
    void SetPromptText(int id, ...);
    void SetDescriptionText(int id, ...);
    void SetYesCaption(int id, ...);
    void AddFault(int id, ...);
    void FlashFault(int id, ...);
    void FlashFaults();
    // Waits for Yes (1) or No (0), looking at the link between slices; does
    // not return when the test is stopped or the link goes down.
    int AskUser();
    // Ends the procedure at once (unwinding it) when the test is stopped.
    void CheckCancel();
    void EnableAnswers(bool enable);
    void ShowAnswers(bool show_yes, bool show_no);
    void SetPicture(TestPicture picture);
    void SetProgressRange(int upper);
    void StepProgress();
    // One whole exchange: the reply text, or nullopt when the device stayed
    // silent. A link found down ends the procedure at once (unwinding it).
    std::optional<std::string> Send(const char* command);
    // SetReadTimeout, command, SetReadTimeout(after_ms) as one exchange.
    std::optional<std::string> SendWithTimeout(const char* command, std::uint32_t ms,
                                               std::uint32_t after_ms);
    // Sleeps for a nominal duration (scaled).
    void Sleep(std::int64_t ms);

    // Shared state.
    std::atomic<int> m_bCancel{0};
    std::atomic<int> m_nAnswer{-1};
    std::string m_strErrors;  // worker thread while it runs; owner after Wait
    int m_nPorts = 0;
    TestEnd m_nResult = TestEnd::kFail;

    // The reset sequence Cancel sends, in order.
    static const std::vector<std::string>& ResetSequence();

protected:
    // Starts body on a new thread; false when the thread cannot be made.
    // Tests override it to see a worker that fails to start.
    virtual bool LaunchWorker(std::function<void()> body);

private:
    void Run(int test);
    void Pulse();
    // One exchange under the channel's lock: false when the link is down,
    // otherwise *reply is the text (nullopt for silence). Never unwinds.
    bool Exchange(const char* command, std::optional<std::string>* reply);
    // Whether the channel is still open with the device there; takes the
    // channel's lock, so never call it holding m_answerMutex.
    bool LinkUp();
    std::string Format(int id, std::va_list args);

    ISelfTestView& m_view;
    vardex::link::CDevicePort& m_port;
    std::thread m_thread;
    std::atomic<bool> m_bFinished{false};
    std::atomic<bool> m_bLinkLost{false};
    int m_nProgressUpper = 0;
    int m_nProgressPos = 0;

    // The answer hand-over: a pulse releases the worker only while it waits.
    std::mutex m_answerMutex;
    std::condition_variable m_answerCv;
    bool m_bWaiting = false;
    bool m_bPulsed = false;
};

// Runs the procedure of test number test (0..6) with runner.m_nPorts; it stores 1
// or 0 in runner.m_nResult. CheckCancel may unwind it.
void RunSelfTestProcedure(CSelfTestRunner& runner, int test);

}  // namespace vardex::selftest
