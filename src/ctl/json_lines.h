#pragma once
// The script contract of zar4ctl: with --json, standard output carries one JSON object a line
// ("JSON Lines"), each with a "type" (start, progress, question, warning, difference, result,
// error). This builds those objects; every command writes them through it, so that the
// escaping and the field order are the same everywhere.

#include <cstdint>
#include <initializer_list>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace zar4::ctl {

class JsonValue;

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

    // The object as one line of JSON, without a line end.
    std::string text() const;

private:
    JsonObject& addRaw(std::string_view key, std::string_view json);
    std::string body_;
};

// `text` as a JSON string literal, quotes included. Bytes that are not valid UTF-8 are
// written as U+FFFD so that every line stays valid JSON whatever a file name holds.
std::string jsonString(std::string_view text);

// Writes `object` and a line end, and flushes: a script reading line by line sees each event
// when it happens.
void writeJsonLine(std::ostream& out, const JsonObject& object);

} // namespace zar4::ctl
