#include "terminal/terminal_keys.h"

#include "link/device_port.h"

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

}  // namespace vardex::terminal
