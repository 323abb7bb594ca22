// The working record's fields by name, for `vardexctl read` and `write`: how
// each is printed, parsed and range-checked. Names are the record's own.
//
// Values are as a person sees them: m_nStoreProfile is a profile number 0..3
// (-1: store into no profile), as --store takes it, although the record keeps
// it one higher. What is not known of the device (fields its variant lacks,
// X.25 and the FSK level, and those of a query the device refused) is printed
// as null, and a null is taken as "not given".
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "params/device_config.h"
#include "params/field_table.h"
#include "platform/expected.h"

namespace vardex::settings {

// A JSON-like value: what `--from` files and FIELD=VALUE words carry.
struct FieldValue {
    enum class Type { kNumber, kText, kList, kBool, kNull } type = Type::kNumber;
    long long number = 0;  // kNumber; kBool: 1 for true
    std::string text;
    std::vector<FieldValue> list;
};

// Which of a field's two names a settings file is printed with: the record's
// member names (m_bCallWaiting1, the default files and scripts rely on) or the
// readable ones (port1.call_waiting). Both are read everywhere.
enum class Names { kMember, kReadable };

// The key behind the fields of a read's JSON: the commands the device refused
// (CDeviceConfig::m_refusedQueries), whose fields are printed as null.
inline constexpr std::string_view kRefusedKey = "refused_commands";

// Every field as JSON, one object, keys in declaration order, then kRefusedKey.
std::string RecordJson(const params::CDeviceConfig& record, Names names = Names::kMember);
// Every field as "name = value" lines.
std::string RecordText(const params::CDeviceConfig& record);

// A checked change, ready to apply.
struct FieldChange {
    std::string name;
    FieldValue value;
};

// What was wrong with a change that was refused, for a caller (vardexctl
// --json) that tells a misspelt name from a bad value.
enum class FieldFault {
    kForm,          // not FIELD=VALUE, no JSON object of fields, a field given twice
    kUnknownField,  // no field has the name
    kValue,         // a value of another type, outside its limits, or an element the field lacks
    kReadOnly,      // only the device reports the field
};

// A refused change: the message, and what kind of fault it was.
struct FieldError {
    std::string text;
    FieldFault fault = FieldFault::kForm;
};

// Parses "FIELD=VALUE" (FIELD may carry indexes: m_strPhoneMsn[2],
// m_byModemLlc[1][0]; a number is decimal or 0x hexadecimal) and adds it to
// *changes; refused for an unknown or read-only field, a value of the wrong
// type or out of range. A message names the field as FIELD does.
platform::Expected<void, FieldError> ParseAssignment(const std::string& word,
                                                     std::vector<FieldChange>* changes);
// Parses a JSON object of fields (as `read --json` prints) into *changes;
// read-only fields are skipped so that a read's output can be fed back. Numbers
// must be whole and fit 64 bits, true and false are no numbers, and a key may
// appear only once. Refusals as ParseAssignment's, a field named by its key.
platform::Expected<void, FieldError> ParseFieldsJson(const std::string& json,
                                                     std::vector<FieldChange>* changes);
// Applies checked changes.
void ApplyChanges(const std::vector<FieldChange>& changes, params::CDeviceConfig* record);

// One settable value of a record as printed: a number field, one text of a
// text array, one octet of the LLC, the X.121 address.
struct SettableItem {
    const char* field;  // the record's field name
    std::string name;   // with its indexes: m_strPhoneMsn[2]
    std::string value;  // as JSON prints it
    const params::RecordField* entry = nullptr;
    // The element of an array field, counted through its arrays (the LLC
    // octets port * 3 + octet); 0 for one value.
    std::size_t element = 0;
};
// Every settable value, in declaration order (the same items for any record).
std::vector<SettableItem> SettableItems(const params::CDeviceConfig& record);

// A settable value that differs between two records.
struct ItemChange {
    std::string name;    // m_strPhoneMsn[2]
    std::string before;  // as JSON prints it
    std::string after;
    const params::RecordField* entry = nullptr;
    std::size_t element = 0;
    // telephony.phone_msn[2]: what a person reads where no label shows the field.
    std::string readable;
};
std::vector<ItemChange> Differences(const params::CDeviceConfig& before,
                                    const params::CDeviceConfig& after);

// Every name FIELD=VALUE takes, in both forms and with the indexes of each
// element (m_strPhoneMsn[2], telephony.phone_msn[2]): for shell completion.
std::vector<std::string> AssignableNames();

// Every field, a line each: both names, the type, what it takes and the
// variants that have it (and on which a person may change it).
std::string FieldList();

// The JSON Schema (draft 2020-12) of a settings file, from the field table:
// either name of every field, its type and range, texts' lengths and
// characters, null where a variant may lack the field, and no other key.
std::string SettingsSchema();

}  // namespace vardex::settings
