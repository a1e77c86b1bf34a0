#include "ctl/json_lines.h"

#include <cstdio>
#include <ostream>

namespace zar4::ctl {

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
    if (!body_.empty()) {
        body_ += ',';
    }
    body_ += jsonString(key);
    body_ += ':';
    body_ += json;
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
    return "{" + body_ + "}";
}

void writeJsonLine(std::ostream& out, const JsonObject& object) {
    out << object.text() << '\n';
    out.flush();
}

} // namespace zar4::ctl
