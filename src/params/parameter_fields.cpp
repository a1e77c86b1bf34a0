#include "params/parameter_fields.h"

#include "params/parameter_file.h"

namespace zar4 {

namespace {

// Rows in the order of the BankField and CommonField enumerations.
const FieldInfo kBankFields[] = {
    {"SEARCH", "(Position search range)", 0, 0, 5, 25, true},
    {"JUDGLVL", "(Missing-pix threshold)", 4, 0, 14, 9999, false},
    {"BKGDLVL", "(Bkgd Edge-pix threshold)", 5, 0, 14, 9999, false},
    {"LIGHT", "(Light ON/OFF)", 14, 0, 2, 3, true},
    {"SEARCHMD", "(Position search mode)", 14, 15, 1, 1, true},
    {"SHUTTER", "(Shutter time)", 15, 0, 8, 226, false},
    {"ZOOM", "(Zoom)", 20, 0, 5, 19, true},
    {"COLORFIL", "(Edge color filter)", 26, 13, 3, 5, true},
    {"THRESHLD", "(Edge threshold value)", 27, 0, 8, 255, false},
};

const FieldInfo kCommonFields[] = {
    {"BANK", "(Bank-selection)", 0, 0, 32, 16, true},
    {"OFFDELAY", "(OFF Delay Time\xEF\xBC\x89", 2, 0, 15, 5000, false},
    {"ONESHOT", "(One shot/Out hold)", 2, 15, 1, 1, true},
    {"ONDELAY", "(ON Delay Time)", 3, 0, 32, 5000, false},
    {"SYNCHRO", "(Synchronization)", 4, 3, 3, 4, true},
    {"COMMUNIC", "(Communication-set)", 4, 8, 3, 5, true},
    {"LCD VIEW", "(LCD reverse)", 4, 11, 1, 1, true},
};

// Values an AUTO box gives SHUTTER and THRESHLD when the operator clears it.
constexpr std::int64_t kShutterManualStart = 70;
constexpr std::int64_t kThreshldManualStart = 35;

std::uint32_t fieldMask(const FieldInfo& field) {
    return field.bitCount >= 32 ? 0xFFFFFFFFu : ((1u << field.bitCount) - 1u) << field.lowBit;
}

// SHUTTER and THRESHLD store a typed number as their whole word; the levels only their bits.
bool commitsWholeWord(BankField field) {
    return field == BankField::Shutter || field == BankField::Threshld;
}

} // namespace

const FieldInfo& fieldInfo(BankField field) {
    return kBankFields[static_cast<int>(field)];
}
const FieldInfo& fieldInfo(CommonField field) {
    return kCommonFields[static_cast<int>(field)];
}

std::int64_t fieldValue(const std::int32_t* words, const FieldInfo& field) {
    if (field.bitCount >= 32)
        return words[field.word];
    const std::uint32_t word = static_cast<std::uint32_t>(words[field.word]);
    return (word & fieldMask(field)) >> field.lowBit;
}

void setFieldValue(std::int32_t* words, const FieldInfo& field, std::int64_t value) {
    if (field.bitCount >= 32) {
        words[field.word] = static_cast<std::int32_t>(value);
        return;
    }
    const std::uint32_t mask = fieldMask(field);
    const std::uint32_t word = static_cast<std::uint32_t>(words[field.word]);
    const std::uint32_t bits = (static_cast<std::uint32_t>(value) << field.lowBit) & mask;
    words[field.word] = static_cast<std::int32_t>((word & ~mask) | bits);
}

std::vector<std::string> listItems(const FieldInfo& field) {
    std::vector<std::string> items;
    const bool bankSelection = field.word == 0 && field.bitCount >= 32;
    const int lastNumber = bankSelection ? kBankCount - 1 : field.maxValue;
    for (int n = 0; n <= lastNumber; ++n)
        items.push_back(std::to_string(n));
    if (bankSelection) {
        items.push_back("TCH");
        items.push_back("BKIN");
    }
    return items;
}

int listPosition(std::int64_t value, int itemCount) {
    return value >= 0 && value < itemCount ? static_cast<int>(value) : -1;
}

std::int32_t typedNumber(std::string_view text, std::int32_t maxValue) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    std::int64_t value = 0;
    bool overflow = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (!overflow)
            value = value * 10 + (text[i] - '0');
        // Once past any field's range the rest of the digits cannot bring it back.
        if (value > maxValue)
            overflow = true;
    }
    if (overflow || (negative && value != 0))
        return maxValue;
    return static_cast<std::int32_t>(value);
}

bool hasAutoBox(BankField field) {
    return field == BankField::Shutter || field == BankField::Threshld ||
           field == BankField::BkgdLvl || field == BankField::JudgLvl;
}

bool isAuto(const BankRecord& record, BankField field) {
    return hasAutoBox(field) && fieldValue(record.words.data(), fieldInfo(field)) == 0;
}

int automaticLevel(const BankRecord& record) {
    const std::int64_t area =
        static_cast<std::int64_t>(record.words[10]) * static_cast<std::int64_t>(record.words[11]);
    int level;
    if (area <= 511)
        level = 10;
    else if (area <= 1023)
        level = 11;
    else if (area <= 2047)
        level = 12;
    else if (area <= 4095)
        level = 15;
    else if (area <= 8191)
        level = 21;
    else if (area <= 16383)
        level = 33;
    else if (area <= 32767)
        level = 57;
    else
        level = 105;

    // A closer zoom sees fewer edge pixels, so the level may not exceed its cap.
    const std::int64_t zoom = fieldValue(record.words.data(), fieldInfo(BankField::Zoom));
    int cap = 0;
    if ((zoom >= 3 && zoom <= 6) || (zoom >= 11 && zoom <= 14))
        cap = 57;
    else if (zoom == 7 || zoom == 15 || zoom == 16)
        cap = 33;
    else if (zoom == 17 || zoom == 18)
        cap = 21;
    else if (zoom == 19)
        cap = 15;
    if (cap != 0 && level > cap)
        level = cap;
    return level;
}

std::string numberText(const BankRecord& record, BankField field) {
    if (isAuto(record, field)) {
        if (field == BankField::Shutter || field == BankField::Threshld)
            return std::string();
        return std::to_string(automaticLevel(record));
    }
    return std::to_string(fieldValue(record.words.data(), fieldInfo(field)));
}

std::string numberText(const CommonRecord& record, CommonField field) {
    return std::to_string(fieldValue(record.words.data(), fieldInfo(field)));
}

void commitNumber(BankRecord& record, BankField field, std::string_view text) {
    const FieldInfo& info = fieldInfo(field);
    const std::int32_t value = typedNumber(text, info.maxValue);
    if (commitsWholeWord(field))
        record.words[static_cast<std::size_t>(info.word)] = value;
    else
        setFieldValue(record.words.data(), info, value);
}

void commitNumber(CommonRecord& record, CommonField field, std::string_view text) {
    const FieldInfo& info = fieldInfo(field);
    setFieldValue(record.words.data(), info, typedNumber(text, info.maxValue));
}

void commitList(BankRecord& record, BankField field, int position) {
    if (position >= 0)
        setFieldValue(record.words.data(), fieldInfo(field), position);
}

void commitList(CommonRecord& record, CommonField field, int position) {
    if (position >= 0)
        setFieldValue(record.words.data(), fieldInfo(field), position);
}

std::string tickAuto(BankRecord& record, BankField field) {
    const FieldInfo& info = fieldInfo(field);
    if (field == BankField::Shutter || field == BankField::Threshld) {
        setFieldValue(record.words.data(), info, 0);
        return std::string();
    }
    record.words[static_cast<std::size_t>(info.word)] = 0;
    return std::to_string(automaticLevel(record));
}

std::string clearAuto(BankRecord& record, BankField field, std::string_view fieldText) {
    const FieldInfo& info = fieldInfo(field);
    if (field == BankField::Shutter || field == BankField::Threshld) {
        const std::int64_t start =
            field == BankField::Shutter ? kShutterManualStart : kThreshldManualStart;
        setFieldValue(record.words.data(), info, start);
        return std::to_string(start);
    }
    // The level the disabled field was showing becomes the manual value. It is read without
    // the field's range: a click always finds the automatic level there, and Enter on a clear
    // box stores what was typed, whole, as the word.
    const std::int32_t value = parseValueLine(fieldText);
    record.words[static_cast<std::size_t>(info.word)] = value;
    return std::to_string(value);
}

} // namespace zar4
