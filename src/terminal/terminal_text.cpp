#include "terminal/terminal_text.h"

namespace vardex::terminal {
namespace {

constexpr unsigned char kCr = 0x0D;
constexpr unsigned char kLf = 0x0A;
constexpr unsigned char kBs = 0x08;

void AppendUtf8(std::string* out, char32_t code) {
    if (code < 0x80) {
        out->push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (code >> 6)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xE0 | (code >> 12)));
        out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

bool IsContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Removes the last whole character of a UTF-8 text.
void PopCharacter(std::string* text) {
    while (!text->empty() && IsContinuation(text->back())) {
        text->pop_back();
    }
    if (!text->empty()) {
        text->pop_back();
    }
}

}  // namespace

std::string ByteGlyph(unsigned char byte) {
    std::string out;
    if (byte < 0x20) {
        AppendUtf8(&out, 0x2400 + byte);
    } else if (byte == 0x7F) {
        AppendUtf8(&out, 0x2421);
    } else if (byte >= 0x80 && byte < 0xA0) {
        AppendUtf8(&out, 0xFFFD);
    } else {
        AppendUtf8(&out, byte);
    }
    return out;
}

ConvertedChunk ConvertChunk(std::string_view bytes) {
    ConvertedChunk chunk;
    chunk.text.reserve(bytes.size() + bytes.size() / 2);
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == kCr) {
            continue;
        }
        if (byte == kLf) {
            chunk.text.push_back('\n');
            ++chunk.new_lines;
        } else if (byte == kBs) {
            if (chunk.text.empty()) {
                ++chunk.erase_before;
            } else if (chunk.text.back() != '\n') {
                PopCharacter(&chunk.text);
            }
        } else if (byte >= 0x20 && byte < 0x7F) {
            chunk.text.push_back(c);
        } else {
            chunk.text += ByteGlyph(byte);
        }
    }
    return chunk;
}

ScreenUpdate CTerminalScreen::Apply(const ConvertedChunk& chunk) {
    ScreenUpdate update;
    const std::size_t erase = chunk.erase_before < static_cast<std::size_t>(m_nColumn)
                                  ? chunk.erase_before
                                  : static_cast<std::size_t>(m_nColumn);
    for (std::size_t i = 0; i < erase; ++i) {
        PopCharacter(&m_strText);
    }
    m_nColumn -= static_cast<int>(erase);

    // The chunk's characters with the breaks of lines that run past the last
    // column.
    std::string added;
    added.reserve(chunk.text.size() + chunk.text.size() / kScreenColumns + 1);
    const std::string& text = chunk.text;
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == '\n') {
            added.push_back('\n');
            ++m_nLines;
            m_nColumn = 0;
            ++i;
            continue;
        }
        std::size_t end = i + 1;
        while (end < text.size() && IsContinuation(text[end])) {
            ++end;
        }
        if (m_nColumn == kScreenColumns) {
            added.push_back('\n');
            ++m_nLines;
            m_nColumn = 0;
        }
        added.append(text, i, end - i);
        ++m_nColumn;
        i = end;
    }

    if (m_nLines <= kScreenLines) {
        m_strText += added;
        if (erase == 0 && added.empty()) {
            return update;
        }
        update.kind = ScreenUpdate::Kind::kAppend;
        update.erase = erase;
        update.text = std::move(added);
        return update;
    }

    // Keep the last 24 lines: cut behind the line break that ends the last
    // line dropped, searching from the end so a long chunk costs only its tail.
    std::string full = std::move(m_strText);
    full += added;
    std::size_t cut = full.size();
    for (int breaks = 0; breaks < kScreenLines; ++breaks) {
        cut = full.rfind('\n', cut - 1);
    }
    m_strText = full.substr(cut + 1);
    m_nLines = kScreenLines;
    update.kind = ScreenUpdate::Kind::kReplace;
    update.text = m_strText;
    return update;
}

}  // namespace vardex::terminal
