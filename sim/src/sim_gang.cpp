#include "quenvar/sim/sim_gang.h"

#include <algorithm>

namespace quenvar {

TSimExpected<TSimGang> TSimGang::FromConfig(const TSimConfig& config,
                                            const std::function<void()>& onWaitForState) {
  using R = TSimExpected<TSimGang>;
  TSimGang gang;
  for (std::uint32_t number = 1; number <= config.Programmers; ++number) {
    gang.FMembers.push_back({number, std::make_shared<TSimProgrammer>(config)});
  }
  if (config.StatePath.empty()) return R::Success(std::move(gang));
  TSimExpected<TSimStateFile> file = TSimStateFile::Lock(config.StatePath, onWaitForState);
  if (!file) return R::Failure(file.Error);
  TSimExpected<std::vector<TSimState>> loaded = file.Value->Load(gang.FMembers.size());
  if (!loaded) return R::Failure(loaded.Error);
  for (std::size_t i = 0; i < std::min(loaded.Value->size(), gang.FMembers.size()); ++i) {
    TSimState& state = (*loaded.Value)[i];
    gang.FMembers[i].Programmer->SetAvr(std::move(state.Avr));
    gang.FMembers[i].Programmer->SetSocket(std::move(state.Socket));
  }
  gang.FStateFile = std::move(*file.Value);
  return R::Success(std::move(gang));
}

TSimResult TSimGang::SaveState() {
  if (!FStateFile) return TSimResult::Success();
  std::vector<TSimState> states;
  states.reserve(FMembers.size());
  for (const TSimGangMember& member : FMembers) states.push_back(member.Programmer->State());
  return FStateFile->Save(states);
}

}  // namespace quenvar
