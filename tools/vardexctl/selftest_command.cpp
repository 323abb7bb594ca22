#include "selftest_command.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <mutex>
#include <optional>
#include <sstream>

#include "at_command.h"
#include "command_line.h"
#include "failure.h"
#include "identify_command.h"
#include "params/app_core.h"
#include "platform/unique_fd.h"
#include "platform/vtime.h"
#include "port_option.h"
#include "res/strings.h"
#include "selftest/self_test.h"
#include "settings/json_text.h"
#include "stop_signals.h"

using namespace vardex::platform;
using namespace vardex::settings;
using namespace vardex::selftest;
using namespace vardex::params;

namespace vardex::ctl {
namespace {

constexpr int kExitTestFailed = 1;
constexpr int kExitTestInterrupted = 3;

constexpr char kEventEnd = 'E';
// How often the loop looks whether the test now waits for an answer.
constexpr std::int64_t kQuestionLookMs = 100;
// The longest answer line kept; the rest of a longer one is dropped.
constexpr std::size_t kLongestLine = 4096;

// The test's texts as lines on the terminal; faults printed once, at once.
class CliSelfTestView : public ISelfTestView {
public:
    CliSelfTestView(std::FILE* out, int wake_fd) : out_(out), wake_fd_(wake_fd) {}

    void SetCaption(const std::string& text) override { Line("\n== " + text + " =="); }
    void SetNameText(const std::string& text) override { Line(text); }
    void SetPromptText(const std::string& text) override { Line("> " + text); }
    void SetDescriptionText(const std::string& text) override { Line(text); }
    void SetYesCaption(const std::string& text) override {
        std::lock_guard lock(mutex_);
        yes_caption_.clear();
        for (const char c : text) {
            if (c != '&') {
                yes_caption_ += c;
            }
        }
    }
    void EnableAnswers(bool) override {}
    void ShowAnswers(bool, bool show_no) override {
        std::lock_guard lock(mutex_);
        no_shown_ = show_no;
    }
    void SetPicture(TestPicture) override {}
    void SetProgressRange(int upper) override {
        std::lock_guard lock(mutex_);
        upper_ = upper;
    }
    void SetProgressPos(int) override {}
    void BeginAlarm(const std::string& text) override { Line("FAULT: " + text); }
    void EndAlarm() override {}
    std::int64_t AlarmDurationMs() const override { return 0; }
    void TestEnded(TestEnd) override {
        const char byte = kEventEnd;
        (void)!::write(wake_fd_, &byte, 1);
    }

    // Whether the question takes only Yes (its No button is hidden).
    bool YesOnly() const {
        std::lock_guard lock(mutex_);
        return !no_shown_;
    }
    void Hint() {
        std::lock_guard lock(mutex_);
        if (!no_shown_) {
            std::fprintf(out_, "[Enter: %s] ", yes_caption_.c_str());
        } else {
            std::fputs("[y/n] ", out_);
        }
        std::fflush(out_);
    }
    void Line(const std::string& text) {
        std::lock_guard lock(mutex_);
        std::fprintf(out_, "%s\n", text.c_str());
        std::fflush(out_);
    }

private:
    std::FILE* out_;
    int wake_fd_;
    mutable std::mutex mutex_;
    std::string yes_caption_ = "Yes";
    bool no_shown_ = true;
    int upper_ = 0;
};

// The person's answers as whole lines. Each read takes only what the input
// holds at that moment, so the loop never blocks on an unfinished line while
// the test, the device or a signal needs it.
class AnswerLines {
public:
    explicit AnswerLines(std::FILE* in) : fd_(in != nullptr ? ::fileno(in) : -1) {}

    // The descriptor to wait on; -1 once the input has ended.
    int Fd() const { return Ended() ? -1 : fd_; }
    bool Ended() const { return ended_ || fd_ < 0; }
    // After a wait on Fd(): takes what is there. The end of input, or a
    // terminal that hung up, ends it; an unfinished last line then counts.
    void Take() {
        char chunk[256];
        const ssize_t n = ::read(fd_, chunk, sizeof chunk);
        if (n > 0) {
            pending_.append(chunk, static_cast<std::size_t>(n));
            if (pending_.size() > kLongestLine && pending_.find('\n') == std::string::npos) {
                pending_.resize(kLongestLine);
            }
            return;
        }
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
            return;
        }
        ended_ = true;
        if (!pending_.empty()) {
            pending_ += '\n';
        }
    }
    // The next whole line without its line break; false when none is there.
    bool Next(std::string* line) {
        const std::size_t end = pending_.find('\n');
        if (end == std::string::npos) {
            return false;
        }
        line->assign(pending_, 0, std::min(end, kLongestLine));
        pending_.erase(0, end + 1);
        return true;
    }

private:
    int fd_;
    bool ended_ = false;
    std::string pending_;
};

// What the tests of one run share: where answers come from, where the test's
// end and the stop signals are heard, and whether the run is being stopped.
struct Session {
    std::FILE* err;
    AnswerLines& input;
    const StopSignals& signals;
    int event_read;
    int event_write;
    bool stop = false;
    bool link_lost = false;
};

bool ParseTests(const std::string& list, std::vector<int>* tests) {
    std::stringstream in(list);
    std::string word;
    while (std::getline(in, word, ',')) {
        const int test = TestFromText(word);
        if (test < 0) {
            return false;
        }
        bool seen = false;
        for (const int t : *tests) {
            seen = seen || t == test;
        }
        if (!seen) {
            tests->push_back(test);
        }
    }
    return !tests->empty() && list.back() != ',';
}

bool ParsePorts(const std::string& list, int* mask) {
    *mask = 0;
    std::stringstream in(list);
    std::string word;
    while (std::getline(in, word, ',')) {
        if (word == "1") {
            *mask |= kPortFirst;
        } else if (word == "2") {
            *mask |= kPortSecond;
        } else {
            return false;
        }
    }
    return *mask != 0 && list.back() != ',';
}

struct Outcome {
    int test;
    std::optional<TestResult> code;  // none: not run
    std::string faults;
};

std::string ResultText(std::optional<TestResult> code) {
    if (!code) {
        return std::string(res::LoadString(res::IDS_RESULT_NOT_TESTED));
    }
    switch (*code) {
        case TEST_PASS:
            return std::string(res::LoadString(res::IDS_RESULT_PASS));
        case TEST_FAIL:
            return std::string(res::LoadString(res::IDS_RESULT_FAIL));
        case TEST_INTERRUPTED:
            return std::string(res::LoadString(res::IDS_RESULT_INTERRUPTED));
    }
    return std::string(res::LoadString(res::IDS_RESULT_NOT_TESTED));
}

std::string ResultWord(std::optional<TestResult> code) {
    if (!code) {
        return "not tested";
    }
    switch (*code) {
        case TEST_PASS:
            return "pass";
        case TEST_FAIL:
            return "fail";
        case TEST_INTERRUPTED:
            return "interrupted";
    }
    return "not tested";
}

// Stops the running test: the reset sequence, then the test ends at its next
// check. Once per run, whichever way out asked for it.
void StopTest(CSelfTestRunner& runner, CliSelfTestView& view, Session& session) {
    if (session.stop) {
        return;
    }
    session.stop = true;
    view.Line("Stopping the test and resetting the ports...");
    runner.Cancel();
}

// One typed line while the test runs: an answer when a question waits.
void TakeLine(CSelfTestRunner& runner, CliSelfTestView& view, const std::string& line,
              bool* hinted) {
    if (!runner.WaitForQuestion(std::chrono::milliseconds(0))) {
        view.Line("(no question is waiting)");
        return;
    }
    const char first = line.empty() ? '\0' : line[0];
    if (view.YesOnly()) {
        runner.Answer(true);
    } else if (first == 'y' || first == 'Y' || first == 'n' || first == 'N') {
        runner.Answer(first == 'y' || first == 'Y');
    } else {
        view.Hint();
        return;
    }
    *hinted = false;
}

// Runs one test, answering its questions from the session's input, until it
// ends: by itself, by a stop signal, or with nobody left to answer.
Outcome RunOne(link::CDevicePort& port, int test, int ports, Session& session) {
    CliSelfTestView view(session.err, session.event_write);
    CSelfTestRunner runner(view, port);
    if (!runner.Start(test, ports)) {
        return {test, TEST_INTERRUPTED, {}};
    }
    const int look_ms = std::max(
        1, static_cast<int>(
               std::chrono::duration_cast<std::chrono::milliseconds>(ScaledMs(kQuestionLookMs))
                   .count()));
    bool hinted = false;
    while (!runner.Finished()) {
        const bool asking = runner.WaitForQuestion(std::chrono::milliseconds(0));
        if (asking && session.input.Ended()) {
            StopTest(runner, view, session);  // nobody left to answer
        }
        if (asking && !hinted && !session.stop) {
            view.Hint();
            hinted = true;
        }
        pollfd fds[3] = {{session.event_read, POLLIN, 0},
                         {session.signals.Fd(), POLLIN, 0},
                         {session.input.Fd(), POLLIN, 0}};
        if (::poll(fds, 3, look_ms) <= 0) {
            continue;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            char byte = 0;
            (void)!::read(session.event_read, &byte, 1);
        }
        if ((fds[1].revents & POLLIN) != 0) {
            session.signals.Drain();
            StopTest(runner, view, session);
        }
        if ((fds[2].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            session.input.Take();
            std::string line;
            while (session.input.Next(&line)) {
                if (!session.stop) {
                    TakeLine(runner, view, line, &hinted);
                }
            }
        }
    }
    runner.Wait();
    if (runner.LinkLost()) {
        // The rest cannot run either: said once, and the run ends here.
        std::fprintf(session.err, "vardexctl selftest: %s\n",
                     std::string(res::kTextDeviceVanished).c_str());
        session.stop = true;
        session.link_lost = true;
    }
    return {test, CSelfTestRunner::Translate(runner.Result()), runner.Errors()};
}

void PrintTable(std::ostream& out, const std::vector<Outcome>& outcomes) {
    auto pad = [](std::string text, std::size_t width) {
        if (text.size() < width) {
            text.append(width - text.size(), ' ');
        }
        return text;
    };
    out << pad("Test", 32) << pad("Result", 14) << "Faults\n";
    for (const Outcome& o : outcomes) {
        std::string row = pad(std::string(res::LoadString(TestNameId(o.test))), 32) +
                          pad(ResultText(o.code), 14) + o.faults;
        while (!row.empty() && row.back() == ' ') {
            row.pop_back();
        }
        out << row << "\n";
    }
}

// The "tests" member of the run's JSON object.
std::string TestsJson(const std::vector<Outcome>& outcomes) {
    std::ostringstream out;
    out << "\"tests\":[";
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        const Outcome& o = outcomes[i];
        out << (i == 0 ? "" : ",") << "{\"test\":" << o.test
            << ",\"name\":" << JsonString(res::LoadString(TestNameId(o.test)))
            << ",\"keyword\":" << JsonString(TestKeyword(o.test))
            << ",\"result\":" << JsonString(ResultWord(o.code))
            << ",\"faults\":" << JsonString(o.faults) << "}";
    }
    out << "]";
    return out.str();
}

// "failed: Telephone Ring Test, ...": the names of the tests `which` picks.
std::string TestsThat(const std::vector<Outcome>& outcomes, const char* said,
                      const std::function<bool(const Outcome&)>& which) {
    std::string text;
    for (const Outcome& o : outcomes) {
        if (which(o)) {
            text += (text.empty() ? std::string(said) + ": " : ", ") +
                    std::string(res::LoadString(TestNameId(o.test)));
        }
    }
    return text;
}

}  // namespace

int RunSelfTest(const CommandCall& call, std::ostream& out, std::FILE* in, std::FILE* err) {
    const CommandSpec& spec = call.command;
    const ParsedArgs& parsed = call.parsed;
    if (parsed.status) {
        return parsed.Finish(out, err);
    }
    const std::string port_path = parsed.Value("--port");
    const bool json = parsed.Has("--json");
    std::vector<int> tests;
    int ports = kPortsBoth;
    for (const ParsedArgs::Item& item : parsed.Items()) {
        const bool is_tests = item.option != nullptr && item.option->name == "--tests";
        const bool is_ports = item.option != nullptr && item.option->name == "--ports";
        if ((is_tests && !ParseTests(item.text, &tests)) ||
            (is_ports && !ParsePorts(item.text, &ports))) {
            return TellUsageError(spec, Reason::kUsage, NeedsValue(*item.option), err);
        }
    }

    CVarDexConfigurationManagerApp app;
    CDeviceConfig& record = app.m_workingRecord;
    // A device in its loader has no tests to run: said so, it ends like one
    // that was not found, since 3 means an interrupted test here.
    if (OpenAndIdentify(app, port_path, "selftest", in, err) != kExitOk) {
        return kExitLinkDown;
    }
    const std::vector<int> available = TestsForModel(record.m_wModelVersion);
    if (tests.empty()) {
        tests = available;
    }
    for (const int test : tests) {
        bool has = false;
        for (const int a : available) {
            has = has || a == test;
        }
        if (!has) {
            TellFailure(Reason::kRefused, "selftest",
                        "this varDex has no " + std::string(TestKeyword(test)) + " test", err);
            record.Close();
            return kExitUsage;
        }
    }

    UniqueFd events[2];
    if (!OpenPipe(events, O_CLOEXEC)) {
        TellFailure(Reason::kIo, "selftest", std::strerror(errno), err);
        record.Close();
        return kExitLinkDown;
    }
    std::vector<Outcome> outcomes;
    bool link_lost = false;
    {
        const StopSignals signals;
        AnswerLines input(in);
        Session session{err, input, signals, events[0].get(), events[1].get()};
        for (const int test : tests) {
            // A signal between two tests: none is under way to stop.
            if (session.stop || StopSignals::Caught() != 0) {
                outcomes.push_back({test, std::nullopt, {}});
                continue;
            }
            outcomes.push_back(RunOne(record, test, ports, session));
        }
        link_lost = session.link_lost;
    }
    events[0].reset();
    events[1].reset();
    record.Close();

    const std::string interrupted = TestsThat(outcomes, "interrupted", [](const Outcome& o) {
        return !o.code || o.code == TEST_INTERRUPTED;
    });
    const std::string failed =
        TestsThat(outcomes, "failed", [](const Outcome& o) { return o.code == TEST_FAIL; });
    const int status = !interrupted.empty() ? kExitTestInterrupted
                       : !failed.empty()    ? kExitTestFailed
                                            : kExitOk;
    if (status != kExitOk) {
        const std::string error = link_lost ? std::string(res::kTextDeviceVanished)
                                  : !interrupted.empty()
                                      ? interrupted + (failed.empty() ? "" : "; " + failed)
                                      : failed;
        KeepFailure(link_lost             ? Reason::kDeviceLost
                    : interrupted.empty() ? Reason::kTestFailed
                                          : Reason::kStopped,
                    error);
        if (json) {
            KeepFailureReport(TestsJson(outcomes) + ",\"error\":" + JsonString(error));
        }
    }
    if (!json) {
        PrintTable(out, outcomes);
    } else if (status == kExitOk) {
        out << "{" << TestsJson(outcomes) << "}\n";
    }
    return status;
}

}  // namespace vardex::ctl
