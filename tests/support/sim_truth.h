// What the simulated device holds for a field, as vardexctl prints values: the
// truth that tests hold a read or a write's report against.
#pragma once

#include <array>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "device.h"
#include "params/field_table.h"

namespace vardex::test {

// A register field's value as the device holds it, active or in a profile.
inline int RegisterValue(const params::RecordField& field,
                         const std::array<std::uint8_t, 256>& registers) {
    const params::RegisterPlace& place = field.place;
    const int value = registers[static_cast<std::size_t>(place.reg)];
    return DecodeRegister(
        place, place.coding == params::Coding::kBitQuery ? (value >> place.first) & 1 : value);
}

inline std::array<std::uint8_t, 256> ActiveRegisters(const sim::Device& d) {
    std::array<std::uint8_t, 256> registers{};
    for (int r = 0; r < 256; ++r) {
        registers[static_cast<std::size_t>(r)] = d.Register(r);
    }
    return registers;
}

// What the device holds for an item (a field, or one subscriber number as
// m_strPhoneMsn[i]), as JSON prints it; nothing for an item not followed here
// (identity, counters, the LLC octets, bookkeeping). profile: the active
// settings for -1.
inline std::optional<std::string> Truth(const sim::Device& d, const std::string& name,
                                        int profile = -1) {
    using Json = nlohmann::json;
    const auto registers = profile < 0
                               ? ActiveRegisters(d)
                               : d.Nv().profiles[static_cast<std::size_t>(profile)].registers;
    if (name == "m_strX25Address") {
        return Json(profile < 0 ? d.X121Address()
                                : d.Nv().profiles[static_cast<std::size_t>(profile)].x121)
            .dump();
    }
    if (name == "m_nFskLevel") {
        return std::to_string(profile < 0
                                  ? d.ClipLevel()
                                  : d.Nv().profiles[static_cast<std::size_t>(profile)].clip_level);
    }
    if (name == "m_nProtocol") {
        return std::to_string(params::CDeviceConfig::S82ToProtocol(registers[82]));
    }
    for (std::size_t i = 0; i < 9; ++i) {
        const std::string msn = i < 6 ? "m_strPhoneMsn[" + std::to_string(i) + "]"
                                      : "m_strDteMsn[" + std::to_string(i - 6) + "]";
        if (name == msn) {
            return Json(d.Nv().msn[i]).dump();
        }
    }
    const params::RecordField* field = params::FindField(name);
    if (field == nullptr || field->place.reg < 0 || field->type == params::FieldType::kOctets) {
        return std::nullopt;
    }
    return std::to_string(RegisterValue(*field, registers));
}

}  // namespace vardex::test
