#pragma once
// Reads what zar4ctl --json prints, strictly: a line that is not one whole JSON object fails
// the test. Enough JSON for the events (objects, arrays, strings, integers, true/false/null).

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

class JsonParser {
public:
    explicit JsonParser(const std::string& text) : s_(text) {}
    bool parse(Json& out) {
        bool ok = value(out);
        space();
        return ok && i_ == s_.size();
    }

private:
    void space() {
        while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t'))
            ++i_;
    }
    bool literal(const char* word) {
        std::string w(word);
        if (s_.compare(i_, w.size(), w) != 0)
            return false;
        i_ += w.size();
        return true;
    }
    bool string(std::string& out) {
        if (s_[i_] != '"')
            return false;
        for (++i_; i_ < s_.size(); ++i_) {
            char c = s_[i_];
            if (c == '"') {
                ++i_;
                return true;
            }
            if (static_cast<unsigned char>(c) < 0x20)
                return false;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (++i_ >= s_.size())
                return false;
            switch (s_[i_]) {
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u': {
                unsigned code = std::stoul(s_.substr(i_ + 1, 4), nullptr, 16);
                i_ += 4;
                if (code < 0x80) {
                    out += static_cast<char>(code);
                } else if (code < 0x800) {
                    out += static_cast<char>(0xC0 | (code >> 6));
                    out += static_cast<char>(0x80 | (code & 0x3F));
                } else {
                    out += static_cast<char>(0xE0 | (code >> 12));
                    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
                    out += static_cast<char>(0x80 | (code & 0x3F));
                }
                break;
            }
            default:
                out += s_[i_];
                break;
            }
        }
        return false;
    }
    bool value(Json& out) {
        space();
        if (i_ >= s_.size())
            return false;
        char c = s_[i_];
        if (c == '{') {
            out.kind = Json::Kind::Object;
            ++i_;
            space();
            if (i_ < s_.size() && s_[i_] == '}')
                return ++i_, true;
            for (;;) {
                space();
                std::string key;
                if (i_ >= s_.size() || !string(key))
                    return false;
                space();
                if (i_ >= s_.size() || s_[i_++] != ':')
                    return false;
                Json member;
                if (!value(member))
                    return false;
                out.members.emplace_back(key, std::move(member));
                space();
                if (i_ < s_.size() && s_[i_] == ',') {
                    ++i_;
                    continue;
                }
                return i_ < s_.size() && s_[i_++] == '}';
            }
        }
        if (c == '[') {
            out.kind = Json::Kind::Array;
            ++i_;
            space();
            if (i_ < s_.size() && s_[i_] == ']')
                return ++i_, true;
            for (;;) {
                Json item;
                if (!value(item))
                    return false;
                out.items.push_back(std::move(item));
                space();
                if (i_ < s_.size() && s_[i_] == ',') {
                    ++i_;
                    continue;
                }
                return i_ < s_.size() && s_[i_++] == ']';
            }
        }
        if (c == '"') {
            out.kind = Json::Kind::String;
            return string(out.text);
        }
        if (literal("true") || literal("false")) {
            out.kind = Json::Kind::Bool;
            out.flag = s_[i_ - 2] == 'u'; // "true" ends in "ue", "false" in "se"
            return true;
        }
        if (literal("null"))
            return true;
        std::size_t used = 0;
        try {
            out.number = std::stoll(s_.substr(i_), &used);
        } catch (...) {
            return false;
        }
        out.kind = Json::Kind::Number;
        i_ += used;
        return true;
    }

    const std::string& s_;
    std::size_t i_ = 0;
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
