#include "terminal/trace_switches.h"
#include "link/at_commands.h"

#include <gtest/gtest.h>

#include "terminal/terminal_keys.h"

namespace vardex::terminal {
namespace {

TEST(TraceSwitches, CommandsAndTheirByteCounts) {
    EXPECT_EQ(TraceCommand(TraceLayer::kL1, true, false), "ATCD1CD9\r");
    EXPECT_EQ(TraceCommand(TraceLayer::kL1, false, false), "ATCD0CD9\r");
    EXPECT_EQ(TraceCommand(TraceLayer::kL1, true, true), "ATCD1CD26\r");
    EXPECT_EQ(TraceCommand(TraceLayer::kL1, false, true), "ATCD0CD26\r");
    EXPECT_EQ(TraceCommand(TraceLayer::kU, true, true), "ATCD11CD26\r");
    EXPECT_EQ(TraceCommand(TraceLayer::kU, false, false), "ATCD10CD9\r");
    EXPECT_EQ(TraceCommand(TraceLayer::kApp, true, false), "ATCD7CD9\r");
    // Layer n switches with codes 2n and 2n + 1; U is 10/11, one byte longer.
    int code = 0;
    for (const TraceLayer layer :
         {TraceLayer::kL1, TraceLayer::kL2, TraceLayer::kL3, TraceLayer::kApp, TraceLayer::kU}) {
        if (layer == TraceLayer::kU) {
            code = 10;
        }
        const std::size_t extra = code >= 10 ? 1 : 0;
        for (const bool usb : {false, true}) {
            for (const bool on : {false, true}) {
                const std::string expected =
                    "ATCD" + std::to_string(code + (on ? 1 : 0)) + (usb ? "CD26" : "CD9") + "\r";
                EXPECT_EQ(TraceCommand(layer, on, usb), expected);
                EXPECT_EQ(TraceCommand(layer, on, usb).size(), 9 + extra + (usb ? 1u : 0u));
            }
        }
        code += 2;
    }
    EXPECT_EQ(vardex::link::at::kAllTracesOff, "ATCD0CD2CD4CD6CD8CD10");
}

TEST(TraceSwitches, LayerNamesOnTheCommandLine) {
    std::vector<TraceLayer> layers;
    std::string_view bad;
    ASSERT_TRUE(ParseTraceLayers("l1,APP,u", &layers, &bad));
    EXPECT_EQ(layers, (std::vector<TraceLayer>{TraceLayer::kL1, TraceLayer::kApp, TraceLayer::kU}));
    for (const std::string_view wrong : {"", "l1,", "l4", "l1,l1", "l1 ,l2", "app,,u"}) {
        EXPECT_FALSE(ParseTraceLayers(wrong, &layers, &bad)) << wrong;
    }
    EXPECT_FALSE(ParseTraceLayers("l2,l9", &layers, &bad));
    EXPECT_EQ(bad, "l9");
    EXPECT_EQ(TraceLayerLabel(TraceLayer::kApp), "App");
}

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

}  // namespace
}  // namespace vardex::terminal
