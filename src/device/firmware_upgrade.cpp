#include "device/firmware_upgrade.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "device/identify.h"
#include "link/at_commands.h"
#include "platform/file_kind.h"
#include "platform/unique_fd.h"
#include "platform/vtime.h"
#include "res/strings.h"

using namespace vardex::platform;
using namespace vardex::params;

namespace vardex::device {

using namespace vardex::link;

namespace res = vardex::res;
using vardex::platform::Expected;
using vardex::platform::Unexpected;

namespace {

constexpr const char* kDefaultExtension = "*.img;*.dnl";
// How the request for the loader ended.
enum class LoaderRequest { kWaits, kStopped, kRefused };

bool BeginsWithNak(const char* text) {
    return text != nullptr && static_cast<unsigned char>(text[0]) == kXmodemNak;
}

std::string ProgressText(const std::string& format, long sent, long size, int tenths) {
    char text[512];
    std::snprintf(text, sizeof text, format.c_str(), sent, size, tenths / 10, tenths % 10);
    return text;
}

// Tenths of a percent; 64-bit so that images beyond 2 MB do not overflow.
int Tenths(long long sent, long long size) {
    return static_cast<int>(sent * 1000 / size);
}

// Steps 7 to 12 of the request: until the device's loader asks with NAK.
// kRefused when the device did not take the request.
LoaderRequest RequestLoader(CJobView* dialog, CDeviceConfig& record, int askDevice) {
    for (;;) {
        if (askDevice == 0) {
            record.PurgeInput();
            record.SetReadTimeout(kLoaderFirstReadMs);
            record.ReadPending();
            if (dialog->m_bAbort != 0) {
                return LoaderRequest::kStopped;
            }
            record.SetReadTimeout(kLoaderSecondReadMs);
            const char* text = record.ReadPending();
            if (dialog->m_bAbort != 0) {
                return LoaderRequest::kStopped;
            }
            if (BeginsWithNak(text)) {
                return LoaderRequest::kWaits;
            }
        }
        record.SetReadTimeout(kUpgradeQuestionMs);
        const char* reply = record.SendCommand(vardex::link::at::kUpgradeRequest.data());
        if (dialog->m_bAbort != 0) {
            return LoaderRequest::kStopped;
        }
        if (BeginsWithNak(reply)) {
            return LoaderRequest::kWaits;
        }
        if (reply == nullptr || std::strstr(reply, "Firmware Upgrade") == nullptr ||
            std::strstr(reply, "(Y/N)?") == nullptr) {
            return LoaderRequest::kRefused;
        }
        record.SetReadTimeout(kLoaderStartMs);
        record.SetReadIntervalTimeout(kLoaderStartIntervalMs);
        record.WriteRaw(vardex::link::at::kAnswerYes.data(), vardex::link::at::kAnswerYes.size());
        const char* answer = record.ReadPending();
        record.SetReadTimeout(kLoaderPollMs);
        record.SetReadIntervalTimeout(kLoaderPollMs);
        // A stop confirmed during the wait is the person's, not the device's failure.
        if (dialog->m_bAbort != 0) {
            return LoaderRequest::kStopped;
        }
        if (answer == nullptr) {
            return LoaderRequest::kRefused;
        }
        for (int i = 0; i < kLoaderPolls; ++i) {
            if (dialog->m_bAbort != 0) {
                return LoaderRequest::kStopped;
            }
            if (BeginsWithNak(record.ReadPending())) {
                break;
            }
        }
        if (dialog->m_bAbort != 0) {
            return LoaderRequest::kStopped;
        }
        record.PurgeInput();
        askDevice = 0;
    }
}

}  // namespace

Expected<std::vector<unsigned char>> LoadFirmwareImage(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return Unexpected{path + ": " + std::strerror(errno)};
    }
    if (!S_ISREG(info.st_mode)) {
        return Unexpected{
            vardex::platform::WrongFileKindText(path, info.st_mode, "a firmware image file")};
    }
    // Non-blocking, so that whatever was put in its place since cannot hang the
    // read; checked again on the descriptor.
    const vardex::platform::UniqueFd file(
        ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (file.get() < 0) {
        return Unexpected{path + ": " + std::strerror(errno)};
    }
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return Unexpected{path + " is not a regular file"};
    }
    if (info.st_size == 0) {
        return Unexpected{path + " is empty"};
    }
    if (static_cast<unsigned long long>(info.st_size) > kFirmwareImageMaxBytes) {
        return Unexpected{path + " is larger than the " +
                          std::to_string(kFirmwareImageMaxBytes / 1024) +
                          " KiB the varDex's loader takes"};
    }
    std::vector<unsigned char> image(static_cast<std::size_t>(info.st_size));
    std::size_t got = 0;
    while (got < image.size()) {
        const ssize_t n = ::read(file.get(), image.data() + got, image.size() - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return Unexpected{path + (n < 0 ? ": " + std::string(std::strerror(errno))
                                            : std::string(" changed while it was read"))};
        }
        got += static_cast<std::size_t>(n);
    }
    return image;
}

namespace {

enum class Blocks { kSent, kStopped, kDeviceFailed, kCancelledFirst };

// Every block of the image, from the first; the status text and bar follow.
Blocks SendBlocks(CJobView* dialog, CDevicePort& port, const std::vector<unsigned char>& image) {
    const long size = static_cast<long>(image.size());
    IProgressBar& progress = dialog->Progress();
    progress.SetRange32(0, static_cast<int>(size));
    progress.SetPos(0);
    const std::string format(res::LoadString(res::IDS_UPGRADE_PROGRESS));
    int shown = -1;
    port.SetReadTimeout(kBlockAnswerMs);
    port.PurgeInput();

    XmodemSender sender(image);
    for (;;) {
        const long sent = static_cast<long>(sender.Sent());
        const int tenths = Tenths(sent, size);
        if (tenths != shown) {
            dialog->SetStatusText(ProgressText(format, sent, size, tenths));
            progress.SetPos(static_cast<int>(sent));
            shown = tenths;
        }
        if (dialog->m_bAbort != 0) {
            return Blocks::kStopped;
        }
        if (port.WriteRaw(sender.Block(), kXmodemBlockSize) != kXmodemBlockSize) {
            return Blocks::kDeviceFailed;
        }
        char answer[2];
        if (port.ReadRaw(answer, 1) != 1) {
            return Blocks::kDeviceFailed;
        }
        switch (sender.OnAnswer(static_cast<unsigned char>(answer[0]))) {
            case XmodemSender::Step::kSend:
                break;
            case XmodemSender::Step::kDone:
                dialog->SetStatusText(ProgressText(format, size, size, Tenths(size, size)));
                return Blocks::kSent;
            case XmodemSender::Step::kCancelledFirst:
                return Blocks::kCancelledFirst;
            case XmodemSender::Step::kFailed:
                return Blocks::kDeviceFailed;
        }
    }
}

// After a loader cancelled the first block: the rest of its cancel, then its
// new request (NAK), within the wake-up's time.
bool AwaitFreshRequest(CDevicePort& port) {
    port.SetReadTimeout(kLoaderStartMs);
    for (int i = 0; i < 3; ++i) {
        const char* text = port.ReadPending();
        if (text == nullptr) {
            return false;
        }
        if (port.GetReplyLength() > 0 &&
            static_cast<unsigned char>(text[port.GetReplyLength() - 1]) == kXmodemNak) {
            return true;
        }
    }
    return false;
}

}  // namespace

UpgradeResult SendFirmwareImage(CJobView* dialog, CDevicePort& port,
                                const std::vector<unsigned char>& image) {
    // Wakes a loader that waits for a start; its answer (a NAK) is not needed.
    port.SetReadTimeout(kLoaderStartMs);
    port.SetReadIntervalTimeout(kLoaderStartIntervalMs);
    const unsigned char wake[2] = {0x00, 0x78};
    port.WriteRaw(wake, sizeof wake);
    port.ReadPending();
    port.SetReadTimeout(kLoaderPollMs);
    port.SetReadIntervalTimeout(kLoaderPollMs);

    dialog->SetCaption(std::string(res::LoadString(res::IDS_UPGRADING_CAPTION)));
    // An empty image would divide the progress by zero and install nothing.
    if (image.empty() || image.size() > static_cast<std::size_t>(INT_MAX)) {
        return UpgradeResult::kFileFailed;
    }
    Blocks blocks = SendBlocks(dialog, port, image);
    if (blocks == Blocks::kCancelledFirst) {
        // A loader left half-way by an earlier transfer takes no first block; it
        // cancels and asks afresh, and then takes the image from its start.
        port.SetReadIntervalTimeout(kReadIntervalMs);
        blocks = AwaitFreshRequest(port) ? SendBlocks(dialog, port, image) : Blocks::kDeviceFailed;
    }
    switch (blocks) {
        case Blocks::kStopped:
            return UpgradeResult::kStopped;
        case Blocks::kSent:
            break;
        default:
            return UpgradeResult::kDeviceFailed;
    }

    port.PurgeInput();
    const unsigned char eot = kXmodemEot;
    if (port.WriteRaw(&eot, 1) != 1) {
        return UpgradeResult::kDeviceFailed;
    }
    port.SetReadTimeout(kEotAnswerMs);
    char reply[kXmodemBlockSize + 1];
    if (port.ReadRaw(reply, kXmodemBlockSize) == 0) {
        return UpgradeResult::kDeviceFailed;
    }
    return UpgradeResult::kDone;
}

UpgradeResult UpgradeFirmware(CJobView* dialog, CVarDexConfigurationManagerApp* app,
                              int askDevice) {
    std::string path;
    if (!dialog->ChooseOpenFile(std::string(res::LoadString(res::IDS_FIRMWARE_FILE_FILTER)),
                                kDefaultExtension, &path)) {
        dialog->m_bQuietEnd = 1;
        return UpgradeResult::kStopped;
    }
    // The whole image before the device hears a word: a file that is no image
    // must not leave the device waiting in its loader.
    auto loaded = LoadFirmwareImage(path);
    if (!loaded) {
        dialog->m_strFileProblem = loaded.error();
        return UpgradeResult::kFileFailed;
    }
    const std::vector<unsigned char> image = std::move(*loaded);
    const std::string caption = dialog->GetCaption();

    dialog->SetStatusText(std::string(res::LoadString(res::IDS_SCANNING_PORTS)));
    const IdentifyResult identified = IdentifyDevice(dialog, app);
    if (identified == IdentifyResult::kNotIdentified || dialog->m_bAbort != 0) {
        return UpgradeResult::kStopped;
    }
    if (identified == IdentifyResult::kInLoader) {
        askDevice = 0;  // the loader already waits
        // For an upgrade a waiting loader is no failure: nothing has ended yet.
        dialog->m_bQuietEnd = 0;
    }
    CDeviceConfig& record = app->m_workingRecord;
    std::string name;
    record.GetDeviceName(&name);
    dialog->SetStatusText(res::FormatText(res::LoadString(res::IDS_CHECKING_VERSION), {name}));

    switch (RequestLoader(dialog, record, askDevice)) {
        case LoaderRequest::kWaits:
            break;
        case LoaderRequest::kStopped:
            return UpgradeResult::kStopped;
        case LoaderRequest::kRefused:
            return UpgradeResult::kDeviceFailed;
    }
    // From here until the restart, whatever ends the job leaves the loader
    // waiting: the person must hear so, and an upgrade is what brings it back.
    dialog->m_bInLoader = 1;

    int lower = 0;
    int upper = 0;
    dialog->GetProgressRange(&lower, &upper);
    const int position = dialog->Progress().GetPos();
    const UpgradeResult sent = SendFirmwareImage(dialog, record, image);
    if (sent != UpgradeResult::kDone) {
        return sent;
    }

    // The device checks and installs the image, then restarts.
    for (int i = 0; i < kRestartPauses; ++i) {
        vardex::platform::SleepMs(kRestartPauseMs);
        if (dialog->m_bAbort != 0) {
            return UpgradeResult::kStopped;
        }
    }
    record.PurgeInput();
    dialog->Progress().SetRange32(lower, upper);
    dialog->Progress().SetPos(position);
    record.SetReadTimeout(kExchangeReadMs);
    const char* restarted = record.SendCommand(vardex::link::at::kAttention.data());
    record.PurgeInput();
    dialog->SetCaption(caption);
    if (restarted == nullptr) {
        // No answer at all (the line went down, the device is gone): nothing
        // says the image was taken, and the loader may still wait.
        return UpgradeResult::kDeviceFailed;
    }
    if (BeginsWithNak(restarted)) {
        // Still the loader asking for an image: it did not take this one.
        return UpgradeResult::kImageRejected;
    }
    dialog->m_bInLoader = 0;
    record.m_bSettingsModified = 0;
    record.m_bOtherModified = 0;
    return UpgradeResult::kDone;
}

}  // namespace vardex::device
