#include "terminal/terminal_keys.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace vardex::terminal {
namespace {

TEST(TerminalKeys, BytesSentForKeys) {
    EXPECT_EQ(KeyByte(TerminalKey::kBackspace, 0), 0x08);
    EXPECT_EQ(KeyByte(TerminalKey::kEnter, U'\r'), 0x0D);
    EXPECT_EQ(KeyByte(TerminalKey::kEnter, U'\n'), 0x0D);
    EXPECT_EQ(KeyByte(TerminalKey::kIgnored, U'\t'), -1);
    EXPECT_EQ(KeyByte(TerminalKey::kCharacter, U'a'), 'a');
    EXPECT_EQ(KeyByte(TerminalKey::kCharacter, U'\u00E9'), 0xE9);
    EXPECT_EQ(KeyByte(TerminalKey::kCharacter, 0x03), 0x03);
    // Outside Latin-1, or no character at all: nothing, not half an encoding.
    EXPECT_EQ(KeyByte(TerminalKey::kCharacter, U'\u20AC'), -1);
    EXPECT_EQ(KeyByte(TerminalKey::kCharacter, U'\U0001F600'), -1);
    EXPECT_EQ(KeyByte(TerminalKey::kCharacter, 0), -1);
}

// What a fresh converter sends for the chunks, one Take each.
std::string Sent(std::initializer_list<std::string_view> chunks) {
    CTerminalInput input;
    std::string out;
    for (const std::string_view chunk : chunks) {
        input.Take(chunk, &out);
    }
    return out;
}

TEST(TerminalInput, EditingKeysSendWhatThePageSends) {
    // Backspace as DEL or BS, Enter as CR; Tab nothing; Ctrl+C its byte.
    EXPECT_EQ(Sent({"ATI5", "\x7f", "4", "\r"}), "ATI5\b4\r");
    EXPECT_EQ(Sent({"a\bb\tc\x03\n"}), "a\bbc\x03\n");
}

TEST(TerminalInput, CursorEditingAndFunctionKeysSendNothingEvenWhenCut) {
    const std::string_view keys[] = {
        "\x1b[A",    "\x1b[D",    "\x1bOA",     "\x1b[H",    "\x1b[F",  "\x1b[1~",
        "\x1b[4~",   "\x1b[2~",   "\x1b[3~",    "\x1b[5~",   "\x1b[6~", "\x1bOP",
        "\x1bOS",    "\x1b[15~",  "\x1b[24~",   "\x1b[[A",   "\x1b[Z",  "\x1bO5P",
        "\x1b[1;5C", "\x1b[3;2~", "\x1b[15;6~", "\x1b[1;3A",
    };
    for (const std::string_view key : keys) {
        EXPECT_EQ(Sent({"a", key, "b"}), "ab") << key.substr(1);
        // Cut anywhere between two reads (within the escape wait).
        for (std::size_t cut = 1; cut < key.size(); ++cut) {
            EXPECT_EQ(Sent({"a", key.substr(0, cut), key.substr(cut), "b"}), "ab")
                << key.substr(1) << " cut at " << cut;
        }
    }
}

TEST(TerminalInput, EscapeIsToldFromASequenceByTheWait) {
    CTerminalInput input;
    std::string out;
    input.Take("\x1b", &out);
    EXPECT_TRUE(input.Waiting());
    input.TimePassed();  // a lone Escape: nothing
    EXPECT_FALSE(input.Waiting());
    input.Take("[A", &out);  // typed afterwards: text
    input.Take("\x1b[1;", &out);
    input.TimePassed();  // a cut sequence is dropped
    input.Take("5C", &out);
    EXPECT_EQ(out, "[A5C");
    // ESC before a byte that starts no sequence is Escape (or Alt), then that key.
    EXPECT_EQ(Sent({"\x1bx\x1b\x7f\x1b\x1b[B\x1b[1\x03"}), "x\b\x03");
}

TEST(TerminalInput, TypedUtf8BecomesLatin1OrNothing) {
    const std::string sent = Sent({
        "a\xC3\xA9",      // é
        "\xC3", "\xBF",   // ÿ split across two reads
        "\xE2\x82\xAC!",  // € is beyond Latin-1
        "\xF0\x9F\x98\x80"
        "b",  // so is an emoji
        "\xBF\xFF"
        "c\xC3"
        "d",  // stray bytes and a cut character
        "\xC1\x81"
        "e",  // an overlong 'A'
    });
    EXPECT_EQ(sent, "a\xE9\xFF!bcde");
}

}  // namespace
}  // namespace vardex::terminal
