// CTapiLine owns the one channel to the device and performs its I/O. The
// channel is a serial port opened by name, or (on USB) the port of a modem-line
// call handed over by the telephony provider.
//
// Blocking: Write ends when everything is written or after the write time-out
// (kWriteTotalMs as configured); Read ends after one silent period (the total read
// time-out with nothing, or the interval time-out after a byte), at once when
// the data ends in NAK, or when the count is reached.
// Threads: one Read and one Write may run at once from two threads; opening and
// closing must not race with other calls of the same object except through the
// channel handle, which keeps a port alive while a call in flight uses it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>

#include <vector>

#include "link/channel.h"
#include "link/device_list.h"
#include "link/port_problems.h"
#include "link/user_prompts.h"
#include "platform/message_queue.h"
#include "platform/serial_port.h"
#include "platform/sys_error.h"
#include "platform/tapi_api.h"

namespace vardex::link {

// The search probes COM1..COM10.
inline constexpr std::uint32_t kSearchedComPorts = 10;
// Row count of the device table at least: rows 1..10 serve COM1..COM10.
inline constexpr std::size_t kMinDeviceRows = kSearchedComPorts + 1;
// The device table row that a port opened by path (not by search) is named in.
inline constexpr std::uint32_t kDirectPortRow = 0;

class CTapiLine {
public:
    // The object the telephony callback serves: the one constructed last.
    CTapiLine();
    ~CTapiLine();
    CTapiLine(const CTapiLine&) = delete;
    CTapiLine& operator=(const CTapiLine&) = delete;

    // OpenResult::kOk, or the result of the step that failed, the port closed
    // again. Blocks for the settle delay (kSettleDelayMs) plus the
    // replies to three initialisation lines. A network port whose server
    // closed the connection while it was being set up is tried again, at most
    // twice (see OpenPortOnce).
    OpenResult OpenPort(const std::string& name, std::uint32_t baud);
    void ClosePort();
    // Sets up the open channel: the line settings at baud, the time-outs, the
    // init lines (their replies thrown away), the settle delay, then CTS and
    // DSR; the channel is armed (DSR events, purge, DTR on) when all went well.
    // OpenResult::kOk, or the result of the step that failed (kGetSettingsFailed ..
    // kNotReady) with the channel still open for the caller to close;
    // *error, when given, is set to the port's error of that step.
    OpenResult ConfigureChannel(std::uint32_t baud, std::span<const std::string_view> init_lines,
                                vardex::platform::SysError* error);

    // Always 1; the outcome is the byte count. A failed request closes the channel.
    int Write(const void* data, std::size_t count, std::size_t* written);
    // Always 1; buffer must hold count + 1 bytes, the data is NUL-terminated.
    int Read(char* buffer, std::size_t count, std::size_t* received);
    // One read of the port that also ends as soon as the data ends in the last
    // byte a final result code can end in ("\n", "?", " ") or in NAK, so that
    // the exchange sees the end of a reply at once; guard: bounded by the guard
    // time after a final result code instead of the read time-out. No NUL is
    // stored; the byte count. A failed read closes the channel.
    std::size_t ReadSome(char* buffer, std::size_t count, bool guard = false);
    // An answer to a line of the set-up or the search: in the early timing it
    // ends once its final result code has come and the guard stayed quiet (or
    // on NAK, or silence), in the design's on count bytes or silence. buffer
    // must hold count + 1 bytes; the text is NUL-terminated; the byte count.
    std::size_t ReadAnswer(char* buffer, std::size_t count);
    // One read of the port with the configured time-outs and no stop bytes:
    // bounded by the total read time-out even while bytes keep coming. No NUL is
    // stored; the byte count. A failed read closes the channel.
    std::size_t ReadOnce(char* buffer, std::size_t count);
    // The buffer as text (NUL-terminated inside size), or null when nothing came
    // or the guard failed. *length, when given, is the number of bytes stored.
    char* ReadUntilNak(char* buffer, std::size_t size, std::size_t* length = nullptr);
    int SetReadTimeout(std::uint32_t ms);
    void PurgeInput();
    CommHandle GetHandle() const;

    // ---- telephony side: modem lines through the provider ----
    // One thread at a time: the thread of the running job (or, at exit, the UI
    // thread). The provider's callbacks go to this object's own queue, which
    // lives as long as the object, and arrive only while a thread waits in
    // WaitForReply.
    int Initialize(const char* application_name);
    SearchResult EnumerateLines(IProgressBar* progress, IUserPrompts* prompts, DWORD* api_version,
                                LINEDEVCAPS** capabilities);
    LINEDEVCAPS* GetDevCaps(LINEDEVCAPS* buffer, DWORD device, DWORD api_version);
    LINEADDRESSCAPS* GetAddressCaps(LINEADDRESSCAPS* buffer, DWORD device, DWORD address,
                                    DWORD api_version, DWORD ext_version);
    LINECALLPARAMS* CreateCallParams(LINECALLPARAMS* buffer, const char* address);
    int MakeCall(LINEDEVCAPS* capabilities, DWORD device);
    LONG WaitForReply(LONG request);
    static void lineCallbackFunc(DWORD device, DWORD message, DWORD_PTR instance, DWORD_PTR param1,
                                 DWORD_PTR param2, DWORD_PTR param3);
    void OnCallState(DWORD call, DWORD state, DWORD detail);
    int GetTapiHandle();
    int GetPortName(std::string* name);
    int HandleLineError(LONG result);
    int StopCall();
    int Shutdown();
    static void* CheckAndReAllocBuffer(void* block, std::size_t size);
    // The queue the provider's callbacks go to (tests post to it as the
    // provider would).
    vardex::platform::MessageQueue& CallbackQueue() const { return m_host.Queue(); }
    const VardexHostServices* HostServices() const { return m_host.Get(); }
    static void FreeBuffer(void* block);

    // ---- the device search ----
    // Probes the modem lines, then COM1..COM10, lets the person choose, and leaves
    // the chosen channel open. *result: the search's result and, once it chose a
    // port, opening it. Left untouched when the search could not start.
    void FindDevice(IProgressBar* progress, IUserPrompts* prompts, ConnectResult* result);
    // Names the device in a port opened by path instead of by search; a channel
    // lost later is opened again by that path (an empty one: by the search).
    void SelectDirectPort(const std::string& path);
    // The port named by path (SelectDirectPort) when it is the chosen one; empty
    // when the device was found by the search.
    std::string DirectPortPath() const;

    const std::vector<DeviceEntry>& Devices() const { return m_devices; }
    std::uint32_t SelectedIndex() const { return m_dwSelected; }
    DWORD LineDeviceCount() const { return m_dwNumDevs; }
    bool TelephonyInitialised() const { return m_hLineApp != 0; }
    bool CallInProgress() const { return m_bCallInProgress != 0; }
    // Ports and lines of the last search that were refused or busy.
    const std::vector<PortFailure>& PortFailures() const { return m_portFailures; }

    // The port path behind the last OpenPort, and the OS error of its failure.
    const std::string& OpenedPath() const { return m_strOpenedPath; }
    // Whether the open channel is the device's own USB port: a modem line's
    // call, or a port opened by name that is a USB modem (CDC-ACM) device. A
    // USB-serial adapter carries the device's RS-232 port and does not count.
    bool UsbConnection() const;
    const vardex::platform::SysError& LastOpenError() const { return m_lastOpenError; }
    void NoteOpenError(const vardex::platform::SysError& error) { m_lastOpenError = error; }

    // Whether the device went away under the open channel (a read, a write or
    // the status failed as on a device that vanished) since it was opened: a
    // job that fails then says so, not that no varDex was found.
    bool LinkLost() const { return m_bLinkLost.load(); }

    // Closing without the orderly part of ClosePort (no DTR drop, no purge).
    void CloseHandleOnly();
    // Takes over a channel that was opened elsewhere (a modem-line call).
    void AdoptHandle(CommHandle handle);

    // The guard shared by every guarded operation: 1 when the channel is open
    // with DSR on; 0 otherwise (a failed status query closes the handle).
    int Guard();

private:
    OpenResult OpenPortOnce(const std::string& name, std::uint32_t baud);
    void SetHandle(CommHandle handle);
    // Notes a vanished device when the failed call on port says so.
    void NoteFailure(const CommHandle& port);
    void BuildDeviceTable(std::size_t rows);
    // The variable-size query pattern: grow to dwNeededSize and ask again.
    VARSTRING* GetDeviceId(const char* device_class);
    void OpenChosenLine(LINEDEVCAPS* capabilities);
    void ScanComPorts(IProgressBar* progress, IUserPrompts* prompts, ConnectResult* result);
    // After an "ATI4" that no varDex answered: waits for a firmware loader's
    // NAK (up to 33 s). kNak a loader waits (the channel stays open), kError
    // the port reported "error", kNone neither (the channel stays open for the
    // caller).
    enum class LoaderHeard { kNone, kNak, kError };
    LoaderHeard AwaitLoader();
    // What probing one COM port found; the channel stays open only where a
    // loader waits behind it.
    struct ComProbe {
        OpenResult opened = OpenResult::kOk;
        std::string path;
        vardex::platform::SysError error;
        std::string reply;
        bool names_vardex = false;
        LoaderHeard loader = LoaderHeard::kNone;
        CommHandle channel;
    };
    // Opens COMn on a line of its own and asks it: the ports are probed at
    // once, each on its own thread, so that one slow port does not hold up
    // the others. A port that did not answer "ATI4" at all listens for a
    // loader's NAK for up to half a minute; before it does, listen gets its
    // channel, whose waits the scan may cancel, and may refuse (false): the
    // answering ports are known, and the silent one is let go.
    static ComProbe ProbeComPort(std::uint32_t n,
                                 const std::function<bool(const CommHandle&)>& listen);
    // A line that only probes a port: no telephony, no provider callbacks.
    struct ProbeOnly {};
    explicit CTapiLine(ProbeOnly);
    // Hands the open channel over without closing or cancelling it.
    CommHandle ReleaseHandle();
    // The same for a modem line, whose reply first tells whether to wait at all.
    LoaderHeard WaitForLoader(const std::string& reply);
    // Remembers why a line could not be opened, when the person can act on it.
    void NoteLineFailure(DWORD device, const std::string& name);

    mutable std::mutex m_handleMutex;  // guards m_hComm itself, not I/O on it
    CommHandle m_hComm;
    std::string m_strOpenedPath;
    bool m_bLineChannel = false;  // the channel came from a modem line's call
    vardex::platform::SysError m_lastOpenError;
    std::atomic<bool> m_bLinkLost{false};
    std::vector<PortFailure> m_portFailures;
    std::string m_strDirectPort;  // the port named by path, until a search

    std::vector<DeviceEntry> m_devices;
    DWORD m_dwNumDevs = 0xFFFFFFFF;
    std::uint32_t m_dwSelected = 0;
    LONG m_lRequest = 0;
    LONG m_lDefaultReply = 0;
    bool m_bConnectedEvent = false;  // auto-reset: taken by the wait that sees it
    int m_bShuttingDown = 0;
    int m_bStopping = 0;
    int m_bInitialising = 0;
    LONG m_lReplyStatus = 0;
    int m_bCallInProgress = 0;
    vardex::platform::HostServices m_host{std::make_shared<vardex::platform::MessageQueue>()};
    HLINEAPP m_hLineApp = 0;
    HCALL m_hCall = 0;
    HLINE m_hLine = 0;
    DWORD m_dwApiVersion = 0;
};

}  // namespace vardex::link
