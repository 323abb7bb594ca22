// The telephony side of CTapiLine: modem lines through the run-time bound
// provider. Calls come from one thread at a time; the provider's callbacks go to
// the object's own queue and reach lineCallbackFunc only while a thread
// dispatches it inside WaitForReply.
#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "link/at_commands.h"
#include "link/tapi_line.h"
#include "platform/tapi_binding.h"
#include "platform/trace.h"
#include "platform/vtime.h"
#include "res/strings.h"

using namespace vardex::platform;

namespace vardex::link {

namespace tapi = vardex::platform::tapi;
using vardex::platform::Trace;

namespace {

// The object the line callback serves.
std::atomic<CTapiLine*> g_pCallbackLine{nullptr};
// Set when a wait has ended, so that an outer wait around a nested one ends too.
bool g_bWaitEnded = false;

const char* DisconnectText(DWORD detail) {
    switch (detail) {
        case LINEDISCONNECTMODE_NORMAL:
            return "Remote Party Disconnected";
        case LINEDISCONNECTMODE_UNKNOWN:
            return "Disconnected: Unknown reason";
        case LINEDISCONNECTMODE_REJECT:
            return "Remote Party rejected call";
        case LINEDISCONNECTMODE_PICKUP:
            return "Disconnected: Local phone picked up";
        case LINEDISCONNECTMODE_FORWARDED:
            return "Disconnected: Forwarded";
        case LINEDISCONNECTMODE_BUSY:
            return "Disconnected: Busy";
        case LINEDISCONNECTMODE_NOANSWER:
            return "Disconnected: No Answer";
        case LINEDISCONNECTMODE_BADADDRESS:
            return "Disconnected: Bad Address";
        case LINEDISCONNECTMODE_UNREACHABLE:
            return "Disconnected: Unreachable";
        case LINEDISCONNECTMODE_CONGESTION:
            return "Disconnected: Congestion";
        case LINEDISCONNECTMODE_INCOMPATIBLE:
            return "Disconnected: Incompatible";
        case LINEDISCONNECTMODE_UNAVAIL:
            return "Disconnected: Unavail";
        case LINEDISCONNECTMODE_NODIALTONE:
            return "Disconnected: No Dial Tone";
        default:
            return "Disconnected: LINECALLSTATE; Bad Reason";
    }
}

// A string inside a variable-size block, bounded by the block.
std::string BlockString(const void* block, DWORD total, DWORD offset, DWORD size) {
    if (offset == 0 || size == 0 || offset >= total || size > total - offset) {
        return {};
    }
    const char* text = static_cast<const char*>(block) + offset;
    return std::string(text, strnlen(text, size));
}

// The variable-size look-up: asks with a block of size bytes (buffer reused
// when it is large enough) and, while the provider needs more, grows the block
// to dwNeededSize and asks again, four times at most. Null, the block freed,
// when a call fails (failure is traced) or the block never grows large enough.
template <typename Block, typename Query>
Block* AskGrowing(CTapiLine& line, Block* buffer, std::size_t size, const char* failure,
                  Query query) {
    auto* block = static_cast<Block*>(CTapiLine::CheckAndReAllocBuffer(buffer, size));
    for (int attempt = 0; block != nullptr && attempt < 4; ++attempt) {
        if (line.HandleLineError(query(block)) == 0) {
            Trace("%s", failure);
            CTapiLine::FreeBuffer(block);
            return nullptr;
        }
        if (block->dwNeededSize <= block->dwTotalSize) {
            return block;
        }
        size = block->dwNeededSize;
        block = static_cast<Block*>(CTapiLine::CheckAndReAllocBuffer(block, size));
    }
    CTapiLine::FreeBuffer(block);
    return nullptr;
}

}  // namespace

CTapiLine::CTapiLine() {
    // The callback serves the object constructed last, unless the one it serves
    // holds a telephony service: a record made for a moment (a copy of values)
    // must not take a running service's callbacks away.
    CTapiLine* serving = g_pCallbackLine.load();
    if (serving == nullptr || serving->m_hLineApp == 0) {
        g_pCallbackLine.store(this);
    }
    BuildDeviceTable(kMinDeviceRows);
}

CTapiLine::CTapiLine(ProbeOnly) {
    BuildDeviceTable(kMinDeviceRows);
}

CTapiLine::~CTapiLine() {
    // The provider must not keep calling back into an object that is gone.
    Shutdown();
    CloseHandleOnly();
    CTapiLine* self = this;
    g_pCallbackLine.compare_exchange_strong(self, nullptr);
}

void CTapiLine::BuildDeviceTable(std::size_t rows) {
    m_devices.assign(std::max(rows, kMinDeviceRows), DeviceEntry{});
}

void* CTapiLine::CheckAndReAllocBuffer(void* block, std::size_t size) {
    if (size < sizeof(DWORD)) {
        size = sizeof(DWORD);
    }
    if (block != nullptr) {
        const std::size_t usable = ::malloc_usable_size(block);
        if (usable == 0) {
            Trace("LocalSize returned 0 in CheckAndReAllocBuffer/n");
            return nullptr;
        }
        if (usable >= size) {
            std::memset(block, 0, usable);
            *static_cast<DWORD*>(block) =
                static_cast<DWORD>(std::min<std::size_t>(usable, 0xFFFFFFFFu));
            return block;
        }
        Trace("Reallocating structure\n");
        std::free(block);
    }
    void* fresh = std::calloc(1, size);
    if (fresh == nullptr) {
        Trace("LocalAlloc failed in CheckAndReAllocBuffer./n");
        return nullptr;
    }
    *static_cast<DWORD*>(fresh) = static_cast<DWORD>(size);
    return fresh;
}

void CTapiLine::FreeBuffer(void* block) {
    std::free(block);
}

int CTapiLine::HandleLineError(LONG result) {
    if (result == 0) {
        return 1;
    }
    if (result > 0) {
        return 0;
    }
    switch (result) {
        case LINEERR_INIFILECORRUPT:
        case LINEERR_INVALCARD:
        case LINEERR_INVALLOCATION:
            Trace("The values in the INI file are invalid.\n");
            break;
        case LINEERR_INVALLINEHANDLE:
            Trace("Invalid Line Handle.\n");
            break;
        case LINEERR_NODRIVER:
            Trace("There is a problem with your Telephony device driver.\n");
            break;
        case LINEERR_NOMEM:
            Trace("Out of memory. Cancelling action.\n");
            break;
        case LINEERR_OPERATIONFAILED:
            Trace("The TAPI operation failed.\n");
            break;
        case LINEERR_RESOURCEUNAVAIL:
            Trace("A TAPI resource is unavailable at this time.\n");
            break;
        case LINEERR_REINIT:
            Shutdown();
            break;
        case LINEERR_NOMULTIPLEINSTANCE:
            Trace("Remove one of your copies of your Telephony driver.\n");
            break;
        default:
            break;
    }
    return 0;
}

int CTapiLine::Initialize(const char* application_name) {
    if (m_hLineApp != 0) {
        return 1;
    }
    if (m_bInitialising != 0) {
        return 0;
    }
    m_bInitialising = 1;
    // The search of this run works on a fresh table, with or without lines.
    BuildDeviceTable(kMinDeviceRows);
    DWORD lines = 0;
    HLINEAPP app = 0;
    const LONG result = tapi::lineInitialize(&app, m_host.Get(), &CTapiLine::lineCallbackFunc,
                                             application_name, &lines);
    if (result == 0 && lines == 0) {
        // No lines is no reason to stop: the serial ports are searched all the
        // same, so no message about telephony is shown.
        Trace("%s\n", std::string(vardex::res::kTextNoTelephonyDevices).c_str());
        tapi::lineShutdown(app);
        m_dwNumDevs = 0;
        m_bInitialising = 0;
        return 0;
    }
    if (HandleLineError(result) == 0) {
        Trace("lineInitialize unhandled error\n");
        m_dwNumDevs = 0;
        m_bInitialising = 0;
        return 0;
    }
    m_hLineApp = app;
    m_dwNumDevs = lines;
    // The service's callbacks come to the object that started it.
    g_pCallbackLine.store(this);
    Trace("Tapi initialized.\n");
    BuildDeviceTable(lines);
    m_bInitialising = 0;
    return 1;
}

LINEDEVCAPS* CTapiLine::GetDevCaps(LINEDEVCAPS* buffer, DWORD device, DWORD api_version) {
    return AskGrowing(*this, buffer, 1276, "lineGetDevCaps unhandled error/n",
                      [&](LINEDEVCAPS* caps) {
                          return tapi::lineGetDevCaps(m_hLineApp, device, api_version, 0, caps);
                      });
}

LINEADDRESSCAPS* CTapiLine::GetAddressCaps(LINEADDRESSCAPS* buffer, DWORD device, DWORD address,
                                           DWORD api_version, DWORD ext_version) {
    return AskGrowing(*this, buffer, 1252, "lineGetAddressCaps unhandled error\n",
                      [&](LINEADDRESSCAPS* caps) {
                          return tapi::lineGetAddressCaps(m_hLineApp, device, address, api_version,
                                                          ext_version, caps);
                      });
}

LINECALLPARAMS* CTapiLine::CreateCallParams(LINECALLPARAMS* buffer, const char* address) {
    const std::size_t length = address != nullptr ? std::strlen(address) : 0;
    const std::size_t size = sizeof(LINECALLPARAMS) + length + 1;
    auto* params = static_cast<LINECALLPARAMS*>(CheckAndReAllocBuffer(buffer, size));
    if (params == nullptr) {
        return nullptr;
    }
    params->dwBearerMode = LINEBEARERMODE_PASSTHROUGH;
    params->dwMediaMode = LINEMEDIAMODE_INTERACTIVEVOICE;
    params->dwCallParamFlags = LINECALLPARAMFLAGS_IDLE;
    params->dwAddressMode = LINEADDRESSMODE_ADDRESSID;
    params->dwDisplayableAddressSize = static_cast<DWORD>(length + 1);
    params->dwDisplayableAddressOffset = sizeof(LINECALLPARAMS);
    std::memcpy(reinterpret_cast<char*>(params) + sizeof(LINECALLPARAMS),
                address != nullptr ? address : "", length + 1);
    return params;
}

LONG CTapiLine::WaitForReply(LONG request) {
    g_bWaitEnded = false;
    if (request <= 0) {
        g_bWaitEnded = true;
        return request;
    }
    m_lReplyStatus = 0;
    m_lRequest = request;
    m_lDefaultReply = LINEERR_OPERATIONFAILED;
    const auto deadline = vardex::platform::Clock::now() + vardex::platform::ScaledMs(kReplyWaitMs);
    while (m_lReplyStatus == 0) {
        const bool dispatched = m_host.Queue().DispatchOne();
        if (m_hCall != 0 && (m_bCallInProgress == 0 || g_bWaitEnded)) {
            g_bWaitEnded = true;
            return 1;
        }
        if (m_bConnectedEvent) {
            m_bConnectedEvent = false;
            return 0;
        }
        if (vardex::platform::Clock::now() >= deadline) {
            return 1;
        }
        if (!dispatched) {
            // Sleep until the provider queues something, not in a polling loop.
            m_host.Queue().WaitUntil(deadline);
        }
    }
    Trace("Async reply with status : %X\n", static_cast<unsigned>(m_lReplyStatus));
    return m_lReplyStatus;
}

void CTapiLine::lineCallbackFunc(DWORD device, DWORD message, DWORD_PTR /*instance*/,
                                 DWORD_PTR param1, DWORD_PTR param2, DWORD_PTR /*param3*/) {
    CTapiLine* line = g_pCallbackLine.load();
    if (line == nullptr) {
        return;
    }
    switch (message) {
        case LINE_CALLSTATE:
            line->OnCallState(device, static_cast<DWORD>(param1), static_cast<DWORD>(param2));
            break;
        case LINE_CLOSE:
            line->m_hLine = 0;
            line->m_hCall = 0;
            line->StopCall();
            break;
        case LINE_REPLY:
            // Only the reply to the request being waited for ends the wait; a late
            // reply to an earlier request must not end a later wait.
            if (static_cast<LONG>(param1) != line->m_lRequest) {
                break;
            }
            if (param2 != 0) {
                Trace("LINE_REPLY error (%X)\n", static_cast<unsigned>(param2));
                line->m_lReplyStatus = static_cast<LONG>(param2);
            } else {
                Trace("LINE_REPLY: successfully replied.\n");
                line->m_lReplyStatus = 1;
            }
            break;
        case LINE_CREATE:
            if (param1 >= line->m_dwNumDevs || line->m_dwNumDevs == 0xFFFFFFFF) {
                line->m_dwNumDevs = static_cast<DWORD>(param1) + 1;
            }
            break;
        default:
            Trace("lineCallbackFunc message ignored\n");
            break;
    }
}

void CTapiLine::OnCallState(DWORD call, DWORD state, DWORD detail) {
    if (call != m_hCall) {
        Trace("LINE_CALLSTATE: Unknown device ID\n");
        return;
    }
    switch (state) {
        case LINECALLSTATE_IDLE:
            Trace("Line idle\n");
            StopCall();
            break;
        case LINECALLSTATE_DIALTONE:
            Trace("Dial Tone\n");
            break;
        case LINECALLSTATE_DIALING:
            Trace("Dialing\n");
            break;
        case LINECALLSTATE_RINGBACK:
            Trace("RingBack\n");
            break;
        case LINECALLSTATE_BUSY:
            Trace("Line busy, shutting down\n");
            StopCall();
            break;
        case LINECALLSTATE_SPECIALINFO:
            Trace("Special Info, probably couldn't dial number\n");
            StopCall();
            break;
        case LINECALLSTATE_CONNECTED:
            Trace("Connected!\n");
            GetTapiHandle();
            m_bConnectedEvent = true;
            break;
        case LINECALLSTATE_PROCEEDING:
            Trace("Proceeding\n");
            break;
        case LINECALLSTATE_DISCONNECTED:
            Trace("%s\n", DisconnectText(detail));
            StopCall();
            break;
        default:
            Trace("Unhandled LINECALLSTATE message\n");
            break;
    }
}

VARSTRING* CTapiLine::GetDeviceId(const char* device_class) {
    return AskGrowing(*this, static_cast<VARSTRING*>(nullptr), sizeof(VARSTRING),
                      "lineGetID unhandled error\n", [&](VARSTRING* id) {
                          return tapi::lineGetID(m_hLine, 0, 0, LINECALLSELECT_LINE, id,
                                                 device_class);
                      });
}

int CTapiLine::GetTapiHandle() {
    Trace("GetTapiHandle\n");
    VARSTRING* id = GetDeviceId("comm/datamodem");
    if (id == nullptr) {
        return 0;
    }
    int fd = -1;
    std::string path;
    if (id->dwStringOffset >= sizeof(VARSTRING) && id->dwStringSize >= sizeof(std::int32_t) + 1 &&
        id->dwStringOffset + id->dwStringSize <= id->dwTotalSize) {
        const char* payload = reinterpret_cast<const char*>(id) + id->dwStringOffset;
        std::int32_t handle = -1;
        std::memcpy(&handle, payload, sizeof handle);
        fd = handle;
        path.assign(payload + sizeof handle,
                    strnlen(payload + sizeof handle, id->dwStringSize - sizeof handle));
    }
    FreeBuffer(id);
    vardex::platform::SysError error;
    CommHandle port = vardex::platform::SerialPort::Adopt(fd, path, &error);
    if (!port) {
        return 0;
    }
    // A new channel: the loss of the one before is not this one's.
    AdoptHandle(port);
    m_strOpenedPath = path;
    m_bLineChannel = true;
    vardex::platform::LineSettings settings;
    port->GetState(&settings);
    port->SetTimeouts(DefaultCommTimeouts());
    if (port->GetState(&settings)) {
        port->SetState(settings);
    }
    port->SetEventMask(0x1);  // EV_RXCHAR
    char scratch[260];
    std::size_t count = 0;
    for (const std::string_view command : at::kLineStartUp) {
        const std::string line = at::Line(command);
        Write(line.data(), line.size(), &count);
        ReadAnswer(scratch, 259);
    }
    return 1;
}

int CTapiLine::GetPortName(std::string* name) {
    Trace("GetPortName\n");
    VARSTRING* id = GetDeviceId("comm/datamodem/portname");
    if (id == nullptr) {
        return 0;
    }
    std::string text = BlockString(id, id->dwTotalSize, id->dwStringOffset, id->dwStringSize);
    FreeBuffer(id);
    *name = text.substr(0, 59);
    return 1;
}

int CTapiLine::StopCall() {
    if (m_bStopping != 0 || m_bCallInProgress == 0) {
        return 1;
    }
    m_bStopping = 1;
    Trace("Stopping Call in progress\n");
    if (m_hCall != 0) {
        auto* status = static_cast<LINECALLSTATUS*>(CheckAndReAllocBuffer(nullptr, 56));
        if (status == nullptr) {
            Shutdown();
            m_bStopping = 0;
            return 0;
        }
        tapi::lineGetCallStatus(m_hCall, status);
        if ((status->dwCallState & LINECALLSTATE_IDLE) == 0) {
            WaitForReply(tapi::lineDrop(m_hCall, nullptr, 0));
            Trace("Call Dropped.\n");
        }
        if (HandleLineError(tapi::lineDeallocateCall(m_hCall)) == 0) {
            Trace("lineDeallocateCall unhandled error\n");
        }
        Trace("Call Deallocated.\n");
        FreeBuffer(status);
    }
    if (m_hLine != 0) {
        if (HandleLineError(tapi::lineClose(m_hLine)) == 0) {
            Trace("lineClose unhandled error\n");
        }
        Trace("Line Closed.\n");
    }
    m_hCall = 0;
    m_hLine = 0;
    m_bCallInProgress = 0;
    m_bStopping = 0;
    Trace("Call stopped\n");
    return 1;
}

int CTapiLine::Shutdown() {
    if (m_hLineApp == 0 || m_bShuttingDown != 0) {
        return 1;
    }
    m_bShuttingDown = 1;
    StopCall();
    if (HandleLineError(tapi::lineShutdown(m_hLineApp)) == 0) {
        Trace("lineShutdown unhandled error\n");
    }
    m_bCallInProgress = 0;
    m_hLineApp = 0;
    m_hCall = 0;
    m_hLine = 0;
    // What the ended service still had queued is about calls that are gone.
    m_host.Queue().DropAll();
    m_bShuttingDown = 0;
    Trace("TAPI uninitialized.\n");
    return 1;
}

int CTapiLine::MakeCall(LINEDEVCAPS* /*capabilities*/, DWORD device) {
    LINEADDRESSCAPS* address = GetAddressCaps(nullptr, device, 0, m_dwApiVersion, 0);
    LINECALLPARAMS* params = address != nullptr ? CreateCallParams(nullptr, "") : nullptr;
    bool ok = false;
    if (params != nullptr) {
        const LONG result = WaitForReply(tapi::lineMakeCall(m_hLine, &m_hCall, nullptr, 0, params));
        if (result == 1) {
            Trace("While Dialing, WaitForReply aborted.\n");
        } else if (HandleLineError(result) == 0) {
            Trace("lineMakeCall unhandled error\n");
        } else {
            ok = true;
        }
    }
    FreeBuffer(address);
    FreeBuffer(params);
    return ok ? 1 : 0;
}

}  // namespace vardex::link
