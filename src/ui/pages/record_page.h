// A page of the sheet as the transfers between the pages and the working
// record see it, and the binding of controls to the record's fields that the
// pages and the X.25 properties share.
//
// A page keeps a working copy of the record and lists its controls once, each
// with the field it shows (by the record's member): loading, storing, the
// validation limits and whether the control is usable are all walked from that
// list and the field table, so that the page holds no copy of a field of its
// own and the variant rules live in the table only.
#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <string>

#include "params/device_config.h"
#include "params/field_table.h"
#include "ui/property_sheet.h"

class QWidget;

namespace vardex::ui {

class CDataExchange;

// How a control exchanges its field's value with the record.
enum class Exchange {
    kCheck,    // check box: 0 or 1
    kRadio,    // radio group: the index of the checked button; none checked keeps the value
    kList,     // drop-down list: the chosen index; none chosen keeps the value
    kText,     // edit: the text
    kNumber,   // edit: an integer in the field's range
    kDigits,   // edit of digits: a number in the field's range, none being no number
    kLimited,  // edit: 0 (off) or a number in the field's limits; a value unchanged passes
    kNone,     // exchanged by the page itself: only stored and enabled by the walk
    kShown,    // read-only edit: the value shown (a version word as major.minor), never
               // saved, stored or enabled by the walk
};

struct FieldBinding {
    int id = 0;  // the control (a radio group's first button)
    params::FieldMember member;
    Exchange exchange = Exchange::kCheck;
    // The element of an array field; the LLC octets count port * kLlcOctets + octet.
    std::size_t index = 0;
    // A radio group's buttons in the order of the values, or the controls a
    // kNone binding enables together.
    std::span<const int> group = {};
    // kLimited: the lower limit is the variant's shortest flash, not the table's.
    bool flash_minimum = false;
};

// The table's entry of a binding's field.
const params::RecordField& FieldOf(const FieldBinding& binding);

// A binding's value in a record: a number (the LLC octets included) or a text.
int IntValue(const params::CDeviceConfig& record, const FieldBinding& binding);
void SetInt(params::CDeviceConfig& record, const FieldBinding& binding, int value);
std::string& TextValue(params::CDeviceConfig& record, const FieldBinding& binding);

// The limits of a number binding on the record's variant.
struct Limits {
    int lo = 0;
    int hi = 0;
};
Limits LimitsOf(const FieldBinding& binding, const params::CDeviceConfig& record);
// kLimited: 0 (off) or within the limits.
bool LimitedAllows(const Limits& limits, int value);

// Controls to record (save) or record to controls, binding by binding. A
// binding for which keep() is true is loaded but not saved: its control shows
// what a rule of the page makes it show, not the value.
void ExchangeFields(CDataExchange& dx, const QWidget* root, params::CDeviceConfig& record,
                    std::span<const FieldBinding> bindings,
                    const std::function<bool(const FieldBinding&)>& keep = {});

// Enables each bound control (and its group) where the record's variant lets a
// person change its field.
void EnableFields(const QWidget* root, const params::CDeviceConfig& record,
                  std::span<const FieldBinding> bindings);

// Copies the bound fields from one record to the other.
void CopyFields(params::CDeviceConfig& to, const params::CDeviceConfig& from,
                std::span<const FieldBinding> bindings);

// The binding of a control (or of a control of its group); null for none.
const FieldBinding* BindingOf(std::span<const FieldBinding> bindings, int id);

class CRecordPage : public CPropertyPage {
public:
    CRecordPage(const QString& title, int help_topic, std::span<const FieldBinding> bindings = {});

    // The working record into the page's copy after a read (the sheet then
    // reloads the shown page's controls).
    virtual void LoadFrom(const params::CDeviceConfig& record);
    // The page's fields from its copy into the working record before a write.
    virtual void StoreTo(params::CDeviceConfig& record) const;

    // The page's copy of the record, which its controls show.
    params::CDeviceConfig& Record() { return record_; }
    const params::CDeviceConfig& Record() const { return record_; }
    // The page's controls and the fields they show.
    std::span<const FieldBinding> Bindings() const { return bindings_; }

protected:
    // The value of the field bound to control id, in the page's copy.
    int IntField(int id) const;
    void SetIntField(int id, int value);
    std::string& TextField(int id);
    // Whether the device's variant lets a person change the field of control id.
    bool Changeable(int id) const;

    void ExchangeBound(CDataExchange& dx,
                       const std::function<bool(const FieldBinding&)>& keep = {});
    void EnableBound() const;

private:
    const FieldBinding& Bound(int id) const;

    std::span<const FieldBinding> bindings_;
    params::CDeviceConfig record_;
    bool loaded_ = false;  // a record read from the device has been loaded
};

}  // namespace vardex::ui
