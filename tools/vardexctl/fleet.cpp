#include "fleet.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string_view>

#include "at_command.h"
#include "command_line.h"
#include "failure.h"
#include "link/channel.h"
#include "link/device_list.h"
#include "link/device_port.h"
#include "link/tapi_line.h"
#include "link/user_prompts.h"
#include "platform/environment.h"
#include "platform/port_map.h"
#include "platform/unique_fd.h"
#include "settings/json_text.h"
#include "stop_signals.h"

using namespace vardex::platform;
using namespace vardex::settings;
using namespace vardex::link;

namespace vardex::ctl {
namespace {

// What one device's vardexctl may print: far more than any result, and a
// bound on what a misbehaving one can make this process keep.
constexpr std::size_t kOutputMax = 16u << 20;
// An exit status for a child that could not be started or was killed.
constexpr int kExitNotRun = 1;

// The search's list is only looked at, never answered: every varDex it holds
// is taken.
class ListOnly : public IUserPrompts {
public:
    void ShowMessage(const std::string&, MessageIcon) override {}
    Choice ChooseFromList(const std::string&, const std::string&, const std::vector<std::string>&,
                          int*) override {
        return Choice::kCancelled;
    }
};

struct Child {
    std::string port;
    pid_t pid = -1;
    UniqueFd out;
    UniqueFd err;
    std::string out_text;
    std::string err_text;
    int status = kExitNotRun;
};

bool Start(Child& child, const std::vector<std::string>& words) {
    UniqueFd out[2];
    UniqueFd err[2];
    if (!OpenPipe(out, O_CLOEXEC) || !OpenPipe(err, O_CLOEXEC)) {
        return false;
    }
    std::vector<char*> argv;
    for (const std::string& word : words) {
        argv.push_back(const_cast<char*>(word.c_str()));
    }
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) {
        return false;
    }
    if (pid == 0) {
        // A group of its own: a Ctrl+C reaches it once, through this process,
        // as it would reach a single vardexctl. Nobody answers its questions.
        ::setpgid(0, 0);
        const int in = ::open("/dev/null", O_RDONLY);
        if (in < 0 || ::dup2(in, 0) < 0 || ::dup2(out[1].get(), 1) < 0 ||
            ::dup2(err[1].get(), 2) < 0) {
            ::_exit(127);
        }
        ::execv("/proc/self/exe", argv.data());
        ::_exit(127);
    }
    child.pid = pid;
    child.out = std::move(out[0]);
    child.err = std::move(err[0]);
    return true;
}

// Reads what is there; false at the end of the stream.
bool Take(UniqueFd& fd, std::string& text) {
    char buffer[4096];
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
        return true;
    }
    if (n <= 0) {
        fd.reset();
        return false;
    }
    const std::size_t room = kOutputMax - std::min(kOutputMax, text.size());
    text.append(buffer, std::min(room, static_cast<std::size_t>(n)));
    return true;
}

// Collects every child's output until all have ended; each stop signal is
// passed on to every child as the signal a single vardexctl would have had.
void Collect(std::vector<Child>& children) {
    const StopSignals signals;
    bool asked = false;
    for (;;) {
        std::vector<pollfd> fds;
        std::vector<UniqueFd*> owners;
        std::vector<std::string*> texts;
        for (Child& child : children) {
            for (auto [fd, text] :
                 {std::pair{&child.out, &child.out_text}, std::pair{&child.err, &child.err_text}}) {
                if (*fd) {
                    fds.push_back({fd->get(), POLLIN, 0});
                    owners.push_back(fd);
                    texts.push_back(text);
                }
            }
        }
        if (fds.empty()) {
            break;
        }
        fds.push_back({signals.Fd(), POLLIN, 0});
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            continue;
        }
        if ((fds.back().revents & POLLIN) != 0) {
            char bytes[16];
            const ssize_t n = ::read(signals.Fd(), bytes, sizeof bytes);
            const int sig = StopSignals::Caught() == SIGINT ? SIGINT : SIGTERM;
            if (sig == SIGINT && n > 0 && !asked) {
                // The devices' own questions go to their captured output.
                std::cerr << "Ctrl+C again cancels the job on every device.\n";
                asked = true;
            }
            for (ssize_t i = 0; i < n; ++i) {
                for (const Child& child : children) {
                    if (child.pid > 0) {
                        ::kill(-child.pid, sig);
                    }
                }
            }
        }
        for (std::size_t i = 0; i + 1 < fds.size(); ++i) {
            if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
                Take(*owners[i], *texts[i]);
            }
        }
    }
    for (Child& child : children) {
        if (child.pid <= 0) {
            continue;  // never started: kExitNotRun
        }
        int status = 0;
        while (::waitpid(child.pid, &status, 0) < 0 && errno == EINTR) {
        }
        child.status = WIFEXITED(status) ? WEXITSTATUS(status) : kExitNotRun;
    }
}

std::string LastLine(const std::string& text) {
    std::size_t end = text.find_last_not_of("\r\n");
    if (end == std::string::npos) {
        return {};
    }
    const std::size_t start = text.find_last_of("\r\n", end);
    return text.substr(start == std::string::npos ? 0 : start + 1, end - start);
}

// What a failed child said of why: its first line behind "vardexctl NAME: "
// that is not one of the closing words every failure ends with; failing
// that, its last line.
std::string ReasonOf(const std::string& text, std::string_view name) {
    const std::string prefix = "vardexctl " + std::string(name) + ": ";
    static constexpr std::string_view kClosing[] = {"nothing was written",
                                                    "the job did not complete", "backup kept in",
                                                    "stopped; nothing was written", "not started"};
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end;
        const std::string_view line = std::string_view(text).substr(start, end - start);
        start = end + 1;
        if (!line.starts_with(prefix)) {
            continue;
        }
        const std::string_view said = line.substr(prefix.size());
        if (std::none_of(std::begin(kClosing), std::end(kClosing),
                         [said](std::string_view c) { return said.starts_with(c); })) {
            return std::string(said);
        }
    }
    return LastLine(text);
}

// One device's line of --json: its port and status first.
std::string DeviceLine(const std::string& port, int status, const std::string& members) {
    return "{\"port\":" + JsonString(port) + ",\"status\":" + std::to_string(status) +
           (members.empty() ? "" : "," + members) + "}\n";
}

void Print(const Child& child, std::string_view name, bool json) {
    const std::string error = child.status == 0 ? std::string() : ReasonOf(child.err_text, name);
    if (json) {
        // The device's own object with its port and status in front, or only
        // those, the error and its kind when it printed none.
        std::string object = child.out_text;
        object.erase(object.find_last_not_of("\r\n") + 1);
        std::string inner;
        if (object.size() >= 2 && object.front() == '{' && object.back() == '}' &&
            object.find('\n') == std::string::npos) {
            inner = object.substr(1, object.size() - 2);
            // A failure's object ends with the status, which leads the line already.
            const std::string own = ",\"status\":" + std::to_string(child.status);
            if (inner.ends_with(own)) {
                inner.erase(inner.size() - own.size());
            }
        }
        // Its own report names the error already (with null when none).
        if (!error.empty() && inner.find("\"error\":") == std::string::npos) {
            // Not started, or ended by a signal before it could say why.
            const Reason reason = child.pid > 0 ? Reason::kStopped : Reason::kIo;
            inner += (inner.empty() ? "" : ",") + std::string("\"error\":") + JsonString(error) +
                     ",\"reason\":" + JsonString(ReasonWord(reason));
        }
        std::cout << DeviceLine(child.port, child.status, inner);
        return;
    }
    std::cout << "== " << child.port;
    if (child.status == 0) {
        std::cout << ": done\n";
    } else {
        std::cout << ": failed (exit status " << child.status << ")"
                  << (error.empty() ? "" : ": " + error) << "\n";
    }
    std::cout << child.out_text;
    if (!child.out_text.empty() && child.out_text.back() != '\n') {
        std::cout << '\n';
    }
}

}  // namespace

std::vector<std::string> FindEveryVarDex(std::string* note, std::vector<std::string>* silent) {
    CDevicePort port;
    CNullProgressBar progress;
    ListOnly prompts;
    const ConnectResult result = port.Connect(&progress, &prompts, kLineBaud);
    std::vector<std::string> paths;
    const std::vector<DeviceEntry>& rows = port.Line().Devices();
    for (const DeviceEntry& row : rows) {
        if (!row.path.empty() && ReplyNamesVarDex(row.reply) &&
            std::find(paths.begin(), paths.end(), row.path) == paths.end()) {
            paths.push_back(row.path);
        }
    }
    // The ports the person named in VARDEX_PORTS that no varDex answered on.
    const char* configured = std::getenv(env::kPorts);
    if (silent != nullptr && configured != nullptr) {
        for (const std::string& path : ParsePortList(configured)) {
            if (!path.empty() && std::find(paths.begin(), paths.end(), path) == paths.end()) {
                silent->push_back(path);
            }
        }
    }
    if (result.search == SearchResult::kLoaderAnswered ||
        result.search == SearchResult::kLoaderError) {
        const std::uint32_t at = port.Line().SelectedIndex();
        const std::string path = at < rows.size() ? rows[at].path : std::string();
        if (!path.empty()) {
            paths.push_back(path);
        }
        *note = "the search stopped at " + (path.empty() ? std::string("a port") : path) +
                ", where a varDex waits in its firmware loader; the ports after it were not "
                "searched";
    }
    port.Close();
    return paths;
}

int RunPerDevice(const CommandCall& call, int (*single)(const CommandCall& one)) {
    const CommandSpec& command = call.command;
    const std::string_view name = command.name;
    const ParsedArgs& parsed = call.parsed;
    if (parsed.status) {
        return single(call);  // the single command tells the problem as always
    }
    std::vector<std::string> ports = parsed.Values("--port");
    const bool all = parsed.Has("--all");
    if (all && !ports.empty()) {
        return TellUsageError(command, Reason::kUsage, "--all and --port exclude each other",
                              std::cerr);
    }
    // A port given twice is one device: two children would fight for it.
    std::vector<std::string> unique;
    for (const std::string& port : ports) {
        if (std::find(unique.begin(), unique.end(), port) == unique.end()) {
            unique.push_back(port);
        }
    }
    ports = std::move(unique);
    // The same words for each device, its own port in place of the others.
    // Options first, the operands behind "--" (an operand may look like one).
    std::vector<std::string> rest;
    std::vector<std::string> operands;
    for (const ParsedArgs::Item& item : parsed.Items()) {
        if (item.option == nullptr) {
            operands.push_back(item.text);
        } else if (item.option->name != "--port" && item.option->name != "--all") {
            rest.emplace_back(item.option->name);
            if (!item.option->value.empty()) {
                rest.push_back(item.text);
            }
        }
    }
    if (!operands.empty()) {
        rest.emplace_back("--");
        rest.insert(rest.end(), operands.begin(), operands.end());
    }
    if (!all && ports.size() <= 1) {
        std::vector<std::string> words;
        if (!ports.empty()) {
            words = {"--port", ports.front()};
        }
        words.insert(words.end(), rest.begin(), rest.end());
        return single(CallWith(command, words));
    }
    const bool json = parsed.Has("--json");
    int worst = 0;
    // With --json, a line each for the ports VARDEX_PORTS names where no varDex answered.
    std::string silent_lines;
    if (all) {
        std::string note;
        std::vector<std::string> silent;
        ports = FindEveryVarDex(&note, &silent);
        if (!note.empty()) {
            std::cerr << "vardexctl " << name << ": " << note << "\n";
        }
        std::string nowhere;
        for (const std::string& path : silent) {
            const std::string error =
                "no varDex answered on " + path + ", a port " + env::kPorts + " names";
            std::cerr << "vardexctl " << name << ": " << error << "\n";
            silent_lines += DeviceLine(path, kExitLinkDown,
                                       "\"error\":" + JsonString(error) + ",\"reason\":" +
                                           JsonString(ReasonWord(Reason::kNoDevice)));
            nowhere += (nowhere.empty() ? "no varDex answered on " : ", ") + path;
            worst = kExitLinkDown;
        }
        if (ports.empty()) {
            std::cerr << "vardexctl " << name << ": no varDex was found\n";
            KeepFailure(Reason::kNoDevice, nowhere.empty() ? "no varDex was found" : nowhere);
            return kExitLinkDown;
        }
    }
    std::vector<Child> children(ports.size());
    std::fflush(nullptr);
    for (std::size_t i = 0; i < ports.size(); ++i) {
        children[i].port = ports[i];
        std::vector<std::string> words = {"vardexctl", std::string(name), "--port", ports[i]};
        words.insert(words.end(), rest.begin(), rest.end());
        if (!Start(children[i], words)) {
            children[i].err_text = "could not start vardexctl for this port";
        }
    }
    Collect(children);
    for (const Child& child : children) {
        Print(child, name, json);
        worst = std::max(worst, child.status);
    }
    if (json) {
        std::cout << silent_lines;
        FailureInOutput();
    }
    return worst;
}

}  // namespace vardex::ctl
