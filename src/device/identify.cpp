#include "device/identify.h"

#include <cstdio>
#include <string>

#include "device/identity_parse.h"
#include "link/at_commands.h"
#include "link/exchange_timing.h"
#include "link/tapi_line.h"
#include "params/asking.h"
#include "params/country_variant.h"
#include "params/reply_parsers.h"
#include "platform/vtime.h"
#include "res/strings.h"

namespace id = vardex::identity;
namespace at = vardex::at;
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
    dialog->m_bInLoader = 0;
    dialog->EnableCancel(false);
    const ConnectResult connected =
        record.Connect(&dialog->Progress(), &dialog->Prompts(), kLineBaud);
    if (connected.search == SearchResult::kLoaderAnswered && record.IsOpen()) {
        // The search found the device waiting in its loader and left it open:
        // the person hears so, and an upgrade can go on with it.
        return InLoader(dialog, record);
    }
    if (!connected.Ok()) {
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
    dialog->EnableCancel(true);

    record.SetReadTimeout(kExchangeReadMs);
    std::string name;
    record.GetDeviceName(&name);
    // From what the port is, not from its name: "Direct to /dev/ttyUSB0" is an
    // RS-232 adapter, a modem line or a CDC-ACM port is the device's own USB.
    record.m_bUsbConnection = record.Line().UsbConnection() ? 1 : 0;
    dialog->SetStatusText(res::FormatText(res::LoadString(res::IDS_INITIAL_PROBING), {name}));

    std::string model;
    bool answered_at_once = false;
    if (CurrentExchangeTiming() == ExchangeTiming::kFinalResult) {
        // A device that names itself at once, or asks its question or shows its
        // console prompt, runs its firmware, not its loader: listening for the
        // loader first would only hear silence.
        record.PurgeInput();
        const char* at_once = record.SendCommand(at::kIdentify.data());
        if (at_once != nullptr) {
            model.assign(at_once, record.GetReplyLength());
            const auto kind = id::ClassifyFirstAnswer(model);
            answered_at_once = RecognisedModel(model) || kind == id::FirstAnswer::kQuestion ||
                               kind == id::FirstAnswer::kConsole;
        }
        if (answered_at_once && dialog->m_bAbort != 0) {
            return IdentifyResult::kNotIdentified;
        }
        if (at_once == nullptr && record.Line().LinkLost()) {
            return Vanished(dialog);
        }
    }
    if (!answered_at_once) {
        // A loader announces itself with NAK now and then; a device in normal
        // operation sends nothing unasked.
        record.PurgeInput();
        record.SetReadTimeout(kLoaderProbeMs);
        const char* probe = record.ReadPending();
        if (probe != nullptr && !BeginsWithNak(probe)) {
            record.PurgeInput();
            probe = record.ReadPending();
        }
        if (probe != nullptr && !BeginsWithNak(probe)) {
            return IdentifyResult::kNotIdentified;
        }
        if (dialog->m_bAbort != 0) {
            return IdentifyResult::kNotIdentified;
        }
        if (probe == nullptr && record.Line().LinkLost()) {
            return Vanished(dialog);
        }
        if (BeginsWithNak(probe)) {
            vardex::SleepMs(kLoaderHeardPauseMs);
            return InLoader(dialog, record);
        }

        record.SetReadTimeout(kExchangeReadMs);
        const char* first = record.SendCommand(at::kIdentify.data());
        if (first == nullptr) {
            return record.Line().LinkLost() ? Vanished(dialog) : IdentifyResult::kInLoader;
        }
        model.assign(first, record.GetReplyLength());
        if (id::ClassifyFirstAnswer(model) == id::FirstAnswer::kLoader) {
            // The loader's NAK came just after the probe: the same device, the same news.
            return InLoader(dialog, record);
        }
    }
    if (id::ClassifyFirstAnswer(model) == id::FirstAnswer::kQuestion) {
        // The device waits for a yes or no: one "N" ends that.
        record.WriteRaw(at::kAnswerNo.data(), at::kAnswerNo.size());
        const char* again = record.SendCommand(at::kIdentify.data());
        if (again == nullptr) {
            return record.Line().LinkLost() ? Vanished(dialog) : IdentifyResult::kInLoader;
        }
        model.assign(again, record.GetReplyLength());
    }
    if (id::ClassifyFirstAnswer(model) == id::FirstAnswer::kConsole) {
        // A console prompt: leave it.
        const std::string leave = at::Line(at::kLeaveConsole);
        record.WriteRaw(leave.data(), leave.size());
        const char* again = record.SendCommand(at::kIdentify.data());
        if (again == nullptr) {
            return record.Line().LinkLost() ? Vanished(dialog) : IdentifyResult::kInLoader;
        }
        model.assign(again, record.GetReplyLength());
    }
    // Only a device that names itself is identified: silence, noise or another
    // modem's answer is asked once more after draining the line, then given up.
    if (!RecognisedModel(model) &&
        AskAgain(
            dialog, record, std::string(at::kIdentify),
            [](std::string_view text) { return TakenIf(RecognisedModel(text)); },
            &model) != Answer::kAccepted) {
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
    Identity identity;
    const Pass pass = ReadIdentity(dialog, record, model, &identity);
    if (pass == Pass::kUnreadable) {
        dialog->Prompts().ShowMessage(UnreadableMessage(dialog->m_strUnreadCommand),
                                      MessageIcon::Exclamation);
        dialog->m_bQuietEnd = 1;
        return IdentifyResult::kNotIdentified;
    }
    if (pass == Pass::kLinkDown && record.Line().LinkLost()) {
        // Gone half way: its versions were never read, and none may be shown.
        return Vanished(dialog);
    }

    record.m_wModelVersion = identity.model;
    record.m_wHardwareVersion = identity.hardware;
    record.m_wFirmwareVersion = identity.firmware;
    vardex::params::SetCountry(record, identity.country);
    record.m_strCrc = identity.crc;

    char summary[1024];
    const std::string format(res::LoadString(res::IDS_DEVICE_SUMMARY));
    std::snprintf(summary, sizeof summary, format.c_str(), name.c_str(),
                  record.m_strCountry.c_str(), record.m_wModelVersion >> 8,
                  record.m_wModelVersion & 0xFF, record.m_wHardwareVersion >> 8,
                  record.m_wHardwareVersion & 0xFF, record.m_wFirmwareVersion >> 8,
                  record.m_wFirmwareVersion & 0xFF);
    dialog->SetStatusText(summary);
    return IdentifyResult::kIdentified;
}
