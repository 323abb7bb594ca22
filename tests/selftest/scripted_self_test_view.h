// A self-test view for tests: records everything the test showed, lets a hook
// act on a prompt from the worker thread (a phone lifted or a key pressed at
// the moment the prompt appears), and a person thread that answers questions
// as told.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "selftest/self_test.h"

namespace vardex::test {

class ScriptedSelfTestView : public selftest::ISelfTestView {
public:
    // Called on the worker thread, inside SetPromptText.
    std::function<void(const std::string& prompt)> on_prompt;
    std::int64_t alarm_ms = 2000;

    void SetCaption(const std::string& text) override { Record("caption:" + text); }
    void SetNameText(const std::string& text) override { Record("name:" + text); }
    void SetPromptText(const std::string& text) override {
        {
            std::lock_guard lock(mutex_);
            prompt_ = text;
        }
        Record("prompt:" + text);
        if (on_prompt) {
            on_prompt(text);
        }
    }
    void SetDescriptionText(const std::string& text) override { Record("desc:" + text); }
    void SetYesCaption(const std::string& text) override { Record("yes:" + text); }
    void EnableAnswers(bool enable) override { Record(enable ? "enable" : "disable"); }
    void ShowAnswers(bool show_yes, bool show_no) override {
        Record(std::string("show:") + (show_yes ? "yes" : "-") + "," + (show_no ? "no" : "-"));
    }
    void SetPicture(selftest::TestPicture picture) override {
        Record("picture:" + std::to_string(static_cast<int>(picture)));
    }
    void SetProgressRange(int upper) override { Record("range:" + std::to_string(upper)); }
    void SetProgressPos(int position) override { Record("pos:" + std::to_string(position)); }
    void BeginAlarm(const std::string& text) override { Record("alarm:" + text); }
    void EndAlarm() override { Record("alarm-end"); }
    std::int64_t AlarmDurationMs() const override { return alarm_ms; }
    void TestEnded(selftest::TestEnd result) override {
        Record("ended:" + std::to_string(static_cast<int>(result)));
    }

    void Clear() {
        std::lock_guard lock(mutex_);
        events_.clear();
        prompt_.clear();
    }
    std::vector<std::string> Events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }
    // The events that begin with prefix, in order.
    std::vector<std::string> EventsOf(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const std::string& event : Events()) {
            if (event.rfind(prefix, 0) == 0) {
                out.push_back(event);
            }
        }
        return out;
    }
    std::string Prompt() const {
        std::lock_guard lock(mutex_);
        return prompt_;
    }
    // Waits until event has been recorded (count times in all); bounded.
    bool WaitForEvent(const std::string& event, int count = 1,
                      std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [&] {
            int seen = 0;
            for (const std::string& e : events_) {
                seen += e == event ? 1 : 0;
            }
            return seen >= count;
        });
    }

private:
    void Record(std::string event) {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
        changed_.notify_all();
    }

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> events_;
    std::string prompt_;
};

// Answers every question the runner asks, by the prompt it shows, until the
// test ends: decide returns 1 (Yes) or 0 (No).
class ScriptedPerson {
public:
    ScriptedPerson(selftest::CSelfTestRunner& runner, ScriptedSelfTestView& view,
                   std::function<int(const std::string& prompt)> decide)
        : thread_([&runner, &view, decide = std::move(decide)] {
              while (!runner.Finished()) {
                  if (runner.WaitForQuestion(std::chrono::milliseconds(200))) {
                      runner.Answer(decide(view.Prompt()) == 1);
                  }
              }
          }) {}
    ~ScriptedPerson() { thread_.join(); }
    ScriptedPerson(const ScriptedPerson&) = delete;
    ScriptedPerson& operator=(const ScriptedPerson&) = delete;

private:
    std::thread thread_;
};

}  // namespace vardex::test
