#include "ctl/json_lines.h"

#include <gtest/gtest.h>

namespace zar4::ctl {
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
} // namespace zar4::ctl
