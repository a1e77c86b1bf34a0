#pragma once
// Reads what zar4ctl --json prints, strictly: a line that is not one whole JSON object fails
// the test.

#include "common/json.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace zar4::test {

struct Json {
    enum class Kind { Null, Bool, Number, String, Array, Object };
    Kind kind = Kind::Null;
    bool flag = false;
    long long number = 0;
    std::string text;
    std::vector<Json> items;
    std::vector<std::pair<std::string, Json>> members;

    bool has(const std::string& key) const {
        for (const auto& m : members)
            if (m.first == key)
                return true;
        return false;
    }
    const Json& operator[](const std::string& key) const {
        for (const auto& m : members)
            if (m.first == key)
                return m.second;
        static const Json none;
        ADD_FAILURE() << "no field " << key;
        return none;
    }
    std::string str(const std::string& key) const { return (*this)[key].text; }
    long long num(const std::string& key) const { return (*this)[key].number; }
};

// The program's own strict reader, its values in the shape the tests use.
class JsonParser {
public:
    explicit JsonParser(const std::string& text) : s_(text) {}
    bool parse(Json& out) {
        JsonValue value;
        std::string why;
        if (!parseJson(s_, value, why))
            return false;
        out = convert(value);
        return true;
    }

private:
    static Json convert(const JsonValue& v) {
        Json j;
        j.kind = static_cast<Json::Kind>(v.kind);
        j.flag = v.flag;
        j.number = v.number;
        j.text = v.text;
        for (const auto& item : v.items)
            j.items.push_back(convert(item));
        for (const auto& member : v.members)
            j.members.emplace_back(member.key, convert(member.value));
        return j;
    }

    const std::string& s_;
};

// Every line of `out` as one JSON object with a "type"; a line that is not fails the test.
inline std::vector<Json> jsonLines(const std::string& out) {
    std::vector<Json> objects;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        Json j;
        if (!JsonParser(line).parse(j) || j.kind != Json::Kind::Object || !j.has("type")) {
            ADD_FAILURE() << "not a JSON event: " << line;
            continue;
        }
        objects.push_back(std::move(j));
    }
    return objects;
}

inline std::vector<Json> ofType(const std::vector<Json>& events, const std::string& type) {
    std::vector<Json> found;
    for (const auto& e : events)
        if (e.str("type") == type)
            found.push_back(e);
    return found;
}

} // namespace zar4::test
