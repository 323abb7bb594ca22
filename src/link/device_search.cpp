// The device search: modem lines first, then COM1..COM10.
#include <array>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "link/at_commands.h"
#include "link/tapi_line.h"
#include "platform/serial_port.h"
#include "platform/tapi_binding.h"
#include "platform/trace.h"
#include "res/strings.h"

using namespace vardex::platform;

namespace vardex::link {

namespace tapi = vardex::platform::tapi;
using vardex::platform::Trace;

namespace {

constexpr DWORD kLowestApiVersion = 0x00010003;
constexpr DWORD kHighestApiVersion = 0x00010004;

}  // namespace

SearchResult CTapiLine::EnumerateLines(IProgressBar* progress, IUserPrompts* prompts,
                                       DWORD* api_version, LINEDEVCAPS** capabilities) {
    if (m_dwNumDevs == 0 || m_dwNumDevs == 0xFFFFFFFF) {
        return SearchResult::kNothingFound;
    }
    progress->SetRange32(0, static_cast<int>(m_dwNumDevs));
    progress->SetStep(1);
    bool found = false;
    for (DWORD d = 0; d < m_dwNumDevs && d < m_devices.size(); ++d) {
        progress->StepIt();
        m_bCallInProgress = 1;
        m_devices[d].index = d;
        std::string name;
        const LONG negotiated = tapi::lineNegotiateAPIVersion(
            m_hLineApp, d, kLowestApiVersion, kHighestApiVersion, api_version, nullptr);
        if (negotiated == 0 && *api_version != 0) {
            m_dwApiVersion = *api_version;
            FreeBuffer(*capabilities);
            *capabilities = GetDevCaps(nullptr, d, *api_version);
            name = std::string(vardex::res::kTextLineUnnamed);
            LINEDEVCAPS* caps = *capabilities;
            bool can_call = true;
            if (caps != nullptr && caps->dwLineNameSize != 0 && caps->dwLineNameOffset != 0 &&
                caps->dwStringFormat == STRINGFORMAT_ASCII &&
                caps->dwLineNameOffset < caps->dwTotalSize &&
                caps->dwLineNameSize <= caps->dwTotalSize - caps->dwLineNameOffset) {
                const char* text = reinterpret_cast<const char*>(caps) + caps->dwLineNameOffset;
                name.assign(text, strnlen(text, caps->dwLineNameSize));
                Trace("Name of device is: %s\n", name.c_str());
                if ((caps->dwLineFeatures & LINEFEATURE_MAKECALL) == 0) {
                    Trace("The selected line doesn't support MAKECALL capabilities\n");
                    can_call = false;
                }
            }
            if (!can_call) {
                continue;
            }
        } else {
            name = std::string(vardex::res::kTextLineUnavailable);
        }
        m_devices[d].name = name;
        if (name == vardex::res::kTextLineUnavailable) {
            continue;
        }
        if (*capabilities == nullptr) {
            Trace("Error on Requested line\n");
            continue;
        }
        const LONG opened =
            tapi::lineOpen(m_hLineApp, d, &m_hLine, *api_version, 0, 0, LINECALLPRIVILEGE_MONITOR,
                           LINEMEDIAMODE_DATAMODEM, nullptr);
        if (opened == LINEERR_ALLOCATED || opened == LINEERR_RESOURCEUNAVAIL) {
            StopCall();
            Trace(
                "Line is already in use by a non-TAPI application or by another TAPI Service "
                "Provider.\n");
            NoteLineFailure(d, name);
            continue;
        }
        if (opened != 0) {
            Trace("Unable to Use Line\n");
            StopCall();
            continue;
        }
        if (MakeCall(*capabilities, d) == 0) {
            Trace("lineMakeCall failed.\n");
            StopCall();
            continue;
        }
        Trace("lineMakeCall succeeded.\n");
        char reply[260];
        std::size_t count = 0;
        const std::string identify = at::Line(at::kIdentify);
        Write(identify.data(), identify.size(), &count);
        count = ReadAnswer(reply, 259);
        m_devices[d].reply.assign(reply, count);
        std::string port;
        GetPortName(&port);
        Trace("%s replied : %s \n", at::kIdentify.data(), m_devices[d].reply.c_str());
        m_devices[d].name += " (" + port + ")";
        m_devices[d].path = port;
        if (ReplyNamesVarDex(m_devices[d].reply)) {
            found = true;
        } else if (const LoaderHeard loader = WaitForLoader(m_devices[d].reply);
                   loader != LoaderHeard::kNone) {
            if (loader == LoaderHeard::kNak) {
                // A varDex waiting in its loader on USB, as on a COM port: the
                // call stays up so that an upgrade can go on with it.
                m_dwSelected = d;
                FreeBuffer(*capabilities);
                *capabilities = nullptr;
                return SearchResult::kLoaderAnswered;
            }
            ClosePort();
            StopCall();
            FreeBuffer(*capabilities);
            *capabilities = nullptr;
            return SearchResult::kLoaderError;
        }
        ClosePort();
        StopCall();
    }
    if (!found) {
        FreeBuffer(*capabilities);
        *capabilities = nullptr;
        return SearchResult::kNothingFound;
    }
    std::uint32_t chosen = 0;
    if (RunDeviceList(*prompts, m_devices, m_dwNumDevs, &chosen) != Choice::kMade) {
        FreeBuffer(*capabilities);
        *capabilities = nullptr;
        return SearchResult::kCancelled;
    }
    m_dwSelected = chosen;
    *capabilities = GetDevCaps(*capabilities, chosen, m_dwApiVersion);
    progress->SetPos(0);
    return SearchResult::kFound;
}

void CTapiLine::NoteLineFailure(DWORD device, const std::string& name) {
    // The provider says only that the line is taken or unavailable; opening the
    // port here tells why (refused or busy), and who holds it.
    LINEADDRESSCAPS* caps = GetAddressCaps(nullptr, device, 0, m_dwApiVersion, 0);
    std::string path;
    if (caps != nullptr && caps->dwAddressOffset != 0 && caps->dwAddressSize != 0 &&
        caps->dwAddressOffset < caps->dwTotalSize &&
        caps->dwAddressSize <= caps->dwTotalSize - caps->dwAddressOffset) {
        const char* text = reinterpret_cast<const char*>(caps) + caps->dwAddressOffset;
        path.assign(text, strnlen(text, caps->dwAddressSize));
    }
    FreeBuffer(caps);
    if (path.empty()) {
        return;
    }
    vardex::platform::SysError error;
    if (vardex::platform::SerialPort::Open(path, &error) == nullptr && WorthReporting(error)) {
        m_portFailures.push_back({name, path, error});
    }
}

void CTapiLine::OpenChosenLine(LINEDEVCAPS* capabilities) {
    if (capabilities == nullptr) {
        Trace("Error on Requested line\n");
        return;
    }
    m_bCallInProgress = 1;
    const LONG opened = tapi::lineOpen(m_hLineApp, m_dwSelected, &m_hLine, m_dwApiVersion, 0, 0,
                                       LINECALLPRIVILEGE_MONITOR, LINEMEDIAMODE_DATAMODEM, nullptr);
    if (opened == LINEERR_ALLOCATED || opened == LINEERR_RESOURCEUNAVAIL) {
        StopCall();
        Trace(
            "Line is already in use by a non-TAPI application or by another TAPI Service "
            "Provider.\n");
        return;
    }
    if (opened != 0) {
        Trace("Unable to Use Line\n");
        StopCall();
        return;
    }
    LINEADDRESSCAPS* address = GetAddressCaps(nullptr, m_dwSelected, 0, m_dwApiVersion, 0);
    LINECALLPARAMS* params = CreateCallParams(nullptr, "");
    const bool usable = address != nullptr && params != nullptr;
    FreeBuffer(address);
    FreeBuffer(params);
    if (!usable) {
        StopCall();
        return;
    }
    if (MakeCall(capabilities, m_dwSelected) != 0) {
        Trace("lineMakeCall succeeded.\n");
    } else {
        Trace("lineMakeCall failed.\n");
        StopCall();
    }
}

CTapiLine::LoaderHeard CTapiLine::AwaitLoader() {
    PurgeInput();
    SetReadTimeout(kLoaderFirstReadMs);
    std::vector<char> buffer(4096);
    ReadUntilNak(buffer.data(), buffer.size());
    SetReadTimeout(kLoaderSecondReadMs);
    ReadUntilNak(buffer.data(), buffer.size());
    const std::string text(buffer.data());
    if (!text.empty() && static_cast<unsigned char>(text[0]) == NAK) {
        return LoaderHeard::kNak;
    }
    return text.find("error") != std::string::npos ? LoaderHeard::kError : LoaderHeard::kNone;
}

CTapiLine::LoaderHeard CTapiLine::WaitForLoader(const std::string& reply) {
    // A line that answered something else is another modem: no loader waits
    // behind it, and it is not kept waiting for one.
    if (!reply.empty() && static_cast<unsigned char>(reply[0]) != NAK) {
        return LoaderHeard::kNone;
    }
    return AwaitLoader();
}

CTapiLine::ComProbe CTapiLine::ProbeComPort(std::uint32_t n,
                                            const std::function<bool(const CommHandle&)>& listen) {
    ComProbe probe;
    CTapiLine line{ProbeOnly{}};
    probe.opened = line.OpenPort("COM" + std::to_string(n), kLineBaud);
    probe.path = line.m_strOpenedPath;
    probe.error = line.m_lastOpenError;
    if (probe.opened != OpenResult::kOk) {
        return probe;
    }
    line.SetReadTimeout(kExchangeReadMs);
    std::size_t count = 0;
    const std::string identify = at::Line(at::kIdentify);
    line.Write(identify.data(), identify.size(), &count);
    char reply[260];
    count = line.ReadAnswer(reply, 259);
    probe.reply.assign(reply, count);
    Trace("%s replied : %s \n", at::kIdentify.data(), probe.reply.c_str());
    probe.names_vardex = ReplyNamesVarDex(probe.reply);
    if (!probe.names_vardex && (!probe.reply.empty() || listen(line.GetHandle()))) {
        // Something answers but is no varDex in normal operation: a loader sends
        // NAK now and then, a failed one may say "error".
        probe.loader = line.AwaitLoader();
        if (probe.loader == LoaderHeard::kNak) {
            probe.channel = line.ReleaseHandle();
            return probe;
        }
    }
    line.ClosePort();
    return probe;
}

void CTapiLine::ScanComPorts(IProgressBar* progress, IUserPrompts* prompts, ConnectResult* result) {
    progress->SetPos(0);
    progress->SetRange32(0, static_cast<int>(kSearchedComPorts));
    progress->SetStep(1);
    std::array<ComProbe, kSearchedComPorts> probes;
    {
        // The bar moves on this thread, a step for each port probed.
        std::mutex mutex;
        std::condition_variable ended;
        std::size_t done = 0;
        std::array<bool, kSearchedComPorts> finished{};
        // The channels of silent ports listening for a loader, and whether they
        // have been let go.
        std::array<CommHandle, kSearchedComPorts> listening;
        bool let_go = false;
        // A varDex has answered, and every port still probed is silent and
        // listening: nothing a person could choose is still to come, so those
        // are let go rather than waited for.
        const auto only_silent_left = [&] {
            bool answered = false;
            for (std::size_t i = 0; i < kSearchedComPorts; ++i) {
                if (finished[i]) {
                    answered = answered || probes[i].names_vardex;
                } else if (!listening[i]) {
                    return false;
                }
            }
            return answered;
        };
        std::vector<std::thread> workers;
        for (std::uint32_t n = 1; n <= kSearchedComPorts; ++n) {
            auto probe = [&, n] {
                ComProbe found = ProbeComPort(n, [&, n](const CommHandle& channel) {
                    std::lock_guard lock(mutex);
                    if (let_go) {
                        return false;
                    }
                    listening[n - 1] = channel;
                    ended.notify_one();
                    return true;
                });
                std::lock_guard lock(mutex);
                probes[n - 1] = std::move(found);
                finished[n - 1] = true;
                ++done;
                ended.notify_one();
            };
            try {
                workers.emplace_back(probe);
            } catch (const std::system_error&) {
                probe();  // no thread to spare: this port in turn
            }
        }
        std::unique_lock lock(mutex);
        for (std::size_t stepped = 0; stepped < kSearchedComPorts;) {
            // Every probe ends within its own bounded waits, a let-go one at once.
            ended.wait(lock, [&] { return done > stepped || (!let_go && only_silent_left()); });
            if (!let_go && only_silent_left()) {
                let_go = true;
                for (const CommHandle& channel : listening) {
                    if (channel) {
                        channel->Cancel();
                    }
                }
            }
            for (; stepped < done; ++stepped) {
                progress->StepIt();
            }
        }
        lock.unlock();
        for (std::thread& worker : workers) {
            worker.join();
        }
    }
    // The results in port order, as a scan one port after another gives them:
    // the first port where a loader waits ends the search there.
    bool found = false;
    for (std::uint32_t n = 1; n <= kSearchedComPorts; ++n) {
        ComProbe& probe = probes[n - 1];
        const std::string port = "COM" + std::to_string(n);
        m_devices[n].index = n;
        m_devices[n].name = vardex::res::FormatText(vardex::res::kTextDirectToFormat, {port});
        m_devices[n].reply = probe.reply;
        m_devices[n].path = probe.path;
        m_strOpenedPath = probe.path;
        m_lastOpenError = probe.error;
        if (probe.opened != OpenResult::kOk) {
            if (WorthReportingPort(probe.path, probe.error)) {
                m_portFailures.push_back({port, probe.path, probe.error});
            }
            continue;
        }
        if (probe.names_vardex) {
            found = true;
            continue;
        }
        if (probe.loader == LoaderHeard::kNak) {
            AdoptHandle(std::move(probe.channel));
            m_dwSelected = n;
            result->search = SearchResult::kLoaderAnswered;
            return;
        }
        if (probe.loader == LoaderHeard::kError) {
            result->search = SearchResult::kLoaderError;
            return;
        }
    }
    if (!found) {
        Trace("Error %d Selecting Device\n", Code(result->search));
        return;
    }
    std::uint32_t chosen = 0;
    const Choice answer = RunDeviceList(*prompts, m_devices, kMinDeviceRows, &chosen);
    progress->SetPos(0);
    if (answer != Choice::kMade) {
        result->search = SearchResult::kCancelled;
        return;
    }
    m_dwSelected = chosen;
    const std::string port = "COM" + std::to_string(chosen);
    result->search = SearchResult::kFound;
    result->open = OpenPort(port, kLineBaud);
    if (result->open != OpenResult::kOk && WorthReportingPort(m_strOpenedPath, m_lastOpenError)) {
        // Taken or refused since it was probed.
        m_portFailures.push_back({port, m_strOpenedPath, m_lastOpenError});
    }
}

void CTapiLine::FindDevice(IProgressBar* progress, IUserPrompts* prompts, ConnectResult* result) {
    m_portFailures.clear();
    m_strDirectPort.clear();
    if (m_bCallInProgress != 0) {
        prompts->ShowMessage(std::string(vardex::res::kTextCallAlreadyHandled),
                             MessageIcon::Exclamation);
        return;
    }
    // Without telephony, or without lines, the serial ports are searched all the
    // same (nothing would be found otherwise on most machines).
    if (m_hLineApp == 0) {
        Initialize(nullptr);
    }
    *result = {SearchResult::kNothingFound, OpenResult::kOk};
    if (m_hLineApp != 0 && m_dwNumDevs != 0) {
        DWORD api_version = 0;
        LINEDEVCAPS* capabilities = nullptr;
        result->search = EnumerateLines(progress, prompts, &api_version, &capabilities);
        if (result->search == SearchResult::kLoaderAnswered ||
            result->search == SearchResult::kLoaderError) {
            return;  // a loader on a line, as the COM scan ends at one
        }
        if (result->search == SearchResult::kFound || result->search == SearchResult::kCancelled) {
            if (result->search == SearchResult::kFound) {
                OpenChosenLine(capabilities);
            }
            FreeBuffer(capabilities);
            return;
        }
        FreeBuffer(capabilities);
    }
    ScanComPorts(progress, prompts, result);
}

void CTapiLine::SelectDirectPort(const std::string& path) {
    m_devices[kDirectPortRow].index = kDirectPortRow;
    m_devices[kDirectPortRow].name =
        vardex::res::FormatText(vardex::res::kTextDirectToFormat, {path});
    m_devices[kDirectPortRow].path = path;
    m_dwSelected = kDirectPortRow;
    m_strDirectPort = path;
}

std::string CTapiLine::DirectPortPath() const {
    return m_strDirectPort;
}

}  // namespace vardex::link
