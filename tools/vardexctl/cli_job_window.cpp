#include "cli_job_window.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>

#include "res/strings.h"

namespace vardex::ctl {
namespace {

constexpr char kEventEnd = 'E';
constexpr char kEventInterrupt = 'C';
// SIGTERM or SIGHUP: nobody is there to answer, so the job stops after the
// command in progress without asking, as a confirmed Cancel does.
constexpr char kEventTerminate = 'T';
constexpr int kTerminateSignals[] = {SIGTERM, SIGHUP};

std::atomic<int> g_interrupt_fd{-1};

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
            if (job.CancelEnabled()) {
                job.OnCancelCommand();
            } else if (job.m_bAbort == 0) {
                // Not while the worker holds the terminal for a question (the
                // device list, which has its own way out).
                std::unique_lock lock(mutex_, std::try_to_lock);
                if (lock.owns_lock()) {
                    Write("This step cannot be cancelled; it ends on its own shortly.\n");
                }
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
    }
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
