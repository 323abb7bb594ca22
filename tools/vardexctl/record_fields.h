// The working record's fields by name, for `vardexctl read` and `write`: how
// each is printed, parsed and range-checked. Names are the record's own.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "params/device_config.h"

namespace vardex::ctl {

// A JSON-like value: what `--from` files and FIELD=VALUE words carry.
struct FieldValue {
    enum class Type { kNumber, kText, kList } type = Type::kNumber;
    long long number = 0;
    std::string text;
    std::vector<FieldValue> list;
};

// Every field as JSON, one object, keys in declaration order.
std::string RecordJson(const CDeviceConfig& record);
// Every field as "name = value" lines.
std::string RecordText(const CDeviceConfig& record);

// A checked change, ready to apply.
struct FieldChange {
    std::string name;
    FieldValue value;
};

// Parses "FIELD=VALUE" (FIELD may carry indexes: m_strPhoneMsn[2],
// m_byModemLlc[1][0]); false with *error set for an unknown or read-only field,
// a value of the wrong type or out of range.
bool ParseAssignment(const std::string& word, std::vector<FieldChange>* changes,
                     std::string* error);
// Parses a JSON object of fields (as `read --json` prints); read-only fields are
// skipped so that a read's output can be fed back.
bool ParseFieldsJson(const std::string& json, std::vector<FieldChange>* changes,
                     std::string* error);
// Applies checked changes.
void ApplyChanges(const std::vector<FieldChange>& changes, CDeviceConfig* record);

}  // namespace vardex::ctl
