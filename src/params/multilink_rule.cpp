#include "params/multilink_rule.h"

namespace vardex::params {

int MultilinkChoiceOf(const CDeviceConfig& record) {
    if (record.m_bMultilink == 0) {
        return kMultilinkNone;
    }
    return record.m_nBodAddTime == 0 ? kMultilinkFixed : kMultilinkOnDemand;
}

void ApplyMultilinkChoice(int choice, CDeviceConfig& record) {
    switch (choice) {
        case kMultilinkNone:
            record.m_bMultilink = 0;
            // A zero time kept here would make a later choice of bandwidth on
            // demand read back as fixed multilink.
            if (record.m_nBodAddTime == 0) {
                record.m_nBodAddTime = kMultilinkDefaultAddTime;
            }
            break;
        case kMultilinkFixed:
            record.m_bMultilink = 1;
            record.m_nBodAddTime = 0;
            break;
        case kMultilinkOnDemand:
            record.m_bMultilink = 1;
            break;
        default:
            break;
    }
}

}  // namespace vardex::params
