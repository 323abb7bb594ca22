// What `vardexctl write` takes from JSON and FIELD=VALUE, and how it tells the
// fate of each value from how far the write job got.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "command_table.h"
#include "job_commands.h"
#include "scoped_env.h"
#include "settings/backup_store.h"
#include "settings/record_fields.h"
#include "settings/write_path.h"
#include "temp_files.h"
#include "write_report.h"

using namespace vardex::settings;
using namespace vardex::params;
using namespace vardex::device;

namespace vardex::ctl {
namespace {

struct Parsed {
    bool ok = false;
    std::string error;
    std::vector<FieldChange> changes;
};

Parsed Json(const std::string& text) {
    Parsed p;
    const auto parsed = ParseFieldsJson(text, &p.changes);
    p.ok = parsed.has_value();
    p.error = p.ok ? "" : parsed.error().text;
    return p;
}

Parsed Word(const std::string& text) {
    Parsed p;
    const auto parsed = ParseAssignment(text, &p.changes);
    p.ok = parsed.has_value();
    p.error = p.ok ? "" : parsed.error().text;
    return p;
}

// A record as a read of a Hungarian varDex leaves it: every setting in range.
void MakeRead(CDeviceConfig* r) {
    r->m_strCountry = "Hungary";
    r->m_bX25Available = 1;
    r->m_bFskLevelAvailable = 1;
    r->m_nX25PacketSize = 7;
    r->m_bCallWaiting1 = 1;
}

TEST(FieldsJson, RefusesWhatIsNoWholeNumberAndKeysGivenTwice) {
    struct Case {
        const char* json;
        const char* said;
    };
    for (const Case& c : {
             Case{R"({"m_bClip":true})", "m_bClip: expected a whole number 0..1, not true"},
             Case{R"({"m_bClip":false})", "not false"},
             Case{R"({"m_byModemLlc":[[1,2,true],[4,5,6]]})", "not true"},
             Case{R"({"refused_commands":"ATS84?"})", "must be a list of commands"},
             Case{R"({"refused_commands":[1]})", "must be a list of commands"},
             Case{R"({"m_bClip":1.5})", "1.5 is not a whole number"},
             Case{R"({"m_nFlashDuration":2.5e-1})", "is not a whole number"},
             Case{R"({"m_nFlashDuration":1e300})", "is out of range"},
             Case{"\xEF\xBB\xBF{\"m_bClip\":1}", "byte-order mark"},
             Case{R"({"m_strCountry":5})", "m_strCountry: expected text, not 5"},
             Case{"{\"m_strX25Address\":\"12\xc3\xa9\"}", "not \"12\xc3\xa9\""},
             Case{R"({"m_wModelVersion":"1.2"})", "m_wModelVersion: expected version"},
             Case{R"({"m_bClip":9223372036854775808})", "out of range"},
             Case{R"({"m_bClip":-9223372036854775809})", "out of range"},
             Case{R"({"m_bClip":1,"m_bClip":1})", "\"m_bClip\" appears twice"},
             Case{R"({"m_bClip":0,"m_strCountry":"x","m_strCountry":"y"})", "appears twice"},
             Case{R"({"m_bClip":01})", "expected ',' or '}'"},
             Case{R"({"m_bClip":+1})", "malformed value"},
             Case{R"({"m_bClip":{"a":1}})", "malformed value"},
             Case{R"({"m_strX25Address":"1\u0100"})", "\\u above 00ff"},
             Case{"{\"m_strX25Address\":\"1\n\"}", "control character"},
             Case{R"({"m_bClip":1} x)", "text after the JSON object"},
         }) {
        SCOPED_TRACE(c.json);
        const Parsed p = Json(c.json);
        EXPECT_FALSE(p.ok);
        EXPECT_NE(p.error.find(c.said), std::string::npos) << p.error;
    }
    // The extremes of 64 bits are numbers, only out of the field's range.
    const Parsed low = Json(R"({"m_bClip":-9223372036854775808})");
    EXPECT_NE(low.error.find("not -9223372036854775808"), std::string::npos) << low.error;
    // A whole number is whole however it is written, as a schema's integer.
    const Parsed whole = Json(R"({"m_bClip":1.0,"m_nFlashDuration":2e1,"m_nFskLevel":0.5E+1})");
    EXPECT_TRUE(whole.ok) << whole.error;
    // A null is what a read did not learn: no change.
    const Parsed fine = Json(
        " {\"m_bClip\" : -0 ,\t\"m_strX25Address\":\"1\\u0032\",\"m_nFlashDuration\":null,"
        "\"refused_commands\":[\"ATS56?\"]}\r\n");
    ASSERT_TRUE(fine.ok) << fine.error;
    EXPECT_EQ(fine.changes.size(), 2u);
    CDeviceConfig record;
    ApplyChanges(fine.changes, &record);
    EXPECT_EQ(record.m_strX25Address, "12");
}

TEST(FieldsJson, WordsTakeDecimalWithLeadingZerosAndHexOnly) {
    CDeviceConfig record;
    Parsed p = Word("m_nFlashDuration=010");
    ASSERT_TRUE(p.ok) << p.error;
    ApplyChanges(p.changes, &record);
    EXPECT_EQ(record.m_nFlashDuration, 10);
    p = Word("m_byModemLlc[1][2]=0xfF");
    ASSERT_TRUE(p.ok) << p.error;
    ApplyChanges(p.changes, &record);
    EXPECT_EQ(record.m_byModemLlc[1][2], 255);
    for (const char* bad : {"m_bClip=+1", "m_bClip= 1", "m_bClip=1 ", "m_bClip=--1", "m_bClip=0x",
                            "m_bClip=-0x-1", "m_bClip=18446744073709551617", "m_bClip=true"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(Word(bad).ok);
    }
    EXPECT_TRUE(Word("m_nOwnNumber1=-1").ok);
}

// Profiles are 0..3 wherever a person meets them; the record keeps one more.
TEST(FieldsJson, ProfileNumbersAreTheSameInJsonWordsAndTheRecord) {
    CDeviceConfig record;
    MakeRead(&record);
    EXPECT_NE(RecordJson(record).find("\"m_nStoreProfile\":-1,"), std::string::npos)
        << "a read stores into no profile";
    Parsed p = Json(R"({"m_nStoreProfile":2})");
    ASSERT_TRUE(p.ok) << p.error;
    ApplyChanges(p.changes, &record);
    EXPECT_EQ(record.m_nStoreProfile, 3);
    EXPECT_NE(RecordJson(record).find("\"m_nStoreProfile\":2,"), std::string::npos);
    EXPECT_NE(RecordText(record).find("m_nStoreProfile = 2\n"), std::string::npos);
    p = Word("m_nStoreProfile=0");
    ASSERT_TRUE(p.ok) << p.error;
    ApplyChanges(p.changes, &record);
    EXPECT_EQ(record.m_nStoreProfile, 1);
    p = Word("m_nStoreProfile=-1");
    ASSERT_TRUE(p.ok) << p.error;
    ApplyChanges(p.changes, &record);
    EXPECT_EQ(record.m_nStoreProfile, 0);
    const Parsed four = Json(R"({"m_nStoreProfile":4})");
    EXPECT_FALSE(four.ok);
    EXPECT_NE(four.error.find("a profile number 0..3, or -1 for none"), std::string::npos)
        << four.error;
    EXPECT_FALSE(Word("m_nStoreProfile=-2").ok);
}

// A variant without X.25 or FSK level leaves those fields unread: they are null,
// and its read output goes back in.
TEST(FieldsJson, ReadableNamesAreTakenWhereverAFieldIsNamed) {
    CDeviceConfig read;
    MakeRead(&read);
    read.m_strPhoneMsn[2] = "5551";
    // A read printed with readable names goes back in as with the member names.
    const Parsed back = Json(RecordJson(read, Names::kReadable));
    ASSERT_TRUE(back.ok) << back.error;
    CDeviceConfig again;
    MakeRead(&again);
    again.m_strPhoneMsn[2] = "9";
    ApplyChanges(back.changes, &again);
    EXPECT_EQ(RecordJson(again), RecordJson(read));
    const Parsed words = Word("telephony.phone_msn[1]=0777");
    ASSERT_TRUE(words.ok) << words.error;
    ApplyChanges(words.changes, &again);
    EXPECT_EQ(again.m_strPhoneMsn[1], "0777");
    EXPECT_FALSE(Word("port1.call_waiting=2").ok);
    EXPECT_NE(Json(R"({"m_bClip":1,"telephony.clip":0})").error.find("given twice"),
              std::string::npos);
}

TEST(Backups, TheNewestWrittenAreKeptPrivateWithTheirUnit) {
    const test::ScopedTempDir state;
    const test::ScopedEnv env("XDG_STATE_HOME", state.Path());
    const std::string folder = state.Path() + "/vardex/backups";
    CDeviceConfig read;
    MakeRead(&read);
    read.m_strCrc = "CRC: 5A3C/../x";  // the device's text never leaves the folder
    const auto first = settings::SaveBackup(read, "/dev/h1");
    ASSERT_TRUE(first) << first.error();
    for (std::size_t i = 0; i < settings::kBackupsKept; ++i) {
        const auto saved = settings::SaveBackup(read, "/dev/h1");
        ASSERT_TRUE(saved) << saved.error();
    }
    std::vector<settings::Backup> kept = settings::ListBackups().value_or({});
    ASSERT_EQ(kept.size(), settings::kBackupsKept);
    EXPECT_LT(*first, kept.back().path) << "the oldest went";
    EXPECT_EQ(kept.back().path.rfind(folder + "/", 0), 0u);
    EXPECT_NE(kept.front().file.find("_Hungary_"), std::string::npos) << kept.front().file;
    EXPECT_EQ(kept.front().crc, read.m_strCrc);
    EXPECT_EQ(kept.front().port, "/dev/h1");
    EXPECT_TRUE(settings::SameUnit(kept.front(), read, "/dev/h1"));
    EXPECT_FALSE(settings::SameUnit(kept.front(), read, "/dev/h2"));

    // Backups from another machine whose names and times sort after now, and
    // a temporary file a killed write left: the new backup stays, the left-over
    // goes, and the oldest written is what makes room.
    const std::string text = test::ReadFile(kept.front().path);
    for (std::size_t i = 0; i < settings::kBackupsKept; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "/29991231T000000.%03zuZ.00_x.json", i);
        std::ofstream(folder + name) << text;
    }
    const std::string left = folder + "/.backup-AbCdEf";
    std::ofstream(left) << text;
    std::filesystem::last_write_time(
        left, std::filesystem::last_write_time(left) - std::chrono::minutes(5));
    const auto newest = settings::SaveBackup(read, "/dev/h1");
    ASSERT_TRUE(newest) << newest.error();
    EXPECT_TRUE(std::filesystem::exists(*newest));
    EXPECT_FALSE(std::filesystem::exists(left));
    kept = settings::ListBackups().value_or({});
    EXPECT_EQ(kept.size(), settings::kBackupsKept);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder),
                            std::filesystem::directory_iterator()),
              static_cast<long>(settings::kBackupsKept))
        << "no temporary file is left";

    // The device's texts reach a terminal with their control characters escaped.
    read.m_strCrc = "CRC: \x1b[31mred";
    const auto escaped = settings::SaveBackup(read, "/dev/h1");
    ASSERT_TRUE(escaped) << escaped.error();
    std::ostringstream listed;
    EXPECT_EQ(RunBackups(CallOf("backups", {}), listed, stderr), 0);
    EXPECT_EQ(listed.str().find('\x1b'), std::string::npos);
    EXPECT_NE(listed.str().find("CRC: \\x1b[31mred"), std::string::npos) << listed.str();

    // A folder that cannot be read is no empty folder.
    std::filesystem::remove_all(folder);
    std::ofstream(folder) << "not a folder";
    const auto unreadable = settings::ListBackups();
    ASSERT_FALSE(unreadable);
    EXPECT_NE(unreadable.error().find("cannot read"), std::string::npos) << unreadable.error();
    EXPECT_EQ(RunBackups(CallOf("backups", {}), listed, stderr), 1);
}

TEST(FieldsJson, FieldsTheVariantLacksAreNullAndTheReadGoesBackIn) {
    CDeviceConfig record;
    record.m_strCountry = "Brasil";
    record.m_bFskLevelAvailable = 0;
    const std::string json = RecordJson(record);
    EXPECT_NE(json.find("\"m_nX25PacketSize\":null,"), std::string::npos) << json;
    EXPECT_NE(json.find("\"m_strX25Address\":null,"), std::string::npos) << json;
    EXPECT_NE(json.find("\"m_nFskLevel\":null,"), std::string::npos) << json;
    const Parsed back = Json(json);
    ASSERT_TRUE(back.ok) << back.error;
    for (const FieldChange& change : back.changes) {
        EXPECT_EQ(change.name.find("X25"), std::string::npos) << change.name;
    }

    // A full record goes back in unchanged.
    MakeRead(&record);
    record.m_strPhoneMsn[4] = "0123";
    record.m_byModemLlc[1][0] = 0x80;
    record.m_nOwnNumber2 = -1;
    const Parsed full = Json(RecordJson(record));
    ASSERT_TRUE(full.ok) << full.error;
    CDeviceConfig copy;
    ApplyChanges(full.changes, &copy);
    copy.m_strCountry = "Hungary";
    copy.m_bX25Available = 1;
    copy.m_bFskLevelAvailable = 1;
    EXPECT_EQ(RecordJson(copy), RecordJson(record));
}

// The fates of the values after a write job, from the rows it finished.
class WriteFates : public ::testing::Test {
protected:
    WriteFates() { MakeRead(&device_); }
    // Applies words to a copy of the device's record; after_ starts as that copy,
    // as a write that has not run any row leaves the record.
    void Want(const std::vector<std::string>& words) {
        std::vector<FieldChange> changes;
        for (const std::string& word : words) {
            const auto parsed = ParseAssignment(word, &changes);
            ASSERT_TRUE(parsed) << parsed.error().text;
        }
        after_.CopyFrom(device_);
        ApplyChanges(changes, &after_);
        wanted_.CopyFrom(after_);
    }
    std::vector<std::string> Report(const WriteOutcome& outcome) {
        settings::WriteReport report;
        report.failure = outcome.end == WriteOutcome::End::kNotStored
                             ? settings::WriteReport::Failure::kNotStored
                             : settings::WriteReport::Failure::kNone;
        report.fields = settings::JudgeWrite(device_, wanted_, after_, outcome);
        std::vector<std::string> lines;
        for (const settings::FieldResult& result : report.fields) {
            lines.push_back(DescribeResult(result, report));
        }
        return lines;
    }
    // A job that ran `done` rows, `last` ending it; every row when done is 24.
    static WriteOutcome Ran(int done, RowResult last = RowResult::kFailed) {
        WriteOutcome outcome;
        outcome.rows.assign(static_cast<std::size_t>(done), RowResult::kDone);
        if (done < 24) {
            outcome.rows.push_back(last);
            outcome.end = WriteOutcome::End::kLinkLost;
        } else {
            outcome.end = WriteOutcome::End::kDone;
        }
        return outcome;
    }

    CDeviceConfig device_;
    CDeviceConfig after_;
    CDeviceConfig wanted_;
};

using Lines = std::vector<std::string>;

TEST_F(WriteFates, AStoppedWriteSaysWhatWasAppliedRefusedUnknownAndNotSent) {
    Want({"m_strPhoneMsn[1]=5551", "m_bCallWaiting1=0", "m_bCallWaiting2=1", "m_bClip=1",
          "m_nFlashDuration=30", "m_nStoreProfile=2"});
    // Rows 0..2 ran (subscriber numbers, service protocol, call waiting), and
    // the device kept call waiting 1 on; the link went in row 3 (CLIP).
    after_.m_bCallWaiting1 = 1;
    WriteOutcome stopped = Ran(3);
    stopped.rows[2] = RowResult::kMismatch;
    EXPECT_EQ(Report(stopped),
              (Lines{"m_strPhoneMsn[1]=\"5551\": applied",
                     "m_bCallWaiting1=0: refused, the device holds 1", "m_bCallWaiting2=1: applied",
                     "m_bClip=1: unknown (the write stopped while this setting was being sent)",
                     "m_nFlashDuration=30: not sent (the write stopped before it)",
                     "m_nStoreProfile=2: not sent (the write stopped before it)"}));

    // Not identified: nothing was sent.
    for (const std::string& line : Report(WriteOutcome{})) {
        EXPECT_NE(line.find("not sent (the write stopped before it)"), std::string::npos) << line;
    }
    // The same values after a complete write: the one refused is named.
    WriteOutcome done = Ran(24);
    done.rows[2] = RowResult::kMismatch;
    const Lines lines = Report(done);
    EXPECT_EQ(lines[1], "m_bCallWaiting1=0: refused, the device holds 1");
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.find(": applied") == l.npos; }),
              1);
}

TEST_F(WriteFates, WhatNoValueShowsComesFromTheRowsResultOrIsUnknown) {
    WriteOutcome done = Ran(24);
    // Storing the profile is not read back: its row's fault is the refusal.
    Want({"m_nStoreProfile=1", "m_bClir1=1", "m_bResetCharges=1"});
    after_.m_bResetCharges = 0;  // the row takes the request
    done.rows[23] = RowResult::kMismatch;
    EXPECT_EQ(Report(done),
              (Lines{"m_bResetCharges=1: applied",
                     "m_bClir1=1: unknown (sent, but the device does not report it back)",
                     "m_nStoreProfile=1: refused (the device refused it)"}));
    // Read back afterwards, the restriction shows what the device holds; charge
    // counters that are not zero show the reset did not happen.
    done.rows[23] = RowResult::kDone;
    done.unconfirmed_read_back = true;
    after_.m_bClir1 = 0;
    after_.m_nTotalCharge2 = 5;
    EXPECT_EQ(Report(done),
              (Lines{"m_bResetCharges=1: refused (the charge counters did not read zero "
                     "afterwards)",
                     "m_bClir1=1: refused, the device holds 0", "m_nStoreProfile=1: applied"}));
    // Every setting went through, the store did not: active, not stored.
    Want({"m_bCallWaiting1=0", "m_nStoreProfile=1"});
    WriteOutcome not_stored = Ran(23);
    not_stored.end = WriteOutcome::End::kNotStored;
    EXPECT_EQ(Report(not_stored),
              (Lines{"m_bCallWaiting1=0: active, not stored",
                     "m_nStoreProfile=1: refused (the device did not confirm storing the "
                     "settings)"}));

    // A variant without X.25 never sends its X.25 settings.
    Want({"m_nX25Tei=9", "m_strX25Address=123"});
    after_.m_bX25Available = 0;
    EXPECT_EQ(Report(done),
              (Lines{"m_nX25Tei=9: not sent (this varDex has no such setting)",
                     "m_strX25Address=\"123\": not sent (this varDex has no such setting)"}));
}

}  // namespace
}  // namespace vardex::ctl
