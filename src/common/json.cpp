#include "common/json.h"

#include <cstdio>
#include <limits>
#include <tuple>

namespace zar4 {

namespace {

// The length of the valid UTF-8 sequence at `text[i]`, or 0 when it is not one.
std::size_t utf8Length(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    unsigned int minimum = 0;
    unsigned int code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, minimum = 0x80, code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, minimum = 0x800, code = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, minimum = 0x10000, code = lead & 0x07u;
    } else {
        return 0;
    }
    if (i + length > text.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0u) != 0x80u) {
            return 0;
        }
        code = (code << 6) | (byte(i + k) & 0x3Fu);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code < minimum || code > 0x10FFFF || surrogate ? 0 : length;
}

} // namespace

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const std::size_t n = utf8Length(text, i);
            if (n == 0) {
                out += "\\ufffd";
                ++i;
            } else {
                out.append(text.substr(i, n));
                i += n;
            }
            continue;
        }
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out += static_cast<char>(c);
            }
        }
        ++i;
    }
    out += '"';
    return out;
}

JsonObject JsonObject::event(std::string_view type) {
    JsonObject object;
    object.add("type", type);
    return object;
}

JsonObject& JsonObject::addRaw(std::string_view key, std::string_view json) {
    std::string field = jsonString(key);
    field += ':';
    field += json;
    fields_.push_back(std::move(field));
    return *this;
}

JsonObject& JsonObject::add(std::string_view key, std::string_view text) {
    return addRaw(key, jsonString(text));
}
JsonObject& JsonObject::add(std::string_view key, const char* text) {
    return add(key, std::string_view(text));
}
JsonObject& JsonObject::add(std::string_view key, const std::string& text) {
    return add(key, std::string_view(text));
}
JsonObject& JsonObject::add(std::string_view key, std::int64_t number) {
    return addRaw(key, std::to_string(number));
}
JsonObject& JsonObject::add(std::string_view key, int number) {
    return addRaw(key, std::to_string(number));
}
JsonObject& JsonObject::add(std::string_view key, bool flag) {
    return addRaw(key, flag ? "true" : "false");
}
JsonObject& JsonObject::addNull(std::string_view key) {
    return addRaw(key, "null");
}
JsonObject& JsonObject::add(std::string_view key, const JsonObject& object) {
    return addRaw(key, object.text());
}

namespace {
template <typename T, typename F> std::string jsonArray(const std::vector<T>& items, F item) {
    std::string out = "[";
    for (std::size_t i = 0; i < items.size(); ++i) {
        out += i == 0 ? "" : ",";
        out += item(items[i]);
    }
    return out + "]";
}
} // namespace

JsonObject& JsonObject::add(std::string_view key, const std::vector<JsonObject>& objects) {
    return addRaw(key, jsonArray(objects, [](const JsonObject& o) { return o.text(); }));
}
JsonObject& JsonObject::add(std::string_view key, const std::vector<std::string>& texts) {
    return addRaw(key, jsonArray(texts, [](const std::string& t) { return jsonString(t); }));
}
JsonObject& JsonObject::add(std::string_view key, const std::vector<int>& numbers) {
    return addRaw(key, jsonArray(numbers, [](int n) { return std::to_string(n); }));
}

std::string JsonObject::text() const {
    std::string out = "{";
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        out += i == 0 ? "" : ",";
        out += fields_[i];
    }
    return out + "}";
}

std::string JsonObject::lines() const {
    std::string out = "{\n";
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        out += "  " + fields_[i];
        out += i + 1 < fields_.size() ? ",\n" : "\n";
    }
    return out + "}\n";
}

const JsonValue* JsonValue::find(std::string_view key) const {
    for (const auto& member : members)
        if (member.key == key)
            return &member.value;
    return nullptr;
}

namespace {

class JsonReader {
public:
    explicit JsonReader(std::string_view text) : s_(text) {}

    bool read(JsonValue& out, std::string& why) {
        space();
        bool ok = value(out, 0);
        if (ok) {
            space();
            if (i_ < s_.size())
                ok = refuse("more text after the value");
        }
        if (!ok)
            why = where() + why_;
        return ok;
    }

private:
    static constexpr int kDeepest = 64;

    bool refuse(const std::string& why) {
        why_ = why;
        return false;
    }
    // "line 3, column 7: " of the place where reading stopped.
    std::string where() const {
        std::size_t line = 1, column = 1;
        for (std::size_t k = 0; k < i_ && k < s_.size(); ++k) {
            if (s_[k] == '\n')
                ++line, column = 1;
            else
                ++column;
        }
        return "line " + std::to_string(line) + ", column " + std::to_string(column) + ": ";
    }
    bool atEnd() const { return i_ >= s_.size(); }
    void space() {
        while (!atEnd() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\n' || s_[i_] == '\r'))
            ++i_;
    }
    bool expect(char c) {
        space();
        if (atEnd() || s_[i_] != c)
            return refuse(std::string("expected '") + c + "'");
        ++i_;
        return true;
    }

    bool value(JsonValue& out, int depth) {
        if (depth > kDeepest)
            return refuse("values nested too deep");
        space();
        if (atEnd())
            return refuse("the text ends where a value should be");
        char c = s_[i_];
        if (c == '{')
            return object(out, depth);
        if (c == '[')
            return array(out, depth);
        if (c == '"') {
            out.kind = JsonValue::Kind::String;
            return string(out.text);
        }
        if (c == '-' || (c >= '0' && c <= '9'))
            return number(out);
        for (auto [word, kind, flag] : {std::tuple{"true", JsonValue::Kind::Bool, true},
                                        std::tuple{"false", JsonValue::Kind::Bool, false},
                                        std::tuple{"null", JsonValue::Kind::Null, false}}) {
            std::string_view w(word);
            if (s_.substr(i_, w.size()) == w) {
                i_ += w.size();
                out.kind = kind;
                out.flag = flag;
                return true;
            }
        }
        return refuse("no JSON value here");
    }

    bool object(JsonValue& out, int depth) {
        out.kind = JsonValue::Kind::Object;
        ++i_;
        space();
        if (!atEnd() && s_[i_] == '}')
            return ++i_, true;
        for (;;) {
            space();
            std::string key;
            if (atEnd() || s_[i_] != '"')
                return refuse("expected a key in quotes");
            if (!string(key))
                return false;
            if (out.find(key))
                return refuse("the key \"" + key + "\" is given twice");
            if (!expect(':'))
                return false;
            JsonValue member;
            if (!value(member, depth + 1))
                return false;
            out.members.push_back(JsonMember{std::move(key), std::move(member)});
            space();
            if (!atEnd() && s_[i_] == ',') {
                ++i_;
                continue;
            }
            return expect('}');
        }
    }

    bool array(JsonValue& out, int depth) {
        out.kind = JsonValue::Kind::Array;
        ++i_;
        space();
        if (!atEnd() && s_[i_] == ']')
            return ++i_, true;
        for (;;) {
            JsonValue item;
            if (!value(item, depth + 1))
                return false;
            out.items.push_back(std::move(item));
            space();
            if (!atEnd() && s_[i_] == ',') {
                ++i_;
                continue;
            }
            return expect(']');
        }
    }

    bool number(JsonValue& out) {
        const std::size_t start = i_;
        bool negative = s_[i_] == '-';
        if (negative)
            ++i_;
        if (atEnd() || s_[i_] < '0' || s_[i_] > '9')
            return refuse("a number without digits");
        if (s_[i_] == '0' && i_ + 1 < s_.size() && s_[i_ + 1] >= '0' && s_[i_ + 1] <= '9')
            return refuse("a number with a leading zero");
        // Magnitudes up to 2^63 fit; only a negative number may reach it.
        std::uint64_t magnitude = 0;
        const std::uint64_t limit =
            static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) +
            (negative ? 1 : 0);
        for (; !atEnd() && s_[i_] >= '0' && s_[i_] <= '9'; ++i_) {
            const auto digit = static_cast<std::uint64_t>(s_[i_] - '0');
            if (magnitude > (limit - digit) / 10) {
                i_ = start;
                return refuse("a number beyond 64 bits");
            }
            magnitude = magnitude * 10 + digit;
        }
        if (!atEnd() && (s_[i_] == '.' || s_[i_] == 'e' || s_[i_] == 'E'))
            return refuse("a number that is not whole");
        out.kind = JsonValue::Kind::Number;
        out.number = negative ? static_cast<std::int64_t>(0 - magnitude)
                              : static_cast<std::int64_t>(magnitude);
        return true;
    }

    bool hex4(unsigned& code) {
        if (i_ + 4 > s_.size())
            return refuse("a \\u escape cut short");
        code = 0;
        for (int k = 0; k < 4; ++k) {
            char h = s_[i_ + static_cast<std::size_t>(k)];
            unsigned d = h >= '0' && h <= '9'   ? static_cast<unsigned>(h - '0')
                         : h >= 'a' && h <= 'f' ? static_cast<unsigned>(h - 'a' + 10)
                         : h >= 'A' && h <= 'F' ? static_cast<unsigned>(h - 'A' + 10)
                                                : 16u;
            if (d == 16)
                return refuse("a \\u escape with a character that is no hexadecimal digit");
            code = code * 16 + d;
        }
        i_ += 4;
        return true;
    }

    static void appendUtf8(std::string& out, unsigned code) {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }

    bool escape(std::string& out) {
        if (atEnd())
            return refuse("the text ends inside a string");
        char c = s_[i_++];
        switch (c) {
        case '"':
        case '\\':
        case '/':
            out += c;
            return true;
        case 'b':
            out += '\b';
            return true;
        case 'f':
            out += '\f';
            return true;
        case 'n':
            out += '\n';
            return true;
        case 'r':
            out += '\r';
            return true;
        case 't':
            out += '\t';
            return true;
        case 'u':
            break;
        default:
            --i_;
            return refuse("an unknown escape in a string");
        }
        unsigned code = 0;
        if (!hex4(code))
            return false;
        if (code >= 0xDC00 && code <= 0xDFFF)
            return refuse("a lone low surrogate in a string");
        if (code >= 0xD800 && code <= 0xDBFF) {
            unsigned low = 0;
            if (s_.substr(i_, 2) != "\\u")
                return refuse("a high surrogate without its low half");
            i_ += 2;
            if (!hex4(low))
                return false;
            if (low < 0xDC00 || low > 0xDFFF)
                return refuse("a high surrogate without its low half");
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        }
        appendUtf8(out, code);
        return true;
    }

    bool string(std::string& out) {
        ++i_; // the opening quote
        while (!atEnd()) {
            const auto c = static_cast<unsigned char>(s_[i_]);
            if (c == '"') {
                ++i_;
                return true;
            }
            if (c < 0x20)
                return refuse("a control character inside a string");
            if (c == '\\') {
                ++i_;
                if (!escape(out))
                    return false;
                continue;
            }
            if (c >= 0x80) {
                const std::size_t n = utf8Length(s_, i_);
                if (n == 0)
                    return refuse("a string that is not valid UTF-8");
                out.append(s_.substr(i_, n));
                i_ += n;
                continue;
            }
            out += static_cast<char>(c);
            ++i_;
        }
        return refuse("the text ends inside a string");
    }

    std::string_view s_;
    std::size_t i_ = 0;
    std::string why_;
};

} // namespace

bool parseJson(std::string_view text, JsonValue& out, std::string& why) {
    out = JsonValue{};
    return JsonReader(text).read(out, why);
}

} // namespace zar4
