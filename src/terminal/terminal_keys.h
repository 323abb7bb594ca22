// The byte a key sends to the device. The window maps its own key events to
// TerminalKey, and CTerminalInput maps what a terminal sends for its keys;
// the decision what goes on the line is made here, once for both.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vardex::link {
class CDevicePort;
}

namespace vardex::terminal {

enum class TerminalKey {
    kBackspace,  // 0x08
    kEnter,      // 0x0D, never a line feed
    kIgnored,    // Tab, Escape, Cancel, Page Up/Down, Home, End, arrows, Insert,
                 // Delete, function keys
    kCharacter,  // any other key: its character
};

// The byte to send, or -1 for nothing. A character outside Latin-1 (or none,
// 0 for a key without text) sends nothing rather than part of an encoding.
int KeyByte(TerminalKey key, char32_t character);

// Writes the key's byte raw (no terminator, not echoed locally); the bytes
// written (0 when the key sends nothing or the link is down).
std::size_t SendKey(link::CDevicePort& port, TerminalKey key, char32_t character);

// What a terminal in raw mode sends as keys are typed, turned into the bytes
// KeyByte gives those keys: UTF-8 text as its characters, DEL or BS as
// Backspace, CR as Enter, Tab and the escape sequences of the cursor, editing
// and function keys (CSI and SS3 forms, with modifiers) as keys that send
// nothing. ESC followed by a byte that starts no sequence is the Escape key
// and then that byte's key (Alt with a key).
//
// A lone ESC is the Escape key; only time tells it from the start of a
// sequence. The caller reports, with TimePassed, kEscapeWaitMs without input
// while Waiting(); until then a sequence cut between two reads still counts
// as one.
class CTerminalInput {
public:
    // Terminals send a sequence in one write; this covers a pause in its
    // delivery (a remote login) while still feeling immediate to a person.
    static constexpr std::int64_t kEscapeWaitMs = 100;

    // Appends the bytes to send for `typed` to *out.
    void Take(std::string_view typed, std::string* out);
    // An ESC, or a sequence begun but not finished, waits for more input.
    bool Waiting() const { return m_state != State::kText; }
    // kEscapeWaitMs passed without input: a waiting ESC was the Escape key, a
    // cut sequence is dropped. Neither sends anything.
    void TimePassed();

private:
    enum class State {
        kText,
        kEscape,      // after ESC
        kCsiFirst,    // after ESC [
        kCsi,         // inside its parameters
        kCsiBracket,  // after ESC [ [ (a console's F1 to F5)
        kSs3,         // after ESC O
    };
    // One byte outside a sequence.
    void TakeText(unsigned char byte, std::string* out);
    void Press(TerminalKey key, char32_t character, std::string* out);

    State m_state = State::kText;
    char32_t m_code = 0;
    int m_nMissing = 0;    // UTF-8 continuation bytes still to come
    bool m_bDrop = false;  // the character is beyond Latin-1
};

}  // namespace vardex::terminal
