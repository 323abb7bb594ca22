// The parameter rows: the 22 query rows that read the device's settings into the
// working record and the 24 setting rows that send what the working record
// changed against the device copy.
//
// A row takes the running job (only its stop request is read), the application
// object (the two records; the working record's channel carries every command)
// and a verification flag. Query rows in verification mode read back only what
// differs between the two records and report whether the device took it; the
// setting rows ignore the flag and run their partner query in verification mode
// after sending.
//
// Both tables end with a null entry, so that the jobs count their rows.
//
// Threads: rows run on the job's worker thread while the user interface waits;
// the stop request is the only datum another thread touches.
#pragma once

#include "params/app_core.h"
#include "params/running_job.h"

inline constexpr int PARAM_OK = 1;
inline constexpr int PARAM_FAILED = 2;     // no reply, or the stop request was set
inline constexpr int PARAM_MISMATCH = 15;  // verification read back another value

using ParamRow = int (*)(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify);

inline constexpr int kQueryRowCount = 22;
inline constexpr int kSettingRowCount = 24;

extern const ParamRow ParameterQueryTable[kQueryRowCount + 1];
extern const ParamRow ParameterSettingTable[kSettingRowCount + 1];

// Rows before the null entry.
int CountRows(const ParamRow* table);

// The read timeout of the ordinary exchange, which rows that raise it set back.
inline constexpr unsigned kParamReadTimeoutMs = kExchangeReadMs;

// Query rows, in table order.
int QueryMsns(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify);
int QueryServiceProtocol(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify);
int QueryCallWaiting(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify);
int QueryClip(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify);
int QueryMeteringPulse(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify);
int QueryDelayedClearBack(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify);
int QueryOwnNumbers(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify);
int QueryCharges(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify);
int QueryPowerUpProfile(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify);
int QueryProtocol(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify);
int QueryPppOptions(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify);
int QueryX25(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify);
int QueryEmergencyMode(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify);
int QueryCallerIdTiming(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify);
int QueryMlpppIncoming(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify);
int QueryFlashDuration(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify);
int QueryBap(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify);
int QueryFskLevel(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify);
int QueryRestrictions(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify);
int QueryMessageWaiting(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify);
int QueryTerminalTypes(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify);
int QueryModemLlc(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify);

// Setting rows, in table order (the verification flag is not used).
int SetMsns(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify);
int SetServiceProtocol(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify);
int SetCallWaiting(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify);
int SetClip(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify);
int SetMeteringPulse(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify);
int SetDelayedClearBack(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify);
int SetOwnNumbers(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify);
int ResetCharges(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify);
int SetPowerUpProfile(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify);
int SetProtocol(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify);
int SetPppOptions(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify);
int SetX25(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify);
int SetEmergencyMode(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify);
int SetCallerIdTiming(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify);
int SetMlpppIncoming(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify);
int SetFlashDuration(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify);
int SetFskLevel(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify);
int SetRestrictions(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify);
int SetMessageWaiting(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify);
int ResetChargesFinal(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify);
int SetBap(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify);
int SetTerminalTypes(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify);
int SetModemLlc(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify);
int StoreProfile(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify);
