#include "params/device_config.h"

#include "params/field_table.h"

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
}

bool CDeviceConfig::SameParameters(const CDeviceConfig& other) const {
    for (const RecordField& field : RecordFields()) {
        if (field.copied && !SameField(field, *this, other)) {
            return false;
        }
    }
    return true;
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
