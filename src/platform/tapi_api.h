/* The telephony (modem-line) interface between the program and its provider
 * library. Plain C so that the provider, a shared library of its own, shares
 * nothing with the program but this header.
 *
 * Asynchronous functions return a positive request identifier; the outcome
 * arrives later as a LINE_REPLY callback. Callbacks are queued to the program's
 * queue for the service and delivered while a thread of the program dispatches
 * it (see message_queue.h: the "module instance" argument of lineInitialize is
 * the program's VardexHostServices). */
#ifndef VARDEX_TAPI_API_H
#define VARDEX_TAPI_API_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t DWORD;
typedef uintptr_t DWORD_PTR;
typedef int32_t LONG;
typedef DWORD HLINEAPP;
typedef DWORD HLINE;
typedef DWORD HCALL;
typedef const void* HINSTANCE;

typedef void (*LINECALLBACK)(DWORD hDevice, DWORD dwMessage, DWORD_PTR dwInstance,
                             DWORD_PTR dwParam1, DWORD_PTR dwParam2, DWORD_PTR dwParam3);

/* What the program hands lineInitialize as its module instance: the queue the
 * provider's callbacks go to. */
#define VARDEX_HOST_SERVICES_VERSION 2u
typedef struct VardexHostServices {
    unsigned version; /* VARDEX_HOST_SERVICES_VERSION */
    void* context;    /* the program's own; passed back to acquire_queue */
    /* A reference to the queue callbacks go to, kept until release_queue. */
    void* (*acquire_queue)(void* context);
    void (*release_queue)(void* queue);
    /* Queues fn(arg) to run when the queue is dispatched; when it cannot (the
     * queue is closed), drop(arg) runs at once instead. Returns 1 when queued. */
    int (*post)(void* queue, void (*fn)(void*), void* arg, void (*drop)(void*));
} VardexHostServices;

/* Result codes. */
#define LINEERR_ALLOCATED ((LONG)0x80000001)
#define LINEERR_BADDEVICEID ((LONG)0x80000002)
#define LINEERR_INCOMPATIBLEAPIVERSION ((LONG)0x8000000C)
#define LINEERR_INIFILECORRUPT ((LONG)0x8000000E)
#define LINEERR_INVALAPPHANDLE ((LONG)0x80000015)
#define LINEERR_INVALCALLHANDLE ((LONG)0x80000018)
#define LINEERR_INVALCALLSTATE ((LONG)0x8000001C)
#define LINEERR_INVALCARD ((LONG)0x8000001E)
#define LINEERR_INVALLINEHANDLE ((LONG)0x8000002B)
#define LINEERR_INVALLOCATION ((LONG)0x8000002D)
#define LINEERR_INVALPARAM ((LONG)0x80000032)
#define LINEERR_INVALPOINTER ((LONG)0x80000035)
#define LINEERR_NODEVICE ((LONG)0x80000042)
#define LINEERR_NODRIVER ((LONG)0x80000043)
#define LINEERR_NOMEM ((LONG)0x80000044)
#define LINEERR_OPERATIONFAILED ((LONG)0x80000048)
#define LINEERR_OPERATIONUNAVAIL ((LONG)0x80000049)
#define LINEERR_RESOURCEUNAVAIL ((LONG)0x8000004B)
#define LINEERR_STRUCTURETOOSMALL ((LONG)0x8000004D)
#define LINEERR_REINIT ((LONG)0x80000052)
#define LINEERR_NOMULTIPLEINSTANCE ((LONG)0x80000056)

/* Callback messages. */
#define LINE_CALLSTATE 2
#define LINE_CLOSE 3
#define LINE_REPLY 12
#define LINE_CREATE 19

/* Call states and disconnect details. */
#define LINECALLSTATE_IDLE 0x1
#define LINECALLSTATE_DIALTONE 0x8
#define LINECALLSTATE_DIALING 0x10
#define LINECALLSTATE_RINGBACK 0x20
#define LINECALLSTATE_BUSY 0x40
#define LINECALLSTATE_SPECIALINFO 0x80
#define LINECALLSTATE_CONNECTED 0x100
#define LINECALLSTATE_PROCEEDING 0x200
#define LINECALLSTATE_DISCONNECTED 0x4000

#define LINEDISCONNECTMODE_NORMAL 0x1
#define LINEDISCONNECTMODE_UNKNOWN 0x2
#define LINEDISCONNECTMODE_REJECT 0x4
#define LINEDISCONNECTMODE_PICKUP 0x8
#define LINEDISCONNECTMODE_FORWARDED 0x10
#define LINEDISCONNECTMODE_BUSY 0x20
#define LINEDISCONNECTMODE_NOANSWER 0x40
#define LINEDISCONNECTMODE_BADADDRESS 0x80
#define LINEDISCONNECTMODE_UNREACHABLE 0x100
#define LINEDISCONNECTMODE_CONGESTION 0x200
#define LINEDISCONNECTMODE_INCOMPATIBLE 0x400
#define LINEDISCONNECTMODE_UNAVAIL 0x800
#define LINEDISCONNECTMODE_NODIALTONE 0x1000

#define LINEBEARERMODE_PASSTHROUGH 0x40
#define LINEMEDIAMODE_INTERACTIVEVOICE 0x4
#define LINEMEDIAMODE_DATAMODEM 0x10
#define LINECALLPARAMFLAGS_IDLE 0x2
#define LINEADDRESSMODE_ADDRESSID 0x1
#define LINECALLPRIVILEGE_MONITOR 0x2
#define LINECALLPRIVILEGE_OWNER 0x4
#define LINEFEATURE_MAKECALL 0x8
#define LINECALLSELECT_LINE 0x1
#define STRINGFORMAT_ASCII 0x1
#define STRINGFORMAT_BINARY 0x4

/* Variable-size structures: dwTotalSize is the caller's block size, the provider
 * reports what it needs in dwNeededSize and what it filled in dwUsedSize; strings
 * follow the fixed part at the given offsets from the start of the block. */
typedef struct {
    DWORD dwTotalSize, dwNeededSize, dwUsedSize;
    DWORD dwProviderInfoSize, dwProviderInfoOffset;
    DWORD dwSwitchInfoSize, dwSwitchInfoOffset;
    DWORD dwPermanentLineID;
    DWORD dwLineNameSize, dwLineNameOffset;
    DWORD dwStringFormat;
    DWORD dwAddressModes, dwNumAddresses, dwBearerModes, dwMaxRate, dwMediaModes;
    DWORD dwLineFeatures;
    DWORD dwReserved[8];
} LINEDEVCAPS;

typedef struct {
    DWORD dwTotalSize, dwNeededSize, dwUsedSize;
    DWORD dwLineDeviceID;
    DWORD dwAddressSize, dwAddressOffset;
    DWORD dwAddressSharing, dwAddressStates, dwCallInfoStates, dwCallerIDFlags;
    DWORD dwCallStates, dwMaxNumActiveCalls, dwAddrCapFlags, dwCallFeatures;
    DWORD dwReserved[8];
} LINEADDRESSCAPS;

typedef struct {
    DWORD dwTotalSize, dwNeededSize, dwUsedSize;
    DWORD dwStringFormat, dwStringSize, dwStringOffset;
} VARSTRING;

typedef struct {
    DWORD dwTotalSize, dwNeededSize, dwUsedSize;
    DWORD dwCallState, dwCallStateMode, dwCallPrivilege, dwCallFeatures;
    DWORD dwDevSpecificSize, dwDevSpecificOffset;
    DWORD dwReserved[5];
} LINECALLSTATUS;

typedef struct {
    DWORD dwTotalSize;
    DWORD dwBearerMode, dwMinRate, dwMaxRate, dwMediaMode;
    DWORD dwCallParamFlags, dwAddressMode, dwAddressID;
    DWORD dwDialPause, dwDialSpeed, dwDigitDuration, dwWaitForDialtone;
    DWORD dwOrigAddressSize, dwOrigAddressOffset;
    DWORD dwDisplayableAddressSize, dwDisplayableAddressOffset;
    DWORD dwReserved[28];
} LINECALLPARAMS;

/* The handle that lineGetID hands out for "comm/datamodem": a file descriptor of
 * the device, opened and locked by the provider and duplicated for the caller,
 * who owns the duplicate; the device path follows it. */
typedef struct {
    int32_t fd;
    char path[1];
} VARDEX_COMM_HANDLE;

/* The provider's exports. */
LONG lineInitialize(HLINEAPP* lphLineApp, HINSTANCE hInstance, LINECALLBACK lpfnCallback,
                    const char* lpszAppName, DWORD* lpdwNumDevs);
LONG lineNegotiateAPIVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPILowVersion,
                             DWORD dwAPIHighVersion, DWORD* lpdwAPIVersion, void* lpExtensionID);
LONG lineGetDevCapsA(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtVersion,
                     LINEDEVCAPS* lpLineDevCaps);
LONG lineGetAddressCapsA(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAddressID, DWORD dwAPIVersion,
                         DWORD dwExtVersion, LINEADDRESSCAPS* lpAddressCaps);
LONG lineOpenA(HLINEAPP hLineApp, DWORD dwDeviceID, HLINE* lphLine, DWORD dwAPIVersion,
               DWORD dwExtVersion, DWORD_PTR dwCallbackInstance, DWORD dwPrivileges,
               DWORD dwMediaModes, const LINECALLPARAMS* lpCallParams);
LONG lineMakeCallA(HLINE hLine, HCALL* lphCall, const char* lpszDestAddress, DWORD dwCountryCode,
                   const LINECALLPARAMS* lpCallParams);
LONG lineGetIDA(HLINE hLine, DWORD dwAddressID, HCALL hCall, DWORD dwSelect, VARSTRING* lpDeviceID,
                const char* lpszDeviceClass);
LONG lineGetCallStatus(HCALL hCall, LINECALLSTATUS* lpCallStatus);
LONG lineDrop(HCALL hCall, const char* lpsUserUserInfo, DWORD dwSize);
LONG lineDeallocateCall(HCALL hCall);
LONG lineClose(HLINE hLine);
LONG lineShutdown(HLINEAPP hLineApp);

#ifdef __cplusplus
}
#endif

#endif /* VARDEX_TAPI_API_H */
