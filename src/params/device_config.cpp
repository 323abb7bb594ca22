#include "params/device_config.h"

#include "params/field_table.h"

namespace vardex::params {

namespace {

// S82 codes in protocol index order.
constexpr int kProtocolS82[CDeviceConfig::kProtocolCount] = {74, 76, 78, 80, 70, 72, 84};

}  // namespace

CDeviceConfig::CDeviceConfig() {
    Reset();
}

void CDeviceConfig::Reset() {
    for (const RecordField& field : RecordFields()) {
        ResetField(field, *this);
    }
    m_refusedQueries.clear();
}

void CDeviceConfig::CopyFrom(const CDeviceConfig& other) {
    // Resetting first would wipe the very values about to be copied.
    if (&other == this) {
        return;
    }
    // Every field is carried, including those Reset keeps: a device copy that
    // missed them would make each write job resend values that did not change.
    Reset();
    for (const RecordField& field : RecordFields()) {
        if (field.copied) {
            CopyField(field, *this, other);
        }
    }
    m_refusedQueries = other.m_refusedQueries;
}

bool CDeviceConfig::SameParameters(const CDeviceConfig& other) const {
    for (const RecordField& field : RecordFields()) {
        if (field.copied && !SameField(field, *this, other)) {
            return false;
        }
    }
    return true;
}

void CDeviceConfig::NoteQueryAnswer(const std::string& command,
                                    const std::vector<std::string>& fields, bool refused) {
    std::erase_if(m_refusedQueries,
                  [&command](const RefusedQuery& query) { return query.command == command; });
    if (refused) {
        m_refusedQueries.push_back({command, fields});
    }
}

bool CDeviceConfig::FieldRefused(std::string_view member) const {
    for (const RefusedQuery& query : m_refusedQueries) {
        for (const std::string& field : query.fields) {
            if (field == member) {
                return true;
            }
        }
    }
    return false;
}

int CDeviceConfig::ProtocolToS82(int protocol) {
    if (protocol < 0 || protocol >= kProtocolCount) {
        return -1;
    }
    return kProtocolS82[protocol];
}

int CDeviceConfig::S82ToProtocol(int s82) {
    for (int protocol = 0; protocol < kProtocolCount; ++protocol) {
        if (kProtocolS82[protocol] == s82) {
            return protocol;
        }
    }
    return -1;
}

std::string CDeviceConfig::FormatVersion(std::uint16_t w) {
    return std::to_string(w >> 8) + "." + std::to_string(w & 0xFF);
}

}  // namespace vardex::params
