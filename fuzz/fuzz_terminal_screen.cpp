// The terminal's screen: whatever the device sends and however the reads cut
// it, the window following the updates holds exactly the model's text, at most
// 24 lines of at most 80 characters, valid UTF-8 with no control character but
// the line break.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "terminal/terminal_text.h"

using vardex::fuzz::Check;
using vardex::terminal::CTerminalScreen;
using vardex::terminal::kScreenColumns;
using vardex::terminal::kScreenLines;
using vardex::terminal::ScreenUpdate;

namespace {

// Characters of a UTF-8 text; aborts on anything that is not well formed.
std::size_t CountCharacters(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++count) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t extra = lead < 0x80 ? 0 : lead >= 0xE0 ? 2 : 1;
        Check(lead < 0x80 || (lead >= 0xC2 && lead <= 0xEF));
        Check(i + extra < text.size());
        for (std::size_t k = 1; k <= extra; ++k) {
            Check((static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80);
        }
        Check((lead >= 0x20 || lead == '\n') && lead != 0x7F);
        i += extra + 1;
    }
    return count;
}

void EraseCharacters(std::string* text, std::size_t count) {
    for (std::size_t n = 0; n < count; ++n) {
        Check(!text->empty() && text->back() != '\n');
        while ((static_cast<unsigned char>(text->back()) & 0xC0) == 0x80) {
            text->pop_back();
        }
        text->pop_back();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const std::size_t cut_seed = data[0];
    std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    CTerminalScreen screen;
    std::string window;
    std::size_t cut = cut_seed % 17 + 1;
    while (!bytes.empty()) {
        const std::string_view chunk = bytes.substr(0, cut);
        bytes.remove_prefix(chunk.size());
        cut = cut * 7 % 61 + 1;
        const ScreenUpdate update = screen.Feed(chunk);
        if (update.kind == ScreenUpdate::Kind::kReplace) {
            window = update.text;
        } else if (update.kind == ScreenUpdate::Kind::kAppend) {
            EraseCharacters(&window, update.erase);
            window += update.text;
        }
        Check(window == screen.Text());
        Check(screen.LineCount() >= 1 && screen.LineCount() <= kScreenLines);
        std::size_t lines = 1;
        std::size_t start = 0;
        for (std::size_t end = window.find('\n');; end = window.find('\n', start)) {
            const std::string_view line = std::string_view(window).substr(
                start, end == std::string::npos ? std::string::npos : end - start);
            Check(CountCharacters(line) <= static_cast<std::size_t>(kScreenColumns));
            if (end == std::string::npos) {
                break;
            }
            ++lines;
            start = end + 1;
        }
        Check(lines == static_cast<std::size_t>(screen.LineCount()));
    }
    return 0;
}
