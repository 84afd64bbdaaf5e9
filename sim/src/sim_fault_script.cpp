#include "quenvar/sim/sim_fault_script.h"

#include <algorithm>

namespace quenvar {

void TSimFaultScript::Add(const TSimFault& fault) {
  const auto kind = static_cast<std::size_t>(fault.FTrigger);
  FArmed.push_back({fault, FCounts[kind] + std::max<std::uint32_t>(fault.FIndex, 1)});
}

std::optional<TSimFaultAction> TSimFaultScript::Count(TSimFaultTrigger trigger) {
  const auto kind = static_cast<std::size_t>(trigger);
  const std::uint64_t now = ++FCounts[kind];
  std::optional<TSimFaultAction> action;
  for (auto it = FArmed.begin(); it != FArmed.end();) {
    if (it->FFault.FTrigger == trigger && it->FFireAt == now) {
      if (!action) action = it->FFault.FAction;
      it = FArmed.erase(it);
    } else {
      ++it;
    }
  }
  return action;
}

}  // namespace quenvar
