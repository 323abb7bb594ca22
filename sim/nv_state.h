// What the simulated device keeps across a power cycle, and the state file that
// holds it for "vardex-sim --state FILE".
//
// The file is text, one "key=value" per line, between the line
// "vardex-sim state 1" and the line "end"; every key appears exactly once:
//
//   firmware_valid=1            0 after an upgrade that did not complete
//   software=V2.10              installed firmware version ("ATI3")
//   crc=CRC: 5A3C               its "ATI1" text
//   s15=0                       power-up profile register (bits 5..7)
//   msn0= .. msn8=              subscriber numbers (0..2 Phone 1, 3..5 Phone 2, 6..8 DTE)
//   own0= .. own2=              own numbers of Phone 1, Phone 2, DTE port
//                               (numbers as the device keeps them, NumberKept in
//                               device_text.h: all that follows the first "=")
//   charge_last=P1,P2,DTE       charge units of the last call
//   charge_total=P1,P2,DTE      accumulated charge units
//   profileN_registers=HEX      N = 0..3: all 256 registers, two hex digits each
//   profileN_clip=L             FSK level
//   profileN_x121=DIGITS        X.121 address
//
// Anything else (an unknown or repeated key, a missing one, a bad value, no
// "end") makes the whole file unusable, so that a half-written or foreign file
// never loads as a mixture.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/expected.h"
#include "platform/sys_error.h"

namespace vardex::sim {

struct Profile {
    std::array<std::uint8_t, 256> registers{};
    int clip_level = 0;
    std::string x121;

    bool operator==(const Profile&) const = default;
};

struct NvState {
    bool firmware_valid = true;
    std::string software_version;
    std::string crc;
    std::uint8_t s15 = 0;
    std::array<std::string, 9> msn;
    std::array<std::string, 3> own;
    std::array<std::uint32_t, 3> last_charge{};
    std::array<std::uint32_t, 3> total_charge{};
    std::array<Profile, 4> profiles;

    bool operator==(const NvState&) const = default;
};

std::string SerializeNv(const NvState& state);
// The state, or the first problem with its line number.
platform::Expected<NvState> ParseNv(std::string_view text);

// What "--state FILE" names when it gives no state, as ReadStateFile found it.
enum class StateFileStatus {
    kMissing,   // nothing there yet; the first save creates it
    kUnusable,  // a regular file that holds no usable state (damaged, foreign, too
                // large, unreadable): the caller leaves it alone unless told otherwise
    kRefused,   // not a regular file (device node, FIFO, socket, directory, a link
                // to one of those or to nothing), or the path cannot be looked at
};

// Why "--state FILE" gave no state.
struct StateFileProblem {
    StateFileStatus status;
    std::string text;  // what was found, naming the file
};

// The largest state file read; a real one is a few kilobytes.
constexpr std::size_t kStateFileMaxBytes = 1024 * 1024;

// Reads and parses a state file. The path is looked at before it is opened, so
// that a device node or a FIFO is never opened (an open can block or act on a
// device), and the open descriptor is checked again, in case another file was
// put there in between. A symbolic link to a regular file is followed. The
// state the file keeps, or what was found instead, naming the file.
platform::Expected<NvState, StateFileProblem> ReadStateFile(const std::string& path);
// Writes beside the file, flushes it to disk and renames it over the old one,
// so that a crash leaves either the old or the new state, never a torn one.
// Only a regular file (or nothing) is replaced: anything else fails with EPERM.
// Through a symbolic link the target's content is replaced (keeping its
// permissions) and the link stays as it is; a link to nothing is not followed.
bool SaveStateFile(const std::string& path, const NvState& state, platform::SysError* error);

}  // namespace vardex::sim
