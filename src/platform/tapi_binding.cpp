#include "tapi_binding.h"

#include <dlfcn.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "platform/environment.h"
#include "platform/trace.h"

namespace vardex::platform::tapi {
namespace {

constexpr const char* kLibraryName = "libvardex-tapi.so";

enum Function : std::size_t {
    kLineClose,
    kLineDeallocateCall,
    kLineDrop,
    kLineGetAddressCaps,
    kLineGetCallStatus,
    kLineGetDevCaps,
    kLineGetID,
    kLineInitialize,
    kLineMakeCall,
    kLineNegotiateAPIVersion,
    kLineOpen,
    kLineShutdown,
    kFunctionCount
};

constexpr std::array<const char*, kFunctionCount> kExportNames = {
    "lineClose",         "lineDeallocateCall",      "lineDrop",   "lineGetAddressCapsA",
    "lineGetCallStatus", "lineGetDevCapsA",         "lineGetIDA", "lineInitialize",
    "lineMakeCallA",     "lineNegotiateAPIVersion", "lineOpenA",  "lineShutdown"};

struct Binding {
    std::mutex mutex;
    bool module_tried = false;
    void* module = nullptr;
    std::string module_path;
    std::array<bool, kFunctionCount> tried{};
    std::array<void*, kFunctionCount> address{};
};

Binding& TheBinding() {
    static Binding binding;
    return binding;
}

std::string ExecutableDirectory() {
    std::vector<char> path(4096);
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (n <= 0) {
        return {};
    }
    std::string text(path.data(), static_cast<std::size_t>(n));
    const auto slash = text.rfind('/');
    return slash == std::string::npos ? std::string() : text.substr(0, slash);
}

std::vector<std::string> Candidates() {
    if (const char* forced = std::getenv(vardex::platform::env::kTapiProvider)) {
        return {forced};
    }
    std::vector<std::string> paths;
    const std::string dir = ExecutableDirectory();
    if (!dir.empty()) {
        paths.push_back(dir + "/" + kLibraryName);
        // Installed: a private directory beside bin/ (the package's layout),
        // or lib/ itself (an install under a prefix of one's own).
        paths.push_back(dir + "/../lib/vardex-config/" + kLibraryName);
        paths.push_back(dir + "/../lib/" + kLibraryName);
    }
#ifdef VARDEX_PROVIDER_BUILD_PATH
    paths.emplace_back(VARDEX_PROVIDER_BUILD_PATH);
#endif
    paths.emplace_back(kLibraryName);
    return paths;
}

void* Resolve(Function function) {
    Binding& b = TheBinding();
    std::lock_guard lock(b.mutex);
    if (!b.module_tried) {
        b.module_tried = true;
        for (const auto& candidate : Candidates()) {
            const bool by_name = candidate.find('/') == std::string::npos;
            if (!by_name && ::access(candidate.c_str(), R_OK) != 0) {
                continue;
            }
            b.module = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (b.module != nullptr) {
                b.module_path = candidate;
                break;
            }
            Trace("Telephony provider %s not loaded: %s\n", candidate.c_str(), ::dlerror());
        }
    }
    if (!b.tried[function]) {
        b.tried[function] = true;
        b.address[function] =
            b.module != nullptr ? ::dlsym(b.module, kExportNames[function]) : nullptr;
    }
    return b.address[function];
}

template <typename Fn>
Fn Get(Function function) {
    return reinterpret_cast<Fn>(Resolve(function));
}

}  // namespace

#define VARDEX_STUB(FUNCTION_ID, FN_TYPE, ...) \
    const auto fn = Get<FN_TYPE>(FUNCTION_ID); \
    return fn == nullptr ? LINEERR_OPERATIONUNAVAIL : fn(__VA_ARGS__)

LONG lineClose(HLINE hLine) {
    VARDEX_STUB(kLineClose, LONG(*)(HLINE), hLine);
}

LONG lineDeallocateCall(HCALL hCall) {
    VARDEX_STUB(kLineDeallocateCall, LONG(*)(HCALL), hCall);
}

LONG lineDrop(HCALL hCall, const char* lpsUserUserInfo, DWORD dwSize) {
    VARDEX_STUB(kLineDrop, LONG(*)(HCALL, const char*, DWORD), hCall, lpsUserUserInfo, dwSize);
}

LONG lineGetAddressCaps(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAddressID, DWORD dwAPIVersion,
                        DWORD dwExtVersion, LINEADDRESSCAPS* lpAddressCaps) {
    VARDEX_STUB(kLineGetAddressCaps,
                LONG(*)(HLINEAPP, DWORD, DWORD, DWORD, DWORD, LINEADDRESSCAPS*), hLineApp,
                dwDeviceID, dwAddressID, dwAPIVersion, dwExtVersion, lpAddressCaps);
}

LONG lineGetCallStatus(HCALL hCall, LINECALLSTATUS* lpCallStatus) {
    VARDEX_STUB(kLineGetCallStatus, LONG(*)(HCALL, LINECALLSTATUS*), hCall, lpCallStatus);
}

LONG lineGetDevCaps(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtVersion,
                    LINEDEVCAPS* lpLineDevCaps) {
    VARDEX_STUB(kLineGetDevCaps, LONG(*)(HLINEAPP, DWORD, DWORD, DWORD, LINEDEVCAPS*), hLineApp,
                dwDeviceID, dwAPIVersion, dwExtVersion, lpLineDevCaps);
}

LONG lineGetID(HLINE hLine, DWORD dwAddressID, HCALL hCall, DWORD dwSelect, VARSTRING* lpDeviceID,
               const char* lpszDeviceClass) {
    VARDEX_STUB(kLineGetID, LONG(*)(HLINE, DWORD, HCALL, DWORD, VARSTRING*, const char*), hLine,
                dwAddressID, hCall, dwSelect, lpDeviceID, lpszDeviceClass);
}

LONG lineInitialize(HLINEAPP* lphLineApp, HINSTANCE hInstance, LINECALLBACK lpfnCallback,
                    const char* lpszAppName, DWORD* lpdwNumDevs) {
    VARDEX_STUB(kLineInitialize, LONG(*)(HLINEAPP*, HINSTANCE, LINECALLBACK, const char*, DWORD*),
                lphLineApp, hInstance, lpfnCallback, lpszAppName, lpdwNumDevs);
}

LONG lineMakeCall(HLINE hLine, HCALL* lphCall, const char* lpszDestAddress, DWORD dwCountryCode,
                  const LINECALLPARAMS* lpCallParams) {
    VARDEX_STUB(kLineMakeCall, LONG(*)(HLINE, HCALL*, const char*, DWORD, const LINECALLPARAMS*),
                hLine, lphCall, lpszDestAddress, dwCountryCode, lpCallParams);
}

LONG lineNegotiateAPIVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPILowVersion,
                             DWORD dwAPIHighVersion, DWORD* lpdwAPIVersion, void* lpExtensionID) {
    VARDEX_STUB(kLineNegotiateAPIVersion, LONG(*)(HLINEAPP, DWORD, DWORD, DWORD, DWORD*, void*),
                hLineApp, dwDeviceID, dwAPILowVersion, dwAPIHighVersion, lpdwAPIVersion,
                lpExtensionID);
}

LONG lineOpen(HLINEAPP hLineApp, DWORD dwDeviceID, HLINE* lphLine, DWORD dwAPIVersion,
              DWORD dwExtVersion, DWORD_PTR dwCallbackInstance, DWORD dwPrivileges,
              DWORD dwMediaModes, const LINECALLPARAMS* lpCallParams) {
    VARDEX_STUB(kLineOpen,
                LONG(*)(HLINEAPP, DWORD, HLINE*, DWORD, DWORD, DWORD_PTR, DWORD, DWORD,
                        const LINECALLPARAMS*),
                hLineApp, dwDeviceID, lphLine, dwAPIVersion, dwExtVersion, dwCallbackInstance,
                dwPrivileges, dwMediaModes, lpCallParams);
}

LONG lineShutdown(HLINEAPP hLineApp) {
    VARDEX_STUB(kLineShutdown, LONG(*)(HLINEAPP), hLineApp);
}

#undef VARDEX_STUB

std::string LoadedProviderPath() {
    Binding& b = TheBinding();
    std::lock_guard lock(b.mutex);
    return b.module_path;
}

void ResetBindingForTests() {
    Binding& b = TheBinding();
    std::lock_guard lock(b.mutex);
    b.module_tried = false;
    b.module = nullptr;
    b.module_path.clear();
    b.tried = {};
    b.address = {};
}

}  // namespace vardex::platform::tapi
