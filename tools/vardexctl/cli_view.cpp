#include "cli_view.h"

#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <cstdlib>
#include <cstring>

using namespace vardex::link;

namespace vardex::ctl {

bool ReadInputLine(std::FILE* in, std::string* line) {
    constexpr std::size_t kLongest = 4096;  // the rest of a longer line is dropped
    line->clear();
    bool any = false;
    const int fd = ::fileno(in);
    for (;;) {
        char byte = 0;
        ssize_t n = 0;
        if (fd >= 0) {
            n = ::read(fd, &byte, 1);
        } else {
            // A stream with no descriptor (in memory) has no other reader.
            const int c = std::fgetc(in);
            n = c == EOF ? 0 : 1;
            byte = static_cast<char>(c);
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return any;
        }
        any = true;
        if (byte == '\n') {
            return true;
        }
        if (line->size() < kLongest) {
            line->push_back(byte);
        }
    }
}

CliProgressBar::CliProgressBar(std::FILE* out)
    : out_(out), terminal_(::isatty(::fileno(out)) != 0) {}

void CliProgressBar::SetRange32(int lower, int upper) {
    lower_ = lower;
    upper_ = upper > lower ? upper : lower + 1;
    EndDetail();  // a new range is a new step: its detail comes with it
    Draw();
}

void CliProgressBar::SetPos(int position) {
    pos_ = position;
    Draw();
}

void CliProgressBar::Draw() {
    if (!terminal_) {
        return;
    }
    constexpr int kWidth = 30;
    const long long span = static_cast<long long>(upper_) - lower_;
    long long done = span > 0 ? (static_cast<long long>(pos_) - lower_) * kWidth / span : 0;
    done = done < 0 ? 0 : (done > kWidth ? kWidth : done);
    std::string line = "[";
    line.append(static_cast<std::size_t>(done), '#');
    line.append(static_cast<std::size_t>(kWidth - done), '.');
    // The position may stand outside a range just restored; the numbers never do.
    const long long shown = std::clamp<long long>(static_cast<long long>(pos_) - lower_, 0, span);
    line += "] " + std::to_string(shown) + "/" + std::to_string(span);
    if (!detail_.empty()) {
        line += "  " + detail_;
    }
    // One line redrawn in place; the escape clears what a longer one left.
    std::fprintf(out_, "\r%s\x1b[K", line.c_str());
    std::fflush(out_);
    drawn_ = true;
}

void CliProgressBar::EndDetail() {
    if (!terminal_ && !detail_.empty()) {
        std::fprintf(out_, "%s\n", detail_.c_str());
        std::fflush(out_);
    }
    detail_.clear();
}

void CliProgressBar::Finish() {
    EndDetail();
    if (drawn_) {
        std::fputc('\n', out_);
        drawn_ = false;
    }
}

void CliProgressBar::SetDetail(const std::string& detail) {
    detail_ = detail;
    Draw();
}

void CliPrompts::ShowMessage(const std::string& text, MessageIcon icon) {
    progress_->Finish();
    last_message_ = text;
    const char* label = icon == MessageIcon::Exclamation ? "Warning" : "Note";
    std::fprintf(out_, "%s: %s\n", label, text.c_str());
    std::fflush(out_);
}

Choice CliPrompts::ChooseFromList(const std::string& caption, const std::string& prompt,
                                  const std::vector<std::string>& items, int* selected) {
    progress_->Finish();
    *selected = -1;
    std::string shown = prompt;
    while (!shown.empty() && (shown.front() == '\r' || shown.front() == '\n')) {
        shown.erase(shown.begin());
    }
    std::fprintf(out_, "%s\n%s\n", caption.c_str(), shown.c_str());
    for (std::size_t i = 0; i < items.size(); ++i) {
        std::fprintf(out_, "  %zu. %s\n", i + 1, items[i].c_str());
    }
    std::fprintf(out_, "Number, Enter for OK, or q to cancel: ");
    std::fflush(out_);
    std::string line;
    if (input_ended_ || !ReadInputLine(in_, &line)) {
        // Without input the list is answered with OK once (one device is then
        // taken), and cancelled after that.
        std::fputc('\n', out_);
        const bool first = !input_ended_;
        input_ended_ = true;
        return first ? Choice::kMade : Choice::kCancelled;
    }
    const char first = line.empty() ? '\0' : line[0];
    if (first == 'q' || first == 'Q' || first == 'c' || first == 'C') {
        return Choice::kCancelled;
    }
    char* end = nullptr;
    const long choice = std::strtol(line.c_str(), &end, 10);
    if (end != line.c_str() && choice >= 1 && static_cast<std::size_t>(choice) <= items.size()) {
        *selected = static_cast<int>(choice - 1);
    }
    return Choice::kMade;
}

CliJobView::CliJobView(std::FILE* in, std::FILE* out)
    : out_(out), progress_(out), prompts_(in, out, &progress_) {}

void CliJobView::SetCaption(const std::string& text) {
    progress_.Finish();
    status_.clear();
    std::fprintf(out_, "== %s\n", text.c_str());
    std::fflush(out_);
}

namespace {
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos) {
            return lines;
        }
        start = end + 1;
    }
}
}  // namespace

void CliJobView::SetStatusText(const std::string& text) {
    std::vector<std::string> lines = Lines(text);
    // A status whose last line alone changes (a count going up) moves that line
    // onto the progress line instead of printing the whole status again.
    if (lines.size() > 1 && lines.size() == status_.size() &&
        std::equal(lines.begin(), lines.end() - 1, status_.begin())) {
        progress_.SetDetail(lines.back());
        status_ = std::move(lines);
        return;
    }
    progress_.Finish();
    std::fprintf(out_, "%s\n", text.c_str());
    std::fflush(out_);
    status_ = std::move(lines);
}

}  // namespace vardex::ctl
