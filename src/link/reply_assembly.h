// How the exchange makes a reply of what the device sends after a command line:
// the echo of the line dropped when it came back whole, everything else kept
// (a cut or different echo is the start of the reply), one leading line break
// removed, at most capacity - 1 bytes, NUL-terminated. Free of the channel, so
// that the tests and a fuzz target can feed it any bytes in any chunks.
#pragma once

#include <cstddef>
#include <functional>
#include <string_view>

namespace vardex::link {

// Reads into `into` at most `room` bytes; returns how many came (0: silence).
using ReplyRead = std::function<std::size_t(char* into, std::size_t room)>;

// line: the command line as sent, carriage return included. The first read is
// asked for exactly line.size() bytes; later reads until one brings nothing.
// reply must hold capacity bytes (capacity >= line.size() + 1). Returns the
// reply's length; reply[length] is NUL.
std::size_t AssembleReply(std::string_view line, char* reply, std::size_t capacity,
                          const ReplyRead& read);

// True when the text ends in a final result code: a last line "OK" or "ERROR"
// ended by "\r\n", or a console prompt ending in "> ". Anything else ends on
// silence, a question waiting for its key included: no final result code
// follows it.
bool EndsInFinalResult(std::string_view text);

// Commands after which the device restarts (profile recall "ATZ", factory
// settings "AT&F"), writes its flash ("AT&W"), leaves command mode (the upgrade
// request "ATUPX"), or drives its test hardware and trace output ("AT/...",
// the FSK level "AT/CLIPLEVEL" excepted, and "ATCD..."). What it sends after
// their final result code (a restart's banner, a late answer of the hardware,
// the first trace lines) is still their reply, so they keep the whole silent
// wait. Letter case is ignored.
bool NeedsSilentEnd(std::string_view command);

// Like AssembleReply, but the reply may end early: once it ends in a final
// result code, one read_guard (a read bounded by the guard time) that brings
// nothing ends it; bytes in the guard extend the reply, which then ends on
// silence as AssembleReply's does. read must also return as soon as the data
// ends in "\n", "?", " " or NAK, so that a final result code is seen at once.
// after_guard: the previous exchange ended early, so a line the device sent on
// its own may stand before the echo; when the whole echo follows complete
// lines, those lines are dropped with it. *ended_early tells whether this reply
// ended on its guard.
std::size_t AssembleReplyEarly(std::string_view line, char* reply, std::size_t capacity,
                               const ReplyRead& read, const ReplyRead& read_guard, bool after_guard,
                               bool* ended_early);

// Reads at most count bytes until the count is reached, a read brings nothing,
// or NAK (as the channel's read does), but ends early like AssembleReplyEarly
// once the bytes end in a final result code and the guard stays silent. The
// byte count; no NUL is stored.
std::size_t ReadToFinalResult(char* buffer, std::size_t count, const ReplyRead& read,
                              const ReplyRead& read_guard);

}  // namespace vardex::link
