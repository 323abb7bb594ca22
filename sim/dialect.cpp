#include "dialect.h"

#include <algorithm>
#include <random>
#include <string_view>

namespace vardex::sim {
namespace {

// A label of printable characters that does not hold "ERROR", which the
// address rule reads as a refusal.
std::string Label(std::mt19937& rng, bool digits) {
    std::string label;
    do {
        label.clear();
        for (int i = 0; i < 11; ++i) {
            label.push_back(static_cast<char>(0x20 + rng() % 0x5F));
        }
        if (digits) {
            label[1 + rng() % 8] = static_cast<char>('0' + rng() % 10);
        }
    } while (label.find("ERROR") != std::string::npos);
    return label;
}

}  // namespace

Dialect Dialect::FromSeed(std::uint32_t seed) {
    Dialect d;
    d.seed = seed;
    if (seed == 0) {
        return d;
    }
    // The on/off choices follow the seed's bits, so that any eight seeds in a
    // row make each of them both ways; the values come from the generator.
    const std::uint32_t k = seed - 1;
    const auto bit = [k](int n) { return ((k >> n) & 1U) != 0; };
    std::mt19937 rng(seed);
    d.echo_stays_on = bit(0);
    d.line_break_before = !bit(1);
    d.listing_blanks = bit(2);
    d.number_digits = bit(0) ? 0 : 2 + static_cast<int>(rng() % 3);
    d.piece_pause_ms = bit(1) != bit(2) ? 20 + static_cast<int>(rng() % 61) : 0;
    d.restart_ms = bit(0) != bit(2) ? 150 + static_cast<int>(rng() % 201) : 0;
    d.x121_label = Label(rng, bit(0) == bit(1));
    if (bit(0) != bit(1)) {
        std::vector<int> pool(std::begin(kMayBeUnknown), std::end(kMayBeUnknown));
        std::shuffle(pool.begin(), pool.end(), rng);
        pool.resize(1 + rng() % 2);
        std::sort(pool.begin(), pool.end());
        d.unknown_registers = pool;
    }
    return d;
}

std::string Dialect::Describe() const {
    std::string text = "dialect " + std::to_string(seed) + ": label \"" + x121_label + "\"";
    text += echo_stays_on ? ", echo stays on" : ", echo off on ATE0";
    text += number_digits > 0 ? ", numbers of " + std::to_string(number_digits) + " digits"
                              : ", numbers without leading zeros";
    text += line_break_before ? ", line break before a reply" : ", no line break before a reply";
    text += listing_blanks ? ", blanks in listings" : ", listings without blanks";
    text += piece_pause_ms > 0
                ? ", replies in pieces " + std::to_string(piece_pause_ms) + " ms apart"
                : ", replies in one piece";
    text += restart_ms > 0 ? ", ATZ answers after " + std::to_string(restart_ms) + " ms"
                           : ", ATZ answers at once";
    if (unknown_registers.empty()) {
        text += ", every register known";
    } else {
        text += ", unknown registers";
        for (const int reg : unknown_registers) {
            text += " S" + std::to_string(reg);
        }
    }
    return text;
}

bool Dialect::Knows(int reg) const {
    return std::find(unknown_registers.begin(), unknown_registers.end(), reg) ==
           unknown_registers.end();
}

std::string Dialect::Number(long long value) const {
    std::string digits = std::to_string(value < 0 ? -value : value);
    if (digits.size() < static_cast<std::size_t>(number_digits)) {
        digits.insert(0, static_cast<std::size_t>(number_digits) - digits.size(), '0');
    }
    return value < 0 ? "-" + digits : digits;
}

}  // namespace vardex::sim
