#pragma once
// Several simulated programmers plugged at once, as on a production bench.
// Each has its own chips, chip supply and fault script; they share one state
// file, locked once for all of them.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "quenvar/base/result.h"
#include "quenvar/sim/sim_config.h"
#include "quenvar/sim/sim_programmer.h"
#include "quenvar/sim/sim_state_file.h"

namespace quenvar {

struct TSimGangMember {
  // 1-based and stable: the state file keeps the programmers in this order.
  std::uint32_t FNumber = 0;
  std::shared_ptr<TSimProgrammer> FProgrammer;
};

class TSimGang {
 public:
  // The configuration's programmers, numbered from 1. A state file is locked
  // and loaded as TSimStateFile::Load describes; onWaitForState is called once
  // when another process holds it.
  static TResult<TSimGang> FromConfig(const TSimConfig& config,
                                      const std::function<void()>& onWaitForState = {});

  const std::vector<TSimGangMember>& Programmers() const { return FMembers; }

  // Writes every programmer's chips to the state file; nothing without one or
  // after ReleaseState.
  TResult<void> SaveState();
  // Lets other processes have the state file.
  void ReleaseState() { FStateFile.reset(); }

 private:
  std::vector<TSimGangMember> FMembers;
  std::optional<TSimStateFile> FStateFile;
};

}  // namespace quenvar
