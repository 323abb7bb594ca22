// Run-time binding of the telephony provider. The provider library is loaded on
// the first call of any stub and each function is looked up on its stub's first
// call; the module and every address are cached, failures included, so that a
// missing library or function costs one attempt and then makes that stub answer
// LINEERR_OPERATIONUNAVAIL for good. The program starts and scans serial ports
// without any provider.
//
// Where the library is looked for: VARDEX_TAPI_PROVIDER (a path; nothing else is
// tried when it is set), then beside the executable, in ../lib from it, in the
// build tree, and by name through the dynamic loader.
#pragma once

#include <string>

#include "platform/tapi_api.h"

namespace vardex::platform::tapi {

LONG lineClose(HLINE hLine);
LONG lineDeallocateCall(HCALL hCall);
LONG lineDrop(HCALL hCall, const char* lpsUserUserInfo, DWORD dwSize);
LONG lineGetAddressCaps(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAddressID, DWORD dwAPIVersion,
                        DWORD dwExtVersion, LINEADDRESSCAPS* lpAddressCaps);
LONG lineGetCallStatus(HCALL hCall, LINECALLSTATUS* lpCallStatus);
LONG lineGetDevCaps(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtVersion,
                    LINEDEVCAPS* lpLineDevCaps);
LONG lineGetID(HLINE hLine, DWORD dwAddressID, HCALL hCall, DWORD dwSelect, VARSTRING* lpDeviceID,
               const char* lpszDeviceClass);
LONG lineInitialize(HLINEAPP* lphLineApp, HINSTANCE hInstance, LINECALLBACK lpfnCallback,
                    const char* lpszAppName, DWORD* lpdwNumDevs);
LONG lineMakeCall(HLINE hLine, HCALL* lphCall, const char* lpszDestAddress, DWORD dwCountryCode,
                  const LINECALLPARAMS* lpCallParams);
LONG lineNegotiateAPIVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPILowVersion,
                             DWORD dwAPIHighVersion, DWORD* lpdwAPIVersion, void* lpExtensionID);
LONG lineOpen(HLINEAPP hLineApp, DWORD dwDeviceID, HLINE* lphLine, DWORD dwAPIVersion,
              DWORD dwExtVersion, DWORD_PTR dwCallbackInstance, DWORD dwPrivileges,
              DWORD dwMediaModes, const LINECALLPARAMS* lpCallParams);
LONG lineShutdown(HLINEAPP hLineApp);

// The path the module was loaded from, or "" when it was not (yet) loaded.
std::string LoadedProviderPath();

// Forgets the cached module and addresses (the module stays mapped), so that a
// test can point VARDEX_TAPI_PROVIDER elsewhere. Not for use while calls run.
void ResetBindingForTests();

}  // namespace vardex::platform::tapi
