// Which setting row writes each settable field of the record, and on which
// country variants it does. A write that stopped part-way, or that the device
// partly refused, can then tell each value's fate from how far the job got.
#pragma once

#include <span>
#include <string_view>

#include "params/device_config.h"
#include "params/param_rows.h"

// Fields some variants lack: the row then sends nothing for them.
enum class SettingVariant {
    kAll,
    kX25,        // only with m_bX25Available
    kFskLevel,   // only with m_bFskLevelAvailable
    kTerminals,  // only on the Hungarian variant (elsewhere S118 holds other flags)
};

struct SettingField {
    const char* name;  // the record's member name
    ParamRow row;      // the entry of ParameterSettingTable that sends it
    SettingVariant variant;
    // The row learns whether the device took the value: it reads it back (the
    // record then holds what the device has) or checks the reply. Otherwise
    // only a missing reply is noticed and the record keeps what was sent.
    bool confirmed;
};

// Every settable field, in the record's order.
std::span<const SettingField> SettingFieldTable();

// The entry of a field; null for a field no setting row writes.
const SettingField* SettingFieldOf(std::string_view name);

// The field's row as an index into ParameterSettingTable.
int SettingRowIndex(const SettingField& field);

// Whether this device's variant has the field at all (before a write: whether
// the row will send it).
bool SettingAvailable(const SettingField& field, const CDeviceConfig& record);
