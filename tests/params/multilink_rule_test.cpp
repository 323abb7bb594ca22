// The Connection page's three-way multilink choice against the record's flag
// and add-channel time.
#include "params/multilink_rule.h"

#include <gtest/gtest.h>

using namespace vardex::params;

namespace {

// A new record (the channel makes records uncopyable) with the two fields set.
struct Record {
    Record(int multilink, int add_time) {
        r.m_bMultilink = multilink;
        r.m_nBodAddTime = add_time;
    }
    CDeviceConfig r;
};

TEST(MultilinkRule, RecordToChoice) {
    EXPECT_EQ(MultilinkChoiceOf(Record(0, 0).r), kMultilinkNone);
    EXPECT_EQ(MultilinkChoiceOf(Record(0, 30).r), kMultilinkNone)
        << "the time counts only with the flag";
    EXPECT_EQ(MultilinkChoiceOf(Record(1, 0).r), kMultilinkFixed);
    EXPECT_EQ(MultilinkChoiceOf(Record(1, 30).r), kMultilinkOnDemand);
}

TEST(MultilinkRule, ChoiceToRecord) {
    struct Case {
        int choice, multilink, add_time;  // before: the record's flag and the page's time
        int want_multilink, want_add_time;
    };
    const Case cases[] = {
        {kMultilinkNone, 1, 0, 0, kMultilinkDefaultAddTime},  // a zero time does not stay
        {kMultilinkNone, 1, 45, 0, 45},
        {kMultilinkFixed, 0, 45, 1, 0},
        {kMultilinkOnDemand, 0, 30, 1, 30},
        {kMultilinkOnDemand, 0, 0, 1, 0},  // a zero time is not made up: it reads back as fixed
        {-1, 1, 45, 1, 45},                // no choice made: the record stays
        {3, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "choice " << c.choice << ", flag " << c.multilink
                                        << ", time " << c.add_time);
        Record record(c.multilink, c.add_time);
        ApplyMultilinkChoice(c.choice, record.r);
        EXPECT_EQ(record.r.m_bMultilink, c.want_multilink);
        EXPECT_EQ(record.r.m_nBodAddTime, c.want_add_time);
    }
}

TEST(MultilinkRule, EveryChoiceReadsBackAsItself) {
    for (const int choice : {kMultilinkNone, kMultilinkFixed, kMultilinkOnDemand}) {
        for (const int add_time : {0, 1, 255}) {
            if (choice == kMultilinkOnDemand && add_time == 0) {
                continue;  // the one choice a zero time cannot carry (above)
            }
            SCOPED_TRACE(testing::Message() << "choice " << choice << ", time " << add_time);
            Record record(choice == kMultilinkNone ? 1 : 0, add_time);
            ApplyMultilinkChoice(choice, record.r);
            EXPECT_EQ(MultilinkChoiceOf(record.r), choice);
            // The choice touches no other field of the record.
            const Record expected(record.r.m_bMultilink, record.r.m_nBodAddTime);
            EXPECT_TRUE(record.r.SameParameters(expected.r));
        }
    }
}

}  // namespace
