#pragma once
// A write or verify the driver would not run because the image cannot go to
// the target: an empty buffer, or more bytes than the target memory holds
// (writing on would wrap or fail half-way, after the erase).

#include <cstdint>
#include <string>

namespace quenvar {

enum class TRefusal : std::uint8_t {
  EmptyImage,     // refused before anything is sent
  ImageTooLarge,  // 24xx: before anything is sent; ISP: after identification, before the erase
  // A locked chip tells no sizes; refused after identification, before the
  // erase, only where the front end asks for it (the command line).
  ChipLocked,
};

struct TOperationRefusal {
  TRefusal FKind = TRefusal::EmptyImage;
  std::int64_t FImageSize = 0;   // bytes in the buffer
  std::int64_t FTargetSize = 0;  // bytes of the target memory (0 for an empty image)

  bool operator==(const TOperationRefusal&) const = default;
};

// The error box's text in the language of `languageIndex`; ImageTooLarge names both sizes.
std::string RefusalText(const TOperationRefusal& refusal, std::uint8_t languageIndex);

}  // namespace quenvar
