#include "params/reply_parsers.h"

#include <algorithm>
#include <climits>
#include <cstdint>

#include "params/telephony_rules.h"

namespace vardex::params {

namespace {

// The C locale's white space; the byte is taken unsigned so that any reply byte
// is a valid argument.
bool IsSpace(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u == ' ' || (u >= '\t' && u <= '\r');
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool StartsAt(std::string_view text, std::size_t pos, std::string_view prefix) {
    return pos <= text.size() && text.substr(pos).starts_with(prefix);
}

// White space up to, not past, a carriage return: a label with nothing after
// it must not take the next line's digits.
std::size_t SkipBlankInLine(std::string_view text, std::size_t pos) {
    while (pos < text.size() && text[pos] != '\r' && IsSpace(text[pos])) {
        ++pos;
    }
    return pos;
}

// The run at pos of characters that pass keep (at most kDigitRunMax of them);
// pos moves past it.
template <typename Keep>
std::string TakeRun(std::string_view text, std::size_t* pos, Keep keep) {
    const std::size_t start = *pos;
    while (*pos < text.size() && *pos - start < kDigitRunMax && keep(text[*pos])) {
        ++*pos;
    }
    return std::string(text.substr(start, *pos - start));
}

std::string TakeDigitRun(std::string_view text, std::size_t* pos) {
    return TakeRun(text, pos, IsDigit);
}

// A subscriber or own number of a port's section: a digit run for the analog
// ports; the DTE port's numbers may hold what a person may type there, so its
// run takes those characters (noise, ";" and the line end still stop it).
constexpr int kDtePort = 2;
std::string TakeNumber(std::string_view text, std::size_t* pos, int port) {
    return TakeRun(text, pos, [port](char c) { return MsnCharAllowed(c, port == kDtePort); });
}

// Moves past the next "\r\n" at or after pos; false when there is none.
bool NextLine(std::string_view text, std::size_t* pos) {
    const std::size_t eol = text.find("\r\n", *pos);
    if (eol == std::string_view::npos) {
        return false;
    }
    *pos = eol + 2;
    return true;
}

// Digits to an int, saturating: a counter cannot exceed INT_MAX in the record.
int DigitsToInt(std::string_view digits) {
    std::int64_t value = 0;
    for (const char c : digits) {
        value = value * 10 + (c - '0');
        if (value > INT_MAX) {
            return INT_MAX;
        }
    }
    return static_cast<int>(value);
}

// The port sections of the number replies, tested in this order by prefix.
constexpr std::string_view kPortLines[3] = {"Phone 1", "Phone 2", "DTE Port"};

int PortOfLine(std::string_view text, std::size_t pos) {
    for (int port = 0; port < 3; ++port) {
        if (StartsAt(text, pos, kPortLines[port])) {
            return port;
        }
    }
    return -1;
}

bool Printable(std::string_view text) {
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\r' && c != '\n' && c != '\t') || u > 0x7E) {
            return false;
        }
    }
    return true;
}

bool IsFinalResult(std::string_view line) {
    return line == "OK" || line == "ERROR";
}

// Whether a section parser that stopped at pos read a whole reply: it stopped
// at the final result line.
bool StoppedAtTheEnd(std::string_view text, std::size_t pos) {
    return text.substr(pos) == "OK\r\n" && SplitWholeReply(text).has_value();
}

// The lines of a body that hold more than white space.
std::vector<std::string_view> TextLines(std::string_view body) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start <= body.size()) {
        const std::size_t end = std::min(body.find("\r\n", start), body.size());
        const std::string_view line = body.substr(start, end - start);
        if (SkipBlank(line, 0) < line.size()) {
            lines.push_back(line);
        }
        start = end + 2;
    }
    return lines;
}

void Report(bool* complete, bool value) {
    if (complete != nullptr) {
        *complete = value;
    }
}

}  // namespace

std::optional<WholeReply> SplitWholeReply(std::string_view text) {
    if (!Printable(text) || !text.ends_with("\r\n")) {
        return std::nullopt;
    }
    for (std::size_t cr = text.find('\r'); cr != std::string_view::npos;
         cr = text.find('\r', cr + 1)) {
        if (text[cr + 1] != '\n') {
            return std::nullopt;
        }
    }
    const std::string_view lines = text.substr(0, text.size() - 2);
    const std::size_t last_break = lines.rfind("\r\n");
    const std::size_t start = last_break == std::string_view::npos ? 0 : last_break + 2;
    const std::string_view result = lines.substr(start);
    if (!IsFinalResult(result)) {
        return std::nullopt;
    }
    std::string_view body = lines.substr(0, start);
    for (std::size_t line = 0; line < body.size();) {
        const std::size_t end = std::min(body.find("\r\n", line), body.size());
        if (IsFinalResult(body.substr(line, end - line))) {
            return std::nullopt;
        }
        line = end + 2;
    }
    while (!body.empty() && (body.front() == '\r' || body.front() == '\n')) {
        body.remove_prefix(1);
    }
    while (!body.empty() && (body.back() == '\r' || body.back() == '\n')) {
        body.remove_suffix(1);
    }
    return WholeReply{body, result == "OK"};
}

std::optional<QueryReply<int>> ParseNumericReply(std::string_view text) {
    const auto reply = SplitWholeReply(text);
    if (!reply) {
        return std::nullopt;
    }
    if (!reply->ok) {
        return QueryReply<int>{true, 0};
    }
    const std::vector<std::string_view> lines = TextLines(reply->body);
    if (lines.size() != 1) {
        return std::nullopt;
    }
    return QueryReply<int>{false, ParseLeadingInt(lines.front())};
}

int ParseLeadingInt(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && IsSpace(text[pos])) {
        ++pos;
    }
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    // Accumulated as a magnitude that stops growing once past the int range, so a
    // run of any length costs no overflow.
    std::int64_t magnitude = 0;
    constexpr std::int64_t kLimit = static_cast<std::int64_t>(INT_MAX) + 1;
    while (pos < text.size() && IsDigit(text[pos])) {
        if (magnitude <= kLimit) {
            magnitude = magnitude * 10 + (text[pos] - '0');
        }
        ++pos;
    }
    if (negative) {
        return magnitude >= kLimit ? INT_MIN : static_cast<int>(-magnitude);
    }
    return magnitude > INT_MAX ? INT_MAX : static_cast<int>(magnitude);
}

std::size_t SkipBlank(std::string_view text, std::size_t pos) {
    while (pos < text.size() && IsSpace(text[pos])) {
        ++pos;
    }
    return pos;
}

namespace {

// Walks a reply of one section for each port (its port line, then its
// labelled lines) up to the final result; read_section(port, &pos) reads a
// section's lines and says whether the port counts as given. complete: the
// reply was whole and gave every port, or it is the tail of one that paused.
template <typename ReadSection>
void ReadPortSections(std::string_view text, bool* complete, ReadSection read_section) {
    std::array<bool, 3> seen{};
    Report(complete, false);
    std::size_t pos = 0;
    while (pos < text.size()) {
        pos = SkipBlank(text, pos);
        if (StartsAt(text, pos, "OK")) {
            Report(complete, StoppedAtTheEnd(text, pos) && seen == std::array{true, true, true});
            break;
        }
        const int port = PortOfLine(text, pos);
        if (port < 0 || !NextLine(text, &pos)) {
            break;
        }
        if (read_section(port, &pos)) {
            seen[static_cast<std::size_t>(port)] = true;
        }
        pos = SkipBlank(text, pos);
    }
}

}  // namespace

std::vector<std::pair<int, std::string>> ParseMsnReply(std::string_view text, bool* complete) {
    static constexpr std::string_view kLabels[3] = {"MSN1 : ", "MSN2 : ", "MSN3 : "};
    std::vector<std::pair<int, std::string>> numbers;
    ReadPortSections(text, complete, [&](int port, std::size_t* pos) {
        // Three passes so that the labels may come in any order.
        for (int pass = 0; pass < 3; ++pass) {
            for (int k = 0; k < 3; ++k) {
                if (StartsAt(text, *pos, kLabels[k])) {
                    *pos = SkipBlankInLine(text, *pos + kLabels[k].size());
                    numbers.emplace_back(port * 3 + k, TakeNumber(text, pos, port));
                }
                *pos = SkipBlank(text, *pos);
            }
        }
        return true;
    });
    return numbers;
}

std::array<std::string, 3> ParseOwnNumberReply(std::string_view text, bool* complete) {
    static constexpr std::string_view kLabel = "OWN NUMBER : ";
    std::array<std::string, 3> own;
    // A port's section without its number would read as that port having no
    // own number: it counts only with its label.
    ReadPortSections(text, complete, [&](int port, std::size_t* pos) {
        if (!StartsAt(text, *pos, kLabel)) {
            return false;
        }
        *pos = SkipBlankInLine(text, *pos + kLabel.size());
        own[static_cast<std::size_t>(port)] = TakeNumber(text, pos, port);
        return true;
    });
    return own;
}

int ResolveOwnNumber(std::string_view own, const std::string* msns) {
    if (own.empty()) {
        return -1;
    }
    for (int i = 0; i < 3; ++i) {
        if (!msns[i].empty() && msns[i] == own) {
            return i;
        }
    }
    return -1;
}

ChargeReply ParseChargeReply(std::string_view text, bool* complete) {
    static constexpr std::string_view kLabels[3] = {"DTE Port: ", "Phone 1: ", "Phone 2: "};
    ChargeReply charges;
    std::optional<int>* const last[3] = {&charges.lastDte, &charges.last1, &charges.last2};
    std::optional<int>* const total[3] = {&charges.totalDte, &charges.total1, &charges.total2};
    Report(complete, false);
    std::size_t pos = 0;
    while (pos < text.size()) {
        pos = SkipBlank(text, pos);
        if (StartsAt(text, pos, "OK")) {
            // Every counter, or a section went missing (the tail of a reply
            // that paused) and its counters would keep stale values.
            const bool all = charges.lastDte && charges.last1 && charges.last2 &&
                             charges.totalDte && charges.total1 && charges.total2;
            Report(complete, StoppedAtTheEnd(text, pos) && all);
            break;
        }
        std::optional<int>* const* section = nullptr;
        if (StartsAt(text, pos, "Last")) {
            section = last;
        } else if (StartsAt(text, pos, "Accumulated")) {
            section = total;
        }
        if (section == nullptr || !NextLine(text, &pos)) {
            break;
        }
        for (int pass = 0; pass < 3; ++pass) {
            for (int k = 0; k < 3; ++k) {
                if (StartsAt(text, pos, kLabels[k])) {
                    pos = SkipBlankInLine(text, pos + kLabels[k].size());
                    *section[k] = DigitsToInt(TakeDigitRun(text, &pos));
                }
                pos = SkipBlank(text, pos);
            }
        }
    }
    return charges;
}

std::optional<QueryReply<std::string>> ParseX121AddressReply(std::string_view text) {
    const auto reply = SplitWholeReply(text);
    if (!reply) {
        return std::nullopt;
    }
    if (text.find("ERROR") != std::string_view::npos) {
        return QueryReply<std::string>{true, {}};
    }
    const std::vector<std::string_view> lines = TextLines(reply->body);
    if (lines.size() != 1 || lines.front().size() < kX121LabelLength) {
        return std::nullopt;
    }
    std::size_t pos = kX121LabelLength;
    return QueryReply<std::string>{false, TakeDigitRun(lines.front(), &pos)};
}

std::string CommandSafeText(std::string_view text) {
    std::size_t end = 0;
    while (end < text.size()) {
        const auto u = static_cast<unsigned char>(text[end]);
        if (u < 0x20 || u == 0x7F) {
            break;
        }
        ++end;
    }
    return std::string(text.substr(0, end));
}

}  // namespace vardex::params
