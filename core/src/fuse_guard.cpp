#include "quenvar/core/fuse_guard.h"

namespace quenvar {

namespace {

bool DisablesIsp(std::string_view caption) {
  return caption == "RSTDISBL" || caption == "DWEN";
}

bool Programmed(const std::vector<bool>& states, std::size_t index) {
  return index < states.size() && states[index];
}

}  // namespace

std::vector<std::string_view> NewIspDisablingBits(std::span<const std::string_view> captions,
                                                  const std::vector<bool>& asRead,
                                                  const std::vector<bool>& toWrite) {
  std::vector<std::string_view> bits;
  for (std::size_t i = 0; i < captions.size(); ++i) {
    if (DisablesIsp(captions[i]) && Programmed(toWrite, i) && !Programmed(asRead, i))
      bits.push_back(captions[i]);
  }
  return bits;
}

}  // namespace quenvar
