#include "quenvar/sim/sim_gang.h"

#include <algorithm>

namespace quenvar {

TResult<TSimGang> TSimGang::FromConfig(const TSimConfig& config,
                                       const std::function<void()>& onWaitForState) {
  TSimGang gang;
  for (std::uint32_t number = 1; number <= config.FProgrammers; ++number) {
    gang.FMembers.push_back({number, std::make_shared<TSimProgrammer>(config)});
  }
  if (config.FStatePath.empty()) return gang;
  TResult<TSimStateFile> file = TSimStateFile::Lock(config.FStatePath, onWaitForState);
  if (!file) return file.Error();
  TResult<std::vector<TSimState>> loaded = file->Load(gang.FMembers.size());
  if (!loaded) return loaded.Error();
  for (std::size_t i = 0; i < std::min(loaded->size(), gang.FMembers.size()); ++i) {
    TSimState& state = loaded.Value()[i];
    gang.FMembers[i].FProgrammer->SetAvr(std::move(state.FAvr));
    gang.FMembers[i].FProgrammer->SetSocket(std::move(state.FSocket));
  }
  gang.FStateFile = std::move(file.Value());
  return gang;
}

TResult<void> TSimGang::SaveState() {
  if (!FStateFile) return {};
  std::vector<TSimState> states;
  states.reserve(FMembers.size());
  for (const TSimGangMember& member : FMembers) states.push_back(member.FProgrammer->State());
  return FStateFile->Save(states);
}

}  // namespace quenvar
