#include "settings/json_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <istream>
#include <limits>
#include <nlohmann/json.hpp>
#include <set>
#include <streambuf>
#include <string_view>

#include "platform/unique_fd.h"
#include "settings/json_text.h"

using namespace vardex::platform;

namespace vardex::settings {
namespace {

using Json = nlohmann::json;
using Members = std::vector<std::pair<std::string, FieldValue>>;

// Lists inside lists; a value inside one more is refused.
constexpr std::size_t kMaxDepth = 8;

constexpr std::size_t kNone = std::string::npos;
constexpr const char* kWideEscape = "\\u above 00ff: the device's texts are bytes";

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Hands the text to the library a byte at a time. The library reads UTF-8 while
// the texts of a settings file are bytes, so a byte of 0x80..0xFF goes in as the
// UTF-8 of U+0080..U+00FF and comes back out as itself. It counts in the text's
// own bytes how far the library has read, which is where a message points.
class ByteSource : public std::streambuf {
public:
    explicit ByteSource(std::string_view text) : text_(text) {}

    // The bytes handed out; one counts from its first UTF-8 unit on.
    std::size_t Taken() const { return taken_; }
    // The byte the library looked at last (the text's size once it asked past
    // the end): after a number the one that ended it, at a fault the one that
    // made it.
    std::size_t Looked() const { return at_end_ ? text_.size() : taken_ == 0 ? 0 : taken_ - 1; }

protected:
    int_type underflow() override { return Next(false); }
    int_type uflow() override { return Next(true); }

private:
    int_type Next(bool take) {
        if (second_ >= 0) {
            const int_type unit = second_;
            if (take) {
                second_ = -1;
            }
            return unit;
        }
        if (taken_ == text_.size()) {
            at_end_ = at_end_ || take;
            return traits_type::eof();
        }
        const int_type byte = static_cast<unsigned char>(text_[taken_]);
        if (byte < 0x80) {
            taken_ += take ? 1 : 0;
            return byte;
        }
        if (take) {
            ++taken_;
            second_ = 0x80 | (byte & 0x3F);
        }
        return 0xC0 | (byte >> 6);
    }

    std::string_view text_;
    std::size_t taken_ = 0;
    int_type second_ = -1;  // the UTF-8 unit still owed for the last byte
    bool at_end_ = false;
};

// The library's UTF-8 back to the bytes it stands for; false at a character
// above U+00FF, which only a \u escape brings.
bool ToBytes(const std::string& utf8, std::string* bytes) {
    bytes->reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto unit = static_cast<unsigned char>(utf8[i]);
        if (unit < 0x80) {
            bytes->push_back(utf8[i]);
            continue;
        }
        if (unit > 0xC3 || i + 1 == utf8.size()) {
            return false;
        }
        const auto last = static_cast<unsigned char>(utf8[++i]);
        bytes->push_back(static_cast<char>(((unit & 0x03) << 6) | (last & 0x3F)));
    }
    return true;
}

// Takes the library's events into fields, and its refusals, which it tells in
// its own words and counts, into messages that say where in the text a person
// went wrong.
class FieldsReader final : public nlohmann::json_sax<Json> {
public:
    FieldsReader(std::string_view text, const ByteSource& source, Members* members)
        : text_(text), source_(source), members_(members) {}

    const std::string& error() const { return error_; }

    // The library stops at a NUL byte as at the end of the text.
    bool Finish() {
        const std::size_t at = SkipSpace(mark_);
        return at == text_.size() || Fail("text after the JSON object", at);
    }

    bool null() override {
        FieldValue v;
        v.type = FieldValue::Type::kNull;
        return Scalar(std::move(v));
    }
    bool boolean(bool val) override {
        FieldValue v;
        v.type = FieldValue::Type::kBool;
        v.number = val ? 1 : 0;
        return Scalar(std::move(v));
    }
    bool number_integer(number_integer_t val) override {
        FieldValue v;
        v.number = val;
        return Scalar(std::move(v));
    }
    bool number_unsigned(number_unsigned_t val) override {
        if (val > static_cast<number_unsigned_t>(std::numeric_limits<long long>::max())) {
            return NumberFault(true);
        }
        return number_integer(static_cast<number_integer_t>(val));
    }
    // A whole number written with a fraction or an exponent (1.0, 2e1) is the
    // whole number, as a JSON Schema "integer" takes it; within 2^53 a double
    // holds it exactly.
    bool number_float(number_float_t val, const string_t& /*text*/) override {
        constexpr number_float_t kExact = 9007199254740992.0;
        const bool whole = std::isfinite(val) && val == std::trunc(val);
        if (whole && std::fabs(val) <= kExact) {
            return number_integer(static_cast<number_integer_t>(val));
        }
        return NumberFault(whole);
    }
    bool string(string_t& val) override {
        if (!Place()) {
            return false;
        }
        FieldValue v;
        v.type = FieldValue::Type::kText;
        if (!ToBytes(val, &v.text)) {
            return FailValue(kWideEscape, WideEscapeEnd(TokenStart(), source_.Taken()));
        }
        return Put(std::move(v), source_.Taken());
    }
    bool binary(binary_t& /*val*/) override { return FailValue("malformed value", TokenStart()); }

    bool start_object(std::size_t /*elements*/) override {
        if (next_ == Next::kObject) {
            next_ = Next::kFirstKey;
            mark_ = source_.Taken();
            return true;
        }
        // No field holds an object.
        return Place() && FailValue("malformed value", TokenStart());
    }
    bool key(string_t& val) override {
        std::string name;
        if (!ToBytes(val, &name)) {
            return Fail(kWideEscape, WideEscapeEnd(TokenStart(), source_.Taken()));
        }
        if (!keys_.insert(name).second) {
            return Fail(JsonString(name) + " appears twice", source_.Taken());
        }
        key_ = std::move(name);
        next_ = Next::kColon;
        mark_ = source_.Taken();
        return true;
    }
    bool end_object() override {
        next_ = Next::kEnd;
        mark_ = source_.Taken();
        return true;
    }
    bool start_array(std::size_t /*elements*/) override {
        if (!Place()) {
            return false;
        }
        FieldValue list;
        list.type = FieldValue::Type::kList;
        lists_.push_back(std::move(list));
        next_ = Next::kFirstItem;
        mark_ = source_.Taken();
        return true;
    }
    bool end_array() override {
        FieldValue list = std::move(lists_.back());
        lists_.pop_back();
        return Put(std::move(list), source_.Taken());
    }

    // The library says what it met, not what the object lacked there: where
    // it stopped tells that, with the token before it.
    bool parse_error(std::size_t /*position*/, const std::string& /*last_token*/,
                     const Json::exception& ex) override {
        if (ex.id == 406) {  // a number beyond even a floating one
            return NumberFault(true);
        }
        const std::size_t at = SkipSpace(mark_);
        switch (next_) {
            case Next::kObject:
                return Fail("expected a JSON object", at);
            case Next::kFirstKey:
                return KeyFault(at, ex);
            case Next::kColon:
                return At(at, ':') ? ValueFault(SkipSpace(at + 1), ex)
                                   : Fail("expected ':' after " + JsonString(key_), at);
            case Next::kMemberEnd:
                return At(at, ',') ? KeyFault(SkipSpace(at + 1), ex)
                                   : Fail("expected ',' or '}'", at);
            case Next::kFirstItem:
                return ValueFault(at, ex);
            case Next::kItemEnd:
                return At(at, ',') ? ValueFault(SkipSpace(at + 1), ex)
                                   : FailValue("expected ',' or ']' in a list", at);
            case Next::kEnd:
                break;
        }
        return Fail("text after the JSON object", at);
    }

private:
    // What the object takes after the last token read.
    enum class Next {
        kObject,     // its '{'
        kFirstKey,   // a key or '}'
        kColon,      // ':' and the value
        kMemberEnd,  // ',' and a key, or '}'
        kFirstItem,  // a value or ']'
        kItemEnd,    // ',' and a value, or ']'
        kEnd,        // nothing more
    };

    bool Fail(const std::string& what, std::size_t at) {
        error_ = what + " (at byte " + std::to_string(at) + ")";
        return false;
    }
    // A fault in a member's value names the member.
    bool FailValue(const std::string& what, std::size_t at) {
        return Fail(JsonString(key_) + ": " + what, at);
    }

    bool At(std::size_t at, char c) const { return at < text_.size() && text_[at] == c; }
    std::size_t SkipSpace(std::size_t at) const {
        while (at < text_.size() && IsSpace(text_[at])) {
            ++at;
        }
        return at;
    }
    // Where the token the library has just read starts: past the separator
    // that must come before it.
    std::size_t TokenStart() const {
        const std::size_t at = SkipSpace(mark_);
        const bool separator =
            next_ == Next::kColon || next_ == Next::kMemberEnd || next_ == Next::kItemEnd;
        return separator ? SkipSpace(at + 1) : at;
    }

    // Whether a value may start here at all.
    bool Place() {
        if (next_ == Next::kObject) {
            return Fail("expected a JSON object", TokenStart());
        }
        return lists_.size() <= kMaxDepth || FailValue("lists nested too deep", TokenStart());
    }
    bool Scalar(FieldValue v) {
        const bool number = v.type == FieldValue::Type::kNumber;
        // A number is over only once a byte after it is seen.
        return Place() && Put(std::move(v), number ? source_.Looked() : source_.Taken());
    }
    bool Put(FieldValue v, std::size_t end) {
        mark_ = end;
        if (lists_.empty()) {
            members_->emplace_back(key_, std::move(v));
            next_ = Next::kMemberEnd;
        } else {
            lists_.back().list.push_back(std::move(v));
            next_ = Next::kItemEnd;
        }
        return true;
    }

    // A number the record cannot take: with a fraction, or whole but beyond
    // what it holds exactly.
    bool NumberFault(bool whole) {
        if (!Place()) {
            return false;
        }
        const std::size_t start = TokenStart();
        const std::size_t end = source_.Looked();
        std::string shown(text_.substr(start, end - start));
        if (shown.size() > 24) {
            shown = shown.substr(0, 20) + "...";
        }
        return FailValue(shown + (whole ? " is out of range" : " is not a whole number"), end);
    }

    bool KeyFault(std::size_t at, const Json::exception& ex) {
        return At(at, '"') ? TextFault(at, ex, false) : Fail("expected a key in quotes", at);
    }
    bool ValueFault(std::size_t at, const Json::exception& ex) {
        if (lists_.size() > kMaxDepth) {
            return FailValue("lists nested too deep", at);
        }
        if (at == text_.size()) {
            return FailValue("a value is missing", at);
        }
        if (text_[at] == '"') {
            return TextFault(at, ex, true);
        }
        if (text_[at] == '-' || std::isdigit(static_cast<unsigned char>(text_[at])) != 0) {
            return FailValue("malformed number", source_.Looked());
        }
        return FailValue("malformed value", at);
    }
    // A text that starts at `start` and that the library refused. A \u above
    // 00ff before the fault is the first fault: the library takes those.
    bool TextFault(std::size_t start, const Json::exception& ex, bool value) {
        const std::size_t looked = source_.Looked();
        // What the library read follows its words, and may hold anything.
        std::string_view said = ex.what();
        said = said.substr(0, said.find("; last read:"));
        const auto says = [&said](const char* words) { return said.find(words) != kNone; };
        std::string why = "malformed value";
        std::size_t at = start;
        if (const std::size_t wide = WideEscapeEnd(start, looked + 1); wide != kNone) {
            why = kWideEscape;
            at = wide;
        } else if (says("control character")) {
            why = "a control character inside a text must be escaped";
            at = looked + 1;
        } else if (says("must be followed by 4 hex digits")) {
            why = "\\u needs four hexadecimal digits";
            at = looked;
        } else if (says("after backslash") && looked < text_.size()) {
            why = "unknown escape in a text";
            at = looked + 1;
        } else if (says("after backslash") || says("missing closing quote")) {
            why = "a text without its closing quote";
            at = text_.size();
        }
        return value ? FailValue(why, at) : Fail(why, at);
    }
    // Where the first \u above 00ff of the text that starts at `start` ends,
    // if it ends by `limit`.
    std::size_t WideEscapeEnd(std::size_t start, std::size_t limit) const {
        for (std::size_t at = start + 1; at < text_.size() && text_[at] != '"'; ++at) {
            if (text_[at] != '\\' || ++at == text_.size() || text_[at] != 'u') {
                continue;
            }
            unsigned code = 0;
            for (int digit = 0; digit < 4; ++digit) {
                if (++at == text_.size() ||
                    std::isxdigit(static_cast<unsigned char>(text_[at])) == 0) {
                    return kNone;
                }
                const int h = std::tolower(static_cast<unsigned char>(text_[at]));
                code = code * 16 + static_cast<unsigned>(h <= '9' ? h - '0' : h - 'a' + 10);
            }
            if (code > 0xFF) {
                return at + 1 <= limit ? at + 1 : kNone;
            }
        }
        return kNone;
    }

    std::string_view text_;
    const ByteSource& source_;
    Members* members_;
    std::set<std::string> keys_;
    std::string key_;                // the member being read
    std::vector<FieldValue> lists_;  // the lists open, outermost first
    Next next_ = Next::kObject;
    std::size_t mark_ = 0;  // just past the last token taken
    std::string error_;
};

// The largest settings file taken: a record's JSON is a few kilobytes.
constexpr std::size_t kSettingsFileMax = 1 << 20;

Unexpected<std::string> FileProblem(std::string what) {
    return Unexpected{std::move(what)};
}

// Reads a settings file; a failure for a file that is missing or unreadable,
// not a regular file (a FIFO would wait for a writer, a device might never
// end) or larger than kSettingsFileMax.
Expected<std::string> ReadSettingsFileImpl(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return FileProblem(std::strerror(errno));
    }
    if (!S_ISREG(info.st_mode)) {
        return FileProblem("not a regular file");
    }
    if (static_cast<std::size_t>(info.st_size) > kSettingsFileMax) {
        return FileProblem("larger than 1 MiB");
    }
    // Non-blocking and checked again: the name may have become a FIFO since.
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd) {
        return FileProblem(std::strerror(errno));
    }
    if (::fstat(fd.get(), &info) != 0) {
        return FileProblem(std::strerror(errno));
    }
    if (!S_ISREG(info.st_mode)) {
        return FileProblem("not a regular file");
    }
    std::string text;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return FileProblem(std::strerror(errno));
        }
        if (n == 0) {
            break;
        }
        // It may grow while it is read.
        if (text.size() + static_cast<std::size_t>(n) > kSettingsFileMax) {
            return FileProblem("larger than 1 MiB");
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

}  // namespace

Expected<Members> ReadFieldsObject(const std::string& text) {
    if (text.starts_with("\xEF\xBB\xBF")) {
        return Unexpected{
            "the file begins with a byte-order mark (EF BB BF), which JSON does not take: "
            "save it as UTF-8 without one"};
    }
    ByteSource source(text);
    std::istream in(&source);
    Members members;
    FieldsReader reader(text, source, &members);
    if (Json::sax_parse(in, &reader) && reader.Finish()) {
        return members;
    }
    return Unexpected{reader.error()};
}

Expected<std::string> ReadSettingsFile(const std::string& path) {
    return ReadSettingsFileImpl(path);
}

}  // namespace vardex::settings
