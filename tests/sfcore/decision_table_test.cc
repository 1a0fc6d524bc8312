// The start-up decision table, one row per case: for a replication state,
// policy, WAIT_TIME and FORCEFLAG file, the action prepStorage takes, the
// messages it logs and what happens to the FORCEFLAG file.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "drif/data_rep.h"
#include "drif/decision_record.h"
#include "sfcore/decision_rules.h"
#include "tests/sfcore/engine_fixture.h"

namespace {

using support::EngineOptions;
using support::FORCEFLAG;
using Messages = std::vector<std::string>;

const std::string A = "AVAILABILITY_PREFERRED";
const std::string D = "DATA_CURRENCY_PREFERRED";
const std::string R = "REMOTE_PROTECTION_PREFERRED";
const std::string O = "SOME_OTHER_POLICY";  // only if validation was bypassed

const std::string G1 =
    "The package is not allowed to start on this node.\n\t\t\t\t"
    "It may be possible to start up on the next adoptive node.";
const std::string G2 = "Error - An Unknown YR Link state is detected.";
const std::string G3 =
    "Error - An Unknown Absolute Data Currency state is detected.";
const std::string G4 = "Error - An invalid link state is detected.";
const std::string G5 = "Error - An invalid data replication role is detected.";
const std::string G6 = "Error - An invalid startup policy is detected.";
const std::string G8 = "Error - An invalid absolute currency value is detected.";
const std::string D1 = "Error - A SOURCE_OUT_DATED state is detected.";
const std::string D2 = "Error - A UNKNOWN_OUT_DATED state is detected.";
const std::string D3 = "Error - A TRACK_COPY_IN_PROGRESS state is detected.";
const std::string D4 = "Error - A LOG_COPY_IN_PROGRESS state is detected.";
const std::string F1 =
    "FORCEFLAG file exists in the package directory. \n\t\t\t\t"
    "Force the package to start up.";
const std::string I1 =
    "An invalid device group state is detected.\n\t\t\t\t"
    "The package is NOT allowed to start up. \n\t\t\t\t"
    "Fix the problem and restart this package.";
const std::string I2 =
    "An invalid device group state is detected.\n\t\t\t\t"
    "The package is NOT allowed to start up.\n\t\t\t\t"
    "Fix the problem and restart this package.";
const std::string I3 =
    "An invalid device group state is detected.\n\t\t\t\t"
    "The program will NOT allow the package to start up.\n\t\t\t"
    "Fix the problem and restart this package.";
const std::string S1 =
    "The replication link state is good, the role of the device  \n\t\t\t\t"
    "group on this site is \"source\", and the state of the data  \n\t\t\t\t"
    "is current. The package is allowed to start up.";
std::string G7(const std::string& p) {
  return "Error - Invalid startup policy " + p +
         ". \n\t\t\t\tChange to the correct policy then restart the package.";
}
std::string S2(const std::string& p) {
  return "The replication link state is good, the role of the device \n\t\t\t\t"
         "group on this site is \"source\", and the state of the data  "
         "\n\t\t\t\tis current. The package startup policy is " +
         p + ".\n\t\t\t\tThe package is allowed to start up.";
}
std::string S3(const std::string& p) {
  return "The role of the device group on this site is \"source\" and "
         "\n\t\t\t\tthe state of data is current. Even though the state of the "
         "\n\t\t\t\treplication link is down, because the package startup "
         "policy \n\t\t\t\tis " +
         p + ", the package is allowed to\n\t\t\t\tstart up.";
}
std::string S4(const std::string& p) {
  return "The role of the device group on this site is \"source\" and "
         "\n\t\t\t\tthe state of data is current. Because the state of the "
         "\n\t\t\t\treplication link is down and the package startup policy "
         "\n\t\t\t\tis " +
         p + ", the package is NOT allowed to\n\t\t\t\tstart up.";
}
std::string S5(const std::string& p) {
  return "The role of the device group on this site is \"source\" and "
         "\n\t\t\t\tthe state of data is current. Even though the state of the "
         "\n\t\t\t\treplication link is down and the data in the destination "
         "site \n\t\t\t\tis out-of-sync (non-current), because the package "
         "startup \n\t\t\t\tpolicy is " +
         p + ", the package is allowed to start up";
}
const std::string T1 =
    "The replication link state is good, the role of the device  \n\t\t\t\t"
    "group on this site is \"destination\", and the state of the data  "
    "\n\t\t\t\tis current. The program will attempt to start up the package.";
std::string T2(const std::string& p) {
  return "The replication link state is good and the role of the device "
         "\n\t\t\t\tgroup on this site is \"destination\". Even though the "
         "state of the \n\t\t\t\tdata may not be current, because the package "
         "startup policy is \n\t\t\t\t " +
         p + ", the program will attempt to start up the package.";
}
std::string T3(const std::string& p) {
  return "The replication link state is good and the role of the device "
         "\n\t\t\t\tgroup on this site is \"destination\". Because the state "
         "of the \n\t\t\t\tdata may not be current and the package startup "
         "policy is \n\t\t\t\t " +
         p +
         ", the package is NOT allowed to start up.\n\t\t\t\tEither manually "
         "resync the data, or force the package to start up \n\t\t\t\tby "
         "create the \"FORCEFLAG\" file in the package directory.\n\t\t\t\t"
         "Then, restart the package.";
}
std::string T4(const std::string& m) {
  return "The replication link state is good, the role of the device "
         "\n\t\t\t\tgroup on this site is \"destination\" and the data Track "
         "Copy is \n\t\t\t\tin progress. Because the WAIT_TIME is set to "
         "\n\t\t\t\t" +
         m +
         " minutes, the program will wait for completion \n\t\t\t\tof the "
         "track copy.";
}
const std::string T5 =
    "The replication link state is good, the role of the device \n\t\t\t\t"
    "group on this site is \"destination\" and the data Track Copy is "
    "\n\t\t\t\tin progress. Because the WAIT_TIME is set to 0 minute, "
    "\n\t\t\t\tthe program will not wait and the package is NOT allowed to "
    "start up.";
const std::string T6 =
    "The replication link state is good, the role of the device \n\t\t\t\t"
    "group on this site is \"destination\" and the data Log Copy is "
    "\n\t\t\t\tin progress. Since DR MODE is ASYNCHRONOUS & "
    "FORCEFLAG\n\t\t\t\tis set for CURRENCY_PREFERRED,\n\t\t\t\tthe program "
    "will not wait for the logs to merge, attempt to start up the package.";
std::string T7(const std::string& m) {
  return "The replication link state is good, the role of the device "
         "\n\t\t\t\tgroup on this site is \"destination\" and the data Log "
         "Copy is \n\t\t\t\tin progress. Because the WAIT_TIME is set to "
         "\n\t\t\t\t" +
         m + " minutes, the program will wait for completion\n\t\t\t\tof the "
             "log copy.";
}
const std::string T8 =
    "WAIT_TIME is set to 0 minute\n\t\t\t\tDR MODE is ASYNCHRONOUS, "
    "startupPolicy is AVAILABILITY.\n\t\t\t\tThe program will attempt to "
    "start up the package.";
const std::string T9 =
    "FORCEFLAG file exists in the package directory. \n\t\t\t\tWAIT_TIME is "
    "set to 0 minute\n\t\t\t\tDR MODE is ASYNCHRONOUS,the program will "
    "attempt to start up the package.";
const std::string T10 =
    "DR MODE is ASYNCHRONOUS,startupPolicy is CURRENCY_PREFERRED\n\t\tThe "
    "replication link state is good,\n\t\tthe role of the device group on "
    "this site is \"destination\"\n\t\t\t\t the data Log Copy is in "
    "progress.\n\t\t\t\tBecause the WAIT_TIME is set to 0 minute, "
    "\n\t\t\t\tthe program will not wait and the package is NOT allowed to "
    "start up.";
const std::string T11 =
    "The replication link state is good, the role of the device \n\t\t\t\t"
    "group on this site is \"destination\" and the data Log Copy is "
    "\n\t\t\t\tin progress. DR MODE is SYNCHRONOUS.\n\t\t\t\tBecause the "
    "WAIT_TIME is set to 0 minute, \n\t\t\t\tthe program will not wait and "
    "the package is NOT allowed to start up.";
std::string T12(const std::string& p) {
  return "The role of the device group on this site is \"destination\" and "
         "\n\t\t\t\tthe state of data is current. Even though the state of the "
         "\n\t\t\t\treplication link is down, because the package startup "
         "policy is \n\t\t\t\t" +
         p + ", the program will attempt to start up the package.";
}
std::string T13(const std::string& p) {
  return "The role of the device group on this site is \"destination\" and "
         "\n\t\t\t\tthe state of data is current. Because the state of the "
         "\n\t\t\t\treplication link is down and the package startup policy "
         "is\n\t\t\t\t" +
         p +
         ", the package is NOT allowed to start up.\n\t\t\t\tTo force the "
         "package to start up, create the \"FORCEFLAG\"  \n\t\t\t\tfile in "
         "the package directory.Then, restart the package.";
}
std::string T14(const std::string& p) {
  return "The role of the device group on this site is \"destination\". "
         "\n\t\t\t\tThe state of the replication link is down and the state "
         "of \n\t\t\t\tdata may not be current. Because the package startup "
         "policy is \n\t\t\t\t" +
         p + ", the program will attempt to start up the package.";
}
std::string T15(const std::string& p) {
  return "The role of the device group on this site is \"destination\". "
         "\n\t\t\t\tThe state of the replication link is down and the state "
         "of \n\t\t\t\tdata may not be current. Because the package startup "
         "policy is \n\t\t\t\t" +
         p +
         ", the package is NOT allowed to start up. \n\t\t\t\tTo force the "
         "package to start up, create the \"FORCEFLAG\"  \n\t\t\t\tfile in "
         "the package directory. Then, restart the package.";
}
const std::string T16 =
    "The role of the device group on this site is \"destination\". The "
    "state \n\t\t\t\tof the data may be inconsistent due to replication link "
    "is down \n\t\t\t\twhile data copying from source to destination is "
    "still in progress.\n\t\t\t\tThe package is NOT allowed to start up.";

const std::string FLAG_REMOVED = "The FORCEFLAG file exists. It will be removed.";
const std::string FLAG_KEPT =
    "The FORCEFLAG file exists and would be used. In preview mode it is kept.";
std::string notAFlag(const char* what) {
  return std::string("Error - ") + FORCEFLAG + " is " + what +
         ", not a regular file.\n\t\t\t\tIt is ignored; only a regular "
         "FORCEFLAG file forces the package to start up.";
}
const std::string UNEXPECTED =
    "Error - Getting unexpected Data Replication state. Fix the \n\t\t\t\t"
    "problem and then restart the package";
const std::string SWAPPED =
    "Failover and swap the role of the device group successful.\n\t\t\t\t"
    "Replication is started in opposite direction between new \n\t\t\t\t"
    "source and destination. The package is allowed to start up.";

enum Action { START, NO_START_NOOP, NO_START_CUR_NOOP, FAILOVER, WAIT_COPY,
              WAIT_MERGE, NONE };
// What is at the FORCEFLAG path: nothing, a regular file, or something
// else that must never count (nor be opened).
enum Flag { ABSENT, PRESENT, FIFO, LINK, DEVICE, FOLDER };

struct Row {
  const char* name;
  int role, link, currency, rep, mode;
  std::string policy;
  int waitMinutes;
  Flag flag;
  Action action;
  std::string message;  // the row's normal message; empty for a debug one
  std::string debugMessage;
  bool consulted;  // whether the FORCEFLAG file is looked at
  bool preview = false;  // drenable -preview
};

std::ostream& operator<<(std::ostream& os, const Row& r) { return os << r.name; }

const int SRC = SOURCE, TGT = TARGET, SYNC = SYNCHRONOUS, ASYNC = ASYNCHRONOUS;
const int ODD = 7;  // a value no enumerator has

// Rows whose FORCEFLAG column is "—" are run with the file present, to show
// that it is not consulted and stays in place.
const Row ROWS[] = {
    // The general checks, in their order.
    {"G1_UnknownRoleComesFirst", UNKNOWN_ROLE, UNKNOWN_LINK_STATE, NO, SYNCED, SYNC, A, 5, PRESENT, NO_START_CUR_NOOP, G1, "", false},
    {"G2_UnknownLink", SRC, UNKNOWN_LINK_STATE, UNKNOWN_ABSOLUTE_CURRENCY, SYNCED, SYNC, A, 5, PRESENT, NONE, G2, "", false},
    {"G3_UnknownCurrency", TGT, DOWN, UNKNOWN_ABSOLUTE_CURRENCY, SYNCED, SYNC, A, 5, PRESENT, NONE, G3, "", false},
    {"G4_SourceOddLink", SRC, ODD, NO, SYNCED, SYNC, A, 5, PRESENT, NONE, G4, "", false},
    {"G4_TargetOddLink", TGT, ODD, NO, SYNCED, SYNC, A, 5, PRESENT, NONE, G4, "", false},
    {"G5_OddRole", ODD, UP, NO, SYNCED, SYNC, A, 5, PRESENT, NONE, G5, "", false},
    {"G8_SourceDownSyncedOddCurrency", SRC, DOWN, ODD, SYNCED, SYNC, A, 5, PRESENT, NONE, G8, "", false},
    {"G8_SourceDownTargetOutDatedOddCurrency", SRC, DOWN, ODD, TARGET_OUT_DATED, SYNC, D, 5, PRESENT, NONE, G8, "", false},
    {"SourceUpTargetOutDatedTakesOddCurrencyAsNo", SRC, UP, ODD, TARGET_OUT_DATED, SYNC, A, 5, PRESENT, START, S2(A), "", false},
    // Source site, link up.
    {"SourceUp_Synced_Avail", SRC, UP, NO, SYNCED, SYNC, A, 5, PRESENT, START, S1, "", false},
    {"SourceUp_Synced_Other", SRC, UP, NO, SYNCED, ASYNC, O, 0, PRESENT, START, S1, "", false},
    {"SourceUp_TargetOutDated_Avail", SRC, UP, NO, TARGET_OUT_DATED, SYNC, A, 5, PRESENT, START, S2(A), "", false},
    {"SourceUp_TargetOutDated_Data", SRC, UP, NO, TARGET_OUT_DATED, SYNC, D, 5, PRESENT, START, S2(D), "", false},
    {"SourceUp_TargetOutDated_Remote", SRC, UP, NO, TARGET_OUT_DATED, SYNC, R, 5, PRESENT, NO_START_NOOP, G7(R), "", false},
    {"SourceUp_TargetOutDated_Other", SRC, UP, NO, TARGET_OUT_DATED, SYNC, O, 5, PRESENT, NONE, G7(O), "", false},
    {"SourceUp_SourceOutDated", SRC, UP, NO, SOURCE_OUT_DATED, SYNC, A, 5, PRESENT, NONE, "", D1, false},
    {"SourceUp_UnknownOutDated", SRC, UP, NO, UNKNOWN_OUT_DATED, SYNC, A, 5, PRESENT, NONE, "", D2, false},
    {"SourceUp_TrackCopy", SRC, UP, NO, TRACK_COPY_IN_PROGRESS, SYNC, A, 5, PRESENT, NONE, "", D3, false},
    {"SourceUp_LogCopy", SRC, UP, NO, LOG_COPY_IN_PROGRESS, ASYNC, D, 5, PRESENT, NONE, "", D4, false},
    {"SourceUp_Invalid", SRC, UP, NO, INVALID, SYNC, A, 5, PRESENT, NO_START_NOOP, I1, "", false},
    {"SourceUp_OddRepState", SRC, UP, NO, ODD, SYNC, A, 5, PRESENT, NO_START_NOOP, I1, "", false},
    // Source site, link down.
    {"SourceDown_Synced_Avail", SRC, DOWN, NO, SYNCED, SYNC, A, 5, PRESENT, START, S3(A), "", false},
    {"SourceDown_Synced_Data", SRC, DOWN, NO, SYNCED, SYNC, D, 5, PRESENT, START, S3(D), "", false},
    {"SourceDown_Synced_Remote", SRC, DOWN, NO, SYNCED, SYNC, R, 5, PRESENT, NO_START_NOOP, S4(R), "", false},
    {"SourceDown_Synced_Other", SRC, DOWN, NO, SYNCED, SYNC, O, 5, PRESENT, NONE, G7(O), "", false},
    {"SourceDown_TargetOutDated_Avail", SRC, DOWN, NO, TARGET_OUT_DATED, SYNC, A, 5, PRESENT, START, S5(A), "", false},
    {"SourceDown_TargetOutDated_Data", SRC, DOWN, NO, TARGET_OUT_DATED, SYNC, D, 5, PRESENT, START, S5(D), "", false},
    {"SourceDown_TargetOutDated_Remote", SRC, DOWN, NO, TARGET_OUT_DATED, SYNC, R, 5, PRESENT, NO_START_NOOP, G7(R), "", false},
    {"SourceDown_TargetOutDated_Other", SRC, DOWN, NO, TARGET_OUT_DATED, SYNC, O, 5, PRESENT, NONE, G7(O), "", false},
    {"SourceDown_SourceOutDated", SRC, DOWN, NO, SOURCE_OUT_DATED, SYNC, A, 5, PRESENT, NONE, "", D1, false},
    {"SourceDown_UnknownOutDated", SRC, DOWN, NO, UNKNOWN_OUT_DATED, SYNC, A, 5, PRESENT, NONE, "", D2, false},
    {"SourceDown_TrackCopy", SRC, DOWN, NO, TRACK_COPY_IN_PROGRESS, SYNC, A, 5, PRESENT, NONE, "", D3, false},
    {"SourceDown_LogCopy", SRC, DOWN, NO, LOG_COPY_IN_PROGRESS, SYNC, A, 5, PRESENT, NONE, "", D4, false},
    {"SourceDown_Invalid", SRC, DOWN, NO, INVALID, SYNC, A, 5, PRESENT, NO_START_NOOP, I2, "", false},
    // Destination site, link up.
    {"TargetUp_Synced_Remote", TGT, UP, NO, SYNCED, SYNC, R, 5, PRESENT, FAILOVER, T1, "", false},
    {"TargetUp_TargetOutDated_Avail", TGT, UP, NO, TARGET_OUT_DATED, SYNC, A, 5, PRESENT, FAILOVER, T2(A), "", false},
    {"TargetUp_TargetOutDated_Data_Flag", TGT, UP, NO, TARGET_OUT_DATED, SYNC, D, 5, PRESENT, FAILOVER, F1, "", true},
    {"TargetUp_TargetOutDated_Data_NoFlag", TGT, UP, NO, TARGET_OUT_DATED, SYNC, D, 5, ABSENT, NO_START_NOOP, T3(D), "", true},
    {"TargetUp_TargetOutDated_Remote_Flag", TGT, UP, NO, TARGET_OUT_DATED, SYNC, R, 5, PRESENT, FAILOVER, F1, "", true},
    {"TargetUp_TargetOutDated_Remote_NoFlag", TGT, UP, NO, TARGET_OUT_DATED, SYNC, R, 5, ABSENT, NO_START_NOOP, T3(R), "", true},
    {"TargetUp_TargetOutDated_Other", TGT, UP, NO, TARGET_OUT_DATED, SYNC, O, 5, PRESENT, NONE, G6, "", false},
    {"TargetUp_SourceOutDated", TGT, UP, NO, SOURCE_OUT_DATED, SYNC, A, 5, PRESENT, NONE, "", D1, false},
    {"TargetUp_UnknownOutDated", TGT, UP, NO, UNKNOWN_OUT_DATED, SYNC, A, 5, PRESENT, NONE, "", D2, false},
    {"TargetUp_TrackCopy_Wait10", TGT, UP, NO, TRACK_COPY_IN_PROGRESS, SYNC, D, 10, PRESENT, WAIT_COPY, T4("10"), "", false},
    {"TargetUp_TrackCopy_Wait0", TGT, UP, NO, TRACK_COPY_IN_PROGRESS, SYNC, D, 0, PRESENT, NO_START_CUR_NOOP, T5, "", false},
    {"TargetUp_LogCopy_Wait_Async_Data_Flag", TGT, UP, NO, LOG_COPY_IN_PROGRESS, ASYNC, D, 5, PRESENT, FAILOVER, T6, "", true},
    {"TargetUp_LogCopy_Wait_Async_Remote_NoFlag", TGT, UP, NO, LOG_COPY_IN_PROGRESS, ASYNC, R, 5, ABSENT, WAIT_MERGE, T7("5"), "", true},
    {"TargetUp_LogCopy_Wait_Async_Avail", TGT, UP, NO, LOG_COPY_IN_PROGRESS, ASYNC, A, 5, PRESENT, WAIT_MERGE, T7("5"), "", false},
    {"TargetUp_LogCopy_Wait_Async_Other", TGT, UP, NO, LOG_COPY_IN_PROGRESS, ASYNC, O, 5, PRESENT, WAIT_MERGE, T7("5"), "", false},
    {"TargetUp_LogCopy_Wait_Sync_Data", TGT, UP, NO, LOG_COPY_IN_PROGRESS, SYNC, D, 90, PRESENT, WAIT_MERGE, T7("90"), "", false},
    {"TargetUp_LogCopy_Wait_UnknownMode_Remote", TGT, UP, NO, LOG_COPY_IN_PROGRESS, UNKNOWN_WRITEMODE, R, 5, PRESENT, WAIT_MERGE, T7("5"), "", false},
    {"TargetUp_LogCopy_NoWait_Async_Avail", TGT, UP, NO, LOG_COPY_IN_PROGRESS, ASYNC, A, 0, PRESENT, FAILOVER, T8, "", false},
    {"TargetUp_LogCopy_NoWait_Async_Data_Flag", TGT, UP, NO, LOG_COPY_IN_PROGRESS, ASYNC, D, 0, PRESENT, FAILOVER, T9, "", true},
    {"TargetUp_LogCopy_NoWait_Async_Remote_NoFlag", TGT, UP, NO, LOG_COPY_IN_PROGRESS, ASYNC, R, 0, ABSENT, NO_START_CUR_NOOP, T10, "", true},
    {"TargetUp_LogCopy_NoWait_Async_Other", TGT, UP, NO, LOG_COPY_IN_PROGRESS, ASYNC, O, 0, PRESENT, NONE, G6, "", false},
    {"TargetUp_LogCopy_NoWait_Sync_Data", TGT, UP, NO, LOG_COPY_IN_PROGRESS, SYNC, D, 0, PRESENT, NO_START_CUR_NOOP, T11, "", false},
    {"TargetUp_Invalid", TGT, UP, NO, INVALID, SYNC, A, 5, PRESENT, NO_START_NOOP, I2, "", false},
    // Destination site, link down.
    {"TargetDown_Synced_Avail", TGT, DOWN, NO, SYNCED, SYNC, A, 5, PRESENT, FAILOVER, T12(A), "", false},
    {"TargetDown_Synced_Data", TGT, DOWN, NO, SYNCED, SYNC, D, 5, PRESENT, FAILOVER, T12(D), "", false},
    {"TargetDown_Synced_Remote_Flag", TGT, DOWN, NO, SYNCED, SYNC, R, 5, PRESENT, FAILOVER, F1, "", true},
    {"TargetDown_Synced_Remote_NoFlag", TGT, DOWN, NO, SYNCED, SYNC, R, 5, ABSENT, NO_START_NOOP, T13(R), "", true},
    {"TargetDown_Synced_Other", TGT, DOWN, NO, SYNCED, SYNC, O, 5, PRESENT, NONE, G6, "", false},
    {"TargetDown_TargetOutDated_Avail", TGT, DOWN, NO, TARGET_OUT_DATED, SYNC, A, 5, PRESENT, FAILOVER, T14(A), "", false},
    {"TargetDown_TargetOutDated_Data_Flag", TGT, DOWN, NO, TARGET_OUT_DATED, SYNC, D, 5, PRESENT, FAILOVER, F1, "", true},
    {"TargetDown_TargetOutDated_Data_NoFlag", TGT, DOWN, NO, TARGET_OUT_DATED, SYNC, D, 5, ABSENT, NO_START_NOOP, T15(D), "", true},
    {"TargetDown_TargetOutDated_Remote", TGT, DOWN, NO, TARGET_OUT_DATED, SYNC, R, 5, PRESENT, NONE, G6, "", false},
    {"TargetDown_TargetOutDated_Other", TGT, DOWN, NO, TARGET_OUT_DATED, SYNC, O, 5, PRESENT, NONE, G6, "", false},
    {"TargetDown_SourceOutDated", TGT, DOWN, NO, SOURCE_OUT_DATED, SYNC, A, 5, PRESENT, NONE, "", D1, false},
    {"TargetDown_UnknownOutDated", TGT, DOWN, NO, UNKNOWN_OUT_DATED, SYNC, A, 5, PRESENT, NONE, "", D2, false},
    {"TargetDown_TrackCopy", TGT, DOWN, NO, TRACK_COPY_IN_PROGRESS, SYNC, A, 5, PRESENT, NO_START_NOOP, T16, "", false},
    {"TargetDown_LogCopy_Avail_Wait0", TGT, DOWN, NO, LOG_COPY_IN_PROGRESS, ASYNC, A, 0, PRESENT, WAIT_MERGE, T14(A), "", false},
    {"TargetDown_LogCopy_Avail_Wait5", TGT, DOWN, NO, LOG_COPY_IN_PROGRESS, SYNC, A, 5, PRESENT, WAIT_MERGE, T14(A), "", false},
    {"TargetDown_LogCopy_Data_Flag", TGT, DOWN, NO, LOG_COPY_IN_PROGRESS, SYNC, D, 5, PRESENT, FAILOVER, F1, "", true},
    {"TargetDown_LogCopy_Data_NoFlag", TGT, DOWN, NO, LOG_COPY_IN_PROGRESS, SYNC, D, 5, ABSENT, NO_START_NOOP, T15(D), "", true},
    {"TargetDown_LogCopy_Remote", TGT, DOWN, NO, LOG_COPY_IN_PROGRESS, SYNC, R, 5, PRESENT, NONE, G6, "", false},
    {"TargetDown_LogCopy_Other", TGT, DOWN, NO, LOG_COPY_IN_PROGRESS, SYNC, O, 5, PRESENT, NONE, G6, "", false},
    {"TargetDown_Invalid", TGT, DOWN, NO, INVALID, SYNC, A, 5, PRESENT, NO_START_NOOP, I3, "", false},
    {"TargetDown_OddRepState", TGT, DOWN, NO, -5, SYNC, A, 5, PRESENT, NO_START_NOOP, I3, "", false},
    // A preview reports the FORCEFLAG file it would use and keeps it.
    {"Preview_TargetUp_TargetOutDated_Data_Flag", TGT, UP, NO, TARGET_OUT_DATED, SYNC, D, 5, PRESENT, FAILOVER, F1, "", true, true},
    {"Preview_TargetUp_LogCopy_NoWait_Async_Data_Flag", TGT, UP, NO, LOG_COPY_IN_PROGRESS, ASYNC, D, 0, PRESENT, FAILOVER, T9, "", true, true},
    {"Preview_TargetDown_Synced_Remote_NoFlag", TGT, DOWN, NO, SYNCED, SYNC, R, 5, ABSENT, NO_START_NOOP, T13(R), "", true, true},
    // Only a regular file is a FORCEFLAG file.
    {"TargetUp_TargetOutDated_Data_FlagIsFifo", TGT, UP, NO, TARGET_OUT_DATED, SYNC, D, 5, FIFO, NO_START_NOOP, T3(D), "", true},
    {"TargetUp_LogCopy_Wait_Async_Data_FlagIsLink", TGT, UP, NO, LOG_COPY_IN_PROGRESS, ASYNC, D, 5, LINK, WAIT_MERGE, T7("5"), "", true},
    {"TargetDown_Synced_Remote_FlagIsDevice", TGT, DOWN, NO, SYNCED, SYNC, R, 5, DEVICE, NO_START_NOOP, T13(R), "", true},
    {"TargetDown_TargetOutDated_Data_FlagIsFolder", TGT, DOWN, NO, TARGET_OUT_DATED, SYNC, D, 5, FOLDER, NO_START_NOOP, T15(D), "", true},
    {"Preview_TargetDown_LogCopy_Data_FlagIsFifo", TGT, DOWN, NO, LOG_COPY_IN_PROGRESS, SYNC, D, 5, FIFO, NO_START_NOOP, T15(D), "", true, true},
};

// The rule the decision record names for each row: one name a row of the
// table, the same name for the same row whatever else differs.
const std::map<std::string, const char*> RULES = {
    {"G1_UnknownRoleComesFirst", rule::ROLE_UNKNOWN},
    {"G2_UnknownLink", rule::LINK_UNKNOWN},
    {"G3_UnknownCurrency", rule::CURRENCY_UNKNOWN},
    {"G4_SourceOddLink", rule::LINK_INVALID},
    {"G4_TargetOddLink", rule::LINK_INVALID},
    {"G5_OddRole", rule::ROLE_INVALID},
    {"G8_SourceDownSyncedOddCurrency", rule::SRC_DOWN_CURRENCY_INVALID},
    {"G8_SourceDownTargetOutDatedOddCurrency", rule::SRC_DOWN_CURRENCY_INVALID},
    {"SourceUpTargetOutDatedTakesOddCurrencyAsNo", rule::SRC_UP_BEHIND},
    {"SourceUp_Synced_Avail", rule::SRC_UP_SYNCED},
    {"SourceUp_Synced_Other", rule::SRC_UP_SYNCED},
    {"SourceUp_TargetOutDated_Avail", rule::SRC_UP_BEHIND},
    {"SourceUp_TargetOutDated_Data", rule::SRC_UP_BEHIND},
    {"SourceUp_TargetOutDated_Remote", rule::SRC_UP_BEHIND_REFUSED},
    {"SourceUp_TargetOutDated_Other", rule::SRC_UP_POLICY_INVALID},
    {"SourceUp_SourceOutDated", rule::SRC_UP_UNEXPECTED},
    {"SourceUp_UnknownOutDated", rule::SRC_UP_UNEXPECTED},
    {"SourceUp_TrackCopy", rule::SRC_UP_UNEXPECTED},
    {"SourceUp_LogCopy", rule::SRC_UP_UNEXPECTED},
    {"SourceUp_Invalid", rule::SRC_UP_INVALID},
    {"SourceUp_OddRepState", rule::SRC_UP_INVALID},
    {"SourceDown_Synced_Avail", rule::SRC_DOWN_SYNCED},
    {"SourceDown_Synced_Data", rule::SRC_DOWN_SYNCED},
    {"SourceDown_Synced_Remote", rule::SRC_DOWN_SYNCED_REFUSED},
    {"SourceDown_Synced_Other", rule::SRC_DOWN_POLICY_INVALID},
    {"SourceDown_TargetOutDated_Avail", rule::SRC_DOWN_BEHIND},
    {"SourceDown_TargetOutDated_Data", rule::SRC_DOWN_BEHIND},
    {"SourceDown_TargetOutDated_Remote", rule::SRC_DOWN_BEHIND_REFUSED},
    {"SourceDown_TargetOutDated_Other", rule::SRC_DOWN_POLICY_INVALID},
    {"SourceDown_SourceOutDated", rule::SRC_DOWN_UNEXPECTED},
    {"SourceDown_UnknownOutDated", rule::SRC_DOWN_UNEXPECTED},
    {"SourceDown_TrackCopy", rule::SRC_DOWN_UNEXPECTED},
    {"SourceDown_LogCopy", rule::SRC_DOWN_UNEXPECTED},
    {"SourceDown_Invalid", rule::SRC_DOWN_INVALID},
    {"TargetUp_Synced_Remote", rule::DST_UP_SYNCED},
    {"TargetUp_TargetOutDated_Avail", rule::DST_UP_BEHIND},
    {"TargetUp_TargetOutDated_Data_Flag", rule::DST_UP_BEHIND_FORCED},
    {"TargetUp_TargetOutDated_Data_NoFlag", rule::DST_UP_BEHIND_REFUSED},
    {"TargetUp_TargetOutDated_Remote_Flag", rule::DST_UP_BEHIND_FORCED},
    {"TargetUp_TargetOutDated_Remote_NoFlag", rule::DST_UP_BEHIND_REFUSED},
    {"TargetUp_TargetOutDated_Other", rule::DST_UP_BEHIND_POLICY_INVALID},
    {"TargetUp_SourceOutDated", rule::DST_UP_UNEXPECTED},
    {"TargetUp_UnknownOutDated", rule::DST_UP_UNEXPECTED},
    {"TargetUp_TrackCopy_Wait10", rule::DST_UP_COPYING_WAIT},
    {"TargetUp_TrackCopy_Wait0", rule::DST_UP_COPYING_NO_WAIT},
    {"TargetUp_LogCopy_Wait_Async_Data_Flag", rule::DST_UP_MERGING_FORCED},
    {"TargetUp_LogCopy_Wait_Async_Remote_NoFlag", rule::DST_UP_MERGING_WAIT},
    {"TargetUp_LogCopy_Wait_Async_Avail", rule::DST_UP_MERGING_WAIT},
    {"TargetUp_LogCopy_Wait_Async_Other", rule::DST_UP_MERGING_WAIT},
    {"TargetUp_LogCopy_Wait_Sync_Data", rule::DST_UP_MERGING_WAIT},
    {"TargetUp_LogCopy_Wait_UnknownMode_Remote", rule::DST_UP_MERGING_WAIT},
    {"TargetUp_LogCopy_NoWait_Async_Avail", rule::DST_UP_MERGING_NO_WAIT},
    {"TargetUp_LogCopy_NoWait_Async_Data_Flag", rule::DST_UP_MERGING_NO_WAIT_FORCED},
    {"TargetUp_LogCopy_NoWait_Async_Remote_NoFlag", rule::DST_UP_MERGING_NO_WAIT_REFUSED},
    {"TargetUp_LogCopy_NoWait_Async_Other", rule::DST_UP_MERGING_POLICY_INVALID},
    {"TargetUp_LogCopy_NoWait_Sync_Data", rule::DST_UP_MERGING_SYNC_NO_WAIT},
    {"TargetUp_Invalid", rule::DST_UP_INVALID},
    {"TargetDown_Synced_Avail", rule::DST_DOWN_SYNCED},
    {"TargetDown_Synced_Data", rule::DST_DOWN_SYNCED},
    {"TargetDown_Synced_Remote_Flag", rule::DST_DOWN_SYNCED_FORCED},
    {"TargetDown_Synced_Remote_NoFlag", rule::DST_DOWN_SYNCED_REFUSED},
    {"TargetDown_Synced_Other", rule::DST_DOWN_SYNCED_POLICY_INVALID},
    {"TargetDown_TargetOutDated_Avail", rule::DST_DOWN_BEHIND},
    {"TargetDown_TargetOutDated_Data_Flag", rule::DST_DOWN_BEHIND_FORCED},
    {"TargetDown_TargetOutDated_Data_NoFlag", rule::DST_DOWN_BEHIND_REFUSED},
    {"TargetDown_TargetOutDated_Remote", rule::DST_DOWN_BEHIND_POLICY_INVALID},
    {"TargetDown_TargetOutDated_Other", rule::DST_DOWN_BEHIND_POLICY_INVALID},
    {"TargetDown_SourceOutDated", rule::DST_DOWN_UNEXPECTED},
    {"TargetDown_UnknownOutDated", rule::DST_DOWN_UNEXPECTED},
    {"TargetDown_TrackCopy", rule::DST_DOWN_COPYING},
    {"TargetDown_LogCopy_Avail_Wait0", rule::DST_DOWN_MERGING_WAIT},
    {"TargetDown_LogCopy_Avail_Wait5", rule::DST_DOWN_MERGING_WAIT},
    {"TargetDown_LogCopy_Data_Flag", rule::DST_DOWN_MERGING_FORCED},
    {"TargetDown_LogCopy_Data_NoFlag", rule::DST_DOWN_MERGING_REFUSED},
    {"TargetDown_LogCopy_Remote", rule::DST_DOWN_MERGING_POLICY_INVALID},
    {"TargetDown_LogCopy_Other", rule::DST_DOWN_MERGING_POLICY_INVALID},
    {"TargetDown_Invalid", rule::DST_DOWN_INVALID},
    {"TargetDown_OddRepState", rule::DST_DOWN_INVALID},
    {"Preview_TargetUp_TargetOutDated_Data_Flag", rule::DST_UP_BEHIND_FORCED},
    {"Preview_TargetUp_LogCopy_NoWait_Async_Data_Flag", rule::DST_UP_MERGING_NO_WAIT_FORCED},
    {"Preview_TargetDown_Synced_Remote_NoFlag", rule::DST_DOWN_SYNCED_REFUSED},
    {"TargetUp_TargetOutDated_Data_FlagIsFifo", rule::DST_UP_BEHIND_REFUSED},
    {"TargetUp_LogCopy_Wait_Async_Data_FlagIsLink", rule::DST_UP_MERGING_WAIT},
    {"TargetDown_Synced_Remote_FlagIsDevice", rule::DST_DOWN_SYNCED_REFUSED},
    {"TargetDown_TargetOutDated_Data_FlagIsFolder", rule::DST_DOWN_BEHIND_REFUSED},
    {"Preview_TargetDown_LogCopy_Data_FlagIsFifo", rule::DST_DOWN_MERGING_REFUSED},
};

class DecisionTableTest : public support::EngineTest,
                          public ::testing::WithParamInterface<Row> {};

TEST_P(DecisionTableTest, ChoosesActionAndMessage) {
  const Row& row = GetParam();
  EngineOptions o;
  o.policy = row.policy;
  o.waitMinutes = row.waitMinutes;
  o.debug = true;
  start(o);
  preview = row.preview;
  const std::pair<Flag, sys::FileKind> specials[] = {
      {FIFO, sys::FileKind::FIFO},
      {LINK, sys::FileKind::LINK},
      {DEVICE, sys::FileKind::DEVICE}};
  const char* special = nullptr;
  if (row.flag == PRESENT) sys.files.contents[FORCEFLAG] = "";
  for (const auto& k : specials) {
    if (row.flag != k.first) continue;
    sys.files.kinds[FORCEFLAG] = k.second;
    sys.files.contents[FORCEFLAG] = "";  // what a reader would find there
  }
  if (row.flag == FOLDER) sys.files.dirs.insert(FORCEFLAG);
  switch (row.flag) {
    case FIFO: special = "a FIFO"; break;
    case LINK: special = "a symbolic link"; break;
    case DEVICE: special = "a device"; break;
    case FOLDER: special = "a folder"; break;
    default: break;
  }
  scripted::Script& array = scripted::script();
  array.state.role = static_cast<DRRole>(row.role);
  array.state.linkState = static_cast<DRLinkState>(row.link);
  array.state.absoluteCurrency = static_cast<DRAbsoluteCurrency>(row.currency);
  array.state.repState = static_cast<DRRepState>(row.rep);
  array.state.writeMode = static_cast<DRWriteMode>(row.mode);

  fake::ScopedRecord record;
  int result = dataRep->prepStorage();
  preview = false;

  const std::string seconds = std::to_string(row.waitMinutes * 60);
  Messages expected = {"The configured startup policy for the package is " +
                       row.policy};
  if (row.consulted && row.flag == PRESENT)
    expected.push_back(row.preview ? FLAG_KEPT : FLAG_REMOVED);
  if (row.consulted && special != nullptr) expected.push_back(notAFlag(special));
  if (!row.message.empty()) expected.push_back(row.message);
  Messages calls = {"getState"};
  int expectedResult = NO_START;
  switch (row.action) {
    case START: expectedResult = SUCCESS; break;
    case NO_START_NOOP: expectedResult = NO_START; break;
    case NO_START_CUR_NOOP: expectedResult = NO_START_CUR; break;
    case NONE: expected.push_back(UNEXPECTED); break;
    case FAILOVER: calls.push_back("failoverSwap " + seconds); break;
    case WAIT_COPY: calls.push_back("waitForCopying " + seconds); break;
    case WAIT_MERGE:
      calls.push_back("waitForMerging " + seconds + " " + row.policy);
      break;
  }
  bool failsOver = row.action == FAILOVER || row.action == WAIT_COPY ||
                   row.action == WAIT_MERGE;
  if (failsOver) {
    expected.push_back(SWAPPED);
    expectedResult = SUCCESS;
  }
  EXPECT_EQ(result, expectedResult);
  EXPECT_EQ(sys.normalMessages(), expected);
  EXPECT_EQ(array.calls, calls);
  EXPECT_EQ(dataRep->getEnvironment()->getSwitch(), failsOver);
  if (!row.debugMessage.empty()) {
    Messages all = sys.messages();
    EXPECT_NE(std::find(all.begin(), all.end(), "DEBUG " + row.debugMessage),
              all.end());
  }
  long looks = std::count(sys.files.looked.begin(), sys.files.looked.end(),
                          std::string(FORCEFLAG));
  EXPECT_EQ(looks, row.consulted ? 1 : 0) << "times FORCEFLAG was looked at";
  long opens = std::count(sys.files.opened.begin(), sys.files.opened.end(),
                          std::string(FORCEFLAG));
  EXPECT_EQ(opens, row.consulted && row.flag == PRESENT ? 1 : 0)
      << "times FORCEFLAG was opened";
  bool removed = row.consulted && row.flag == PRESENT && !row.preview;
  EXPECT_EQ(sys.files.removed.empty(), !removed);
  EXPECT_EQ(sys.files.contents.count(FORCEFLAG) > 0,
            row.flag != ABSENT && row.flag != FOLDER && !removed);

  // The decision record names the row, its action and what became of the
  // FORCEFLAG file; a failover on data that may not be current gives up
  // writes the scripted array never counted.
  ASSERT_EQ(RULES.count(row.name), 1u) << "no rule listed for the row";
  EXPECT_EQ(record[record::RULE], RULES.at(row.name));
  const char* actions[] = {action::START,         action::REFUSE,         action::REFUSE_HERE,
                           action::FAILOVER,      action::WAIT_FOR_COPY,  action::WAIT_FOR_MERGE,
                           action::NONE};
  EXPECT_EQ(record[record::ACTION], actions[row.action]);
  nlohmann::json flag;
  if (row.consulted && row.flag == PRESENT) flag = row.preview ? FORCEFLAG_PRESENT : FORCEFLAG_USED;
  EXPECT_EQ(record[record::FORCEFLAG], flag);
  EXPECT_EQ(record.record.has(record::WRITES_GIVEN_UP),
            failsOver && findRule(RULES.at(row.name))->givesUpWrites);
  EXPECT_EQ(record[record::STATE]["role"].is_string(), true);
}

INSTANTIATE_TEST_SUITE_P(Rows, DecisionTableTest, ::testing::ValuesIn(ROWS),
                         [](const ::testing::TestParamInfo<Row>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
