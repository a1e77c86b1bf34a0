#include "transfer/manifest.h"

#include "common/file_access.h"
#include "common/json.h"
#include "common/safe_file.h"
#include "params/parameter_file.h"
#include "patterns/pattern_file.h"

#include <chrono>
#include <climits>
#include <cstdio>
#include <optional>
#include <set>

namespace zar4 {

namespace {

const char* const kOutcomeNames[] = {"complete", "cancelled", "failed", "declined", "unfinished"};
constexpr int kLineRates[] = {4800, 9600, 19200, 38400, 57600};

const char* kindName(ItemKind kind) {
    return kind == ItemKind::Parameters ? "parameters" : "pattern";
}

// The most a data file of a read may hold, as the manifest records it.
std::int64_t largestFile(ItemKind kind) {
    return kind == ItemKind::Parameters ? static_cast<std::int64_t>(kSmallFileLimit)
                                        : static_cast<std::int64_t>(kPatternFileSize);
}

std::string dataFileName(const std::string& baseName, ItemKind kind, int item) {
    return kind == ItemKind::Parameters ? parameterFileName(baseName, item)
                                        : patternFileName(baseName, item);
}

// Days since 1970-01-01 of a date of the Gregorian calendar, and back.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
}

// The fields of one JSON object, read strictly: each asked for by name and type, and none
// left over that the format does not know.
class Fields {
public:
    Fields(const JsonValue& object, std::string where, std::string& why)
        : object_(object), where_(std::move(where)), why_(why) {}

    const JsonValue* get(const char* key, JsonValue::Kind kind, const char* what) {
        used_.insert(key);
        const JsonValue* v = object_.find(key);
        if (!v) {
            refuse(std::string("has no \"") + key + "\"");
            return nullptr;
        }
        if (v->kind != kind) {
            refuse(std::string("\"") + key + "\" is not " + what);
            return nullptr;
        }
        return v;
    }
    bool text(const char* key, std::string& out, bool mayBeEmpty = false) {
        const JsonValue* v = get(key, JsonValue::Kind::String, "a text");
        if (!v)
            return false;
        if (!mayBeEmpty && v->text.empty())
            return refuse(std::string("\"") + key + "\" is empty");
        out = v->text;
        return true;
    }
    bool number(const char* key, std::int64_t low, std::int64_t high, std::int64_t& out) {
        const JsonValue* v = get(key, JsonValue::Kind::Number, "a whole number");
        if (!v)
            return false;
        if (v->number < low || v->number > high)
            return refuse(std::string("\"") + key + "\" is " + std::to_string(v->number) +
                          ", not " + std::to_string(low) + " to " + std::to_string(high));
        out = v->number;
        return true;
    }
    // A field of any type (the caller tells the types apart).
    const JsonValue* any(const char* key) {
        used_.insert(key);
        const JsonValue* v = object_.find(key);
        if (!v)
            refuse(std::string("has no \"") + key + "\"");
        return v;
    }
    bool has(const char* key) const { return object_.find(key) != nullptr; }
    // Refuses a field the format does not have: a manifest that says more than this
    // program understands is not taken for one it does.
    bool noOthers() {
        for (const auto& member : object_.members)
            if (used_.count(member.key) == 0)
                return refuse("has an unknown field \"" + member.key + "\"");
        return true;
    }
    bool refuse(const std::string& why) {
        if (why_.empty())
            why_ = where_.empty() ? why : where_ + " " + why;
        return false;
    }

private:
    const JsonValue& object_;
    std::string where_;
    std::string& why_;
    std::set<std::string> used_;
};

bool readTime(Fields& fields, const char* key, std::string& out, std::int64_t& seconds) {
    if (!fields.text(key, out))
        return false;
    if (!parseIsoUtcTime(out, seconds))
        return fields.refuse(std::string("\"") + key + "\" is not a UTC time such as " +
                             "2026-12-07T14:03:12Z");
    return true;
}

bool isHexDigest(const std::string& text) {
    if (text.size() != 64)
        return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

// A file name of the manifest's folder: no folder in it, no control character.
bool plainFileName(const std::string& name) {
    if (name.empty() || name == "." || name == "..")
        return false;
    for (char c : name)
        if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == ':')
            return false;
    return true;
}

bool readItem(const JsonValue& value, const ManifestItem& expected,
              std::optional<std::string>& stem, ManifestItem& item, std::string& why) {
    if (value.kind != JsonValue::Kind::Object) {
        why = "\"items\" holds something that is not an item";
        return false;
    }
    Fields f(value, "the item of " + transferItemName(expected.kind, expected.item), why);
    std::string kind;
    const JsonValue* bank = f.any("bank");
    if (!bank || !f.text("kind", kind))
        return false;
    int number = -1;
    if (bank->kind == JsonValue::Kind::String && bank->text == "common")
        number = kCommonItem;
    else if (bank->kind == JsonValue::Kind::Number && bank->number >= 0 &&
             bank->number < kBankCount)
        number = static_cast<int>(bank->number);
    else
        return f.refuse("has a \"bank\" that is neither 0 to 14 nor \"common\"");
    if (kind != kindName(expected.kind) || number != expected.item)
        return f.refuse("holds \"" + kind + "\" of bank " +
                        (number == kCommonItem ? "\"common\"" : std::to_string(number)) +
                        ": the items are not those the read asked for, in its order");
    item = expected;
    if (!f.text("file", item.file))
        return false;
    // Every file of the backup is the same base name with its own suffix.
    const std::string& suffix = expected.file;
    if (!plainFileName(item.file) || item.file.size() < suffix.size() ||
        item.file.compare(item.file.size() - suffix.size(), suffix.size(), suffix) != 0)
        return f.refuse("names the file \"" + item.file + "\", not one ending in \"" + suffix +
                        "\" beside the manifest");
    const std::string itemStem = item.file.substr(0, item.file.size() - suffix.size());
    if (!stem)
        stem = itemStem;
    if (itemStem != *stem)
        return f.refuse("names the file \"" + item.file + "\", of another backup than \"" + *stem +
                        "\"");
    item.read = f.has("size") || f.has("sha256");
    if (item.read) {
        if (!f.number("size", 0, largestFile(item.kind), item.size) ||
            !f.text("sha256", item.sha256))
            return false;
        if (!isHexDigest(item.sha256))
            return f.refuse("has a \"sha256\" that is not 64 hexadecimal digits");
    }
    return f.noOthers();
}

} // namespace

std::string manifestFileName(const std::string& baseName) {
    return baseName + ".manifest.json";
}

const char* manifestOutcomeName(ManifestOutcome outcome) {
    return kOutcomeNames[static_cast<int>(outcome)];
}

int Manifest::readCount() const {
    int n = 0;
    for (const auto& item : items)
        n += item.read ? 1 : 0;
    return n;
}

TransferRequest Manifest::request(const std::string& baseName) const {
    TransferRequest request;
    request.operation = Operation::Read;
    request.baseName = baseName;
    request.includeParameters = parameters;
    request.includePatterns = patterns;
    request.firstBank = firstBank;
    request.lastBank = lastBank;
    return request;
}

std::vector<ManifestItem> manifestItemsFor(const TransferRequest& request) {
    std::vector<ManifestItem> items;
    auto add = [&](ItemKind kind, int item) {
        ManifestItem m;
        m.kind = kind;
        m.item = item;
        m.file = fileNameOf(dataFileName(request.baseName, kind, item));
        items.push_back(m);
    };
    if (request.includeParameters) {
        for (int bank = 0; bank < kBankCount; ++bank)
            if (bankIsChosen(request, bank))
                add(ItemKind::Parameters, bank);
        add(ItemKind::Parameters, kCommonItem);
    }
    if (request.includePatterns)
        for (int bank = 0; bank < kBankCount; ++bank)
            if (bankIsChosen(request, bank))
                add(ItemKind::Pattern, bank);
    return items;
}

std::string manifestText(const Manifest& m) {
    JsonObject program, port, banks;
    program.add("name", m.programName).add("version", m.programVersion);
    port.add("name", m.portName).add("device", m.device).add("rate", m.rate);
    banks.add("first", m.firstBank).add("last", m.lastBank);
    std::vector<std::string> kinds;
    if (m.parameters)
        kinds.push_back("parameters");
    if (m.patterns)
        kinds.push_back("patterns");
    std::string items = "[";
    for (std::size_t i = 0; i < m.items.size(); ++i) {
        const ManifestItem& item = m.items[i];
        JsonObject o;
        if (item.kind == ItemKind::Parameters && item.item == kCommonItem)
            o.add("bank", "common");
        else
            o.add("bank", item.item);
        o.add("kind", kindName(item.kind)).add("file", item.file);
        if (item.read)
            o.add("size", item.size).add("sha256", item.sha256);
        items += (i == 0 ? "\n    " : ",\n    ") + o.text();
    }
    items += m.items.empty() ? "]" : "\n  ]";

    JsonObject top;
    top.add("format", kManifestFormatName)
        .add("version", m.formatVersion)
        .add("program", program)
        .add("started", m.started)
        .add("ended", m.ended)
        .add("resumed", m.resumed)
        .add("port", port)
        .add("banks", banks)
        .add("kinds", kinds)
        .add("outcome", manifestOutcomeName(m.outcome));
    if (m.outcome == ManifestOutcome::Failed)
        top.add("failure", m.failure);
    else
        top.addNull("failure");
    top.addRaw("items", items);
    return top.lines();
}

bool writeManifest(const std::string& path, const Manifest& manifest, std::string& reason) {
    return writeFileSafely(path, manifestText(manifest), &reason);
}

bool parseManifest(const std::string& text, Manifest& m, std::string& why) {
    m = Manifest{};
    why.clear();
    JsonValue top;
    std::string jsonWhy;
    if (!parseJson(text, top, jsonWhy)) {
        why = "is no JSON: " + jsonWhy;
        return false;
    }
    if (top.kind != JsonValue::Kind::Object) {
        why = "is no JSON object";
        return false;
    }
    Fields f(top, "", why);
    std::string format;
    std::int64_t version = 0;
    if (!f.text("format", format))
        return false;
    if (format != kManifestFormatName)
        return f.refuse("is no backup manifest (\"format\" is \"" + format + "\")");
    if (!f.number("version", 1, INT32_MAX, version))
        return false;
    if (version > kManifestFormatVersion)
        return f.refuse("is of format " + std::to_string(version) +
                        ", written by a later program; this one reads format " +
                        std::to_string(kManifestFormatVersion));
    m.formatVersion = static_cast<int>(version);

    const JsonValue* program = f.get("program", JsonValue::Kind::Object, "an object");
    if (!program)
        return false;
    Fields p(*program, "\"program\"", why);
    if (!p.text("name", m.programName) || !p.text("version", m.programVersion) || !p.noOthers())
        return false;

    std::int64_t started = 0, ended = 0, resumedAt = 0;
    if (!readTime(f, "started", m.started, started) || !readTime(f, "ended", m.ended, ended))
        return false;
    if (ended < started)
        return f.refuse("ends before it starts");
    const JsonValue* resumed = f.get("resumed", JsonValue::Kind::Array, "a list");
    if (!resumed)
        return false;
    for (const auto& at : resumed->items) {
        if (at.kind != JsonValue::Kind::String || !parseIsoUtcTime(at.text, resumedAt) ||
            resumedAt < started || resumedAt > ended)
            return f.refuse("has a \"resumed\" time that is no UTC time within the read");
        m.resumed.push_back(at.text);
    }

    const JsonValue* port = f.get("port", JsonValue::Kind::Object, "an object");
    if (!port)
        return false;
    Fields q(*port, "\"port\"", why);
    std::int64_t rate = 0;
    if (!q.text("name", m.portName) || !q.text("device", m.device, true) ||
        !q.number("rate", 0, INT32_MAX, rate) || !q.noOthers())
        return false;
    if (indexForLineRate(static_cast<int>(rate)) < 0)
        return q.refuse("has the rate " + std::to_string(rate) +
                        ", not 4800, 9600, 19200, 38400 or 57600 bit/s");
    m.rate = static_cast<int>(rate);

    const JsonValue* banks = f.get("banks", JsonValue::Kind::Object, "an object");
    if (!banks)
        return false;
    Fields b(*banks, "\"banks\"", why);
    std::int64_t first = 0, last = 0;
    if (!b.number("first", 0, kBankCount - 1, first) ||
        !b.number("last", 0, kBankCount - 1, last) || !b.noOthers())
        return false;
    m.firstBank = static_cast<int>(first);
    m.lastBank = static_cast<int>(last);

    const JsonValue* kinds = f.get("kinds", JsonValue::Kind::Array, "a list");
    if (!kinds)
        return false;
    m.parameters = m.patterns = false;
    for (const auto& kind : kinds->items) {
        bool& flag = kind.text == "parameters" ? m.parameters : m.patterns;
        if (kind.kind != JsonValue::Kind::String ||
            (kind.text != "parameters" && kind.text != "patterns") || flag)
            return f.refuse("has \"kinds\" other than \"parameters\" and \"patterns\", once each");
        flag = true;
    }

    std::string outcome;
    if (!f.text("outcome", outcome))
        return false;
    bool known = false;
    for (int i = 0; i < 5; ++i)
        if (outcome == kOutcomeNames[i]) {
            m.outcome = static_cast<ManifestOutcome>(i);
            known = true;
        }
    if (!known)
        return f.refuse("has the outcome \"" + outcome +
                        "\", not complete, cancelled, failed, declined or unfinished");
    if (m.outcome == ManifestOutcome::Failed) {
        if (!f.text("failure", m.failure))
            return false;
    } else if (!f.get("failure", JsonValue::Kind::Null, "null unless the read failed")) {
        return false;
    }

    const JsonValue* items = f.get("items", JsonValue::Kind::Array, "a list");
    if (!items)
        return false;
    const std::vector<ManifestItem> expected = manifestItemsFor(m.request(""));
    if (items->items.size() != expected.size())
        return f.refuse("lists " + std::to_string(items->items.size()) + " items where the read " +
                        "asked for " + std::to_string(expected.size()));
    std::optional<std::string> stem;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        ManifestItem item;
        if (!readItem(items->items[i], expected[i], stem, item, why))
            return false;
        m.items.push_back(item);
    }
    if (m.outcome == ManifestOutcome::Complete && m.readCount() != static_cast<int>(m.items.size()))
        return f.refuse("says complete, but not every item was read");
    return f.noOthers();
}

ManifestRead readManifest(const std::string& path) {
    ManifestRead result;
    FileRead file = readRegularFile(path, kSmallFileLimit);
    switch (file.status) {
    case FileRead::Status::Missing:
        result.status = ManifestRead::Status::Missing;
        result.reason = file.reason;
        return result;
    case FileRead::Status::Ok:
        break;
    default:
        result.status = ManifestRead::Status::Invalid;
        result.reason = file.reason;
        return result;
    }
    std::string why;
    if (!parseManifest(file.bytes, result.manifest, why)) {
        result.status = ManifestRead::Status::Invalid;
        result.reason = fileReason(path, why);
        return result;
    }
    result.status = ManifestRead::Status::Ok;
    return result;
}

std::string isoUtcTime(std::int64_t seconds) {
    std::int64_t days = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
    std::int64_t rest = seconds - days * 86400;
    std::int64_t y = 0;
    unsigned m = 0, d = 0;
    civilFromDays(days, y, m, d);
    char text[40];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02d:%02d:%02dZ", static_cast<long long>(y),
                  m, d, static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60),
                  static_cast<int>(rest % 60));
    return text;
}

bool parseIsoUtcTime(const std::string& text, std::int64_t& seconds) {
    // Exactly "YYYY-MM-DDThh:mm:ssZ", as the manifest is written.
    static const char kShape[] = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != sizeof kShape - 1)
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        bool digit = text[i] >= '0' && text[i] <= '9';
        if (kShape[i] == 'd' ? !digit : text[i] != kShape[i])
            return false;
    }
    auto at = [&](std::size_t i, std::size_t n) { return std::stoi(text.substr(i, n)); };
    const int y = at(0, 4), mo = at(5, 2), d = at(8, 2), h = at(11, 2), mi = at(14, 2),
              s = at(17, 2);
    static const int kMonthDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (mo < 1 || mo > 12 || d < 1 || d > kMonthDays[mo - 1] || (mo == 2 && d == 29 && !leap) ||
        h > 23 || mi > 59 || s > 59)
        return false;
    seconds = daysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)) * 86400 +
              h * 3600 + mi * 60 + s;
    return true;
}

std::int64_t currentUtcSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

int lineRateForIndex(int baudIndex) {
    return baudIndex >= 0 && baudIndex < 5 ? kLineRates[baudIndex] : 0;
}

int indexForLineRate(int rate) {
    for (int i = 0; i < 5; ++i)
        if (kLineRates[i] == rate)
            return i;
    return -1;
}

std::string transferItemName(ItemKind kind, int item) {
    if (kind == ItemKind::Parameters && item == kCommonItem)
        return "common parameters";
    return "bank " + std::to_string(item) +
           (kind == ItemKind::Parameters ? " parameters" : " pattern");
}

} // namespace zar4
