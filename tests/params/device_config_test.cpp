#include "params/device_config.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "link/tapi_line.h"
#include "params/field_table.h"
#include "platform/pty.h"
#include "platform/serial_port.h"

using namespace vardex::params;
using namespace vardex::link;

namespace {

// One case per field of the field table: the value a new record holds
// (its default), whether Reset restores it, and a different value to set.
struct FieldCase {
    std::string name;
    bool reset;
    std::function<void(CDeviceConfig&)> set;
    std::function<bool(const CDeviceConfig&)> isInitial;
    std::function<bool(const CDeviceConfig&, const CDeviceConfig&)> same;
};

const std::vector<FieldCase>& Fields() {
    static const std::vector<FieldCase> fields = [] {
        std::vector<FieldCase> all;
        for (const RecordField& f : RecordFields()) {
            FieldCase c{f.name, f.reset == ResetRule::kDefault, nullptr, nullptr,
                        [&f](const CDeviceConfig& a, const CDeviceConfig& b) {
                            return SameField(f, a, b);
                        }};
            std::visit(
                [&](auto member) {
                    using T =
                        std::remove_reference_t<decltype(std::declval<CDeviceConfig&>().*member)>;
                    if constexpr (std::is_same_v<T, int> || std::is_same_v<T, std::uint16_t>) {
                        c.set = [member, &f](CDeviceConfig& r) {
                            r.*member = static_cast<T>(f.def + 1);
                        };
                        c.isInitial = [member, &f](const CDeviceConfig& r) {
                            return r.*member == static_cast<T>(f.def);
                        };
                    } else if constexpr (std::is_same_v<T, std::string>) {
                        c.set = [member](CDeviceConfig& r) { r.*member = "7"; };
                        c.isInitial = [member](const CDeviceConfig& r) {
                            return (r.*member).empty();
                        };
                    } else if constexpr (std::is_same_v<std::remove_all_extents_t<T>,
                                                        std::string>) {
                        c.set = [member](CDeviceConfig& r) {
                            for (std::string& text : r.*member) {
                                text = "7";
                            }
                        };
                        c.isInitial = [member](const CDeviceConfig& r) {
                            for (const std::string& text : r.*member) {
                                if (!text.empty()) {
                                    return false;
                                }
                            }
                            return true;
                        };
                    } else {
                        c.set = [member](CDeviceConfig& r) { (r.*member)[1][2] = 7; };
                        c.isInitial = [member](const CDeviceConfig& r) {
                            for (const auto& port : r.*member) {
                                for (const std::uint8_t octet : port) {
                                    if (octet != 0) {
                                        return false;
                                    }
                                }
                            }
                            return true;
                        };
                    }
                },
                f.member);
            all.push_back(std::move(c));
        }
        return all;
    }();
    return fields;
}

void FillNonDefault(CDeviceConfig& c) {
    for (const FieldCase& f : Fields()) {
        f.set(c);
    }
}

TEST(DeviceConfigDefaults, NewRecordHoldsEveryDefault) {
    const CDeviceConfig c;
    for (const FieldCase& f : Fields()) {
        EXPECT_TRUE(f.isInitial(c)) << f.name;
    }
    EXPECT_FALSE(c.IsOpen());
    // The defaults that are not zero: a flash the device takes, no own
    // number, versions not read yet, and an FSK level until a variant says no.
    EXPECT_EQ(c.m_nFlashDuration, 20);
    EXPECT_EQ(c.m_nOwnNumber1, -1);
    EXPECT_EQ(c.m_wFirmwareVersion, 0xFFFF);
    EXPECT_EQ(c.m_bFskLevelAvailable, 1);
}

TEST(DeviceConfigDefaults, ResetRestoresDefaultsAndKeepsDeviceOnlyFields) {
    CDeviceConfig c;
    FillNonDefault(c);
    CDeviceConfig filled;
    FillNonDefault(filled);

    c.Reset();
    for (const FieldCase& f : Fields()) {
        if (f.reset) {
            EXPECT_TRUE(f.isInitial(c)) << f.name;
        } else {
            EXPECT_TRUE(f.same(c, filled)) << f.name << " was reset";
        }
    }
}

TEST(DeviceConfigCopy, CarriesEveryField) {
    CDeviceConfig source;
    FillNonDefault(source);
    CDeviceConfig target;

    target.CopyFrom(source);
    for (const FieldCase& f : Fields()) {
        EXPECT_FALSE(f.isInitial(source)) << f.name << ": test value equals the default";
        EXPECT_TRUE(f.same(target, source)) << f.name;
    }
    EXPECT_TRUE(target.SameParameters(source));
    EXPECT_TRUE(source.SameParameters(target));
}

TEST(DeviceConfigCopy, OverwritesEveryFieldOfAnEditedTarget) {
    const CDeviceConfig source;
    CDeviceConfig target;
    FillNonDefault(target);

    target.CopyFrom(source);
    for (const FieldCase& f : Fields()) {
        EXPECT_TRUE(f.isInitial(target)) << f.name;
    }
    EXPECT_TRUE(target.SameParameters(source));
}

TEST(DeviceConfigCopy, CopyOntoItselfKeepsEveryValue) {
    CDeviceConfig c;
    FillNonDefault(c);
    CDeviceConfig expected;
    FillNonDefault(expected);

    c.CopyFrom(c);
    for (const FieldCase& f : Fields()) {
        EXPECT_TRUE(f.same(c, expected)) << f.name;
    }
    EXPECT_TRUE(c.SameParameters(expected));
}

TEST(DeviceConfigCopy, LeavesTheTargetsChannelAlone) {
    CDeviceConfig closedSource;
    FillNonDefault(closedSource);
    CDeviceConfig closedTarget;
    closedTarget.CopyFrom(closedSource);
    EXPECT_FALSE(closedTarget.IsOpen());

    vardex::platform::PtyPair pty;
    vardex::platform::SysError error;
    if (!vardex::platform::PtyPair::Create(&pty, &error)) {
        GTEST_SKIP() << "no pseudo-terminal: " << error.Message();
    }
    CommHandle port = vardex::platform::SerialPort::Open(pty.SlavePath(), &error);
    ASSERT_NE(port, nullptr) << error.Message();

    // An open target keeps its very channel; an open source lends none.
    CDeviceConfig openRecord;
    openRecord.Line().AdoptHandle(port);
    openRecord.CopyFrom(closedSource);
    EXPECT_EQ(openRecord.Line().GetHandle(), port);
    EXPECT_TRUE(openRecord.SameParameters(closedSource));

    CDeviceConfig otherTarget;
    otherTarget.CopyFrom(openRecord);
    EXPECT_FALSE(otherTarget.IsOpen());
    EXPECT_EQ(openRecord.Line().GetHandle(), port);
}

TEST(DeviceConfigSameParameters, NoticesADifferenceInEachField) {
    const CDeviceConfig a;
    for (const FieldCase& f : Fields()) {
        CDeviceConfig b;
        ASSERT_TRUE(a.SameParameters(b)) << f.name;
        f.set(b);
        EXPECT_FALSE(a.SameParameters(b)) << f.name;
        EXPECT_FALSE(b.SameParameters(a)) << f.name;
    }
}

TEST(DeviceConfigProtocol, CodeTableBothWays) {
    const int s82[] = {74, 76, 78, 80, 70, 72, 84};
    ASSERT_EQ(std::size(s82), static_cast<std::size_t>(CDeviceConfig::kProtocolCount));
    for (int protocol = 0; protocol < CDeviceConfig::kProtocolCount; ++protocol) {
        EXPECT_EQ(CDeviceConfig::ProtocolToS82(protocol), s82[protocol]) << protocol;
        EXPECT_EQ(CDeviceConfig::S82ToProtocol(s82[protocol]), protocol) << s82[protocol];
    }
    EXPECT_EQ(CDeviceConfig::ProtocolToS82(CDeviceConfig::kProtocolX25DChannel), 84);
}

TEST(DeviceConfigProtocol, ValuesOutsideTheTable) {
    for (int protocol : {-1, 7, 74, INT_MIN, INT_MAX}) {
        EXPECT_EQ(CDeviceConfig::ProtocolToS82(protocol), -1) << protocol;
    }
    // Neighbours of the codes, the odd gap at 82, and the indexes themselves.
    for (int code : {0, 6, 69, 71, 73, 75, 82, 85, -74, INT_MIN, INT_MAX}) {
        EXPECT_EQ(CDeviceConfig::S82ToProtocol(code), -1) << code;
    }
}

TEST(DeviceConfigVersion, FormatsMajorDotMinor) {
    EXPECT_EQ(CDeviceConfig::FormatVersion(0x0102), "1.2");
    EXPECT_EQ(CDeviceConfig::FormatVersion(0x0A00), "10.0");
    EXPECT_EQ(CDeviceConfig::FormatVersion(0x00FF), "0.255");
    EXPECT_EQ(CDeviceConfig::FormatVersion(CDeviceConfig::kVersionNotRead), "255.255");
}

}  // namespace
