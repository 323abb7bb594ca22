#include "device/identify.h"

#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "device/identity_parse.h"
#include "link/at_commands.h"
#include "link/exchange_timing.h"
#include "link/tapi_line.h"
#include "params/asking.h"
#include "params/country_variant.h"
#include "params/reply_parsers.h"
#include "platform/vtime.h"
#include "res/strings.h"

using namespace vardex::params;

namespace vardex::device {

using namespace vardex::link;

namespace id = vardex::device::identity;
namespace at = vardex::link::at;
namespace res = vardex::res;

namespace {

using id::kHardwareKeyword;
using id::kModelKeyword;
using id::kSoftwareKeyword;
using id::RecognisedModel;
using id::VersionReply;

bool BeginsWithNak(const char* text) {
    return text != nullptr && static_cast<unsigned char>(text[0]) == NAK;
}

struct Identity {
    std::uint16_t model = id::kVersionNotRead;
    std::uint16_t hardware = id::kVersionNotRead;
    std::uint16_t firmware = id::kVersionNotRead;
    std::string country;
    std::string crc;
};

// How the identification's questions after "ATI4" ended.
enum class Pass { kRead, kLinkDown, kUnreadable };

// The version behind keyword, or not read when the device said "ERROR".
std::uint16_t VersionOf(const std::string& reply, std::string_view keyword) {
    const auto rest = id::After(reply, keyword);
    const auto version = rest ? id::ParseVersion(*rest) : std::nullopt;
    return version.value_or(id::kVersionNotRead);
}

// Steps after the model was recognised. A reply that is no answer is asked once
// more after draining the line; no reply at all (the link went down) ends the
// pass early, keeping what was read.
Pass ReadIdentity(CJobView* dialog, CDeviceConfig& record, const std::string& model_reply,
                  Identity* out) {
    out->model = VersionOf(model_reply, kModelKeyword);
    std::string reply;
    Answer answer = AskChecked(
        dialog, record, std::string(at::kHardwareVersion),
        [](std::string_view text) { return TakenIf(VersionReply(text, kHardwareKeyword)); },
        &reply);
    if (answer != Answer::kAccepted) {
        return answer == Answer::kLinkDown ? Pass::kLinkDown : Pass::kUnreadable;
    }
    out->hardware = VersionOf(reply, kHardwareKeyword);
    answer = AskChecked(
        dialog, record, std::string(at::kFirmwareVersion),
        [](std::string_view text) { return TakenIf(VersionReply(text, kSoftwareKeyword)); },
        &reply);
    if (answer != Answer::kAccepted) {
        return answer == Answer::kLinkDown ? Pass::kLinkDown : Pass::kUnreadable;
    }
    out->firmware = VersionOf(reply, kSoftwareKeyword);
    if (const auto rest = id::After(reply, kSoftwareKeyword)) {
        out->country = id::CountryAfterVersion(*rest);
    }
    answer = AskChecked(
        dialog, record, std::string(at::kFirmwareCrc),
        [](std::string_view text) {
            return TakenIf(vardex::params::SplitWholeReply(text).has_value());
        },
        &reply);
    if (answer != Answer::kAccepted) {
        return answer == Answer::kLinkDown ? Pass::kLinkDown : Pass::kUnreadable;
    }
    if (auto crc = id::CrcText(reply)) {
        out->crc = std::move(*crc);
    }
    return Pass::kRead;
}

// The device waits in its firmware loader: said once, and marked so that the
// caller keeps its window (and the person's changes) and offers the upgrade.
IdentifyResult InLoader(CJobView* dialog, CDeviceConfig& record) {
    record.m_bUsbConnection = record.Line().UsbConnection() ? 1 : 0;
    dialog->Prompts().ShowMessage(std::string(res::LoadString(res::IDS_DEVICE_IN_UPGRADE_MODE)),
                                  MessageIcon::Information);
    dialog->m_bInLoader = 1;
    dialog->m_bQuietEnd = 1;
    return IdentifyResult::kInLoader;
}

// The device went away under the identification (a cable pulled just then):
// said as when it goes later in a job, never taken for a loader's silence or
// for another modem.
IdentifyResult Vanished(CJobView* dialog) {
    dialog->Prompts().ShowMessage(std::string(res::kTextJobDeviceVanished),
                                  MessageIcon::Exclamation);
    dialog->m_bQuietEnd = 1;
    return IdentifyResult::kNotIdentified;
}

// What a step of the identification found, or how the identification ends
// because of what the step met.
template <typename T>
class Step {
public:
    Step(T found) : outcome_(std::move(found)) {}
    Step(IdentifyResult end) : outcome_(end) {}

    explicit operator bool() const { return std::holds_alternative<T>(outcome_); }
    T& operator*() { return std::get<T>(outcome_); }
    IdentifyResult End() const { return std::get<IdentifyResult>(outcome_); }

private:
    std::variant<T, IdentifyResult> outcome_;
};

// How a step that finds nothing ends the identification, if it does.
using Ending = std::optional<IdentifyResult>;

// No channel to talk to the firmware: the person hears why (nothing for a
// search the person cancelled).
IdentifyResult NoChannel(CJobView* dialog, CDeviceConfig& record, const ConnectResult& connected) {
    dialog->m_bQuietEnd = 1;
    switch (connected.search) {
        case SearchResult::kNothingFound:
            dialog->Prompts().ShowMessage(NotFoundMessage(record.Line().PortFailures()),
                                          MessageIcon::Exclamation);
            dialog->CloseOwner();
            break;
        case SearchResult::kLoaderError:
            dialog->Prompts().ShowMessage(
                std::string(res::LoadString(res::IDS_PREVIOUS_UPGRADE_FAILED)),
                MessageIcon::Exclamation);
            break;
        case SearchResult::kCancelled:
        case SearchResult::kLoaderAnswered:
            break;
        case SearchResult::kFound:
            // The chosen port could not be set up, or the device does not say
            // it is ready: the person must hear why, or the job just ends. A
            // device that went away while its port was set up (a cable
            // pulled just then) is lost like one that goes later in the job.
            dialog->Prompts().ShowMessage(record.Line().LinkLost()
                                              ? std::string(res::kTextJobDeviceVanished)
                                              : ConnectFailureMessage(record, connected.open),
                                          MessageIcon::Exclamation);
            break;
    }
    return IdentifyResult::kNotIdentified;
}

// Opens the channel, searching for the device when none is open; Cancel is
// offered once it is open. Ends where the search found the device waiting in
// its loader and left it open (an upgrade can go on with it), or where there
// is no channel.
Ending OpenChannel(CJobView* dialog, CDeviceConfig& record) {
    dialog->m_bInLoader = 0;
    dialog->EnableCancel(false);
    const ConnectResult connected =
        record.Connect(&dialog->Progress(), &dialog->Prompts(), kLineBaud);
    const bool loader = connected.search == SearchResult::kLoaderAnswered && record.IsOpen();
    if (loader || !connected.Ok()) {
        return loader ? InLoader(dialog, record) : NoChannel(dialog, record, connected);
    }
    dialog->EnableCancel(true);
    return std::nullopt;
}

// Readies the exchanges and tells the person which device is probed; returns
// its name, for the messages.
std::string StartProbing(CJobView* dialog, CDeviceConfig& record) {
    record.SetReadTimeout(kExchangeReadMs);
    std::string name;
    record.GetDeviceName(&name);
    // From what the port is, not from its name: "Direct to /dev/ttyUSB0" is an
    // RS-232 adapter, a modem line or a CDC-ACM port is the device's own USB.
    record.m_bUsbConnection = record.Line().UsbConnection() ? 1 : 0;
    dialog->SetStatusText(res::FormatText(res::LoadString(res::IDS_INITIAL_PROBING), {name}));
    return name;
}

// Asks "ATI4". No reply ends the identification: a device gone from the line
// is lost; a silent one is taken as a loader whose link is down, which the
// upgrade goes on from.
Step<std::string> AskModel(CJobView* dialog, CDeviceConfig& record) {
    const char* reply = record.SendCommand(at::kIdentify.data());
    if (reply == nullptr) {
        return record.Line().LinkLost() ? Vanished(dialog) : IdentifyResult::kInLoader;
    }
    return std::string(reply, record.GetReplyLength());
}

// A model reply taken at once, or none: the loader is listened for then.
using AtOnce = std::optional<std::string>;

// A device that names itself at once, or asks its question or shows its
// console prompt, runs its firmware, not its loader: listening for the loader
// first would only hear silence. Ends where it went away, or where the person
// stopped the job once it had answered.
Step<AtOnce> AskAtOnce(CJobView* dialog, CDeviceConfig& record) {
    record.PurgeInput();
    const char* reply = record.SendCommand(at::kIdentify.data());
    if (reply == nullptr) {
        return record.Line().LinkLost() ? Step<AtOnce>(Vanished(dialog)) : AtOnce();
    }
    std::string model(reply, record.GetReplyLength());
    const auto kind = id::ClassifyFirstAnswer(model);
    if (!RecognisedModel(model) && kind != id::FirstAnswer::kQuestion &&
        kind != id::FirstAnswer::kConsole) {
        return AtOnce();
    }
    if (dialog->m_bAbort != 0) {
        return IdentifyResult::kNotIdentified;
    }
    return AtOnce(std::move(model));
}

// A loader announces itself with NAK now and then; a device in normal operation
// sends nothing unasked. Ends on anything else heard (twice), on a stop, on a
// line gone down, and with the loader on its NAK.
Ending ListenForLoader(CJobView* dialog, CDeviceConfig& record) {
    record.PurgeInput();
    record.SetReadTimeout(kLoaderProbeMs);
    const char* heard = record.ReadPending();
    if (heard != nullptr && !BeginsWithNak(heard)) {
        record.PurgeInput();
        heard = record.ReadPending();
    }
    if ((heard != nullptr && !BeginsWithNak(heard)) || dialog->m_bAbort != 0) {
        return IdentifyResult::kNotIdentified;
    }
    if (heard == nullptr) {
        return record.Line().LinkLost() ? Ending(Vanished(dialog)) : std::nullopt;
    }
    vardex::platform::SleepMs(kLoaderHeardPauseMs);
    return InLoader(dialog, record);
}

// The first "ATI4" after the loader was not heard. Its NAK coming just after
// the probe is the same device, the same news.
Step<std::string> AskModelAfterListening(CJobView* dialog, CDeviceConfig& record) {
    record.SetReadTimeout(kExchangeReadMs);
    Step<std::string> model = AskModel(dialog, record);
    if (model && id::ClassifyFirstAnswer(*model) == id::FirstAnswer::kLoader) {
        return InLoader(dialog, record);
    }
    return model;
}

// The device's first answer to "ATI4": at once where the exchange waits for
// final results, else after listening for the loader.
Step<std::string> FirstAnswer(CJobView* dialog, CDeviceConfig& record) {
    if (CurrentExchangeTiming() == ExchangeTiming::kFinalResult) {
        Step<AtOnce> at_once = AskAtOnce(dialog, record);
        if (!at_once) {
            return at_once.End();
        }
        if (*at_once) {
            return std::move(**at_once);
        }
    }
    if (const Ending end = ListenForLoader(dialog, record)) {
        return *end;
    }
    return AskModelAfterListening(dialog, record);
}

// The device waits for a yes or no: one "N" ends that, and it is asked again.
Step<std::string> AnswerQuestion(CJobView* dialog, CDeviceConfig& record, std::string model) {
    if (id::ClassifyFirstAnswer(model) != id::FirstAnswer::kQuestion) {
        return model;
    }
    record.WriteRaw(at::kAnswerNo.data(), at::kAnswerNo.size());
    return AskModel(dialog, record);
}

// A console prompt: leave it, and ask again.
Step<std::string> LeaveConsole(CJobView* dialog, CDeviceConfig& record, std::string model) {
    if (id::ClassifyFirstAnswer(model) != id::FirstAnswer::kConsole) {
        return model;
    }
    const std::string leave = at::Line(at::kLeaveConsole);
    record.WriteRaw(leave.data(), leave.size());
    return AskModel(dialog, record);
}

// The device does not answer as a varDex. Taken as a loader's silence for the
// upgrade, once the person has heard so; a device gone is lost instead.
IdentifyResult NotVarDex(CJobView* dialog, CDeviceConfig& record, const std::string& name) {
    dialog->m_strUnreadCommand.clear();
    if (record.Line().LinkLost()) {
        return Vanished(dialog);
    }
    dialog->Prompts().ShowMessage(
        "The device on " + name + " does not answer as a varDex: its answer to " +
            std::string(at::kIdentify) +
            " was not recognised, also when asked again. "
            "Check that the varDex is switched on and connected to this port.",
        MessageIcon::Exclamation);
    dialog->m_bQuietEnd = 1;
    return IdentifyResult::kInLoader;
}

// Only a device that names itself is identified: silence, noise or another
// modem's answer is asked once more after draining the line, then given up.
Step<std::string> RecogniseModel(CJobView* dialog, CDeviceConfig& record, const std::string& name,
                                 std::string model) {
    if (RecognisedModel(model) ||
        AskAgain(
            dialog, record, std::string(at::kIdentify),
            [](std::string_view text) { return TakenIf(RecognisedModel(text)); },
            &model) == Answer::kAccepted) {
        return model;
    }
    return NotVarDex(dialog, record, name);
}

// The versions, the country and the CRC of the recognised model. Ends where an
// answer could not be read (the person hears which) or the device went away
// half way (its versions were never read, and none may be shown); a link down
// with the device still there keeps what was read.
Step<Identity> AskIdentity(CJobView* dialog, CDeviceConfig& record, const std::string& model) {
    Identity identity;
    const Pass pass = ReadIdentity(dialog, record, model, &identity);
    if (pass == Pass::kUnreadable) {
        dialog->Prompts().ShowMessage(UnreadableMessage(dialog->m_strUnreadCommand),
                                      MessageIcon::Exclamation);
        dialog->m_bQuietEnd = 1;
        return IdentifyResult::kNotIdentified;
    }
    if (pass == Pass::kLinkDown && record.Line().LinkLost()) {
        return Vanished(dialog);
    }
    return identity;
}

// The identity into the record; the country sets the variant's capabilities.
void TakeIdentity(CDeviceConfig& record, const Identity& identity) {
    record.m_wModelVersion = identity.model;
    record.m_wHardwareVersion = identity.hardware;
    record.m_wFirmwareVersion = identity.firmware;
    vardex::params::SetCountry(record, identity.country);
    record.m_strCrc = identity.crc;
}

void ShowSummary(CJobView* dialog, const CDeviceConfig& record, const std::string& name) {
    char summary[1024];
    const std::string format(res::LoadString(res::IDS_DEVICE_SUMMARY));
    std::snprintf(summary, sizeof summary, format.c_str(), name.c_str(),
                  record.m_strCountry.c_str(), record.m_wModelVersion >> 8,
                  record.m_wModelVersion & 0xFF, record.m_wHardwareVersion >> 8,
                  record.m_wHardwareVersion & 0xFF, record.m_wFirmwareVersion >> 8,
                  record.m_wFirmwareVersion & 0xFF);
    dialog->SetStatusText(summary);
}

}  // namespace

std::string UnreadableMessage(const std::string& command) {
    return "The varDex's answer to " + command +
           " could not be read, also when asked again: the line may be disturbed, or the device "
           "is busy with something else. Nothing was taken from that answer. Check the cable and "
           "try again.";
}

std::string NotFoundMessage(const std::vector<PortFailure>& failures) {
    std::string text(res::LoadString(res::IDS_DEVICE_NOT_FOUND));
    if (!failures.empty()) {
        text += "\n\nSome ports could not be searched:\n\n" + DescribePortFailures(failures);
    }
    return text;
}

std::string ConnectFailureMessage(CDeviceConfig& record, OpenResult result) {
    std::string name;
    record.GetDeviceName(&name);
    const std::string& path = record.Line().OpenedPath();
    std::string port = name.empty() ? path : name;
    if (!path.empty() && port.find(path) == std::string::npos) {
        port += " (" + path + ")";
    }
    return DescribeOpenFailure(result, port, path, record.Line().LastOpenError());
}

IdentifyResult IdentifyDevice(CJobView* dialog, CVarDexConfigurationManagerApp* app) {
    CDeviceConfig& record = app->m_workingRecord;
    if (const Ending end = OpenChannel(dialog, record)) {
        return *end;
    }
    const std::string name = StartProbing(dialog, record);
    Step<std::string> model = FirstAnswer(dialog, record);
    if (model) {
        model = AnswerQuestion(dialog, record, std::move(*model));
    }
    if (model) {
        model = LeaveConsole(dialog, record, std::move(*model));
    }
    if (model) {
        model = RecogniseModel(dialog, record, name, std::move(*model));
    }
    if (!model) {
        return model.End();
    }
    Step<Identity> identity = AskIdentity(dialog, record, *model);
    if (!identity) {
        return identity.End();
    }
    TakeIdentity(record, *identity);
    ShowSummary(dialog, record, name);
    return IdentifyResult::kIdentified;
}

}  // namespace vardex::device
