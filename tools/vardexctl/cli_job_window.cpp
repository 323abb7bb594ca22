#include "cli_job_window.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <utility>

#include "res/strings.h"

using namespace vardex::platform;
using namespace vardex::device;
using namespace vardex::link;

namespace vardex::ctl {
namespace {

constexpr char kEventEnd = 'E';
constexpr char kEventInterrupt = 'C';
// SIGTERM or SIGHUP: nobody is there to answer, so the job stops after the
// command in progress without asking, as a confirmed Cancel does.
constexpr char kEventTerminate = 'T';
// Cancel is on again: a Ctrl+C that came while it was off is acted on now.
constexpr char kEventPending = 'P';
constexpr int kTerminateSignals[] = {SIGTERM, SIGHUP};

std::atomic<int> g_interrupt_fd{-1};
// A stop a job could not act on before it ended: the command must not go on
// to its next job.
std::atomic<bool> g_stop_left{false};

extern "C" void OnJobInterrupt(int) {
    const int fd = g_interrupt_fd.load();
    if (fd >= 0) {
        const char byte = kEventInterrupt;
        (void)!::write(fd, &byte, 1);
    }
}

extern "C" void OnJobTerminate(int) {
    const int fd = g_interrupt_fd.load();
    if (fd >= 0) {
        const char byte = kEventTerminate;
        (void)!::write(fd, &byte, 1);
    }
}

}  // namespace

CliJobWindow::CliJobWindow(std::FILE* in, std::FILE* out) : in_(in), out_(out), view_(in, out) {
    if (!OpenPipe(pipe_, O_CLOEXEC)) {
        setup_error_ = errno;
    }
}

CliJobWindow::~CliJobWindow() = default;

void CliJobWindow::Interrupt() {
    const char byte = kEventInterrupt;
    (void)!::write(pipe_[1].get(), &byte, 1);
}

std::vector<std::string> CliJobWindow::Messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
}

char CliJobWindow::NextEvent(bool with_stdin) {
    for (;;) {
        pollfd fds[2] = {{pipe_[0].get(), POLLIN, 0},
                         {with_stdin && !input_ended_ ? ::fileno(in_) : -1, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            continue;  // a signal: its byte is in the pipe
        }
        if ((fds[0].revents & POLLIN) != 0) {
            char byte = 0;
            if (::read(pipe_[0].get(), &byte, 1) == 1) {
                return byte;
            }
        }
        if ((fds[1].revents & (POLLIN | POLLHUP)) != 0) {
            std::string line;
            if (!ReadInputLine(in_, &line)) {
                input_ended_ = true;  // only Ctrl+C or the job's end can answer now
                continue;
            }
            return !line.empty() && (line[0] == 'y' || line[0] == 'Y') ? 'y' : 'n';
        }
    }
}

JobResult CliJobWindow::RunModal(CCommProgress& job) {
    job_ = &job;
    ended_ = false;
    stopped_ = false;
    g_interrupt_fd.store(pipe_[1].get());
    auto previous = std::signal(SIGINT, OnJobInterrupt);
    decltype(previous) previous_terminate[std::size(kTerminateSignals)];
    for (std::size_t i = 0; i < std::size(kTerminateSignals); ++i) {
        previous_terminate[i] = std::signal(kTerminateSignals[i], OnJobTerminate);
    }
    while (!ended_ && pipe_[0]) {
        const char event = NextEvent(false);
        if (event == kEventTerminate) {
            terminate_.store(true);
        }
        if (event == kEventInterrupt || event == kEventTerminate) {
            if (job.CancelEnabled() && pending_interrupts_ == 0) {
                job.OnCancelCommand();
            } else if (job.m_bAbort == 0) {
                // Remembered, and acted on once the step ends (EnableCancel):
                // a second Ctrl+C then stops the job without asking.
                if (event == kEventInterrupt && ++pending_interrupts_ == 1) {
                    // Not while the worker holds the terminal for a question
                    // (the device list, which has its own way out).
                    std::unique_lock lock(mutex_, std::try_to_lock);
                    if (lock.owns_lock()) {
                        Write(
                            "This step cannot be cancelled; it stops when it ends (Ctrl+C again "
                            "to stop without asking).\n");
                    }
                }
            }
        } else if (event == kEventPending && pending_interrupts_ > 0) {
            if (std::exchange(pending_interrupts_, 0) >= 2) {
                terminate_.store(true);
            }
            if (job.CancelEnabled() && job.m_bAbort == 0) {
                job.OnCancelCommand();
            }
        } else if (event == kEventEnd) {
            job.OnEndMessage();
        }
    }
    std::signal(SIGINT, previous);
    for (std::size_t i = 0; i < std::size(kTerminateSignals); ++i) {
        std::signal(kTerminateSignals[i], previous_terminate[i]);
    }
    g_interrupt_fd.store(-1);
    // A stop the job never got to act on (it ended inside the step that could
    // not stop) is not dropped: the command ends here.
    if ((pending_interrupts_ > 0 || terminate_.load()) && result_ == JobResult::kDone) {
        g_stop_left.store(true);
    }
    std::lock_guard lock(mutex_);
    view_.Finish();
    return result_;
}

void CliJobWindow::EndModal(JobResult result) {
    result_ = result;
    ended_ = true;
}

bool CliJobWindow::ConfirmCancel() {
    if (terminate_.load()) {
        Write("Stopped by a signal: cancelling after the current step...\n");
        stopped_ = true;
        return true;
    }
    Write(std::string(res::kTextCancelConfirmQuestion) +
          " Ctrl+C again or \"y\" and Enter: Yes; Enter: No.\n");
    confirm_open_ = true;
    while (confirm_open_) {
        const char event = NextEvent(true);
        if (event == kEventTerminate) {
            terminate_.store(true);
        }
        if (event == kEventInterrupt || event == kEventTerminate || event == 'y') {
            confirm_open_ = false;
            Write("Cancelling after the current step...\n");
            stopped_ = true;
            return true;
        }
        if (event == 'n') {
            confirm_open_ = false;
            Write("The job goes on.\n");
            return false;
        }
        if (event == kEventEnd) {
            job_->OnEndMessage();  // closes this confirmation as "No"
        }
    }
    return false;
}

void CliJobWindow::CloseConfirmation() {
    confirm_open_ = false;
}

void CliJobWindow::PostEndMessage() {
    const char byte = kEventEnd;
    (void)!::write(pipe_[1].get(), &byte, 1);
}

void CliJobWindow::Write(const std::string& text) {
    std::lock_guard lock(mutex_);
    view_.Finish();
    std::fputs(text.c_str(), out_);
    std::fflush(out_);
}

void CliJobWindow::SetCaption(const std::string& text) {
    std::lock_guard lock(mutex_);
    view_.SetCaption(text);
}

void CliJobWindow::SetStatusText(const std::string& text) {
    std::lock_guard lock(mutex_);
    view_.SetStatusText(text);
}

void CliJobWindow::EnableCancel(bool enable) {
    // A stop asked while Cancel was off is carried out once it is on again.
    if (enable && terminate_.load()) {
        const char byte = kEventTerminate;
        (void)!::write(pipe_[1].get(), &byte, 1);
    } else if (enable) {
        const char byte = kEventPending;
        (void)!::write(pipe_[1].get(), &byte, 1);
    }
}

bool CliJobWindow::TakeStopLeft() {
    return g_stop_left.exchange(false);
}

void CliJobWindow::SetProgressRange(int lower, int upper) {
    std::lock_guard lock(mutex_);
    view_.Progress().SetRange32(lower, upper);
}

void CliJobWindow::SetProgressPos(int position) {
    std::lock_guard lock(mutex_);
    view_.Progress().SetPos(position);
}

void CliJobWindow::ShowMessage(const std::string& text, MessageIcon icon) {
    std::lock_guard lock(mutex_);
    messages_.push_back(text);
    view_.Prompts().ShowMessage(text, icon);
}

Choice CliJobWindow::ChooseFromList(const std::string& caption, const std::string& prompt,
                                    const std::vector<std::string>& items, int* selected) {
    std::lock_guard lock(mutex_);
    return view_.Prompts().ChooseFromList(caption, prompt, items, selected);
}

bool CliJobWindow::ChooseOpenFile(const std::string&, const std::string&, std::string* path) {
    if (image_file_.empty()) {
        return false;
    }
    *path = image_file_;
    return true;
}

}  // namespace vardex::ctl
