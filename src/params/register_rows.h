// What the rows share: reading and writing the register fields the field
// table gives a group, the stop request, and a raised read time-out; and the
// rows of register fields themselves, which running a row calls for a row
// without a handler. Private to the parameter rows.
#pragma once

#include <span>
#include <string>
#include <utility>
#include <vector>

#include "params/asking.h"
#include "params/field_table.h"
#include "params/param_rows.h"

namespace vardex::params::rows {

using Fields = std::span<const RecordField* const>;

inline bool StopRequested(const CRunningJob* job) {
    return job != nullptr && job->m_bAbort.load() != 0;
}

inline RowResult Result(bool mismatch) {
    return mismatch ? PARAM_MISMATCH : PARAM_OK;
}

inline int& IntOf(const RecordField& field, CDeviceConfig& r) {
    return FieldElement<int>(field, r);
}
inline int IntOf(const RecordField& field, const CDeviceConfig& r) {
    return FieldElement<int>(field, r);
}

// Raises the read timeout for slow commands and puts the ordinary one back on
// every way out.
class RaisedTimeout {
public:
    RaisedTimeout(CDeviceConfig& w, unsigned ms) : w_(w) { w_.SetReadTimeout(ms); }
    ~RaisedTimeout() { w_.SetReadTimeout(kParamReadTimeoutMs); }
    RaisedTimeout(const RaisedTimeout&) = delete;
    RaisedTimeout& operator=(const RaisedTimeout&) = delete;

private:
    CDeviceConfig& w_;
};

// A numeric query's value, asked until the reply is whole and of that shape
// (once more after draining the line); a refusal, confirmed by asking again,
// reads as 0. *value is set for kAccepted and kRefused.
Answer AskNumber(CRunningJob* job, CDeviceConfig& w, const std::string& command, int* value);

// The member names of fields, as a refused query records them.
std::vector<std::string> FieldNames(Fields fields);

// Fields asked with one command (their register's query, or a bit's own):
// skipped in verification mode when they agree between the records; else
// sent, decoded, compared and stored. False when no answer came.
bool ReadRegister(CRunningJob* job, CDeviceConfig& w, const CDeviceConfig& d, int verify,
                  const std::string& command, Fields fields, bool* mismatch);

// Reads register fields, one query per register (a bit the device answers
// alone has its own), with the stop request checked after each reply when
// check_stop is set. False when a query got no answer or the job was stopped.
bool ReadFields(CRunningJob* job, CDeviceConfig& w, const CDeviceConfig& d, int verify,
                Fields fields, bool check_stop, bool* mismatch);

// Sends what differs of register fields (each written as its place says),
// checking the stop request after each command when check_stop is set.
bool SendFields(CRunningJob* job, CDeviceConfig& w, const CDeviceConfig& d, Fields fields,
                bool check_stop);

// The X.25 row's register fields before and after the X.121 address, which
// the device takes between S91 and S103.
std::pair<Fields, Fields> AroundX121Address();

// A query row of register fields: reads its group's fields.
RowResult ReadRowFields(const ParamRowSpec& row, CRunningJob* job,
                        CVarDexConfigurationManagerApp& app, int verify);

// The sending half of a setting row of register fields: what differs of its
// group, with the row's read time-out. False when a command got no answer or
// the job was stopped. Reading back is running the group's query row.
bool SendRowFields(const ParamRowSpec& row, CRunningJob* job, CVarDexConfigurationManagerApp& app);

// Whether a field of the group is a list with nothing chosen in w: a setting
// row sends the device's own value for it, then reads its group back as a
// read does instead of verifying it.
bool NothingChosen(Row group, const CDeviceConfig& w);

// One command with the stop request checked after it when check_stop is set;
// false when no reply came or the job was stopped.
bool Send(CRunningJob* job, CDeviceConfig& w, const std::string& command, bool check_stop);

}  // namespace vardex::params::rows
