// How the exchange makes a reply of what the device sends after a command line:
// the echo of the line dropped when it came back whole, everything else kept
// (a cut or different echo is the start of the reply), one leading line break
// removed, at most capacity - 1 bytes, NUL-terminated. Free of the channel, so
// that the tests and a fuzz target can feed it any bytes in any chunks.
#pragma once

#include <cstddef>
#include <functional>
#include <string_view>

// Reads into `into` at most `room` bytes; returns how many came (0: silence).
using ReplyRead = std::function<std::size_t(char* into, std::size_t room)>;

// line: the command line as sent, carriage return included. The first read is
// asked for exactly line.size() bytes; later reads until one brings nothing.
// reply must hold capacity bytes (capacity >= line.size() + 1). Returns the
// reply's length; reply[length] is NUL.
std::size_t AssembleReply(std::string_view line, char* reply, std::size_t capacity,
                          const ReplyRead& read);
