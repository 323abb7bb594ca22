#include "link/reply_assembly.h"

#include <cctype>
#include <cstring>

#include "link/at_commands.h"

namespace vardex::link {

namespace {

// Reads until one read brings nothing; the total.
std::size_t ReadUntilSilence(char* buffer, std::size_t room, const ReplyRead& read) {
    std::size_t total = 0;
    while (total < room) {
        const std::size_t got = read(buffer + total, room - total);
        if (got == 0) {
            break;
        }
        total += got;
    }
    return total;
}

constexpr unsigned char kNak = 0x15;

bool EndsInNak(const char* data, std::size_t length) {
    return length > 0 && static_cast<unsigned char>(data[length - 1]) == kNak;
}

// Drops the leading "\r\n" (NUL included in the move); the new length.
std::size_t DropLeadingLineBreak(char* reply, std::size_t length) {
    if (length >= 2 && reply[0] == '\r' && reply[1] == '\n') {
        std::memmove(reply, reply + 2, length - 1);
        length -= 2;
    }
    return length;
}

// Where the whole echo of line starts behind complete lines, or npos.
std::size_t EchoBehindLines(std::string_view text, std::string_view line) {
    std::size_t at = text.find(line, 1);
    while (at != std::string_view::npos && text[at - 1] != '\n') {
        at = text.find(line, at + 1);
    }
    return at;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

bool StartsNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualNoCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace

bool EndsInFinalResult(std::string_view text) {
    if (text.ends_with("> ")) {
        return true;
    }
    if (!text.ends_with("\r\n")) {
        return false;
    }
    text.remove_suffix(2);
    const std::size_t line_feed = text.rfind('\n');
    const std::string_view last =
        line_feed == std::string_view::npos ? text : text.substr(line_feed + 1);
    return last == "OK" || last == "ERROR";
}

bool NeedsSilentEnd(std::string_view command) {
    // The FSK level is a stored setting, asked and set like any other: no
    // hardware moves and no trace follows it.
    if (!StartsNoCase(command, "AT") || StartsNoCase(command, at::kClipLevel)) {
        return false;
    }
    const std::string_view rest = command.substr(2);
    for (const std::string_view prefix : {"Z", "&F", "&W", "UPX", "/", "CD"}) {
        if (StartsNoCase(rest, prefix)) {
            return true;
        }
    }
    return false;
}

std::size_t AssembleReplyEarly(std::string_view line, char* reply, std::size_t capacity,
                               const ReplyRead& read, const ReplyRead& read_guard, bool after_guard,
                               bool* ended_early) {
    *ended_early = false;
    const std::size_t room = capacity - 1;
    // The echo: as many bytes as the line, unless the device falls silent, sends
    // NAK or has already said its last word.
    std::size_t length = 0;
    while (length < line.size()) {
        const std::size_t got = read(reply + length, line.size() - length);
        if (got == 0) {
            break;
        }
        length += got;
        if (EndsInNak(reply, length) || EndsInFinalResult(std::string_view(reply, length))) {
            break;
        }
    }
    bool echoed = false;
    if (length > 0) {
        echoed = length == line.size() && std::memcmp(reply, line.data(), line.size()) == 0;
        if (echoed) {
            length = 0;
        }
        for (;;) {
            // A loader's request ends it as it ends the channel's read: it may
            // come again and again, never falling silent.
            if (EndsInNak(reply, length)) {
                break;
            }
            if (EndsInFinalResult(std::string_view(reply, length))) {
                const std::size_t late = read_guard(reply + length, room - length);
                if (late == 0) {
                    *ended_early = true;
                } else {
                    length += late;
                    length += ReadUntilSilence(reply + length, room - length, read);
                }
                break;
            }
            if (length >= room) {
                break;
            }
            const std::size_t got = read(reply + length, room - length);
            if (got == 0) {
                break;
            }
            length += got;
        }
    }
    reply[length] = '\0';
    if (after_guard && !echoed && length > line.size()) {
        const std::size_t echo = EchoBehindLines(std::string_view(reply, length), line);
        if (echo != std::string_view::npos) {
            const std::size_t drop = echo + line.size();
            std::memmove(reply, reply + drop, length - drop + 1);
            length -= drop;
        }
    }
    return DropLeadingLineBreak(reply, length);
}

std::size_t ReadToFinalResult(char* buffer, std::size_t count, const ReplyRead& read,
                              const ReplyRead& read_guard) {
    std::size_t length = 0;
    while (length < count) {
        if (EndsInFinalResult(std::string_view(buffer, length))) {
            const std::size_t late = read_guard(buffer + length, count - length);
            if (late > 0) {
                length += late;
                length += ReadUntilSilence(buffer + length, count - length, read);
            }
            break;
        }
        const std::size_t got = read(buffer + length, count - length);
        if (got == 0) {
            break;
        }
        length += got;
        if (EndsInNak(buffer, length)) {
            break;
        }
    }
    return length;
}

std::size_t AssembleReply(std::string_view line, char* reply, std::size_t capacity,
                          const ReplyRead& read) {
    const std::size_t room = capacity - 1;
    std::size_t length = read(reply, line.size());
    if (length > 0) {
        const bool echoed =
            length == line.size() && std::memcmp(reply, line.data(), line.size()) == 0;
        if (echoed) {
            length = ReadUntilSilence(reply, room, read);
        } else {
            length += ReadUntilSilence(reply + length, room - length, read);
        }
    }
    reply[length] = '\0';
    return DropLeadingLineBreak(reply, length);
}

}  // namespace vardex::link
