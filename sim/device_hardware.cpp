// The self-test circuits of the two analog ports, the D channel and the
// interboard bus, and the telephones a person (or a test script) handles.
//
// Test commands take a port number, 0 or 1; the "reset" forms that the program
// sends on Cancel use 2 for both ports. Ring, tone and metering pulses need the
// port taken out of normal operation first (AT/DISCPOTS); AT/CONPOTS gives the
// ports back and silences every test signal.
#include <algorithm>
#include <string>

#include "device.h"
#include "device_text.h"

namespace vardex::sim {
namespace {

constexpr int kBothPorts = 2;
constexpr std::string_view kDtmfKeys = "123456789*0#";
constexpr unsigned kChargeDefaultMs = 10000;
constexpr unsigned kChargeMaxMs = 600000;

// " n" behind the command: n is 0, 1 or, where allowed, 2 (both ports).
bool ReadPort(std::string_view* args, bool allow_both, int* port) {
    if (args->empty() || args->front() != ' ') {
        return false;
    }
    while (!args->empty() && args->front() == ' ') {
        args->remove_prefix(1);
    }
    unsigned value = 0;
    if (!ReadDecimal(args, &value) || value > (allow_both ? 2u : 1u)) {
        return false;
    }
    *port = static_cast<int>(value);
    return true;
}

bool OnlyPort(std::string_view args, bool allow_both, int* port) {
    return ReadPort(&args, allow_both, port) && args.empty();
}

Circuit PortCircuit(Circuit first, int port) {
    return static_cast<Circuit>(static_cast<int>(first) + port);
}

}  // namespace

void Device::StopTestSignals() {
    for (Pots& pots : pots_) {
        pots.disconnected = false;
        pots.ringing = false;
        pots.tone = false;
        pots.charge_until = kNever;
    }
}

void Device::LiftHandset(int port) {
    if (port < 0 || port > 1) {
        return;
    }
    Pots& pots = pots_[static_cast<std::size_t>(port)];
    pots.off_hook = true;
    pots.ringing = false;  // ring trip: lifting the handset stops the bell
}

void Device::ReplaceHandset(int port) {
    if (port < 0 || port > 1) {
        return;
    }
    Pots& pots = pots_[static_cast<std::size_t>(port)];
    pots.off_hook = false;
    pots.last_key = '\0';
    pots.key_down = false;
}

bool Device::PressKey(int port, char key) {
    const std::size_t at = kDtmfKeys.find(key);
    if (port < 0 || port > 1 || at == std::string_view::npos) {
        return false;
    }
    Pots& pots = pots_[static_cast<std::size_t>(port)];
    if (!pots.off_hook) {
        return true;  // no loop current, no tone: nothing to detect
    }
    // A faulty detector decodes the neighbouring tone pair.
    pots.last_key =
        Fault(PortCircuit(Circuit::kDtmf1, port)) ? kDtmfKeys[(at + 1) % kDtmfKeys.size()] : key;
    pots.key_down = true;
    return true;
}

PhoneState Device::Phone(int port) const {
    PhoneState state;
    if (port < 0 || port > 1) {
        return state;
    }
    const Pots& pots = pots_[static_cast<std::size_t>(port)];
    state.off_hook = pots.off_hook;
    state.ringing = pots.ringing;
    state.tone = pots.tone;
    state.charging = pots.charge_until != kNever && pots.charge_until > now_ms_;
    state.disconnected = pots.disconnected;
    return state;
}

void Device::SetFault(Circuit circuit, bool on) {
    faults_[static_cast<std::size_t>(circuit)] = on;
    // A generator that breaks while running goes quiet at once.
    if (on) {
        for (int port = 0; port < 2; ++port) {
            Pots& pots = pots_[static_cast<std::size_t>(port)];
            if (circuit == PortCircuit(Circuit::kRing1, port)) {
                pots.ringing = false;
            } else if (circuit == PortCircuit(Circuit::kTone1, port)) {
                pots.tone = false;
            } else if (circuit == PortCircuit(Circuit::kCharge1, port)) {
                pots.charge_until = kNever;
            }
        }
    }
}

void Device::StartCall(Line line, std::int64_t unit_ms) {
    const auto i = static_cast<std::size_t>(line);
    nv_.last_charge[i] = 0;
    call_unit_ms_[i] = std::max<std::int64_t>(1, unit_ms);
    call_due_[i] = now_ms_ + call_unit_ms_[i];
    SaveNv();
}

void Device::EndCall(Line line) {
    call_due_[static_cast<std::size_t>(line)] = kNever;
}

void Device::AddCall(Line line, std::uint32_t units) {
    const auto i = static_cast<std::size_t>(line);
    nv_.last_charge[i] = units;
    nv_.total_charge[i] += units;
    SaveNv();
}

Device::Reply Device::DoDisconnectPots(std::string_view args) {
    if (!args.empty()) {
        return Error();
    }
    for (Pots& pots : pots_) {
        pots.disconnected = true;
        pots.last_key = '\0';
        pots.key_down = false;
    }
    return Ok();
}

Device::Reply Device::DoConnectPots(std::string_view args) {
    if (!args.empty()) {
        return Error();
    }
    StopTestSignals();
    return Ok();
}

// "1" off hook, "0" on hook; for port 2 a bit mask of both ports. A faulty
// detector reads on hook whatever the handset does.
Device::Reply Device::DoHookState(std::string_view args) {
    int port = 0;
    if (!OnlyPort(args, true, &port)) {
        return Error();
    }
    auto off_hook = [this](int p) {
        return pots_[static_cast<std::size_t>(p)].off_hook &&
               !Fault(PortCircuit(Circuit::kHook1, p));
    };
    if (port == kBothPorts) {
        return Ok(std::to_string((off_hook(0) ? 1 : 0) | (off_hook(1) ? 2 : 0)));
    }
    return Ok(off_hook(port) ? "1" : "0");
}

// "1" when a key was decoded since the last AT/DTMFREAD, else "0".
Device::Reply Device::DoDtmfState(std::string_view args) {
    int port = 0;
    if (!OnlyPort(args, false, &port)) {
        return Error();
    }
    return Ok(pots_[static_cast<std::size_t>(port)].key_down ? "1" : "0");
}

// The last key decoded, as one character; just OK before any key. The key
// stays latched until the handset goes down or the ports are taken over again.
Device::Reply Device::DoDtmfRead(std::string_view args) {
    int port = 0;
    if (!OnlyPort(args, false, &port)) {
        return Error();
    }
    Pots& pots = pots_[static_cast<std::size_t>(port)];
    pots.key_down = false;
    if (pots.last_key == '\0') {
        return Ok();
    }
    return Ok(std::string(1, pots.last_key));
}

template <typename Act>
Device::Reply Device::OnPorts(std::string_view args, Act act) {
    int port = 0;
    if (!OnlyPort(args, true, &port)) {
        return Error();
    }
    for (int p = 0; p < 2; ++p) {
        if ((port == kBothPorts || p == port) && !act(p, pots_[static_cast<std::size_t>(p)])) {
            return Error();
        }
    }
    return Ok();
}

Device::Reply Device::DoRing(std::string_view args) {
    return OnPorts(args, [this](int p, Pots& pots) {
        if (!pots.disconnected) {
            return false;
        }
        // Off hook the ring trips at once; a broken generator rings nothing.
        pots.ringing = !pots.off_hook && !Fault(PortCircuit(Circuit::kRing1, p));
        return true;
    });
}

Device::Reply Device::DoNoRing(std::string_view args) {
    return OnPorts(args, [](int, Pots& pots) {
        pots.ringing = false;
        return true;
    });
}

Device::Reply Device::DoStartTone(std::string_view args) {
    return OnPorts(args, [this](int p, Pots& pots) {
        if (!pots.disconnected) {
            return false;
        }
        pots.tone = !Fault(PortCircuit(Circuit::kTone1, p));
        return true;
    });
}

Device::Reply Device::DoStopTone(std::string_view args) {
    return OnPorts(args, [](int, Pots& pots) {
        pots.tone = false;
        return true;
    });
}

// "AT/CHARGE n t": metering pulses on port n for t milliseconds (default
// 10000), or until AT/NOCHARGE.
Device::Reply Device::DoCharge(std::string_view args) {
    int port = 0;
    if (!ReadPort(&args, false, &port)) {
        return Error();
    }
    unsigned duration = kChargeDefaultMs;
    if (!args.empty()) {
        if (args.front() != ' ') {
            return Error();
        }
        while (!args.empty() && args.front() == ' ') {
            args.remove_prefix(1);
        }
        if (!ReadDecimal(&args, &duration) || !args.empty() || duration == 0 ||
            duration > kChargeMaxMs) {
            return Error();
        }
    }
    Pots& pots = pots_[static_cast<std::size_t>(port)];
    if (!pots.disconnected) {
        return Error();
    }
    pots.charge_until = Fault(PortCircuit(Circuit::kCharge1, port)) ? kNever : now_ms_ + duration;
    return Ok();
}

Device::Reply Device::DoNoCharge(std::string_view args) {
    return OnPorts(args, [](int, Pots& pots) {
        pots.charge_until = kNever;
        return true;
    });
}

// D-channel loop-back through the ISDN interface.
Device::Reply Device::DoDLoop(std::string_view args) {
    if (!args.empty()) {
        return Error();
    }
    if (Fault(Circuit::kDChannel)) {
        return Reply{false, "D CHANNEL LOOP FAILED", false};
    }
    return Ok();
}

// Interboard bus test: one line per interface that did not answer.
Device::Reply Device::DoSpiComTest(std::string_view args) {
    if (!args.empty()) {
        return Error();
    }
    std::string failed;
    if (Fault(Circuit::kUInterface)) {
        failed += "U INTERFACE NOT RESPONDING";
    }
    if (Fault(Circuit::kSInterface)) {
        if (!failed.empty()) {
            failed += "\r\n";
        }
        failed += "S INTERFACE NOT RESPONDING";
    }
    if (!failed.empty()) {
        return Reply{false, failed, false};
    }
    return Ok();
}

}  // namespace vardex::sim
