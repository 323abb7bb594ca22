// Write and read cycles of vardexctl against the simulated varDex while random
// line faults are switched on through the simulator's control channel: noise,
// cut and late replies, a command line lost, pauses inside a reply, unsolicited
// lines. After each run the device's own state is held against what vardexctl
// said: nothing may be called applied, written, stored or read that the device
// does not hold, and no run may outlast its bound.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "control.h"
#include "params/field_table.h"
#include "pty_device.h"
#include "scoped_env.h"
#include "sim_truth.h"
#include "temp_files.h"
#include "time_scale.h"

using namespace vardex::platform;
using namespace vardex::params;

extern char** environ;

namespace vardex::test {
namespace {

using namespace std::chrono_literals;
using Json = nlohmann::json;

constexpr double kScale = 0.1;
constexpr const char* kScaleText = "0.1";
// A run that has not ended by then is hung: the longest the program waits in
// one job under these faults is a few seconds at this scale.
constexpr auto kRunBound = 90s;
constexpr int kCyclesPerSeed = 16;

struct ProgramRun {
    int status = -1;
    bool hung = false;
    std::string out;
    std::string err;
};

// vardexctl with its standard streams collected; killed past kRunBound.
ProgramRun RunVardexctl(std::vector<std::string> args) {
    ProgramRun run;
    int out[2];
    int err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe";
        return run;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    args.insert(args.begin(), VARDEXCTL_PATH);
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned =
        ::posix_spawn(&pid, VARDEXCTL_PATH, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    if (spawned != 0) {
        ::close(out[0]);
        ::close(err[0]);
        ADD_FAILURE() << "cannot start " << VARDEXCTL_PATH;
        return run;
    }
    const auto deadline = std::chrono::steady_clock::now() + kRunBound;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* texts[2] = {&run.out, &run.err};
    while (fds[0].fd >= 0 || fds[1].fd >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            run.hung = true;
            ::kill(pid, SIGKILL);
            break;
        }
        if (::poll(fds, 2, static_cast<int>(left.count())) < 0 && errno != EINTR) {
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
                continue;
            }
            char buffer[4096];
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                texts[i]->append(buffer, static_cast<std::size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
            }
        }
    }
    for (const pollfd& fd : fds) {
        if (fd.fd >= 0) {
            ::close(fd.fd);
        }
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// Switches random line faults on through the control channel, at random
// moments, for as long as it lives.
class FaultInjector {
public:
    FaultInjector(sim::PtyDevice& device, unsigned seed)
        : device_(device), rng_(seed), thread_([this] { Loop(); }) {}
    ~FaultInjector() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    FaultInjector(const FaultInjector&) = delete;
    FaultInjector& operator=(const FaultInjector&) = delete;

private:
    std::string RandomFault() {
        const auto pick = [this](int lo, int hi) {
            return std::uniform_int_distribution<int>(lo, hi)(rng_);
        };
        static const char* const kLost[] = {"&W", "CH0", "S", "&ZI", "!X2"};
        static const char* const kLines[] = {"RING", "NO CARRIER", "OK", "ERROR", "1"};
        switch (pick(0, 6)) {
            case 0:
                return "garbage " + std::to_string(pick(1, 40));
            case 1:
                return "cut";
            case 2:
                return "late " + std::to_string(pick(300, 3000));
            case 3:
                return "silence once";
            case 4:
                return "pause " + std::to_string(pick(1, 40)) + " " +
                       std::to_string(pick(100, 2000));
            case 5:
                return "unsolicited " + std::to_string(pick(0, 500)) + " " + kLines[pick(0, 4)];
            default:
                return std::string("lose ") + kLost[pick(0, 4)];
        }
    }

    void Loop() {
        std::unique_lock lock(mutex_);
        for (;;) {
            // Real time between faults, so that they land inside the program's
            // exchanges at any point.
            const auto gap =
                std::chrono::milliseconds(std::uniform_int_distribution(80, 700)(rng_));
            if (changed_.wait_for(lock, gap, [this] { return stop_; })) {
                return;
            }
            const std::string fault = RandomFault();
            bool close = false;
            EXPECT_EQ(sim::RunControlCommand(device_, fault, &close), "ok\n") << fault;
        }
    }

    sim::PtyDevice& device_;
    std::mt19937 rng_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool stop_ = false;
    std::thread thread_;
};

// "vardexctl write: NAME=VALUE: FATE..." lines.
struct Claim {
    std::string name;
    std::string value;
    std::string fate;  // up to the first '(' or ", the device holds"
    std::string holds;
};
std::vector<Claim> Claims(const std::string& err) {
    std::vector<Claim> claims;
    const std::string prefix = "vardexctl write: ";
    std::size_t pos = 0;
    while ((pos = err.find(prefix, pos)) != std::string::npos) {
        const std::size_t end = err.find('\n', pos);
        const std::string line = err.substr(pos + prefix.size(), end - pos - prefix.size());
        pos = end;
        const std::size_t eq = line.find('=');
        const std::size_t colon = line.find(": ", eq == std::string::npos ? 0 : eq);
        if (eq == std::string::npos || colon == std::string::npos || line.find(' ') < eq) {
            continue;
        }
        Claim claim{
            line.substr(0, eq), line.substr(eq + 1, colon - eq - 1), line.substr(colon + 2), {}};
        const std::size_t holds = claim.fate.find(", the device holds ");
        if (holds != std::string::npos) {
            claim.holds = claim.fate.substr(holds + 19);
            claim.holds = claim.holds.substr(0, claim.holds.find(" ("));
            claim.fate.resize(holds);
        }
        claim.fate = claim.fate.substr(0, claim.fate.find(" ("));
        claims.push_back(claim);
    }
    return claims;
}

struct Counts {
    int runs = 0;
    int succeeded = 0;
    int failed = 0;
    int hung = 0;
    int false_claims = 0;
};

class Soak : public ::testing::TestWithParam<unsigned> {
protected:
    Soak() : scale_(kScale), env_("VARDEX_TIME_SCALE", kScaleText), rng_(GetParam()) {
        env_.Set("XDG_STATE_HOME", TempPath("state"));  // the backups of the writes
        SysError error;
        // The default device and two dialects of the seed's choosing.
        const std::uint32_t first = 1 + GetParam() % 8;
        std::uint32_t second = 1 + (GetParam() / 8) % 8;
        second = second == first ? first % 8 + 1 : second;
        for (const std::uint32_t dialect : {0U, first, second}) {
            devices_.push_back(std::make_unique<sim::PtyDevice>(sim::DeviceOptions{
                .country = "Hungary", .dialect = sim::Dialect::FromSeed(dialect)}));
            EXPECT_TRUE(devices_.back()->Start(&error)) << error.Message();
        }
    }

    template <typename F>
    auto Inspect(F&& f) {
        return device_->Inspect(std::forward<F>(f));
    }

    // A value the variant takes for a field the test follows; nothing when the
    // field is not one of those.
    std::optional<std::string> RandomValue(const RecordField& field) {
        const auto pick = [this](int lo, int hi) {
            return std::uniform_int_distribution<int>(lo, hi)(rng_);
        };
        const std::string name = field.name;
        if (name == "m_strX25Address") {
            std::string digits;
            for (int i = pick(0, 15); i > 0; --i) {
                digits.push_back(static_cast<char>('0' + pick(0, 9)));
            }
            return Json(digits).dump();
        }
        if (field.change != ChangeKind::kSetting || field.place.reg < 0 ||
            field.place.writing == Writing::kNone || field.type == FieldType::kOctets) {
            return std::nullopt;
        }
        return std::to_string(pick(field.lo, field.hi));
    }

    // A write of a few fields, one per register, sometimes stored into a
    // profile; then what vardexctl said is held against the device.
    void WriteCycle(Counts* counts) {
        std::vector<const RecordField*> candidates;
        Inspect([&](const sim::Device& d) {
            CDeviceConfig variant;
            variant.m_bX25Available = d.Options().country == "Hungary" ? 1 : 0;
            variant.m_bFskLevelAvailable = 1;
            variant.m_strCountry = d.Options().country;
            for (const RecordField& field : RecordFields()) {
                if (FieldAvailable(field, variant) && field.Writable()) {
                    candidates.push_back(&field);
                }
            }
            return 0;
        });
        std::shuffle(candidates.begin(), candidates.end(), rng_);
        std::vector<std::string> args = {"write", "--port", device_->Path()};
        std::map<std::string, std::string> asked;
        std::set<int> registers;
        const int wanted = std::uniform_int_distribution(1, 4)(rng_);
        for (const RecordField* field : candidates) {
            const auto value = RandomValue(*field);
            if (!value || (field->place.reg >= 0 && !registers.insert(field->place.reg).second)) {
                continue;
            }
            asked[field->name] = *value;
            args.push_back(std::string(field->name) + "=" + *value);
            if (static_cast<int>(asked.size()) == wanted) {
                break;
            }
        }
        const int store = std::uniform_int_distribution(-1, 3)(rng_);
        if (store >= 0) {
            args.insert(args.end(), {"--store", std::to_string(store)});
        }
        const std::map<std::string, std::string> before = Snapshot(asked);

        ProgramRun run;
        {
            FaultInjector faults(*device_, static_cast<unsigned>(rng_()));
            run = RunVardexctl(args);
        }
        Tally(run, counts);
        const std::string said = "write " + Join(args) + "\n" + run.err + run.out;
        if (run.status == 2) {
            return;  // refused before the device heard a word
        }
        const bool written = run.status == 0 && run.out == "written\n";
        EXPECT_EQ(run.status == 0, written) << said;
        Inspect([&](const sim::Device& d) {
            for (const auto& [name, value] : asked) {
                const auto truth = Truth(d, name);
                if (written && truth != value) {
                    ++counts->false_claims;
                    ADD_FAILURE() << name << " called written, the device holds " << *truth << "\n"
                                  << said;
                }
                if (written && store >= 0 && FindField(name)->change == ChangeKind::kSetting &&
                    Truth(d, name, store) != value) {
                    ++counts->false_claims;
                    ADD_FAILURE() << name << " called stored in profile " << store << ", it holds "
                                  << *Truth(d, name, store) << "\n"
                                  << said;
                }
            }
            for (const Claim& claim : Claims(run.err)) {
                const auto truth = Truth(d, claim.name);
                const bool holds_wanted = truth == claim.value;
                const bool wrong =
                    (claim.fate == "applied" && !holds_wanted) ||
                    (claim.fate == "active, not stored" && !holds_wanted) ||
                    (claim.fate == "refused" && !claim.holds.empty() && truth != claim.holds) ||
                    (claim.fate == "not sent" && before.count(claim.name) != 0 &&
                     truth != before.at(claim.name));
                if (wrong) {
                    ++counts->false_claims;
                    ADD_FAILURE() << claim.name << "=" << claim.value << ": " << claim.fate
                                  << ", but the device holds " << truth.value_or("?") << "\n"
                                  << said;
                }
            }
            return 0;
        });
    }

    // A read: when it succeeds, every value it printed that the test follows is
    // the device's.
    void ReadCycle(Counts* counts) {
        ProgramRun run;
        {
            FaultInjector faults(*device_, static_cast<unsigned>(rng_()));
            run = RunVardexctl({"read", "--json", "--port", device_->Path()});
        }
        Tally(run, counts);
        if (run.status != 0) {
            // Nothing read is printed: only the failure, as one object.
            const Json failure = Json::parse(run.out, nullptr, false);
            EXPECT_TRUE(failure.is_object() && failure.value("status", -1) == run.status &&
                        failure.contains("error") && !failure.contains("m_strCountry"))
                << run.out << run.err;
            return;
        }
        const Json read = Json::parse(run.out, nullptr, false);
        ASSERT_TRUE(read.is_object()) << run.out;
        Inspect([&](const sim::Device& d) {
            for (const auto& [key, value] : read.items()) {
                std::vector<std::pair<std::string, Json>> items;
                if (value.is_array() && !value.empty() && value[0].is_string()) {
                    for (std::size_t i = 0; i < value.size(); ++i) {
                        items.emplace_back(key + "[" + std::to_string(i) + "]", value[i]);
                    }
                } else {
                    items.emplace_back(key, value);
                }
                for (const auto& [name, got] : items) {
                    const auto truth = Truth(d, name);
                    const RecordField* field = FindField(name);
                    if (got.is_null() && field != nullptr && field->place.reg >= 0 &&
                        !d.Options().dialect.Knows(field->place.reg)) {
                        continue;  // refused by the device, and said so
                    }
                    if (truth && *truth != got.dump()) {
                        ++counts->false_claims;
                        ADD_FAILURE() << name << " read as " << got.dump() << ", the device holds "
                                      << *truth << "\n"
                                      << run.err;
                    }
                }
            }
            return 0;
        });
    }

    std::map<std::string, std::string> Snapshot(const std::map<std::string, std::string>& names) {
        return Inspect([&](const sim::Device& d) {
            std::map<std::string, std::string> values;
            for (const auto& entry : names) {
                if (const auto truth = Truth(d, entry.first)) {
                    values[entry.first] = *truth;
                }
            }
            return values;
        });
    }

    static void Tally(const ProgramRun& run, Counts* counts) {
        ++counts->runs;
        if (run.hung) {
            ++counts->hung;
            ADD_FAILURE() << "a run did not end within its bound:\n" << run.err;
        }
        ++(run.status == 0 ? counts->succeeded : counts->failed);
    }

    static std::string Join(const std::vector<std::string>& words) {
        std::string text;
        for (const std::string& word : words) {
            text += (text.empty() ? "" : " ") + word;
        }
        return text;
    }

    ScopedTimeScale scale_;
    ScopedEnv env_;
    std::mt19937 rng_;
    std::vector<std::unique_ptr<sim::PtyDevice>> devices_;
    sim::PtyDevice* device_ = nullptr;  // the one of the cycle
};

TEST_P(Soak, UnderRandomLineFaultsNothingIsCalledDoneThatTheDeviceDoesNotHold) {
    Counts counts;
    for (int cycle = 0; cycle < kCyclesPerSeed; ++cycle) {
        device_ = devices_[static_cast<std::size_t>(cycle) % devices_.size()].get();
        SCOPED_TRACE(
            "cycle " + std::to_string(cycle) + ", " +
            device_->Inspect([](const sim::Device& d) { return d.Options().dialect.Describe(); }));
        WriteCycle(&counts);
        ReadCycle(&counts);
    }
    std::printf("seed %u: %d runs, %d succeeded, %d failed, %d hung, %d false claims\n", GetParam(),
                counts.runs, counts.succeeded, counts.failed, counts.hung, counts.false_claims);
    EXPECT_EQ(counts.hung, 0);
    EXPECT_EQ(counts.false_claims, 0);
    // Faults that never let a run through, or never stop one, test nothing.
    EXPECT_GT(counts.succeeded, 0);
    EXPECT_GT(counts.failed, 0);
}

INSTANTIATE_TEST_SUITE_P(Seeds, Soak, ::testing::Values(20261209u, 4711u));

}  // namespace
}  // namespace vardex::test
