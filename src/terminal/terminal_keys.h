// The byte a key sends to the device. The window maps its own key events to
// TerminalKey; the decision what goes on the line is made here.
#pragma once

#include <cstddef>

class CDevicePort;

namespace vardex::terminal {

enum class TerminalKey {
    kBackspace,  // 0x08
    kEnter,      // 0x0D, never a line feed
    kIgnored,    // Tab, Escape, Cancel, Page Up/Down, Home, End, arrows, Delete
    kCharacter,  // any other key: its character
};

// The byte to send, or -1 for nothing. A character outside Latin-1 (or none,
// 0 for a key without text) sends nothing rather than part of an encoding.
int KeyByte(TerminalKey key, char32_t character);

// Writes the key's byte raw (no terminator, not echoed locally); the bytes
// written (0 when the key sends nothing or the link is down).
std::size_t SendKey(CDevicePort& port, TerminalKey key, char32_t character);

}  // namespace vardex::terminal
