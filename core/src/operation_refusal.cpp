#include "quenvar/core/operation_refusal.h"

#include "quenvar/core/chip_texts.h"
#include "quenvar/core/driver_texts.h"

namespace quenvar {

std::string RefusalText(const TOperationRefusal& refusal, std::uint8_t languageIndex) {
  switch (refusal.Kind) {
    case TRefusal::EmptyImage:
      return std::string(Pick(texts::kEmptyImage, languageIndex));
    case TRefusal::ImageTooLarge:
      return FillIn(Pick(texts::kImageTooLarge, languageIndex),
                    {std::to_string(refusal.ImageSize), std::to_string(refusal.TargetSize)});
    case TRefusal::ChipLocked:
      return std::string(DeviceLockedText);
  }
  return {};
}

}  // namespace quenvar
