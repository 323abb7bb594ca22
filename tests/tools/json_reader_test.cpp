// The reader of `write --from` files: what it takes exactly, and where it says a
// fault is. The library under it reads UTF-8, floating numbers and any depth;
// these are the places where that shows through if nothing holds it back.
#include "settings/json_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace vardex::settings;

namespace vardex::ctl {
namespace {

using namespace std::string_literals;

struct Read {
    bool ok = false;
    std::string error;
    std::vector<std::pair<std::string, FieldValue>> members;
};

Read ReadObject(const std::string& text) {
    Read r;
    auto read = ReadFieldsObject(text);
    r.ok = read.has_value();
    if (read) {
        r.members = std::move(*read);
    } else {
        r.error = read.error();
    }
    return r;
}

struct Refusal {
    std::string json;
    const char* said;
};

void ExpectRefusals(const std::vector<Refusal>& cases) {
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.json);
        const Read r = ReadObject(c.json);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error, c.said);
    }
}

TEST(JsonReader, WholeNumbersAreExactToTheEdgesOf64Bits) {
    const Read r = ReadObject(R"({"hi":9223372036854775807,"lo":-9223372036854775808,"z":-0})");
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.members.size(), 3u);
    EXPECT_EQ(r.members[0].second.number, 9223372036854775807LL);
    EXPECT_EQ(r.members[1].second.number, -9223372036854775807LL - 1);
    EXPECT_EQ(r.members[2].second.type, FieldValue::Type::kNumber);
    EXPECT_EQ(r.members[2].second.number, 0);
    ExpectRefusals({
        {R"({"n":9223372036854775808})", "\"n\": 9223372036854775808 is out of range (at byte 24)"},
        {R"({"n":18446744073709551615})",
         "\"n\": 18446744073709551615 is out of range (at byte 25)"},
        {R"({"n":-9223372036854775809})",
         "\"n\": -9223372036854775809 is out of range (at byte 25)"},
        {R"({"n":[1,123456789012345678901234567890]})",
         "\"n\": 12345678901234567890... is out of range (at byte 38)"},
        // Beyond what even a floating number holds.
        {R"({"n":1e999})", "\"n\": 1e999 is out of range (at byte 10)"},
        {"{\"n\":" + std::string(400, '9') + "}",
         "\"n\": 99999999999999999999... is out of range (at byte 405)"},
        {R"({"n":1.5})", "\"n\": 1.5 is not a whole number (at byte 8)"},
        {R"({"n":-a})", "\"n\": malformed number (at byte 6)"},
        {R"({"n":1.e5})", "\"n\": malformed number (at byte 7)"},
    });
}

TEST(JsonReader, TextsAreBytesWhetherEscapedOrNot) {
    // \u00ff is the byte 0xFF; a byte that is no UTF-8, or is part of some, is
    // itself, in a value as in a key.
    const Read r =
        ReadObject("{\"e\":\"\\u00ff\\u0000A\",\"raw\xff\":\"\xff\xfe\x80\",\"u\":\"\xc3\xa9\"}");
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.members.size(), 3u);
    EXPECT_EQ(r.members[0].second.text, "\xff\0A"s);
    EXPECT_EQ(r.members[1].first, "raw\xff");
    EXPECT_EQ(r.members[1].second.text, "\xff\xfe\x80");
    EXPECT_EQ(r.members[2].second.text, "\xc3\xa9");
    ExpectRefusals({
        {R"({"t":"1\u0100"})", "\"t\": \\u above 00ff: the device's texts are bytes (at byte 13)"},
        // A pair makes one character, above 00ff from its first half on.
        {R"({"t":"\ud83d\ude00"})",
         "\"t\": \\u above 00ff: the device's texts are bytes (at byte 12)"},
        {R"({"t":"\ud800x"})", "\"t\": \\u above 00ff: the device's texts are bytes (at byte 12)"},
        // The first fault counts, though the library stops only at the second.
        {R"({"t":"\u0100\q"})", "\"t\": \\u above 00ff: the device's texts are bytes (at byte 12)"},
        {R"({"\u0100":1})", "\\u above 00ff: the device's texts are bytes (at byte 8)"},
        // Outside a text, a byte above 0x7f is no token.
        {"{\"t\":\xff}", "\"t\": malformed value (at byte 5)"},
        {"{\"t\":1\xc3\xa9}", "expected ',' or '}' (at byte 6)"},
        {"\xef\xbb\xbf{}",
         "the file begins with a byte-order mark (EF BB BF), which JSON does not take: save it "
         "as UTF-8 without one"},
    });
}

TEST(JsonReader, ListsNestEightDeepAndHoldNoObject) {
    const Read eight = ReadObject(R"({"l":[[[[[[[[7]]]]]]]]})");
    ASSERT_TRUE(eight.ok) << eight.error;
    const FieldValue* v = &eight.members.at(0).second;
    for (int depth = 0; depth < 8; ++depth) {
        ASSERT_EQ(v->type, FieldValue::Type::kList);
        ASSERT_EQ(v->list.size(), 1u);
        v = &v->list[0];
    }
    EXPECT_EQ(v->number, 7);
    ExpectRefusals({
        {R"({"l":[[[[[[[[[7]]]]]]]]]})", "\"l\": lists nested too deep (at byte 14)"},
        {R"({"l":[[[[[[[[[ "x"]]]]]]]]]})", "\"l\": lists nested too deep (at byte 15)"},
        {R"({"l":[[[[[[[[[{}]]]]]]]]]})", "\"l\": lists nested too deep (at byte 14)"},
        {R"({"l":[1,{"a":1}]})", "\"l\": malformed value (at byte 8)"},
        {R"({"o":{}})", "\"o\": malformed value (at byte 5)"},
    });
}

TEST(JsonReader, SaysWhatIsAmissAndAtWhichByte) {
    ExpectRefusals({
        {"", "expected a JSON object (at byte 0)"},
        {" [1]", "expected a JSON object (at byte 1)"},
        {R"("{}")", "expected a JSON object (at byte 0)"},
        {"{", "expected a key in quotes (at byte 1)"},
        {R"({"a":1,})", "expected a key in quotes (at byte 7)"},
        {R"({"a" 1})", "expected ':' after \"a\" (at byte 5)"},
        {R"({"a":1 "b":2})", "expected ',' or '}' (at byte 7)"},
        {R"({"a":1,"b":2,"a":3})", "\"a\" appears twice (at byte 16)"},
        {R"({"a":)", "\"a\": a value is missing (at byte 5)"},
        {R"({"a":,})", "\"a\": malformed value (at byte 5)"},
        {R"({"a":tru})", "\"a\": malformed value (at byte 5)"},
        {R"({"a":[1 2]})", "\"a\": expected ',' or ']' in a list (at byte 8)"},
        {R"({"a":[1,]})", "\"a\": malformed value (at byte 8)"},
        {"{\"a\":\"1\x01\"}",
         "\"a\": a control character inside a text must be escaped (at byte 8)"},
        {R"({"a":"\x"})", "\"a\": unknown escape in a text (at byte 8)"},
        {R"({"a":"\u12"})", "\"a\": \\u needs four hexadecimal digits (at byte 10)"},
        {R"({"a":"\u12)", "\"a\": \\u needs four hexadecimal digits (at byte 10)"},
        {R"({"a":"1)", "\"a\": a text without its closing quote (at byte 7)"},
        {R"({"a":"1\)", "\"a\": a text without its closing quote (at byte 8)"},
        {R"({"a\q":1})", "unknown escape in a text (at byte 5)"},
        {R"({"a":1} x)", "text after the JSON object (at byte 8)"},
        // The library takes a NUL byte for the end of its input.
        {"{\"a\":1}\0"s, "text after the JSON object (at byte 7)"},
        {"{\"a\":1\0}"s, "expected ',' or '}' (at byte 6)"},
    });
}

}  // namespace
}  // namespace vardex::ctl
