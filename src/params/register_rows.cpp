// Rows of register fields: the field table places each field in its register,
// so a row of register fields is data only.
#include "params/register_rows.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "link/at_commands.h"
#include "params/reply_parsers.h"
#include "platform/trace.h"

namespace vardex::params::rows {

namespace {

namespace at = vardex::link::at;

bool NoChoice(const RecordField& field, int value) {
    return field.outside_is_no_choice && !field.Allows(value);
}

// A field's wanted value as a row sends it: "no choice" keeps the device's.
int Wanted(const RecordField& field, const CDeviceConfig& w, const CDeviceConfig& d) {
    const int wanted = IntOf(field, w);
    return NoChoice(field, wanted) ? IntOf(field, d) : wanted;
}

// Verification reads back only what differs, and never what the device does
// not report after a write.
bool NeedsNoRead(const CDeviceConfig& w, const CDeviceConfig& d, int verify, Fields fields) {
    if (verify == 0) {
        return false;
    }
    return std::all_of(fields.begin(), fields.end(), [&](const RecordField* f) {
        return !f->confirmed || IntOf(*f, w) == IntOf(*f, d);
    });
}

// One query: a register's fields that follow each other share it; a bit the
// device answers alone has its own.
struct Query {
    std::string command;
    Fields fields;
};

std::vector<Query> QueriesOf(Fields fields) {
    std::vector<Query> queries;
    std::size_t start = 0;
    for (std::size_t i = 1; i <= fields.size(); ++i) {
        const RegisterPlace& first = fields[start]->place;
        const bool alone = first.coding == Coding::kBitQuery;
        if (i < fields.size() && !alone && fields[i]->place.reg == first.reg &&
            fields[i]->place.coding != Coding::kBitQuery) {
            continue;
        }
        std::string command = std::string(at::kRegister) + std::to_string(first.reg);
        if (alone) {
            command += std::string(at::kBit) + std::to_string(first.first);
        }
        queries.push_back({command + std::string(at::kQuery), fields.subspan(start, i - start)});
        start = i;
    }
    return queries;
}

// "ATSr=v" with every field of the list in register reg, when one differs.
bool SendWhole(CRunningJob* job, CDeviceConfig& w, const CDeviceConfig& d, Fields fields, int reg,
               bool check_stop) {
    long long value = 0;
    bool changed = false;
    for (const RecordField* f : fields) {
        if (f->place.reg == reg) {
            const int wanted = Wanted(*f, w, d);
            value += EncodeRegister(f->place, wanted);
            changed = changed || wanted != IntOf(*f, d);
        }
    }
    return !changed || Send(job, w,
                            std::string(at::kRegister) + std::to_string(reg) +
                                std::string(at::kSet) + std::to_string(value),
                            check_stop);
}

}  // namespace

std::pair<Fields, Fields> AroundX121Address() {
    constexpr int kFirstRegisterAfterAddress = 103;
    const Fields all = RowFields(Row::kX25);
    const auto after = std::find_if(all.begin(), all.end(), [](const RecordField* f) {
        return f->place.reg >= kFirstRegisterAfterAddress;
    });
    const auto split = static_cast<std::size_t>(after - all.begin());
    return {all.first(split), all.subspan(split)};
}

RowResult ReadRowFields(const ParamRowSpec& row, CRunningJob* job,
                        CVarDexConfigurationManagerApp& app, int verify) {
    bool mismatch = false;
    if (!ReadFields(job, app.m_workingRecord, app.m_deviceCopy, verify, RowFields(row.group),
                    row.check_stop, &mismatch)) {
        return PARAM_FAILED;
    }
    return Result(mismatch);
}

bool SendRowFields(const ParamRowSpec& row, CRunningJob* job, CVarDexConfigurationManagerApp& app) {
    RaisedTimeout timeout(app.m_workingRecord, row.timeout_ms);
    return SendFields(job, app.m_workingRecord, app.m_deviceCopy, RowFields(row.group),
                      row.check_stop);
}

bool NothingChosen(Row group, const CDeviceConfig& w) {
    const Fields fields = RowFields(group);
    return std::any_of(fields.begin(), fields.end(),
                       [&](const RecordField* f) { return NoChoice(*f, IntOf(*f, w)); });
}

Answer AskNumber(CRunningJob* job, CDeviceConfig& w, const std::string& command, int* value) {
    return AskChecked(job, w, command, [value](std::string_view reply) {
        const auto parsed = ParseNumericReply(reply);
        if (!parsed) {
            return Verdict::kNoAnswer;
        }
        *value = parsed->value;
        return parsed->refused ? Verdict::kRefused : Verdict::kTaken;
    });
}

std::vector<std::string> FieldNames(Fields fields) {
    std::vector<std::string> names;
    for (const RecordField* f : fields) {
        names.emplace_back(f->name);
    }
    return names;
}

// A decoded value outside its field's range is not taken (no setting of ours
// writes it, and a control could not show it); after a write it still means
// the device does not hold what was sent. A refused query gives its fields what
// 0 decodes to; after a write it never confirms a value, not even one that 0
// happens to decode to.
bool ReadRegister(CRunningJob* job, CDeviceConfig& w, const CDeviceConfig& d, int verify,
                  const std::string& command, Fields fields, bool* mismatch) {
    if (NeedsNoRead(w, d, verify, fields)) {
        return true;
    }
    int value = 0;
    const Answer answer = AskNumber(job, w, command, &value);
    if (answer != Answer::kAccepted && answer != Answer::kRefused) {
        return false;
    }
    const bool refused = answer == Answer::kRefused;
    w.NoteQueryAnswer(command, FieldNames(fields), refused);
    *mismatch = *mismatch || (refused && verify != 0);
    // A number no register can hold decodes to nothing the device has.
    const bool in_register = value >= 0 && value <= kRegisterMax;
    for (const RecordField* f : fields) {
        int& field = IntOf(*f, w);
        const int decoded = DecodeRegister(f->place, value);
        if (!in_register || !f->Allows(decoded)) {
            vardex::platform::Trace("%s answered %d: out of range, not taken\n", command.c_str(),
                                    value);
            *mismatch = *mismatch || verify != 0;
            continue;
        }
        if (verify != 0 && decoded != field) {
            *mismatch = true;
        }
        field = decoded;
    }
    return true;
}

bool ReadFields(CRunningJob* job, CDeviceConfig& w, const CDeviceConfig& d, int verify,
                Fields fields, bool check_stop, bool* mismatch) {
    for (const Query& q : QueriesOf(fields)) {
        const bool will_send = !NeedsNoRead(w, d, verify, q.fields);
        if (!ReadRegister(job, w, d, verify, q.command, q.fields, mismatch)) {
            return false;
        }
        if (check_stop && will_send && StopRequested(job)) {
            return false;
        }
    }
    return true;
}

bool Send(CRunningJob* job, CDeviceConfig& w, const std::string& command, bool check_stop) {
    if (w.SendCommand(command.c_str()) == nullptr) {
        return false;
    }
    return !(check_stop && StopRequested(job));
}

bool SendFields(CRunningJob* job, CDeviceConfig& w, const CDeviceConfig& d, Fields fields,
                bool check_stop) {
    std::vector<int> written_whole;
    for (const RecordField* f : fields) {
        const RegisterPlace& place = f->place;
        const int wanted = Wanted(*f, w, d);
        const int known = IntOf(*f, d);
        const std::string bit_prefix =
            std::string(at::kRegister) + std::to_string(place.reg) + std::string(at::kBit);
        switch (place.writing) {
            case Writing::kBits:
                if (wanted == known) {
                    break;
                }
                for (int bit = 0; bit < place.width; ++bit) {
                    if (!Send(job, w,
                              bit_prefix + std::to_string(place.first + bit) +
                                  std::string(at::kSet) +
                                  std::to_string(BitCommandValue(place, wanted, bit)),
                              check_stop)) {
                        return false;
                    }
                }
                break;
            case Writing::kChangedBits:
                for (int bit = 0; bit < place.width; ++bit) {
                    const int w_bit = (wanted >> bit) & 1;
                    if (w_bit != ((known >> bit) & 1) &&
                        !Send(job, w,
                              bit_prefix + std::to_string(place.first + bit) +
                                  std::string(at::kSet) + std::to_string(w_bit),
                              check_stop)) {
                        return false;
                    }
                }
                break;
            case Writing::kWhole:
                if (std::find(written_whole.begin(), written_whole.end(), place.reg) ==
                    written_whole.end()) {
                    written_whole.push_back(place.reg);
                    if (!SendWhole(job, w, d, fields, place.reg, check_stop)) {
                        return false;
                    }
                }
                break;
            case Writing::kNone:
                break;
        }
    }
    return true;
}

}  // namespace vardex::params::rows
