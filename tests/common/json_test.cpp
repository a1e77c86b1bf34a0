#include "common/json.h"

#include <gtest/gtest.h>

namespace zar4 {
namespace {

TEST(JsonLines, EventsKeepFieldOrderAndNestValues) {
    JsonObject port;
    port.add("device", "/dev/ttyUSB0").addNull("by_id");
    const JsonObject result = JsonObject::event("result")
                                  .add("status", 4)
                                  .add("ok", false)
                                  .add("ports", std::vector<JsonObject>{port})
                                  .add("banks", std::vector<int>{3, 14});
    EXPECT_EQ(result.text(), R"({"type":"result","status":4,"ok":false,)"
                             R"("ports":[{"device":"/dev/ttyUSB0","by_id":null}],"banks":[3,14]})");
}

TEST(JsonLines, StringsAreEscapedAndAlwaysValidUtf8) {
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"a\"b\\c", R"("a\"b\\c")"},
        {"line\nnext\r\t", R"("line\nnext\r\t")"},
        {std::string("\x01\x7f", 2), R"("\u0001\u007f")"},
        {"\xe3\x83\xbb", "\"\xe3\x83\xbb\""},        // U+30FB passes through
        {"bad\xff\xc3", R"("bad\ufffd\ufffd")"},     // a stray byte and a cut sequence
        {"\xed\xa0\x80", R"("\ufffd\ufffd\ufffd")"}, // an encoded surrogate is not UTF-8
    };
    for (const auto& c : cases) {
        EXPECT_EQ(jsonString(c.in), c.out) << c.in;
    }
}

} // namespace
} // namespace zar4

namespace zar4 {
namespace {

TEST(JsonReader, ReadsWhatTheWriterWritesBack) {
    JsonObject inner;
    inner.add("text", std::string("a\"\\\n\x01 \xe3\x83\xbb")).add("n", std::int64_t{-42});
    JsonObject outer;
    outer.add("inner", inner)
        .add("list", std::vector<int>{1, 2})
        .add("yes", true)
        .addNull("none")
        .add("big", std::int64_t{INT64_MIN});
    for (const std::string& text : {outer.text(), outer.lines()}) {
        JsonValue v;
        std::string why;
        ASSERT_TRUE(parseJson(text, v, why)) << why;
        ASSERT_EQ(v.kind, JsonValue::Kind::Object);
        EXPECT_EQ(v.find("inner")->find("text")->text, "a\"\\\n\x01 \xe3\x83\xbb");
        EXPECT_EQ(v.find("inner")->find("n")->number, -42);
        EXPECT_EQ(v.find("list")->items.size(), 2u);
        EXPECT_TRUE(v.find("yes")->flag);
        EXPECT_EQ(v.find("none")->kind, JsonValue::Kind::Null);
        EXPECT_EQ(v.find("big")->number, INT64_MIN);
    }
    JsonValue escaped;
    std::string why;
    ASSERT_TRUE(parseJson(R"(["\ud83d\ude00\u00e9\/\b\f"])", escaped, why)) << why;
    EXPECT_EQ(escaped.items[0].text, "\xf0\x9f\x98\x80\xc3\xa9/\b\f");
}

TEST(JsonReader, RefusesWhatIsNotStrictJsonAndSaysWhere) {
    const struct {
        std::string text;
        const char* why;
    } cases[] = {
        {"", "line 1, column 1: the text ends where a value should be"},
        {"{\"a\":1,\n \"a\":2}", "line 2, column 5: the key \"a\" is given twice"},
        {"{\"a\":1,}", "expected a key in quotes"},
        {"[1 2]", "expected ']'"},
        {"{} {}", "more text after the value"},
        {"[1.5]", "a number that is not whole"},
        {"[1e3]", "a number that is not whole"},
        {"[01]", "a number with a leading zero"},
        {"[9223372036854775808]", "a number beyond 64 bits"},
        {"[-]", "a number without digits"},
        {"[tru]", "no JSON value here"},
        {"[\"a\tb\"]", "a control character inside a string"},
        {"[\"\\x\"]", "an unknown escape in a string"},
        {"[\"\\ud800\"]", "a high surrogate without its low half"},
        {"[\"\\udc00\"]", "a lone low surrogate in a string"},
        {"[\"\\u12", "a \\u escape cut short"},
        {"[\"\\u12\"]", "no hexadecimal digit"},
        {"[\"\xff\"]", "a string that is not valid UTF-8"},
        {"[\"abc", "the text ends inside a string"},
        {std::string(70, '[') + std::string(70, ']'), "values nested too deep"},
    };
    for (const auto& c : cases) {
        JsonValue v;
        std::string why;
        EXPECT_FALSE(parseJson(c.text, v, why)) << c.text;
        EXPECT_NE(why.find(c.why), std::string::npos) << c.text << " -> " << why;
    }
}

} // namespace
} // namespace zar4
