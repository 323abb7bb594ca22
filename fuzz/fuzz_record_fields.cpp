// vardexctl's reader of settings: a JSON object as `read --json` prints it, and
// one FIELD=VALUE word. Whatever the bytes, a refusal says why; what is taken
// applies to a record, and the record then prints as JSON that reads back to
// the same record.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "settings/record_fields.h"

using namespace vardex::settings;
using namespace vardex::params;

namespace {

using vardex::fuzz::Check;
using vardex::settings::FieldChange;

// A record as a read of a Hungarian varDex leaves it: every setting in range,
// X.25 and the FSK level present.
const CDeviceConfig& ReadRecord() {
    static const CDeviceConfig* record = [] {
        auto* r = new CDeviceConfig;
        r->m_strCountry = "Hungary";
        r->m_bX25Available = 1;
        r->m_bFskLevelAvailable = 1;
        r->m_nX25PacketSize = 7;
        return r;
    }();
    return *record;
}

void AppliesAndReadsBack(const std::vector<FieldChange>& changes) {
    // Records are made once: each one is a channel.
    static CDeviceConfig record;
    static CDeviceConfig copy;
    record.CopyFrom(ReadRecord());
    vardex::settings::ApplyChanges(changes, &record);
    const std::string printed = vardex::settings::RecordJson(record);
    std::vector<FieldChange> again;
    Check(vardex::settings::ParseFieldsJson(printed, &again).has_value());
    copy.CopyFrom(ReadRecord());
    vardex::settings::ApplyChanges(again, &copy);
    Check(vardex::settings::RecordJson(copy) == printed);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<FieldChange> changes;
    if (const auto parsed = vardex::settings::ParseFieldsJson(text, &changes)) {
        AppliesAndReadsBack(changes);
    } else {
        Check(!parsed.error().text.empty());
    }
    changes.clear();
    if (const auto parsed = vardex::settings::ParseAssignment(text, &changes)) {
        Check(changes.size() == 1);
        AppliesAndReadsBack(changes);
    } else {
        Check(!parsed.error().text.empty() && changes.empty());
    }
    return 0;
}
