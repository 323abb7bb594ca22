// A job view for tests: records what the job showed and answers the device list
// as the test told it to.
#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "device/job_view.h"

namespace vardex::test {

class RecordingProgressBar : public link::IProgressBar {
public:
    void SetRange32(int lower, int upper) override {
        lower_ = lower;
        upper_ = upper;
    }
    void SetPos(int position) override { pos_ = position; }
    void SetStep(int step) override { step_ = step; }
    void StepIt() override {
        pos_ += step_;
        ++steps_;
    }
    int GetPos() const override { return pos_; }
    int Upper() const { return upper_; }
    int Steps() const { return steps_; }

private:
    int lower_ = 0, upper_ = 100, pos_ = 0, step_ = 10, steps_ = 0;
};

class ScriptedPrompts : public link::IUserPrompts {
public:
    struct ListAnswer {
        link::Choice button;
        int selected;  // -1: nothing selected
    };

    void ShowMessage(const std::string& text, link::MessageIcon icon) override {
        std::lock_guard lock(mutex_);
        messages.emplace_back(text, icon);
    }
    link::Choice ChooseFromList(const std::string& caption, const std::string& prompt,
                                const std::vector<std::string>& items, int* selected) override {
        std::lock_guard lock(mutex_);
        lists.push_back(items);
        list_caption = caption;
        list_prompt = prompt;
        ListAnswer answer{link::Choice::kCancelled, -1};
        if (!answers.empty()) {
            answer = answers.front();
            answers.pop_front();
        }
        *selected = answer.selected;
        return answer.button;
    }

    std::deque<ListAnswer> answers;
    std::vector<std::pair<std::string, link::MessageIcon>> messages;
    std::vector<std::vector<std::string>> lists;
    std::string list_caption, list_prompt;

private:
    std::mutex mutex_;
};

class ScriptedJobView : public device::CJobView {
public:
    void SetCaption(const std::string& text) override { captions.push_back(text); }
    void SetStatusText(const std::string& text) override { status_texts.push_back(text); }
    void EnableCancel(bool enable) override { cancel_enabled.push_back(enable); }
    link::IProgressBar& Progress() override { return progress; }
    link::IUserPrompts& Prompts() override { return prompts; }
    void CloseOwner() override { ++close_requests; }

    RecordingProgressBar progress;
    ScriptedPrompts prompts;
    std::vector<std::string> captions, status_texts;
    std::vector<bool> cancel_enabled;
    int close_requests = 0;
};

}  // namespace vardex::test
