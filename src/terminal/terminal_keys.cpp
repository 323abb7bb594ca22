#include "terminal/terminal_keys.h"

#include "link/device_port.h"

using namespace vardex::link;

namespace vardex::terminal {

int KeyByte(TerminalKey key, char32_t character) {
    switch (key) {
        case TerminalKey::kBackspace:
            return 0x08;
        case TerminalKey::kEnter:
            return 0x0D;
        case TerminalKey::kIgnored:
            return -1;
        case TerminalKey::kCharacter:
            break;
    }
    if (character == 0 || character > 0xFF) {
        return -1;
    }
    return static_cast<int>(character);
}

std::size_t SendKey(CDevicePort& port, TerminalKey key, char32_t character) {
    const int byte = KeyByte(key, character);
    if (byte < 0) {
        return 0;
    }
    const char c = static_cast<char>(static_cast<unsigned char>(byte));
    return port.WriteRaw(&c, 1);
}

namespace {

constexpr unsigned char kEsc = 0x1B;

// ECMA-48: a sequence's parameter and intermediate bytes, and its final byte.
bool IsParameterByte(unsigned char byte) {
    return byte >= 0x20 && byte <= 0x3F;
}
bool IsFinalByte(unsigned char byte) {
    return byte >= 0x40 && byte <= 0x7E;
}

}  // namespace

void CTerminalInput::Press(TerminalKey key, char32_t character, std::string* out) {
    const int byte = KeyByte(key, character);
    if (byte >= 0) {
        out->push_back(static_cast<char>(static_cast<unsigned char>(byte)));
    }
}

void CTerminalInput::Take(std::string_view typed, std::string* out) {
    for (const char c : typed) {
        const auto byte = static_cast<unsigned char>(c);
        switch (m_state) {
            case State::kText:
                TakeText(byte, out);
                continue;
            case State::kEscape:
                if (byte == '[' || byte == 'O') {
                    m_state = byte == '[' ? State::kCsiFirst : State::kSs3;
                    continue;
                }
                break;
            case State::kCsiFirst:
            case State::kCsi:
                if (m_state == State::kCsiFirst && byte == '[') {
                    m_state = State::kCsiBracket;
                    continue;
                }
                if (IsParameterByte(byte)) {
                    m_state = State::kCsi;
                    continue;
                }
                if (IsFinalByte(byte)) {
                    m_state = State::kText;  // a whole key, which sends nothing
                    continue;
                }
                break;
            case State::kSs3:
                // Digits and ';' of a modifier, as some terminals put them here.
                if (byte >= '0' && byte <= ';') {
                    continue;
                }
                [[fallthrough]];
            case State::kCsiBracket:
                if (IsFinalByte(byte)) {
                    m_state = State::kText;
                    continue;
                }
                break;
        }
        // The byte continues no sequence: what came before it was the Escape
        // key or a broken sequence (neither sends anything), and it is a key
        // of its own.
        m_state = State::kText;
        TakeText(byte, out);
    }
}

void CTerminalInput::TimePassed() {
    m_state = State::kText;
}

void CTerminalInput::TakeText(unsigned char byte, std::string* out) {
    if (m_nMissing > 0 && (byte & 0xC0) == 0x80) {
        m_code = (m_code << 6) | (byte & 0x3Fu);
        if (--m_nMissing == 0 && !m_bDrop) {
            Press(TerminalKey::kCharacter, m_code, out);
        }
        return;
    }
    // Anything else ends a character still waiting for its continuation.
    m_nMissing = 0;
    switch (byte) {
        case kEsc:
            m_state = State::kEscape;
            return;
        case 0x08:  // Ctrl+H, and Backspace where the terminal sends BS
        case 0x7F:  // Backspace on most terminals
            Press(TerminalKey::kBackspace, 0, out);
            return;
        case '\r':
            Press(TerminalKey::kEnter, 0, out);
            return;
        case '\t':
            Press(TerminalKey::kIgnored, 0, out);
            return;
        default:
            break;
    }
    if (byte < 0x80) {
        Press(TerminalKey::kCharacter, byte, out);
    } else if ((byte & 0xE0) == 0xC0) {
        m_code = byte & 0x1Fu;
        m_nMissing = 1;
        // C0 and C1 would be overlong forms; above C3 lies beyond Latin-1.
        m_bDrop = byte < 0xC2 || byte > 0xC3;
    } else if ((byte & 0xF0) == 0xE0) {
        m_nMissing = 2;
        m_bDrop = true;
    } else if ((byte & 0xF8) == 0xF0) {
        m_nMissing = 3;
        m_bDrop = true;
    }
    // A stray continuation byte or an invalid lead byte sends nothing.
}

}  // namespace vardex::terminal
