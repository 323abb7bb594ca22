// What a terminal in raw mode sends for keys, turned into what the Terminal
// page sends for the same keys.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "terminal/terminal_keys.h"

namespace vardex::terminal {
namespace {

// What a fresh converter sends for the chunks, one Take each.
std::string Sent(std::initializer_list<std::string_view> chunks) {
    CTerminalInput input;
    std::string out;
    for (const std::string_view chunk : chunks) {
        input.Take(chunk, &out);
    }
    return out;
}

TEST(TerminalInput, EditingKeysAndEscapeSendWhatThePageSends) {
    // Backspace as DEL or BS, Enter as CR; Tab nothing; Ctrl+C its byte.
    EXPECT_EQ(Sent({"ATI5", "\x7f", "4", "\r", "\b\t\x03\n"}), "ATI5\b4\r\b\x03\n");
    // ESC before a byte that starts no sequence is Escape (or Alt), then that key.
    EXPECT_EQ(Sent({"\x1bx\x1b\x7f\x1b\x1b[B\x1b[1\x03"}), "x\b\x03");
    // Only the wait tells a lone Escape, and ends a cut sequence; what comes
    // after it is typed anew.
    CTerminalInput input;
    std::string out;
    for (const std::string_view typed : {"\x1b", "[A", "\x1b[1;", "5C"}) {
        input.Take(typed, &out);
        EXPECT_EQ(input.Waiting(), typed.front() == '\x1b');
        input.TimePassed();
    }
    EXPECT_EQ(out, "[A5C");
}

TEST(TerminalInput, CursorEditingAndFunctionKeysSendNothingEvenWhenCut) {
    for (const std::string_view key :
         {"\x1b[A", "\x1bOA", "\x1b[H", "\x1b[4~", "\x1b[2~", "\x1b[3~", "\x1b[6~", "\x1bOP",
          "\x1b[24~", "\x1b[[A", "\x1b[Z", "\x1bO5P", "\x1b[1;5C", "\x1b[15;6~"}) {
        for (std::size_t cut = 1; cut <= key.size(); ++cut) {
            EXPECT_EQ(Sent({"a", key.substr(0, cut), key.substr(cut), "b"}), "ab")
                << key.substr(1) << " cut at " << cut;
        }
    }
}

TEST(TerminalInput, TypedUtf8BecomesLatin1OrNothing) {
    // é; ÿ split across reads; € and an emoji beyond Latin-1; stray bytes, a
    // cut character and an overlong 'A'.
    EXPECT_EQ(Sent({"a\xC3\xA9", "\xC3", "\xBF", "\xE2\x82\xAC!", "\xF0\x9F\x98\x80z",
                    "\xBF\xFFy\xC3x", "\xC1\x81w"}),
              "a\xE9\xFF!zyxw");
}

}  // namespace
}  // namespace vardex::terminal
