#include "link/reply_assembly.h"

#include <cstring>

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

}  // namespace

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
    if (length >= 2 && reply[0] == '\r' && reply[1] == '\n') {
        std::memmove(reply, reply + 2, length - 1);  // NUL included
        length -= 2;
    }
    return length;
}
