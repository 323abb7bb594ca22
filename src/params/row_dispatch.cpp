#include "params/row_dispatch.h"

#include <algorithm>

#include "params/register_rows.h"

namespace vardex::params::rows {

namespace {

bool IsQueryRow(const ParamRowSpec& row) {
    const auto rows = QueryRows();
    return std::any_of(rows.begin(), rows.end(), [&](const ParamRowSpec& r) { return &r == &row; });
}

RowResult RegisterSettingRow(const ParamRowSpec& row, CRunningJob* job,
                             CVarDexConfigurationManagerApp& app) {
    if (!SendRowFields(row, job, app)) {
        return PARAM_FAILED;
    }
    // Where a list had nothing chosen, the device's own values are read as a
    // read takes them: there is nothing sent to compare with.
    if (NothingChosen(row.group, app.m_workingRecord)) {
        const ParamRowSpec* query = QueryRowOf(row.group);
        return query != nullptr ? RunRow(*query, job, &app, 0) : PARAM_OK;
    }
    return Verify(row.group, job, app);
}

}  // namespace

RowResult Verify(Row group, CRunningJob* job, CVarDexConfigurationManagerApp& app) {
    const ParamRowSpec* query = QueryRowOf(group);
    return query != nullptr ? RunRow(*query, job, &app, 1) : PARAM_OK;
}

}  // namespace vardex::params::rows

namespace vardex::params {

const ParamRowSpec* QueryRowOf(Row group) {
    for (const ParamRowSpec& row : QueryRows()) {
        if (row.group == group) {
            return &row;
        }
    }
    return nullptr;
}

RowResult RunRow(const ParamRowSpec& row, CRunningJob* job, CVarDexConfigurationManagerApp* app,
                 int verify) {
    if (app == nullptr) {
        return PARAM_FAILED;
    }
    if (!vardex::params::VariantOf(app->m_workingRecord).Has(row.needs)) {
        return PARAM_OK;
    }
    namespace rows = vardex::params::rows;
    RowResult result = PARAM_OK;
    if (row.handler != nullptr) {
        result = row.handler(row, job, *app, verify);
    } else {
        result = rows::IsQueryRow(row) ? rows::ReadRowFields(row, job, *app, verify)
                                       : rows::RegisterSettingRow(row, job, *app);
    }
    return result == PARAM_FAILED && rows::StopRequested(job) ? PARAM_STOPPED : result;
}

}  // namespace vardex::params
