#pragma once
// JSON as the program writes and reads it: the events zar4ctl prints with --json and the
// manifest a read leaves beside a backup. The writer keeps fields in the order they were
// added and always produces valid UTF-8; the reader is strict, as it judges files that an
// editor or a damaged disk may have changed, and says where and why a text is no JSON.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zar4 {

// One JSON object, its fields in the order they were added.
class JsonObject {
public:
    JsonObject() = default;
    // An event object: {"type": <type>, ...}.
    static JsonObject event(std::string_view type);

    JsonObject& add(std::string_view key, std::string_view text);
    JsonObject& add(std::string_view key, const char* text);
    JsonObject& add(std::string_view key, const std::string& text);
    JsonObject& add(std::string_view key, std::int64_t number);
    JsonObject& add(std::string_view key, int number);
    JsonObject& add(std::string_view key, bool flag);
    JsonObject& addNull(std::string_view key);
    JsonObject& add(std::string_view key, const JsonObject& object);
    JsonObject& add(std::string_view key, const std::vector<JsonObject>& objects);
    JsonObject& add(std::string_view key, const std::vector<std::string>& texts);
    JsonObject& add(std::string_view key, const std::vector<int>& numbers);
    // A value already written as JSON (an array laid out over several lines).
    JsonObject& addRaw(std::string_view key, std::string_view json);

    // The object as one line of JSON, without a line end.
    std::string text() const;
    // The object with one field a line, indented by two spaces, ended by a line end.
    std::string lines() const;

private:
    std::vector<std::string> fields_; // "\"key\":value"
};

// `text` as a JSON string literal, quotes included. Bytes that are not valid UTF-8 are
// written as U+FFFD so that every line stays valid JSON whatever a file name holds.
std::string jsonString(std::string_view text);

struct JsonMember;

// A JSON value as read. Numbers are whole numbers (what the program writes); an object keeps
// its members in the order of the text.
struct JsonValue {
    enum class Kind { Null, Bool, Number, String, Array, Object };
    Kind kind = Kind::Null;
    bool flag = false;
    std::int64_t number = 0;
    std::string text;
    std::vector<JsonValue> items;
    std::vector<JsonMember> members;

    // The member of that name, or nullptr.
    const JsonValue* find(std::string_view key) const;
};

struct JsonMember {
    std::string key;
    JsonValue value;
};

// Reads `text` as one JSON value, with nothing but white space around it. Refused, with the
// line and column and the reason in `why`: anything that is not JSON, a string that is not
// valid UTF-8, a number with a fraction or an exponent or beyond 64 bits, a key given twice
// in one object, values nested deeper than 64.
bool parseJson(std::string_view text, JsonValue& out, std::string& why);

} // namespace zar4
