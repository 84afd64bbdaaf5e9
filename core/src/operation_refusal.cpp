#include "quenvar/core/operation_refusal.h"

#include "quenvar/core/chip_texts.h"
#include "quenvar/core/driver_texts.h"

namespace quenvar {

std::string RefusalText(const TOperationRefusal& refusal, std::uint8_t languageIndex) {
  switch (refusal.FKind) {
    case TRefusal::EmptyImage:
      return std::string(Pick(texts::kEmptyImage, languageIndex));
    case TRefusal::ImageTooLarge:
      return FillIn(Pick(texts::kImageTooLarge, languageIndex),
                    {std::to_string(refusal.FImageSize), std::to_string(refusal.FTargetSize)});
    case TRefusal::ChipLocked:
      return std::string(kDeviceLockedText);
  }
  return {};
}

}  // namespace quenvar
