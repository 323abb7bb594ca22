#include "device/firmware_upgrade.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "device/identify.h"
#include "platform/vtime.h"
#include "res/strings.h"

namespace res = vardex::res;

namespace {

constexpr const char* kDefaultExtension = "*.img;*.dnl";
constexpr int kRestartPauses = 20;
constexpr int kRestartPauseMs = 500;
constexpr int kLoaderPolls = 20;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool BeginsWithNak(const char* text) {
    return text != nullptr && static_cast<unsigned char>(text[0]) == kXmodemNak;
}

std::string WithName(int id_number, const std::string& name) {
    std::string text(res::LoadString(id_number));
    const auto at = text.find("%s");
    return at == std::string::npos ? text : text.replace(at, 2, name);
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

// The size of an image that can be sent: 1 .. INT_MAX bytes (the progress bar's
// 32-bit range); -1 otherwise.
long ImageSize(std::FILE* file) {
    if (std::fseek(file, 0, SEEK_END) != 0) {
        return -1;
    }
    const long size = std::ftell(file);
    if (size <= 0 || size > INT_MAX || std::fseek(file, 0, SEEK_SET) != 0) {
        return -1;
    }
    return size;
}

// Steps 7 to 12 of the request: until the device's loader asks with NAK. 1 the
// loader waits; 2 stopped; -6 the device did not take the request.
int RequestLoader(CJobView* dialog, CDeviceConfig& record, int askDevice) {
    for (;;) {
        if (askDevice == 0) {
            record.PurgeInput();
            record.SetReadTimeout(12500);
            record.ReadPending();
            if (dialog->m_bAbort != 0) {
                return 2;
            }
            record.SetReadTimeout(20500);
            const char* text = record.ReadPending();
            if (dialog->m_bAbort != 0) {
                return 2;
            }
            if (BeginsWithNak(text)) {
                return 1;
            }
        }
        record.SetReadTimeout(4000);
        const char* reply = record.SendCommand("ATUPX");
        if (dialog->m_bAbort != 0) {
            return 2;
        }
        if (BeginsWithNak(reply)) {
            return 1;
        }
        if (reply == nullptr || std::strstr(reply, "Firmware Upgrade") == nullptr ||
            std::strstr(reply, "(Y/N)?") == nullptr) {
            return kUpgradeDeviceFailed;
        }
        record.SetReadTimeout(10000);
        record.SetReadIntervalTimeout(2000);
        record.WriteRaw("Y", 1);
        const char* answer = record.ReadPending();
        record.SetReadTimeout(1250);
        record.SetReadIntervalTimeout(1250);
        // A stop confirmed during the wait is the person's, not the device's failure.
        if (dialog->m_bAbort != 0) {
            return 2;
        }
        if (answer == nullptr) {
            return kUpgradeDeviceFailed;
        }
        for (int i = 0; i < kLoaderPolls; ++i) {
            if (dialog->m_bAbort != 0) {
                return 2;
            }
            if (BeginsWithNak(record.ReadPending())) {
                break;
            }
        }
        if (dialog->m_bAbort != 0) {
            return 2;
        }
        record.PurgeInput();
        askDevice = 0;
    }
}

}  // namespace

void BuildXmodemBlock(std::uint8_t number, const unsigned char* data, std::size_t count,
                      unsigned char block[kXmodemBlockSize]) {
    block[0] = kXmodemSoh;
    block[1] = number;
    block[2] = static_cast<unsigned char>(0xFF - number);
    unsigned char* payload = block + 3;
    if (count > 0) {
        std::memcpy(payload, data, count);
    }
    std::memset(payload + count, 0xFF, kXmodemDataSize - count);
    unsigned sum = 0;
    for (std::size_t i = 0; i < kXmodemDataSize; ++i) {
        sum += payload[i];
    }
    block[kXmodemBlockSize - 1] = static_cast<unsigned char>(sum & 0xFF);
}

int SendFirmwareImage(CJobView* dialog, CDevicePort& port, const std::string& path) {
    // Wakes a loader that waits for a start; its answer (a NAK) is not needed.
    port.SetReadTimeout(10000);
    port.SetReadIntervalTimeout(2000);
    const unsigned char wake[2] = {0x00, 0x78};
    port.WriteRaw(wake, sizeof wake);
    port.ReadPending();
    port.SetReadTimeout(1250);
    port.SetReadIntervalTimeout(1250);

    dialog->SetCaption(std::string(res::LoadString(res::IDS_UPGRADING_CAPTION)));
    File file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        return kUpgradeFileFailed;
    }
    // Read as it is sent, without a buffer that would hide a file changing under us.
    std::setvbuf(file.get(), nullptr, _IONBF, 0);
    // An empty image would divide the progress by zero and install nothing.
    const long size = ImageSize(file.get());
    if (size < 0) {
        return kUpgradeFileFailed;
    }

    IProgressBar& progress = dialog->Progress();
    progress.SetRange32(0, static_cast<int>(size));
    progress.SetPos(0);
    const std::string format(res::LoadString(res::IDS_UPGRADE_PROGRESS));
    std::uint8_t number = 1;
    long sent = 0;
    int shown = -1;
    port.SetReadTimeout(250);
    port.PurgeInput();

    unsigned char data[kXmodemDataSize];
    unsigned char block[kXmodemBlockSize];
    std::size_t count = 0;
    int resends = 0;
    for (;;) {
        const int tenths = Tenths(sent, size);
        if (tenths != shown) {
            dialog->SetStatusText(ProgressText(format, sent, size, tenths));
            progress.SetPos(static_cast<int>(sent));
            shown = tenths;
        }
        if (dialog->m_bAbort != 0) {
            return 2;
        }
        if (resends == 0) {
            // Only the size measured at the start is sent: a file that grows is
            // cut there, one that shrinks or fails to read is not an image.
            const auto want = static_cast<std::size_t>(
                size - sent < static_cast<long>(kXmodemDataSize) ? size - sent : kXmodemDataSize);
            count = std::fread(data, 1, want, file.get());
            if (count != want) {
                return kUpgradeFileFailed;
            }
            BuildXmodemBlock(number, data, count, block);
        }
        if (port.WriteRaw(block, kXmodemBlockSize) != kXmodemBlockSize) {
            return kUpgradeDeviceFailed;
        }
        char answer[2];
        if (port.ReadRaw(answer, 1) != 1) {
            return kUpgradeDeviceFailed;
        }
        const auto byte = static_cast<unsigned char>(answer[0]);
        if (byte == kXmodemNak) {
            // The same block again, with the same number; a receiver that never
            // takes it must not keep the job busy for ever.
            if (++resends > kXmodemMaxResends) {
                return kUpgradeDeviceFailed;
            }
            continue;
        }
        if (byte != kXmodemAck) {
            return kUpgradeDeviceFailed;
        }
        resends = 0;
        sent += static_cast<long>(count);
        ++number;
        if (count < kXmodemDataSize) {
            break;
        }
    }

    file.reset();
    port.PurgeInput();
    dialog->SetStatusText(ProgressText(format, sent, size, Tenths(sent, size)));
    const unsigned char eot = kXmodemEot;
    if (port.WriteRaw(&eot, 1) != 1) {
        return kUpgradeDeviceFailed;
    }
    port.SetReadTimeout(10000);
    char reply[kXmodemBlockSize + 1];
    if (port.ReadRaw(reply, kXmodemBlockSize) == 0) {
        return kUpgradeDeviceFailed;
    }
    return 1;
}

bool UpgradeReservedForOperator(const std::string& country) {
    return country.find("Poland") != std::string::npos ||
           country.find("poland") != std::string::npos;
}

int UpgradeFirmware(CJobView* dialog, CVarDexConfigurationManagerApp* app, int askDevice) {
    std::string path;
    if (!dialog->ChooseOpenFile(std::string(res::LoadString(res::IDS_FIRMWARE_FILE_FILTER)),
                                kDefaultExtension, &path)) {
        dialog->m_bQuietEnd = 1;
        return 2;
    }
    const std::string caption = dialog->GetCaption();

    dialog->SetStatusText(std::string(res::LoadString(res::IDS_SCANNING_PORTS)));
    const int identified = IdentifyDevice(dialog, app);
    if (identified == 2 || dialog->m_bAbort != 0) {
        return 2;
    }
    if (identified == -4) {
        askDevice = 0;  // the loader already waits
        // For an upgrade a waiting loader is no failure: nothing has ended yet.
        dialog->m_bQuietEnd = 0;
    }
    CDeviceConfig& record = app->m_workingRecord;
    std::string name;
    record.GetDeviceName(&name);
    dialog->SetStatusText(WithName(res::IDS_CHECKING_VERSION, name));

    const int requested = RequestLoader(dialog, record, askDevice);
    if (requested != 1) {
        return requested;
    }

    int lower = 0;
    int upper = 0;
    dialog->GetProgressRange(&lower, &upper);
    const int position = dialog->Progress().GetPos();
    const int sent = SendFirmwareImage(dialog, record, path);
    if (sent != 1) {
        return sent;
    }

    // The device checks and installs the image, then restarts.
    for (int i = 0; i < kRestartPauses; ++i) {
        vardex::SleepMs(kRestartPauseMs);
        if (dialog->m_bAbort != 0) {
            return 2;
        }
    }
    record.PurgeInput();
    dialog->Progress().SetRange32(lower, upper);
    dialog->Progress().SetPos(position);
    record.SetReadTimeout(250);
    record.SendCommand("AT");
    record.PurgeInput();
    record.m_bSettingsModified = 0;
    record.m_bOtherModified = 0;
    dialog->SetCaption(caption);
    return 1;
}
