// The telephony provider. A "line" is a modem-class serial device; opening the
// line takes the device exclusively, and a "call" on it is the pass-through data
// connection, which connects as soon as the device is there (a tty whose other
// side answers). lineGetID hands the program a duplicate of the device's
// descriptor as the call's channel.
//
// Callbacks go to the queue named by the host services the program passes as
// its module instance, and run when a thread of the program dispatches it.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "line_registry.h"
#include "platform/unique_fd.h"

#pragma GCC visibility push(default)
#include "platform/tapi_api.h"

using namespace vardex::platform;
#pragma GCC visibility pop

namespace {

using vardex::provider::LineDevice;

constexpr DWORD kLowestVersion = 0x00010003;
constexpr DWORD kHighestVersion = 0x00020002;

struct App {
    LINECALLBACK callback = nullptr;
    const VardexHostServices* host = nullptr;
    void* queue = nullptr;
    std::vector<LineDevice> lines;
};

struct OpenLine {
    HLINEAPP app = 0;
    DWORD device = 0;
    vardex::platform::UniqueFd fd;
    DWORD_PTR instance = 0;
    HCALL call = 0;
};

struct Call {
    HLINE line = 0;
    DWORD state = LINECALLSTATE_IDLE;
};

struct Provider {
    std::mutex mutex;
    std::map<HLINEAPP, App> apps;
    std::map<HLINE, OpenLine> lines;
    std::map<HCALL, Call> calls;
    DWORD next_handle = 1;
    DWORD next_request = 1;
};

Provider& State() {
    static Provider provider;
    return provider;
}

struct Message {
    HLINEAPP app;
    DWORD device, message;
    DWORD_PTR instance, p1, p2, p3;
};

void Deliver(void* arg) {
    const Message* m = static_cast<Message*>(arg);
    LINECALLBACK callback = nullptr;
    {
        std::lock_guard lock(State().mutex);
        const auto it = State().apps.find(m->app);
        if (it != State().apps.end()) {
            callback = it->second.callback;
        }
    }
    const Message copy = *m;
    delete m;
    if (callback != nullptr) {
        callback(copy.device, copy.message, copy.instance, copy.p1, copy.p2, copy.p3);
    }
}

void Drop(void* arg) {
    delete static_cast<Message*>(arg);
}

// Under the state lock.
void Post(const App& app, HLINEAPP app_handle, DWORD device, DWORD message, DWORD_PTR instance,
          DWORD_PTR p1, DWORD_PTR p2 = 0, DWORD_PTR p3 = 0) {
    auto* m = new Message{app_handle, device, message, instance, p1, p2, p3};
    app.host->post(app.queue, Deliver, m, Drop);
}

DWORD NextHandle() {
    return State().next_handle++;
}

DWORD NextRequest() {
    DWORD id = State().next_request++;
    if (static_cast<LONG>(id) <= 0) {  // request identifiers stay positive
        State().next_request = 2;
        id = 1;
    }
    return id;
}

// A pass-through call connects when the device answers: a terminal whose other
// side is there. Anything else never raises its carrier.
bool DevicePresent(int fd) {
    if (::isatty(fd) == 0) {
        return false;
    }
    pollfd pfd{fd, POLLIN, 0};
    if (::poll(&pfd, 1, 0) < 0) {
        return false;
    }
    return (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) == 0;
}

// Fills the fixed part's sizes and copies the variable part when it fits.
template <typename T>
void FillVariable(T* block, const std::string& text, DWORD* size_field, DWORD* offset_field) {
    const DWORD fixed = sizeof(T);
    const DWORD needed = fixed + static_cast<DWORD>(text.size()) + 1;
    block->dwNeededSize = needed;
    block->dwUsedSize = fixed;
    if (block->dwTotalSize >= needed) {
        std::memcpy(reinterpret_cast<char*>(block) + fixed, text.c_str(), text.size() + 1);
        *size_field = static_cast<DWORD>(text.size()) + 1;
        *offset_field = fixed;
        block->dwUsedSize = needed;
    }
}

App* FindApp(HLINEAPP app) {
    const auto it = State().apps.find(app);
    return it == State().apps.end() ? nullptr : &it->second;
}

// The application and line a request names: 0, or the error to return.
LONG FindLine(HLINEAPP handle, DWORD device, const App** app) {
    *app = FindApp(handle);
    if (*app == nullptr) {
        return LINEERR_INVALAPPHANDLE;
    }
    return device < (*app)->lines.size() ? 0 : LINEERR_BADDEVICEID;
}

// A caller's fixed-size block cleared for filling, its size kept: 0, or the
// error when it is too small.
template <typename Block>
LONG ClearBlock(Block* block) {
    if (block->dwTotalSize < sizeof(Block)) {
        return LINEERR_STRUCTURETOOSMALL;
    }
    const DWORD total = block->dwTotalSize;
    std::memset(block, 0, sizeof(Block));
    block->dwTotalSize = total;
    return 0;
}

void CloseLineLocked(HLINE line) {
    const auto it = State().lines.find(line);
    if (it == State().lines.end()) {
        return;
    }
    if (it->second.call != 0) {
        State().calls.erase(it->second.call);
    }
    State().lines.erase(it);  // closes its descriptor
}

// A line's device has vanished when the name it was opened under is gone: a USB
// device's node goes when it is unplugged, and so does the name the simulator
// offers it under. A hang-up whose name stays is the device dropping its line,
// not vanishing.
bool Vanished(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) != 0 && (errno == ENOENT || errno == ENOTDIR);
}

// Under the state lock, at the start of every call on lines: each open line
// whose device vanished has its call disconnected and is closed, and the
// application is told so (LINE_CALLSTATE, then LINE_CLOSE). Its handles are
// forgotten: later calls with them fail harmlessly.
void SweepVanishedLocked() {
    std::vector<HLINE> gone;
    for (const auto& [handle, line] : State().lines) {
        const App* app = FindApp(line.app);
        if (app != nullptr && line.device < app->lines.size() &&
            Vanished(app->lines[line.device].path)) {
            gone.push_back(handle);
        }
    }
    for (const HLINE handle : gone) {
        const OpenLine& line = State().lines[handle];  // until it is closed below
        const App& app = *FindApp(line.app);
        if (line.call != 0) {
            Post(app, line.app, line.call, LINE_CALLSTATE, line.instance,
                 LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_UNAVAIL);
        }
        Post(app, line.app, handle, LINE_CLOSE, line.instance, 0);
        CloseLineLocked(handle);
    }
}

}  // namespace

extern "C" {

LONG lineInitialize(HLINEAPP* lphLineApp, HINSTANCE hInstance, LINECALLBACK lpfnCallback,
                    const char* /*lpszAppName*/, DWORD* lpdwNumDevs) {
    const auto* host = static_cast<const VardexHostServices*>(hInstance);
    if (lphLineApp == nullptr || lpdwNumDevs == nullptr || lpfnCallback == nullptr) {
        return LINEERR_INVALPOINTER;
    }
    if (host == nullptr || host->version < VARDEX_HOST_SERVICES_VERSION) {
        return LINEERR_INVALPARAM;
    }
    App app;
    app.callback = lpfnCallback;
    app.host = host;
    app.lines = vardex::provider::DiscoverLines();
    app.queue = host->acquire_queue(host->context);
    std::lock_guard lock(State().mutex);
    const HLINEAPP handle = NextHandle();
    *lpdwNumDevs = static_cast<DWORD>(app.lines.size());
    State().apps.emplace(handle, std::move(app));
    *lphLineApp = handle;
    return 0;
}

LONG lineNegotiateAPIVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPILowVersion,
                             DWORD dwAPIHighVersion, DWORD* lpdwAPIVersion,
                             void* /*lpExtensionID*/) {
    std::lock_guard lock(State().mutex);
    SweepVanishedLocked();
    const App* app = nullptr;
    if (const LONG error = FindLine(hLineApp, dwDeviceID, &app); error != 0) {
        return error;
    }
    if (lpdwAPIVersion == nullptr) {
        return LINEERR_INVALPOINTER;
    }
    struct stat info {};
    if (::stat(app->lines[dwDeviceID].path.c_str(), &info) != 0) {
        return LINEERR_NODEVICE;  // the device went away since the lines were counted
    }
    if (dwAPIHighVersion < kLowestVersion || dwAPILowVersion > kHighestVersion ||
        dwAPILowVersion > dwAPIHighVersion) {
        return LINEERR_INCOMPATIBLEAPIVERSION;
    }
    *lpdwAPIVersion = dwAPIHighVersion < kHighestVersion ? dwAPIHighVersion : kHighestVersion;
    return 0;
}

LONG lineGetDevCapsA(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD /*dwAPIVersion*/,
                     DWORD /*dwExtVersion*/, LINEDEVCAPS* lpLineDevCaps) {
    std::lock_guard lock(State().mutex);
    SweepVanishedLocked();
    const App* app = nullptr;
    if (const LONG error = FindLine(hLineApp, dwDeviceID, &app); error != 0) {
        return error;
    }
    if (lpLineDevCaps == nullptr) {
        return LINEERR_INVALPOINTER;
    }
    if (const LONG error = ClearBlock(lpLineDevCaps); error != 0) {
        return error;
    }
    lpLineDevCaps->dwPermanentLineID = dwDeviceID + 1;
    lpLineDevCaps->dwStringFormat = STRINGFORMAT_ASCII;
    lpLineDevCaps->dwAddressModes = LINEADDRESSMODE_ADDRESSID;
    lpLineDevCaps->dwNumAddresses = 1;
    lpLineDevCaps->dwBearerModes = LINEBEARERMODE_PASSTHROUGH;
    lpLineDevCaps->dwMaxRate = 115200;
    lpLineDevCaps->dwMediaModes = LINEMEDIAMODE_DATAMODEM | LINEMEDIAMODE_INTERACTIVEVOICE;
    lpLineDevCaps->dwLineFeatures = LINEFEATURE_MAKECALL;
    FillVariable(lpLineDevCaps, app->lines[dwDeviceID].product + " USB Modem",
                 &lpLineDevCaps->dwLineNameSize, &lpLineDevCaps->dwLineNameOffset);
    return 0;
}

LONG lineGetAddressCapsA(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAddressID,
                         DWORD /*dwAPIVersion*/, DWORD /*dwExtVersion*/,
                         LINEADDRESSCAPS* lpAddressCaps) {
    std::lock_guard lock(State().mutex);
    SweepVanishedLocked();
    const App* app = nullptr;
    if (const LONG error = FindLine(hLineApp, dwDeviceID, &app); error != 0) {
        return error;
    }
    if (dwAddressID != 0) {
        return LINEERR_INVALPARAM;
    }
    if (lpAddressCaps == nullptr) {
        return LINEERR_INVALPOINTER;
    }
    if (const LONG error = ClearBlock(lpAddressCaps); error != 0) {
        return error;
    }
    lpAddressCaps->dwLineDeviceID = dwDeviceID;
    lpAddressCaps->dwCallStates = LINECALLSTATE_IDLE | LINECALLSTATE_PROCEEDING |
                                  LINECALLSTATE_CONNECTED | LINECALLSTATE_DISCONNECTED;
    lpAddressCaps->dwMaxNumActiveCalls = 1;
    FillVariable(lpAddressCaps, app->lines[dwDeviceID].path, &lpAddressCaps->dwAddressSize,
                 &lpAddressCaps->dwAddressOffset);
    return 0;
}

LONG lineOpenA(HLINEAPP hLineApp, DWORD dwDeviceID, HLINE* lphLine, DWORD dwAPIVersion,
               DWORD /*dwExtVersion*/, DWORD_PTR dwCallbackInstance, DWORD /*dwPrivileges*/,
               DWORD /*dwMediaModes*/, const LINECALLPARAMS* /*lpCallParams*/) {
    std::lock_guard lock(State().mutex);
    SweepVanishedLocked();
    const App* app = nullptr;
    if (const LONG error = FindLine(hLineApp, dwDeviceID, &app); error != 0) {
        return error;
    }
    if (lphLine == nullptr) {
        return LINEERR_INVALPOINTER;
    }
    if (dwAPIVersion < kLowestVersion || dwAPIVersion > kHighestVersion) {
        return LINEERR_INCOMPATIBLEAPIVERSION;
    }
    const std::string& path = app->lines[dwDeviceID].path;
    vardex::platform::UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) {
        return errno == ENOENT || errno == ENXIO ? LINEERR_NODEVICE : LINEERR_RESOURCEUNAVAIL;
    }
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        return LINEERR_ALLOCATED;  // another program holds the device
    }
    (void)::ioctl(fd.get(), TIOCEXCL);
    const HLINE handle = NextHandle();
    OpenLine line;
    line.app = hLineApp;
    line.device = dwDeviceID;
    line.fd = std::move(fd);
    line.instance = dwCallbackInstance;
    State().lines.emplace(handle, std::move(line));
    *lphLine = handle;
    return 0;
}

LONG lineMakeCallA(HLINE hLine, HCALL* lphCall, const char* /*lpszDestAddress*/,
                   DWORD /*dwCountryCode*/, const LINECALLPARAMS* /*lpCallParams*/) {
    std::lock_guard lock(State().mutex);
    SweepVanishedLocked();
    const auto it = State().lines.find(hLine);
    if (it == State().lines.end()) {
        return LINEERR_INVALLINEHANDLE;
    }
    if (lphCall == nullptr) {
        return LINEERR_INVALPOINTER;
    }
    OpenLine& line = it->second;
    if (line.call != 0) {
        return LINEERR_INVALCALLSTATE;
    }
    const App* app = FindApp(line.app);
    if (app == nullptr) {
        return LINEERR_INVALAPPHANDLE;
    }
    const HCALL call = NextHandle();
    const DWORD request = NextRequest();
    line.call = call;
    *lphCall = call;
    State().calls[call] = Call{hLine, LINECALLSTATE_PROCEEDING};
    Post(*app, line.app, call, LINE_CALLSTATE, line.instance, LINECALLSTATE_PROCEEDING);
    if (DevicePresent(line.fd.get())) {
        State().calls[call].state = LINECALLSTATE_CONNECTED;
        Post(*app, line.app, call, LINE_CALLSTATE, line.instance, LINECALLSTATE_CONNECTED);
        Post(*app, line.app, 0, LINE_REPLY, line.instance, request, 0);
    }
    // Without the device the call stays proceeding until it is dropped.
    return static_cast<LONG>(request);
}

LONG lineGetIDA(HLINE hLine, DWORD /*dwAddressID*/, HCALL /*hCall*/, DWORD /*dwSelect*/,
                VARSTRING* lpDeviceID, const char* lpszDeviceClass) {
    std::lock_guard lock(State().mutex);
    SweepVanishedLocked();
    const auto it = State().lines.find(hLine);
    if (it == State().lines.end()) {
        return LINEERR_INVALLINEHANDLE;
    }
    if (lpDeviceID == nullptr || lpszDeviceClass == nullptr) {
        return LINEERR_INVALPOINTER;
    }
    if (lpDeviceID->dwTotalSize < sizeof(VARSTRING)) {
        return LINEERR_STRUCTURETOOSMALL;
    }
    const OpenLine& line = it->second;
    const App* app = FindApp(line.app);
    if (app == nullptr) {
        return LINEERR_INVALAPPHANDLE;
    }
    const std::string& path = app->lines[line.device].path;
    const std::string device_class = lpszDeviceClass;
    const DWORD total = lpDeviceID->dwTotalSize;
    std::memset(lpDeviceID, 0, sizeof(VARSTRING));
    lpDeviceID->dwTotalSize = total;
    const DWORD fixed = sizeof(VARSTRING);
    if (device_class == "comm/datamodem/portname") {
        lpDeviceID->dwStringFormat = STRINGFORMAT_ASCII;
        FillVariable(lpDeviceID, path, &lpDeviceID->dwStringSize, &lpDeviceID->dwStringOffset);
        return 0;
    }
    if (device_class != "comm/datamodem") {
        return LINEERR_OPERATIONUNAVAIL;
    }
    const auto call = State().calls.find(line.call);
    if (call == State().calls.end() || call->second.state != LINECALLSTATE_CONNECTED) {
        return LINEERR_INVALCALLSTATE;
    }
    const DWORD payload = static_cast<DWORD>(sizeof(int32_t) + path.size() + 1);
    lpDeviceID->dwNeededSize = fixed + payload;
    lpDeviceID->dwUsedSize = fixed;
    lpDeviceID->dwStringFormat = STRINGFORMAT_BINARY;
    if (total < fixed + payload) {
        return 0;  // the caller grows the block and asks again
    }
    const int copy = ::fcntl(line.fd.get(), F_DUPFD_CLOEXEC, 0);
    if (copy < 0) {
        return LINEERR_RESOURCEUNAVAIL;
    }
    char* out = reinterpret_cast<char*>(lpDeviceID) + fixed;
    const int32_t handle = copy;
    std::memcpy(out, &handle, sizeof handle);
    std::memcpy(out + sizeof handle, path.c_str(), path.size() + 1);
    lpDeviceID->dwStringSize = payload;
    lpDeviceID->dwStringOffset = fixed;
    lpDeviceID->dwUsedSize = fixed + payload;
    return 0;
}

LONG lineGetCallStatus(HCALL hCall, LINECALLSTATUS* lpCallStatus) {
    std::lock_guard lock(State().mutex);
    SweepVanishedLocked();
    const auto it = State().calls.find(hCall);
    if (it == State().calls.end()) {
        return LINEERR_INVALCALLHANDLE;
    }
    if (lpCallStatus == nullptr) {
        return LINEERR_INVALPOINTER;
    }
    if (lpCallStatus->dwTotalSize < sizeof(LINECALLSTATUS)) {
        return LINEERR_STRUCTURETOOSMALL;
    }
    const DWORD total = lpCallStatus->dwTotalSize;
    std::memset(lpCallStatus, 0, sizeof(LINECALLSTATUS));
    lpCallStatus->dwTotalSize = total;
    lpCallStatus->dwNeededSize = sizeof(LINECALLSTATUS);
    lpCallStatus->dwUsedSize = sizeof(LINECALLSTATUS);
    lpCallStatus->dwCallState = it->second.state;
    lpCallStatus->dwCallPrivilege = LINECALLPRIVILEGE_OWNER;
    return 0;
}

LONG lineDrop(HCALL hCall, const char* /*lpsUserUserInfo*/, DWORD /*dwSize*/) {
    std::lock_guard lock(State().mutex);
    SweepVanishedLocked();
    const auto it = State().calls.find(hCall);
    if (it == State().calls.end()) {
        return LINEERR_INVALCALLHANDLE;
    }
    const auto line = State().lines.find(it->second.line);
    const App* app = line == State().lines.end() ? nullptr : FindApp(line->second.app);
    if (app == nullptr) {
        return LINEERR_INVALLINEHANDLE;
    }
    const DWORD request = NextRequest();
    it->second.state = LINECALLSTATE_IDLE;
    Post(*app, line->second.app, hCall, LINE_CALLSTATE, line->second.instance,
         LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NORMAL);
    Post(*app, line->second.app, hCall, LINE_CALLSTATE, line->second.instance, LINECALLSTATE_IDLE);
    Post(*app, line->second.app, 0, LINE_REPLY, line->second.instance, request, 0);
    return static_cast<LONG>(request);
}

LONG lineDeallocateCall(HCALL hCall) {
    std::lock_guard lock(State().mutex);
    const auto it = State().calls.find(hCall);
    if (it == State().calls.end()) {
        return LINEERR_INVALCALLHANDLE;
    }
    const auto line = State().lines.find(it->second.line);
    if (line != State().lines.end() && line->second.call == hCall) {
        line->second.call = 0;
    }
    State().calls.erase(it);
    return 0;
}

LONG lineClose(HLINE hLine) {
    std::lock_guard lock(State().mutex);
    if (State().lines.find(hLine) == State().lines.end()) {
        return LINEERR_INVALLINEHANDLE;
    }
    CloseLineLocked(hLine);
    return 0;
}

LONG lineShutdown(HLINEAPP hLineApp) {
    std::lock_guard lock(State().mutex);
    const auto it = State().apps.find(hLineApp);
    if (it == State().apps.end()) {
        return LINEERR_INVALAPPHANDLE;
    }
    std::vector<HLINE> owned;
    for (const auto& [handle, line] : State().lines) {
        if (line.app == hLineApp) {
            owned.push_back(handle);
        }
    }
    for (const HLINE handle : owned) {
        CloseLineLocked(handle);
    }
    it->second.host->release_queue(it->second.queue);
    State().apps.erase(it);
    return 0;
}

}  // extern "C"
