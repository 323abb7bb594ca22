// What the terminal shows, computed without any window: the conversion of the
// device's bytes into screen text and a model of the screen (80 columns, at
// most 24 lines counting the caret's line) that tells the window how to follow
// each chunk cheaply.
//
// Text is UTF-8 with '\n' as the only line break. Every received byte other
// than CR, LF and BS becomes exactly one character, so that a backspace always
// removes one whole character:
//  - 0x20..0x7E and 0xA0..0xFF: the Latin-1 character of that code;
//  - 0x00..0x1F (except CR, LF, BS): the control picture U+2400 + byte
//    (NUL shows as U+2400, ESC as U+241B), so nothing is hidden and no escape
//    sequence of the device ever reaches a real terminal;
//  - 0x7F: U+2421; 0x80..0x9F (the Latin-1 control codes): U+FFFD.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vardex::terminal {

inline constexpr int kScreenLines = 24;
inline constexpr int kScreenColumns = 80;

// One chunk converted on its own, with no knowledge of the screen.
struct ConvertedChunk {
    // Backspaces that found nothing of this chunk left to remove: characters
    // to remove from the end of the screen (never past the start of its last
    // line) before `text` is appended.
    std::size_t erase_before = 0;
    std::string text;
    // Line breaks in `text`.
    int new_lines = 0;
};

// CR dropped, LF to a line break, BS removes the character produced just
// before it (a line break is never removed), every other byte one character.
ConvertedChunk ConvertChunk(std::string_view bytes);

// The one character a received byte shows as (not for CR, LF, BS), in UTF-8.
std::string ByteGlyph(unsigned char byte);

// How the window follows one chunk.
struct ScreenUpdate {
    enum class Kind {
        kNone,     // nothing visible changed
        kAppend,   // remove `erase` characters at the end, then append `text`
        kReplace,  // the whole screen becomes `text` (at most 24 lines): rebuild
                   // with redrawing off
    };
    Kind kind = Kind::kNone;
    std::size_t erase = 0;
    std::string text;
};

// The screen: lines longer than 80 columns continue on the next line, and only
// the last 24 lines are kept. Not thread-safe; one owner.
class CTerminalScreen {
public:
    // Applies a converted chunk and says how the window's text changes.
    ScreenUpdate Apply(const ConvertedChunk& chunk);
    // Convenience: ConvertChunk, then Apply.
    ScreenUpdate Feed(std::string_view bytes) { return Apply(ConvertChunk(bytes)); }

    const std::string& Text() const { return m_strText; }
    // Lines on the screen, the caret's line included (an empty screen has 1).
    int LineCount() const { return m_nLines; }

private:
    std::string m_strText;
    int m_nLines = 1;
    // Characters on the last line.
    int m_nColumn = 0;
};

}  // namespace vardex::terminal
