// The replication state of a package's DR group as seen from this node's
// site, in the small model the start-up decision is made on. The array
// interface fills it; the decision engine only reads it. -1 always stands
// for a state that could not be determined. The enumerations hold any int,
// so a value an array interface did not expect stays well defined and is
// handled as "invalid" by the decision table.
#ifndef DRIF_DATA_REP_STATE_H
#define DRIF_DATA_REP_STATE_H

enum DRRole : int { UNKNOWN_ROLE = -1, SOURCE = 0, TARGET = 1 };

enum DRLinkState : int { UNKNOWN_LINK_STATE = -1, UP = 0, DOWN = 1 };

// YES: the DR group's failsafe mode is enabled; NO: it is disabled.
enum DRAbsoluteCurrency : int {
  UNKNOWN_ABSOLUTE_CURRENCY = -1,
  YES = 0,
  NO = 1
};

enum DRRepState : int {
  INVALID = -1,
  SYNCED = 0,
  TARGET_OUT_DATED = 1,
  SOURCE_OUT_DATED = 2,
  UNKNOWN_OUT_DATED = 3,
  TRACK_COPY_IN_PROGRESS = 4,
  LOG_COPY_IN_PROGRESS = 5
};

enum DRWriteMode : int {
  UNKNOWN_WRITEMODE = -1,
  SYNCHRONOUS = 0,
  ASYNCHRONOUS = 1
};

// Plain value: copying copies all five fields.
struct DataRepState {
  DRRole role = UNKNOWN_ROLE;
  DRLinkState linkState = UNKNOWN_LINK_STATE;
  DRAbsoluteCurrency absoluteCurrency = UNKNOWN_ABSOLUTE_CURRENCY;
  DRRepState repState = INVALID;
  DRWriteMode writeMode = UNKNOWN_WRITEMODE;
};

#endif  // DRIF_DATA_REP_STATE_H
