// The map from each settable field to the setting row that sends it.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "params/field_limits.h"
#include "params/setting_fields.h"
#include "row_fixture.h"

namespace vardex::test {
namespace {

std::set<std::string> SettableFields() {
    std::set<std::string> names = {"m_strPhoneMsn", "m_strDteMsn", "m_strX25Address",
                                   "m_byModemLlc"};
    for (const IntFieldLimits& f : IntFieldTable()) {
        names.insert(f.name);
    }
    return names;
}

TEST(SettingFields, EverySettableFieldHasOneEntryWithARow) {
    std::set<std::string> mapped;
    for (const SettingField& f : SettingFieldTable()) {
        SCOPED_TRACE(f.name);
        EXPECT_TRUE(mapped.insert(f.name).second) << "listed twice";
        EXPECT_EQ(SettingFieldOf(f.name), &f);
        const int row = SettingRowIndex(f);
        EXPECT_GE(row, 0);
        EXPECT_LT(row, kSettingRowCount);
    }
    EXPECT_EQ(mapped, SettableFields());
    EXPECT_EQ(SettingFieldOf("m_strCountry"), nullptr);
}

// Another value in the field's range, so that its row has something to send.
std::function<void(CDeviceConfig&)> ChangeOf(const std::string& name) {
    if (name == "m_strPhoneMsn") {
        return [](CDeviceConfig& r) { r.m_strPhoneMsn[5] = "55"; };
    }
    if (name == "m_strDteMsn") {
        return [](CDeviceConfig& r) { r.m_strDteMsn[1] = "66"; };
    }
    if (name == "m_strX25Address") {
        return [](CDeviceConfig& r) { r.m_strX25Address = "123"; };
    }
    if (name == "m_byModemLlc") {
        return [](CDeviceConfig& r) { r.m_byModemLlc[1][2] = 9; };
    }
    for (const IntFieldLimits& f : IntFieldTable()) {
        if (name == f.name) {
            return [&f](CDeviceConfig& r) { r.*f.member = r.*f.member != f.hi ? f.hi : f.lo; };
        }
    }
    return nullptr;
}

bool IsSetting(const std::string& line) {
    return !line.empty() && line.back() != '?' && line != "AT/CLIPLEVEL";
}

// The record without the settings of one variant (kAll: without all of them).
void Without(SettingVariant variant, CDeviceConfig* r) {
    const bool all = variant == SettingVariant::kAll;
    if (all || variant == SettingVariant::kX25) {
        r->m_bX25Available = 0;
    }
    if (all || variant == SettingVariant::kFskLevel) {
        r->m_bFskLevelAvailable = 0;
    }
    if (all || variant == SettingVariant::kTerminals) {
        r->m_strCountry = "Poland";
    }
}

// With only the one field changed, its row sends a setting command; it sends
// none on a variant without the setting, and a setting every variant has is
// sent on one without any of the others.
TEST_F(RowTest, EachFieldsRowSendsItAndOnlyWhereTheVariantHasIt) {
    // Only the lines sent count, not how the replies are timed: every exchange
    // may end sooner than in the other row tests.
    ScopedTimeScale faster(0.05);
    // Complete answers to the queries the register file does not serve, so that
    // no verification asks twice.
    Answer("AT&ZI?",
           "\r\nPhone 1\r\nMSN1 : \r\nMSN2 : \r\nMSN3 : \r\nPhone 2\r\nMSN1 : \r\nMSN2 : "
           "\r\nMSN3 : \r\nDTE Port\r\nMSN1 : \r\nMSN2 : \r\nMSN3 : \r\n\r\nOK\r\n");
    Answer("AT&ZO?",
           "\r\nPhone 1\r\nOWN NUMBER : \r\nPhone 2\r\nOWN NUMBER : \r\nDTE Port\r\nOWN NUMBER : "
           "\r\n\r\nOK\r\n");
    Answer("ATCH?",
           "\r\nLast call\r\nDTE Port: 0\r\nPhone 1: 0\r\nPhone 2: 0\r\nAccumulated\r\nDTE "
           "Port: 0\r\nPhone 1: 0\r\nPhone 2: 0\r\n\r\nOK\r\n");
    Answer("AT!X2?", "\r\nX.121 addr 123\r\n\r\nOK\r\n");
    Answer("AT/CLIPLEVEL", ValueReply(19));
    CDeviceConfig full;
    full.m_strCountry = "Hungary";
    full.m_bX25Available = 1;
    full.m_bFskLevelAvailable = 1;
    for (const SettingField& f : SettingFieldTable()) {
        SCOPED_TRACE(f.name);
        const auto change = ChangeOf(f.name);
        ASSERT_TRUE(change);
        const auto settings_sent = [&](bool reduced) {
            W().CopyFrom(full);
            if (reduced) {
                Without(f.variant, &W());
            }
            EXPECT_EQ(SettingAvailable(f, W()), !reduced || f.variant == SettingVariant::kAll);
            Sync();
            change(W());
            ClearSent();
            Run(f.row);
            std::vector<std::string> settings;
            for (const std::string& line : Sent()) {
                if (IsSetting(line)) {
                    settings.push_back(line);
                }
            }
            return settings;
        };
        if (f.variant == SettingVariant::kAll) {
            EXPECT_FALSE(settings_sent(true).empty());
        } else {
            EXPECT_FALSE(settings_sent(false).empty());
            EXPECT_EQ(settings_sent(true), std::vector<std::string>{});
        }
    }
}

}  // namespace
}  // namespace vardex::test
