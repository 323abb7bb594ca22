// The running job's view in a terminal: status texts and messages on standard
// error, a progress line while the job moves, the device list as a numbered menu
// read from standard input.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "device/job_view.h"

namespace vardex::ctl {

// One line of the person's input, read from in's descriptor a byte at a time so
// that nothing is buffered ahead of a later reader of the same input; the line
// break is dropped. False at the end of input with nothing read.
bool ReadInputLine(std::FILE* in, std::string* line);

// A progress line redrawn in place on a terminal. Without one (a script, a
// log) nothing of the bar is written: only the status line it carries, as it
// last was, once its step ends.
class CliProgressBar : public link::IProgressBar {
public:
    explicit CliProgressBar(std::FILE* out);
    void SetRange32(int lower, int upper) override;
    void SetPos(int position) override;
    void SetStep(int step) override { step_ = step; }
    void StepIt() override { SetPos(pos_ + step_); }
    int GetPos() const override { return pos_; }
    // Ends the progress line so that the next text starts on a line of its own.
    void Finish();
    // A short text drawn after the bar, such as the status line that keeps
    // changing while the rest of the status stays.
    void SetDetail(const std::string& detail);

private:
    void Draw();
    // Without a terminal: the detail as a line of its own, then forgotten.
    void EndDetail();
    std::FILE* out_;
    bool terminal_;
    int lower_ = 0, upper_ = 100, pos_ = 0, step_ = 10;
    std::string detail_;
    bool drawn_ = false;
};

class CliPrompts : public link::IUserPrompts {
public:
    CliPrompts(std::FILE* in, std::FILE* out, CliProgressBar* progress)
        : in_(in), out_(out), progress_(progress) {}
    void ShowMessage(const std::string& text, link::MessageIcon icon) override;
    link::Choice ChooseFromList(const std::string& caption, const std::string& prompt,
                                const std::vector<std::string>& items, int* selected) override;
    // The text of the last message shown; empty before the first.
    const std::string& LastMessage() const { return last_message_; }

private:
    std::FILE* in_;
    std::FILE* out_;
    CliProgressBar* progress_;
    bool input_ended_ = false;
    std::string last_message_;
};

class CliJobView : public device::CJobView {
public:
    CliJobView(std::FILE* in = stdin, std::FILE* out = stderr);
    void SetCaption(const std::string& text) override;
    void SetStatusText(const std::string& text) override;
    void EnableCancel(bool) override {}
    link::IProgressBar& Progress() override { return progress_; }
    link::IUserPrompts& Prompts() override { return prompts_; }
    void CloseOwner() override {}
    void Finish() { progress_.Finish(); }
    const std::string& LastMessage() const { return prompts_.LastMessage(); }

private:
    std::FILE* out_;
    CliProgressBar progress_;
    CliPrompts prompts_;
    std::vector<std::string> status_;  // the status text last printed, by line
};

}  // namespace vardex::ctl
