// The field table: every field described once and consistently, and each
// settable field's row sending it where the variant has it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <regex>
#include <set>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "params/field_table.h"
#include "row_fixture.h"

using namespace vardex::params;

namespace vardex::test {
namespace {

bool IsNumber(const RecordField& f) {
    return f.type == FieldType::kFlag || f.type == FieldType::kInt;
}

TEST(FieldTable, EveryFieldOnceWithItsRowsOrMarkedDerived) {
    std::set<std::string> names;
    std::set<std::string> settable;
    // Readable names are "group.setting", lower case: the groups one word.
    const std::regex readable(
        "(device|port1|port2|dte|telephony|ppp|x25|profile|charges)"
        "\\.[a-z][a-z0-9_]*");
    for (const RecordField& f : RecordFields()) {
        SCOPED_TRACE(f.name);
        EXPECT_TRUE(names.insert(f.name).second) << "listed twice";
        EXPECT_TRUE(names.insert(f.readable).second) << f.readable << " named twice";
        EXPECT_TRUE(std::regex_match(f.readable, readable)) << f.readable;
        EXPECT_EQ(FindField(f.name), &f);
        EXPECT_EQ(FindField(f.readable), &f);
        EXPECT_EQ(FieldOf(f.member), &f);
        // Read by a query row, or derived: never both, never neither.
        EXPECT_NE(f.row != Row::kNone && QueryRowOf(f.row) != nullptr, f.derived);
        if (f.Writable()) {
            settable.insert(f.name);
            EXPECT_GE(SettingRowIndex(f), 0);
        } else {
            EXPECT_EQ(SettingRowIndex(f), -1);
        }
        if (IsNumber(f)) {
            EXPECT_LE(f.lo, f.hi);
        }
    }
    const std::set<std::string> edited = {"m_strPhoneMsn", "m_strDteMsn", "m_strX25Address",
                                          "m_byModemLlc"};
    for (const std::string& name : edited) {
        EXPECT_EQ(settable.count(name), 1u) << name;
    }
    EXPECT_FALSE(FindField("m_strCountry")->Writable());
    EXPECT_EQ(FindField("m_nNoSuchField"), nullptr);
}

// The row tables against the field table: a group is read by one query row, a
// row without a handler has only register fields to work with, and a row kept
// from a variant is kept from it exactly where its fields are.
TEST(FieldTable, TheRowTablesAgreeWithIt) {
    std::set<Row> queried;
    for (const ParamRowSpec& row : QueryRows()) {
        EXPECT_TRUE(queried.insert(row.group).second) << row.name;
    }
    for (const auto rows : {QueryRows(), SettingRows()}) {
        for (const ParamRowSpec& row : rows) {
            SCOPED_TRACE(row.name);
            EXPECT_EQ(FindRow(row.name), &row);
            std::vector<const RecordField*> fields;
            for (const RecordField& f : RecordFields()) {
                if (f.row == row.group) {
                    fields.push_back(&f);
                }
            }
            EXPECT_FALSE(fields.empty());
            for (const RecordField* f : fields) {
                if (row.handler == nullptr) {
                    EXPECT_GE(f->place.reg, 0) << f->name;
                }
                if (row.needs != vardex::params::Feature::kAll) {
                    EXPECT_EQ(f->offered, row.needs) << f->name;
                }
            }
            EXPECT_EQ(RowFields(row.group).size(),
                      static_cast<std::size_t>(
                          std::count_if(fields.begin(), fields.end(),
                                        [](const RecordField* f) { return f->place.reg >= 0; })));
        }
    }
    // Only the profile store has nothing to read back.
    for (const ParamRowSpec& row : SettingRows()) {
        EXPECT_EQ(QueryRowOf(row.group) == nullptr, row.group == Row::kStoreProfile) << row.name;
    }
}

// Every value a field takes survives its register, and stays inside the bits
// its place gives it: a range wider than its register would be cut on the way.
TEST(FieldTable, RangesFitTheirRegisters) {
    for (const RecordField& f : RecordFields()) {
        if (f.place.reg < 0) {
            continue;
        }
        SCOPED_TRACE(f.name);
        ASSERT_TRUE(IsNumber(f));
        const long long place_bits = ((1LL << f.place.width) - 1) << f.place.first;
        std::vector<int> values;
        for (int v = f.lo; v <= f.hi; ++v) {
            values.push_back(v);
        }
        if (f.also != RecordField::kNoOtherValue) {
            values.push_back(f.also);
        }
        for (const int v : values) {
            const long long encoded = EncodeRegister(f.place, v);
            EXPECT_EQ(encoded & ~place_bits, 0) << v;
            EXPECT_LE(encoded, 255) << v;
            // A bit asked alone answers the bit, not the register.
            const int answer = f.place.coding == Coding::kBitQuery
                                   ? static_cast<int>(encoded >> f.place.first)
                                   : static_cast<int>(encoded);
            EXPECT_EQ(DecodeRegister(f.place, answer), v);
            if (f.place.writing == Writing::kBits && f.place.width > 1 &&
                f.place.coding == Coding::kBits) {
                int rebuilt = 0;
                for (int bit = 0; bit < f.place.width; ++bit) {
                    rebuilt |= BitCommandValue(f.place, v, bit) << bit;
                }
                EXPECT_EQ(rebuilt, v);
            }
        }
    }
}

// Reset gives each field its default or keeps it; CopyFrom and SameParameters
// see every field the table carries.
TEST(FieldTable, ResetCopyAndCompareFollowTheTable) {
    CDeviceConfig a;
    CDeviceConfig b;
    for (const RecordField& f : RecordFields()) {
        SCOPED_TRACE(f.name);
        CDeviceConfig changed;
        std::visit(
            [&](auto member) {
                using T = std::remove_reference_t<decltype(changed.*member)>;
                if constexpr (std::is_same_v<T, int> || std::is_same_v<T, std::uint16_t>) {
                    changed.*member = static_cast<T>(changed.*member + 7);
                } else if constexpr (std::is_same_v<T, std::string>) {
                    changed.*member = "7";
                } else if constexpr (std::is_same_v<std::remove_all_extents_t<T>, std::string>) {
                    (changed.*member)[0] = "7";
                } else {
                    (changed.*member)[1][2] = 7;
                }
            },
            f.member);
        EXPECT_FALSE(changed.SameParameters(a));
        b.CopyFrom(changed);
        EXPECT_TRUE(b.SameParameters(changed));
        changed.Reset();
        EXPECT_EQ(changed.SameParameters(a), f.reset == ResetRule::kDefault);
    }
}

// Where an element lives in the record, reached as the field's type says, and
// its size.
struct Place {
    std::uintptr_t at;
    std::size_t size;
};

template <typename T>
Place PlaceAs(const RecordField& f, const CDeviceConfig& r, std::size_t element) {
    return {reinterpret_cast<std::uintptr_t>(&FieldElement<T>(f, r, element)), sizeof(T)};
}

Place PlaceOf(const RecordField& f, const CDeviceConfig& r, std::size_t element) {
    switch (f.type) {
        case FieldType::kWord:
            return PlaceAs<std::uint16_t>(f, r, element);
        case FieldType::kOctets:
            return PlaceAs<std::uint8_t>(f, r, element);
        case FieldType::kText:
        case FieldType::kDigits:
        case FieldType::kTextArray:
            return PlaceAs<std::string>(f, r, element);
        case FieldType::kFlag:
        case FieldType::kInt:
            break;
    }
    return PlaceAs<int>(f, r, element);
}

// Every element of every field is reached as the table's type says, in the
// order of its arrays (the LLC octets port by port), inside the record and at
// a place of its own; the element-wise copy and compare touch that element
// only; another type or an element past the last is refused.
TEST(FieldTable, EachElementIsReachedAlone) {
    const CDeviceConfig r;
    const auto record = reinterpret_cast<std::uintptr_t>(&r);
    std::set<std::uintptr_t> places;
    for (const RecordField& f : RecordFields()) {
        SCOPED_TRACE(f.name);
        const std::size_t n = ElementCount(f);
        const Place first = PlaceOf(f, r, 0);
        for (std::size_t i = 0; i < n; ++i) {
            const std::uintptr_t at = PlaceOf(f, r, i).at;
            EXPECT_EQ(at, first.at + i * first.size) << i;
            EXPECT_TRUE(places.insert(at).second) << "element " << i << " shared";
            EXPECT_TRUE(at >= record && at + first.size <= record + sizeof r) << i;
            CDeviceConfig changed;
            if (HoldsText(f)) {
                FieldElement<std::string>(f, changed, i) = "7";
            } else {
                SetFieldNumber(f, changed, FieldNumber(f, changed, i) + 7, i);
            }
            for (std::size_t j = 0; j < n; ++j) {
                EXPECT_EQ(SameElement(f, changed, r, j), j != i) << i << " " << j;
            }
            CDeviceConfig copy;
            CopyElement(f, copy, changed, i);
            EXPECT_TRUE(SameField(f, copy, changed)) << i;
        }
        EXPECT_THROW(PlaceOf(f, r, n), std::logic_error);
        if (HoldsText(f)) {
            EXPECT_THROW(FieldNumber(f, r), std::logic_error);
        } else {
            EXPECT_THROW(FieldElement<std::string>(f, r), std::logic_error);
        }
    }
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
    const RecordField* f = FindField(name);
    if (f == nullptr || !IsNumber(*f)) {
        return nullptr;
    }
    const auto member = std::get<int CDeviceConfig::*>(f->member);
    return [f, member](CDeviceConfig& r) { r.*member = r.*member != f->hi ? f->hi : f->lo; };
}

bool IsSetting(const std::string& line) {
    return !line.empty() && line.back() != '?' && line != "AT/CLIPLEVEL";
}

// The record without the settings of one variant (kAll: without all of them).
void Without(vardex::params::Feature variant, CDeviceConfig* r) {
    using vardex::params::Feature;
    const bool all = variant == Feature::kAll;
    if (all || variant == Feature::kX25) {
        r->m_bX25Available = 0;
    }
    if (all || variant == Feature::kFskLevel) {
        r->m_bFskLevelAvailable = 0;
    }
    if (all || variant == Feature::kHungarian) {
        r->m_strCountry = "Poland";
    }
}

// With only the one field changed, its row sends a setting command; it sends
// none on a variant without the setting, and a setting every variant has is
// sent on one without any of the others.
TEST_F(RowTest, EachFieldsRowSendsItAndOnlyWhereTheVariantHasIt) {
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
    Answer("AT!X2?", "\r\nX121 ADDR: 123\r\n\r\nOK\r\n");
    Answer("AT/CLIPLEVEL", ValueReply(19));
    CDeviceConfig full;
    full.m_strCountry = "Hungary";
    full.m_bX25Available = 1;
    full.m_bFskLevelAvailable = 1;
    for (const RecordField& f : RecordFields()) {
        if (!f.Writable()) {
            continue;
        }
        SCOPED_TRACE(f.name);
        const auto change = ChangeOf(f.name);
        ASSERT_TRUE(change);
        const auto settings_sent = [&](bool reduced) {
            W().CopyFrom(full);
            if (reduced) {
                Without(f.offered, &W());
            }
            EXPECT_EQ(FieldAvailable(f, W()),
                      !reduced || f.offered == vardex::params::Feature::kAll);
            Sync();
            change(W());
            ClearSent();
            RunRow(SettingRows()[static_cast<std::size_t>(SettingRowIndex(f))], &job_, &app_, 0);
            std::vector<std::string> settings;
            for (const std::string& line : Sent()) {
                if (IsSetting(line)) {
                    settings.push_back(line);
                }
            }
            return settings;
        };
        if (f.offered == vardex::params::Feature::kAll) {
            EXPECT_FALSE(settings_sent(true).empty());
        } else {
            EXPECT_FALSE(settings_sent(false).empty());
            EXPECT_EQ(settings_sent(true), std::vector<std::string>{});
        }
    }
}

}  // namespace
}  // namespace vardex::test
