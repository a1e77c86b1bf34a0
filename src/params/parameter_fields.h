#pragma once
// The parameters the editor shows: which bits of which word each one occupies, its range, the
// texts of its list items, and the rules by which a typed number or an AUTO box changes a
// record. Every bit the editor does not show is carried unchanged.

#include "params/parameter_set.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zar4 {

enum class BankField {
    Search,
    JudgLvl,
    BkgdLvl,
    Light,
    SearchMd,
    Shutter,
    Zoom,
    ColorFil,
    Threshld
};
enum class CommonField { Bank, OffDelay, OneShot, OnDelay, Synchro, Communic, LcdView };

struct FieldInfo {
    const char* name;    // "SHUTTER"
    const char* caption; // "(Shutter time)"
    int word;
    int lowBit;
    int bitCount; // 32: the whole word
    int maxValue; // the last list item, or the largest number a field keeps
    bool isList;
};

const FieldInfo& fieldInfo(BankField field);
const FieldInfo& fieldInfo(CommonField field);

// The bits of a field as a number (a whole-word field gives the word itself).
std::int64_t fieldValue(const std::int32_t* words, const FieldInfo& field);
// Stores `value` into the field's bits; the word's other bits keep their values.
void setFieldValue(std::int32_t* words, const FieldInfo& field, std::int64_t value);

// Item texts of a list: "0" to the last value; BANK adds "TCH" (15) and "BKIN" (16).
std::vector<std::string> listItems(const FieldInfo& field);
// The list position that shows `value`, or -1 when no item stands for it.
int listPosition(std::int64_t value, int itemCount);

// The number a typed text stands for when the editor stores it: leading blanks skipped, an
// optional sign, decimal digits up to the first other character. No digits: 0. A negative
// number or one above `maxValue`: `maxValue`. Nothing is ever refused.
std::int32_t typedNumber(std::string_view text, std::int32_t maxValue);

// The four bank numbers with an AUTO box (0 stored means AUTO).
bool hasAutoBox(BankField field);
// True when the record holds AUTO for the field.
bool isAuto(const BankRecord& record, BankField field);

// The level shown for BKGDLVL and JUDGLVL while they are AUTO: chosen by the area of words 10
// and 11 and capped by ZOOM.
int automaticLevel(const BankRecord& record);

// The text a number field shows for the record: empty while SHUTTER or THRESHLD is AUTO,
// the automatic level while BKGDLVL or JUDGLVL is.
std::string numberText(const BankRecord& record, BankField field);
std::string numberText(const CommonRecord& record, CommonField field);

// Stores the typed text of a number field as the editor commits it: SHUTTER and THRESHLD
// replace their whole word, BKGDLVL and JUDGLVL their bits 0-13, OFFDELAY bits 0-14, ONDELAY
// its word.
void commitNumber(BankRecord& record, BankField field, std::string_view text);
void commitNumber(CommonRecord& record, CommonField field, std::string_view text);
// Stores a list's position; -1 (no selection) keeps the stored bits.
void commitList(BankRecord& record, BankField field, int position);
void commitList(CommonRecord& record, CommonField field, int position);

// A click that ticks an AUTO box: the field becomes AUTO in the record. Returns the text the
// field shows now.
std::string tickAuto(BankRecord& record, BankField field);
// A click that clears an AUTO box: SHUTTER becomes 70 and THRESHLD 35; BKGDLVL and JUDGLVL
// keep as their manual value the number their field was showing (`fieldText`). Returns the
// text the field shows now.
std::string clearAuto(BankRecord& record, BankField field, std::string_view fieldText);

} // namespace zar4
