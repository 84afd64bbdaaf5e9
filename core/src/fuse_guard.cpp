#include "quenvar/core/fuse_guard.h"

#include "quenvar/core/driver_texts.h"

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

std::string IspDisablingQuestion(std::span<const std::string_view> bits,
                                 std::uint8_t languageIndex) {
  std::string named;
  for (std::size_t i = 0; i < bits.size(); ++i) {
    if (i > 0) named += i + 1 == bits.size() ? Pick(texts::kAnd, languageIndex) : ", ";
    named += bits[i];
  }
  return FillIn(Pick(texts::kIspDisablingQuestion, languageIndex), {named});
}

}  // namespace quenvar
