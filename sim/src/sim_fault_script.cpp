#include "quenvar/sim/sim_fault_script.h"

#include <algorithm>

namespace quenvar {

void TSimFaultScript::Add(const TSimFault& fault) {
  const auto kind = static_cast<std::size_t>(fault.Trigger);
  Armed_.push_back({fault, Counts_[kind] + std::max<std::uint32_t>(fault.Index, 1)});
}

std::optional<TSimFaultAction> TSimFaultScript::Count(TSimFaultTrigger trigger) {
  const auto kind = static_cast<std::size_t>(trigger);
  const std::uint64_t now = ++Counts_[kind];
  std::optional<TSimFaultAction> action;
  for (auto it = Armed_.begin(); it != Armed_.end();) {
    if (it->Fault.Trigger == trigger && it->FireAt == now) {
      if (!action) action = it->Fault.Action;
      it = Armed_.erase(it);
    } else {
      ++it;
    }
  }
  return action;
}

}  // namespace quenvar
