#include "device/identity_parse.h"

#include <cctype>

#include "params/reply_parsers.h"

namespace vardex::device::identity {
namespace {

bool IsBlank(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The decimal number at the front, as a string-to-long conversion reads it (an
// optional sign included), reduced to its low 8 bits; digits beyond what a long
// holds saturate instead of overflowing.
unsigned LowByteOfNumber(std::string_view text, std::size_t* used) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i >= text.size() || !IsDigit(text[i])) {
        *used = 0;
        return 0;
    }
    constexpr long long kMax = 0x7FFFFFFFFFFFFFFFLL;
    long long value = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        const int digit = text[i] - '0';
        value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
    }
    *used = i;
    const unsigned long long bits = negative ? 0ULL - static_cast<unsigned long long>(value)
                                             : static_cast<unsigned long long>(value);
    return static_cast<unsigned>(bits & 0xFFu);
}

}  // namespace

std::optional<std::uint16_t> ParseVersion(std::string_view remainder, std::size_t* end) {
    std::size_t i = 0;
    while (i < remainder.size() &&
           (IsBlank(remainder[i]) || remainder[i] == 'V' || remainder[i] == 'v')) {
        ++i;
    }
    if (i >= remainder.size()) {
        return std::nullopt;
    }
    std::size_t used = 0;
    const unsigned major = LowByteOfNumber(remainder.substr(i), &used);
    i += used;
    unsigned minor = 0;
    if (i < remainder.size() && remainder[i] == '.') {
        minor = LowByteOfNumber(remainder.substr(i + 1), &used);
        i += 1 + used;
    }
    if (end != nullptr) {
        *end = i;
    }
    return static_cast<std::uint16_t>(major * 256 + minor);
}

std::optional<std::string_view> After(std::string_view reply, std::string_view keyword) {
    if (reply.substr(0, keyword.size()) != keyword) {
        return std::nullopt;
    }
    return reply.substr(keyword.size());
}

std::string CountryAfterVersion(std::string_view remainder) {
    std::size_t i = 0;
    if (!ParseVersion(remainder, &i)) {
        return {};
    }
    // Digits and blanks stand between the version and the country; a line break
    // means there is no country.
    while (i < remainder.size() &&
           (IsDigit(remainder[i]) || remainder[i] == ' ' || remainder[i] == '\t')) {
        ++i;
    }
    std::string country;
    for (; i < remainder.size() && remainder[i] != '\r' && remainder[i] != '\0' &&
           country.size() < kCountryMax;
         ++i) {
        country.push_back(remainder[i]);
    }
    return country;
}

std::optional<std::string> CrcText(std::string_view reply) {
    const auto ok = reply.find("OK");
    if (ok == std::string_view::npos) {
        return std::nullopt;
    }
    if (ok <= 4) {
        return std::string();
    }
    return std::string(reply.substr(0, std::min(ok - 4, kCrcMax)));
}

FirstAnswer ClassifyFirstAnswer(std::string_view reply) {
    if (!reply.empty() && static_cast<unsigned char>(reply[0]) == 0x15) {
        return FirstAnswer::kLoader;
    }
    if (!reply.empty() && reply[0] == 'Y') {
        return FirstAnswer::kQuestion;
    }
    if (reply.ends_with("> ")) {
        return FirstAnswer::kConsole;
    }
    return FirstAnswer::kOther;
}

bool VersionReply(std::string_view reply, std::string_view keyword) {
    const auto complete = params::SplitWholeReply(reply);
    if (!complete) {
        return false;
    }
    if (!complete->ok) {
        return true;
    }
    const auto rest = After(reply, keyword);
    return rest && ParseVersion(*rest).has_value();
}

bool RecognisedModel(std::string_view reply) {
    const auto complete = params::SplitWholeReply(reply);
    return complete && complete->ok && VersionReply(reply, kModelKeyword);
}

}  // namespace vardex::device::identity
