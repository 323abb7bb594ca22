#include "settings/json_text.h"

#include <cstdio>

namespace vardex::settings {

std::string TerminalText(std::string_view bytes) {
    std::string out;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02x", byte);
            out += escape;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string JsonString(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + 2);
    out.push_back('"');
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        switch (byte) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (byte < 0x20 || byte == 0x7F) {
                    char escape[8];
                    std::snprintf(escape, sizeof escape, "\\u%04x", byte);
                    out += escape;
                } else if (byte >= 0x80) {
                    // UTF-8 of U+0080..U+00FF.
                    out.push_back(static_cast<char>(0xC0 | (byte >> 6)));
                    out.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
                } else {
                    out.push_back(c);
                }
        }
    }
    out.push_back('"');
    return out;
}

}  // namespace vardex::settings
