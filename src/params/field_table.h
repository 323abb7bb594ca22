// The one description of every field of the configuration record: its type,
// what Reset gives it, whether CopyFrom carries it, the values it takes and the
// country rule that limits it, what kind of pending change an edit of it is,
// the rows that read and write it and where it lives in the device's
// registers.
//
// The record's Reset, CopyFrom and SameParameters, the single-register query
// and setting rows, vardexctl's field list and checks and the pages' validators
// all work from this table, so that a field is described once. Adding a
// register setting is one line here: its row reads and writes it.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "params/country_variant.h"
#include "params/device_config.h"
#include "params/param_rows.h"

namespace vardex::params {

enum class FieldType {
    kFlag,       // int, 0 or 1
    kInt,        // int with a range
    kWord,       // 16-bit version word ("major.minor")
    kText,       // text the device reports
    kDigits,     // dialled digits
    kTextArray,  // subscriber numbers: an array of texts
    kOctets,     // the LLC octets: [port][octet]
};

// Where a field's value comes from in its S-register.
enum class Coding {
    kNone,         // not a register field (text commands, counters, bookkeeping)
    kBits,         // `width` bits from `first`
    kInvertedBit,  // one bit, set in the device when the feature is off
    kAllBits,      // a flag that is on only when every bit of its group is set
    kNonZero,      // on when the register is not zero; written as bit `first`
    kBitQuery,     // asked as "ATSr.b?", whose answer is the bit itself
};

// How a setting row writes a register field.
enum class Writing {
    kNone,         // not written through its register (or not at all)
    kBits,         // "ATSr.b=v" for each bit of the field, all of them when it changed
    kChangedBits,  // "ATSr.b=v" only for the bits that differ from the device copy
    kWhole,        // "ATSr=v", the register built from all its fields of the row
};

struct RegisterPlace {
    int reg = -1;  // the S-register
    int first = 0;
    int width = 1;
    Coding coding = Coding::kNone;
    Writing writing = Writing::kNone;
};

// What an edit of the field marks pending: a telephony or connection setting
// (stored into a profile after asking) or another change (numbers, profile
// choices, the charge reset), which needs no storage question.
enum class ChangeKind { kNone, kSetting, kOther };

enum class ResetRule {
    kDefault,  // Reset gives the default
    kKept,     // only the device reports it; Reset leaves it
};

using FieldMember =
    std::variant<int CDeviceConfig::*, std::uint16_t CDeviceConfig::*, std::string CDeviceConfig::*,
                 std::string (CDeviceConfig::*)[CDeviceConfig::kDteMsnCount],
                 std::string (CDeviceConfig::*)[CDeviceConfig::kPhoneMsnCount],
                 std::uint8_t (
                     CDeviceConfig::*)[CDeviceConfig::kLlcPorts][CDeviceConfig::kLlcOctets]>;

struct RecordField {
    const char* name;      // the record's member name
    const char* readable;  // the name a person reads: "port1.call_waiting"
    FieldMember member;
    FieldType type = FieldType::kInt;
    int def = 0;  // Reset's value of a number or word
    ResetRule reset = ResetRule::kDefault;
    // CopyFrom carries it and SameParameters compares it.
    bool copied = true;
    // Numbers: what a write accepts and a read takes, plus one more value
    // outside lo..hi (kNoOtherValue: none). Digits and the texts of a text
    // array: hi is the longest text.
    int lo = 0;
    int hi = 0;
    int also = kNoOtherValue;
    // A value outside the range is no choice (a list with nothing chosen): it
    // is never sent, and the device's own value is read instead.
    bool outside_is_no_choice = false;
    // The variants that have the field at all: the others neither read nor
    // write it, and vardexctl shows it as absent.
    vardex::params::Feature offered = vardex::params::Feature::kAll;
    ChangeKind change = ChangeKind::kNone;
    // No query row reads it: identification, bookkeeping or a request that
    // only a setting row consumes.
    bool derived = false;
    // The group whose query row reads it and whose setting row writes it (a
    // field without a kind of change is reported by the device only).
    Row row = Row::kNone;
    // The variants on which a person may change it (besides `offered`): the
    // pages' enable rules and vardexctl's checks both ask this.
    vardex::params::Feature changeable = vardex::params::Feature::kAll;
    // Within its row, fields are asked and sent by (row_order, register, bit).
    int row_order = 0;
    // The setting row learns whether the device took the value (it reads it
    // back or checks the reply); otherwise only a missing reply is noticed.
    bool confirmed = true;
    RegisterPlace place = {};

    static constexpr int kNoOtherValue = INT_MIN;

    bool Writable() const { return change != ChangeKind::kNone; }
    bool Allows(long long value) const {
        return (value >= lo && value <= hi) || (also != kNoOtherValue && value == also);
    }
};

// Every field of the record, in declaration order.
std::span<const RecordField> RecordFields();

// The entry of a field by either name or by member; null when there is none.
const RecordField* FindField(std::string_view name);
const RecordField* FieldOf(const FieldMember& member);

// Whether this device's variant has the field at all.
bool FieldAvailable(const RecordField& field, const CDeviceConfig& record);
// Whether a person may change it on this device's variant.
bool FieldChangeable(const RecordField& field, const CDeviceConfig& record);
// Why not, when FieldChangeable is false.
std::string_view WhyUnchangeable(const RecordField& field, const CDeviceConfig& record);

// The first field that differs between the records and that wanted's variant
// does not let a person change; null when there is none.
const RecordField* FindUnchangeable(const CDeviceConfig& before, const CDeviceConfig& wanted);

// The register fields of a group in the order its rows ask and send them.
std::span<const RecordField* const> RowFields(Row group);

// A number field's value decoded from its register's value (for kBitQuery: from
// the answer to the bit's own query).
int DecodeRegister(const RegisterPlace& place, int register_value);
// The field's part of its register written whole: a one-bit field's bit, a
// wider field's value shifted into place (not cut to its width, so that the
// device refuses what it does not take).
long long EncodeRegister(const RegisterPlace& place, int value);
// What "ATSr.b=" sends for bit `bit` (0 = the field's first) of a value.
int BitCommandValue(const RegisterPlace& place, int value, int bit);

// A field's value in a record, element by element, as its FieldType holds it:
// kFlag and kInt an int, kWord a std::uint16_t, kText and kDigits a
// std::string, kTextArray a std::string per number and kOctets a std::uint8_t
// per octet (port * kLlcOctets + octet). Everything that reads or writes a
// field by its entry goes through these, so that only they know the member's
// form. Asking for another type or an element the field lacks throws
// std::logic_error: it is a fault of the caller, never of the record.
std::size_t ElementCount(const RecordField& field);
bool HoldsText(const RecordField& field);  // kText, kDigits, kTextArray
template <typename T>
T& FieldElement(const RecordField& field, CDeviceConfig& record, std::size_t element = 0);
template <typename T>
const T& FieldElement(const RecordField& field, const CDeviceConfig& record,
                      std::size_t element = 0);
// A number element of any width as an int, and set from one.
int FieldNumber(const RecordField& field, const CDeviceConfig& record, std::size_t element = 0);
void SetFieldNumber(const RecordField& field, CDeviceConfig& record, int value,
                    std::size_t element = 0);

// Reset, copy and compare of one field, or of one element of it.
void ResetField(const RecordField& field, CDeviceConfig& record);
void CopyField(const RecordField& field, CDeviceConfig& to, const CDeviceConfig& from);
bool SameField(const RecordField& field, const CDeviceConfig& a, const CDeviceConfig& b);
void CopyElement(const RecordField& field, CDeviceConfig& to, const CDeviceConfig& from,
                 std::size_t element);
bool SameElement(const RecordField& field, const CDeviceConfig& a, const CDeviceConfig& b,
                 std::size_t element);

}  // namespace vardex::params
