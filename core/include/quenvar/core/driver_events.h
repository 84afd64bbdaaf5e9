#pragma once
// What the protocol driver tells a front end, as typed events. A front end
// listens to the ones it needs; the others do nothing. The driver never asks
// a listener anything back, so a listener may be a window, the command line
// or a test recorder alike.

#include <cstdint>
#include <span>
#include <string>

#include "quenvar/core/chip_table.h"
#include "quenvar/core/fuses.h"
#include "quenvar/core/identify.h"
#include "quenvar/core/log_line.h"
#include "quenvar/core/operation_refusal.h"
#include "quenvar/core/protocol.h"

namespace quenvar {

// How an operation ended.
enum class TOperationResult : std::uint8_t {
  Success,    // the success line was logged
  Error,      // the programmer failed, identification failed, or a step raised
  NoReply,    // the reply time-out ran out
  Refused,    // after the identification: the image does not fit, or the chip is locked
  Abandoned,  // the programmer went away while the operation ran; no result line
};

// The chip the signature reply named.
struct TIdentification {
  TIdentifyOutcome FOutcome = TIdentifyOutcome::Invalid;
  const TChipInfo* FChip = nullptr;  // set for Known only
};

// A listener overrides the events it wants; the others do nothing.
class IDriverEvents {
 public:
  virtual ~IDriverEvents() = 0;

  // An operation starts: nothing has been sent yet. Its log begins anew.
  virtual void OnOperationStarted(TRequestedOperation /*operation*/) {}
  virtual void OnLogLine(const TLogLine& /*line*/) {}
  // Bytes sent or collected so far, of `maximum`; position may exceed maximum
  // when a read brings more than expected.
  virtual void OnProgress(std::int64_t /*position*/, std::int64_t /*maximum*/) {}
  // The verify step began (also the one after a write).
  virtual void OnVerifyStarted() {}
  virtual void OnChipIdentified(const TIdentification& /*identification*/) {}
  // Boxes of the fuse list the 'r' reply set, in order (the calibration lines follow as log lines).
  virtual void OnFusesRead(std::span<const TFuseBoxChange> /*changes*/) {}
  // A read completed and replaced the buffer with these bytes.
  virtual void OnDataRead(std::span<const std::uint8_t> /*data*/) {}
  // A step failed in a way the programmer did not report (a bad size, a
  // failing buffer); the operation then ends with Error.
  virtual void OnStepFailed(const std::string& /*text*/) {}
  // An image the driver would not send (see TOperationRefusal).
  virtual void OnImageRefused(const TOperationRefusal& /*refusal*/) {}
  // Device changes: the claimed programmer was unplugged and given back; a
  // search found one and claimed it, or found none; the change is handled.
  virtual void OnProgrammerLost() {}
  virtual void OnProgrammerClaimed() {}
  virtual void OnProgrammerMissing() {}
  virtual void OnDeviceChangeHandled() {}
  // The result and duration lines are logged; the driver is idle (Abandoned:
  // it still waits, for a programmer that is gone).
  virtual void OnFinished(TOperationResult /*result*/) {}
};

inline IDriverEvents::~IDriverEvents() = default;

// The listener of a driver nobody listens to.
class TNoDriverEvents final : public IDriverEvents {};

}  // namespace quenvar
