// A job window for tests: a UI thread of its own kind (the thread that calls
// RunModal) serves the worker's calls one at a time, as a real dialog's loop
// does, records what the job showed, and answers the Cancel confirmation as the
// test scripted it. Hooks run on the UI thread while the worker waits in the
// call that triggered them, so a test can act at an exact point of the job.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "device/comm_progress.h"
#include "scripted_job_view.h"

namespace vardex::test {

class ScriptedJobWindow : public device::IJobWindow {
public:
    // kHold keeps the confirmation open until the end message closes it.
    enum class Answer { kYes, kNo, kHold };

    // ---- script (set before the job starts) ----
    std::deque<Answer> confirm_answers;                 // default: No
    std::optional<std::string> open_file;               // nullopt: the choice is cancelled
    std::function<void(int position)> on_progress_pos;  // UI thread
    std::function<void(bool enable)> on_enable_cancel;  // UI thread
    std::function<void()> on_end_posted;                // worker thread, before the end is queued
    ScriptedPrompts prompts;                            // list answers; records messages

    // ---- record (read after the job) ----
    std::vector<std::string> captions, status_texts;
    std::vector<bool> cancel_enabled;
    std::vector<std::pair<int, int>> ranges;
    std::vector<int> positions;
    int confirmations = 0;
    int confirmations_closed = 0;
    int close_owner_requests = 0;
    int end_messages = 0;
    std::vector<std::string> file_filters;

    ScriptedJobWindow() : ui_thread_(std::this_thread::get_id()) {}

    device::CCommProgress& Job() { return *job_; }
    // Presses Cancel: queued like any input, served by the UI loop.
    void PressCancel() {
        Post([this] { job_->OnCancelCommand(); });
    }

    // ---- IJobWindow ----
    device::JobResult RunModal(device::CCommProgress& job) override {
        job_ = &job;
        ended_ = false;  // a window may run one job after another
        while (!ended_) {
            if (!ServeOne()) {
                ADD_FAILURE() << "the job window waited too long for the worker";
                return device::JobResult::kStopped;
            }
        }
        return result_;
    }
    void EndModal(device::JobResult result) override {
        result_ = result;
        ended_ = true;
    }
    bool ConfirmCancel() override {
        ++confirmations;
        Answer answer = Answer::kNo;
        if (!confirm_answers.empty()) {
            answer = confirm_answers.front();
            confirm_answers.pop_front();
        }
        if (answer != Answer::kHold) {
            return answer == Answer::kYes;
        }
        confirm_open_ = true;
        while (confirm_open_) {
            if (!ServeOne()) {
                ADD_FAILURE() << "the confirmation was never closed";
                confirm_open_ = false;
            }
        }
        return false;
    }
    void CloseConfirmation() override {
        if (confirm_open_) {
            ++confirmations_closed;
            confirm_open_ = false;
        }
    }
    void PostEndMessage() override {
        if (on_end_posted) {
            on_end_posted();
        }
        Post([this] {
            ++end_messages;
            job_->OnEndMessage();
        });
    }
    void SetCaption(const std::string& text) override {
        Call([&] { captions.push_back(text); });
    }
    void SetStatusText(const std::string& text) override {
        Call([&] { status_texts.push_back(text); });
    }
    void EnableCancel(bool enable) override {
        Call([&] {
            cancel_enabled.push_back(enable);
            if (on_enable_cancel) {
                on_enable_cancel(enable);
            }
        });
    }
    void SetProgressRange(int lower, int upper) override {
        Call([&] { ranges.emplace_back(lower, upper); });
    }
    void SetProgressPos(int position) override {
        Call([&] {
            positions.push_back(position);
            if (on_progress_pos) {
                on_progress_pos(position);
            }
        });
    }
    void ShowMessage(const std::string& text, link::MessageIcon icon) override {
        Call([&] { prompts.ShowMessage(text, icon); });
    }
    link::Choice ChooseFromList(const std::string& caption, const std::string& prompt,
                                const std::vector<std::string>& items, int* selected) override {
        link::Choice button = link::Choice::kCancelled;
        Call([&] { button = prompts.ChooseFromList(caption, prompt, items, selected); });
        return button;
    }
    bool ChooseOpenFile(const std::string& filter, const std::string&, std::string* path) override {
        bool chosen = false;
        Call([&] {
            file_filters.push_back(filter);
            if (open_file) {
                *path = *open_file;
                chosen = true;
            }
        });
        return chosen;
    }
    void CloseOwner() override {
        Call([&] { ++close_owner_requests; });
    }

private:
    static constexpr auto kLimit = std::chrono::seconds(90);

    void Post(std::function<void()> task) {
        {
            std::lock_guard lock(mutex_);
            queue_.push_back(std::move(task));
        }
        changed_.notify_all();
    }
    // Runs f on the UI thread and returns when it has run.
    template <typename F>
    void Call(F&& f) {
        if (std::this_thread::get_id() == ui_thread_) {
            f();
            return;
        }
        bool done = false;
        Post([&] {
            f();
            std::lock_guard lock(mutex_);
            done = true;
            changed_.notify_all();
        });
        std::unique_lock lock(mutex_);
        if (!changed_.wait_for(lock, kLimit, [&] { return done; })) {
            ADD_FAILURE() << "the UI loop did not serve a call";
        }
    }
    bool ServeOne() {
        std::function<void()> task;
        {
            std::unique_lock lock(mutex_);
            if (!changed_.wait_for(lock, kLimit, [this] { return !queue_.empty(); })) {
                return false;
            }
            task = std::move(queue_.front());
            queue_.pop_front();
        }
        task();
        return true;
    }

    device::CCommProgress* job_ = nullptr;
    std::thread::id ui_thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::function<void()>> queue_;
    bool ended_ = false;
    bool confirm_open_ = false;
    device::JobResult result_ = device::JobResult::kStopped;
};

}  // namespace vardex::test
