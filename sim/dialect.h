// The choices one varDex makes where the program's reply rules leave the text
// to the device: the label in front of the X.121 address, echo, how numbers
// are written, a line break before a reply, blanks in the listings, replies
// sent in pieces, a slow restart, registers its firmware does not know.
//
// The default is the device the simulator has always been. Another dialect is
// drawn from a seed, so that a test names a device by a number and no test can
// pass because the program learnt one device's wording. Every choice stays
// within what the reply rules admit: a reply still ends with its final result
// code, and every pause is shorter than the program's read time-out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vardex::sim {

struct Dialect {
    std::uint32_t seed = 0;  // 0: the default device
    // In front of the address in the answer to "AT!X2?": 11 printable characters.
    std::string x121_label = "X121 ADDR: ";
    // "ATE0" is answered "OK", but every command line is still echoed.
    bool echo_stays_on = false;
    // Numbers in register, FSK-level and charge answers have leading zeros up
    // to this many digits (0: none).
    int number_digits = 0;
    // "\r\n" in front of a reply's first line; without it the reply starts at
    // once ("165\r\n\r\nOK\r\n", a lone "OK\r\n").
    bool line_break_before = true;
    // Blanks where the listings' rules skip them: before and behind section
    // titles, behind labels, and blank lines between sections.
    bool listing_blanks = false;
    // Each reply stops this long (device milliseconds) half way: well inside
    // the read time-out, so it is still one reply.
    int piece_pause_ms = 0;
    // "ATZ" restarts the device; its "OK" comes this much later (within the
    // read time-out of the line that asks it).
    int restart_ms = 0;
    // Registers the firmware does not have: every command on them is refused.
    std::vector<int> unknown_registers = {};

    // The dialect a seed chooses (0 gives the default).
    static Dialect FromSeed(std::uint32_t seed);
    // One line that says what was chosen.
    std::string Describe() const;

    bool Knows(int reg) const;
    // A number as this device writes it.
    std::string Number(long long value) const;
};

// The registers a dialect may not know: settings whose absence no part of the
// program needs to go on (never the power-up profile, the protocol or the
// flash time, which the tests of a write use).
inline constexpr int kMayBeUnknown[] = {86, 89, 100, 101, 102, 123};

}  // namespace vardex::sim
