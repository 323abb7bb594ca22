#include "terminal/terminal_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace vardex::terminal {
namespace {

using Kind = ScreenUpdate::Kind;

// What a window holding the screen's text makes of the updates, character by
// character as the widget does it: the mirror must always equal the model.
void ApplyToMirror(std::u32string* mirror, const ScreenUpdate& update);

std::u32string Decode(const std::string& utf8) {
    std::u32string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        int extra = lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
        char32_t code = extra == 2 ? lead & 0x0F : extra == 1 ? lead & 0x1F : lead;
        ++i;
        for (; extra > 0 && i < utf8.size(); --extra, ++i) {
            code = (code << 6) | (static_cast<unsigned char>(utf8[i]) & 0x3F);
        }
        out.push_back(code);
    }
    return out;
}

void ApplyToMirror(std::u32string* mirror, const ScreenUpdate& update) {
    if (update.kind == Kind::kReplace) {
        *mirror = Decode(update.text);
    } else if (update.kind == Kind::kAppend) {
        ASSERT_LE(update.erase, mirror->size());
        mirror->resize(mirror->size() - update.erase);
        *mirror += Decode(update.text);
    }
}

std::string Numbered(int from, int to) {
    std::string out;
    for (int i = from; i <= to; ++i) {
        out += "line " + std::to_string(i) + "\r\n";
    }
    return out;
}

TEST(TerminalConversion, CarriageReturnsGoAndLineFeedsBreakLines) {
    const ConvertedChunk chunk = ConvertChunk("AT\r\r\nOK\r\n");
    EXPECT_EQ(chunk.text, "AT\nOK\n");
    EXPECT_EQ(chunk.new_lines, 2);
    EXPECT_EQ(chunk.erase_before, 0u);

    CTerminalScreen screen;
    const ScreenUpdate update = screen.Feed("AT\r\r\nOK\r\n");
    EXPECT_EQ(update.kind, Kind::kAppend);
    EXPECT_EQ(update.text, "AT\nOK\n");
    EXPECT_EQ(screen.LineCount(), 3);  // the caret's empty line counts
    EXPECT_EQ(screen.Feed("\r\r").kind, Kind::kNone);
}

TEST(TerminalConversion, EveryOtherByteIsOneVisibleCharacter) {
    // NUL, a Latin-1 letter, the last Latin-1 code, a Latin-1 control code,
    // ESC and DEL: none of them vanishes, none passes through as a control.
    const std::string bytes(
        "\x00"
        "A\xE9\xFF\x85\x1B\x7F\t",
        8);
    const ConvertedChunk chunk = ConvertChunk(bytes);
    EXPECT_EQ(Decode(chunk.text), U"\u2400A\u00E9\u00FF\uFFFD\u241B\u2421\u2409");
    EXPECT_EQ(chunk.new_lines, 0);
    for (int b = 0; b < 256; ++b) {
        if (b == '\r' || b == '\n' || b == '\b') {
            continue;
        }
        EXPECT_EQ(Decode(ByteGlyph(static_cast<unsigned char>(b))).size(), 1u) << b;
    }
}

TEST(TerminalConversion, BackspaceWithinAndAcrossChunks) {
    // Within the chunk: the character before it goes, a line break stays, and a
    // two-byte character goes whole.
    EXPECT_EQ(ConvertChunk("ab\bc").text, "ac");
    EXPECT_EQ(ConvertChunk("a\n\bb").text, "a\nb");
    EXPECT_EQ(ConvertChunk("x\xE9\b").text, "x");
    const ConvertedChunk leading = ConvertChunk("q\b\b\bz");
    EXPECT_EQ(leading.text, "z");
    EXPECT_EQ(leading.erase_before, 2u);

    // Across chunks: the screen loses characters, but never past the start of
    // its last line.
    CTerminalScreen screen;
    std::u32string mirror;
    ApplyToMirror(&mirror, screen.Feed("one\r\nab\x01"));
    ScreenUpdate update = screen.Feed("\b");
    EXPECT_EQ(update.kind, Kind::kAppend);
    EXPECT_EQ(update.erase, 1u);
    ApplyToMirror(&mirror, update);
    EXPECT_EQ(screen.Text(), "one\nab");
    ApplyToMirror(&mirror, screen.Feed("\b\b\b\bX"));
    EXPECT_EQ(screen.Text(), "one\nX");
    EXPECT_EQ(mirror, Decode(screen.Text()));
    ApplyToMirror(&mirror, screen.Feed("\r\n"));
    EXPECT_EQ(screen.Feed("\b").kind, Kind::kNone);
    EXPECT_EQ(screen.Text(), "one\nX\n");
    EXPECT_EQ(mirror, Decode(screen.Text()));
}

TEST(TerminalScreen, KeepsExactlyTheLast24Lines) {
    CTerminalScreen screen;
    // Thirty lines in one chunk leave lines 8 to 30 and the caret's empty line.
    const ScreenUpdate update = screen.Feed(Numbered(1, 30));
    EXPECT_EQ(update.kind, Kind::kReplace);
    EXPECT_EQ(update.text, screen.Text());
    std::string expected = Numbered(8, 30);
    std::erase(expected, '\r');
    EXPECT_EQ(screen.Text(), expected);
    EXPECT_EQ(screen.LineCount(), kScreenLines);

    // Line by line: appends while the screen has room, then rebuilds; the
    // mirror of the updates always equals the model and never has more lines.
    CTerminalScreen slow;
    std::u32string mirror;
    for (int i = 1; i <= 60; ++i) {
        const ScreenUpdate step = slow.Feed("row " + std::to_string(i) + (i % 7 ? "\r\n" : ""));
        if (i < 20) {
            EXPECT_EQ(step.kind, Kind::kAppend);
        }
        ApplyToMirror(&mirror, step);
        ASSERT_EQ(mirror, Decode(slow.Text())) << i;
        ASSERT_LE(slow.LineCount(), kScreenLines);
        ASSERT_EQ(std::count(mirror.begin(), mirror.end(), U'\n') + 1, slow.LineCount());
    }
    EXPECT_EQ(slow.LineCount(), kScreenLines);
}

TEST(TerminalScreen, LongLinesContinueAfterTheLastColumn) {
    CTerminalScreen screen;
    screen.Feed(std::string(200, 'x'));
    EXPECT_EQ(screen.LineCount(), 3);
    EXPECT_EQ(screen.Text(),
              std::string(80, 'x') + "\n" + std::string(80, 'x') + "\n" + std::string(40, 'x'));
    // A full line wraps only when another character comes; a line feed there
    // gives no empty line in between.
    CTerminalScreen exact;
    exact.Feed(std::string(80, 'y') + "\n");
    EXPECT_EQ(exact.LineCount(), 2);
    // One chunk without any line break never holds more than one screen.
    exact.Feed(std::string(4095, '\xE9'));
    EXPECT_EQ(exact.LineCount(), kScreenLines);
    EXPECT_LE(Decode(exact.Text()).size(), static_cast<std::size_t>(kScreenLines * 81));
}

}  // namespace
}  // namespace vardex::terminal
