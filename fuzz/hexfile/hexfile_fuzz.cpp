// Any input: no crash, no sanitizer report. Any accepted image: writing it and
// reading it back gives the same image padded with FF to a multiple of 16.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "quenvar/buffer/hex_file.h"

// The name is the fuzzing engine's.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {  // NOLINT(readability-identifier-naming)
  using namespace quenvar;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const TResult<TByteImage> first = ReadHexFile(text);
  if (!first.Ok()) {
    if (first.Error().FLine == 0) std::abort();
    if (HexErrorMessage(first.Error(), static_cast<std::uint8_t>(size % 4)).empty()) std::abort();
    return 0;
  }
  const TByteImage& image = first.Value();
  if (image.size() > kMaxHexImageSize) std::abort();

  const TResult<TByteImage> again = ReadHexFile(WriteHexFile(image));
  if (!again.Ok()) std::abort();
  const std::size_t padded = (image.size() + 15) / 16 * 16;
  if (again->size() != padded) std::abort();
  if (!std::equal(image.begin(), image.end(), again->begin())) std::abort();
  if (!std::all_of(again->begin() + static_cast<std::ptrdiff_t>(image.size()), again->end(),
                   [](std::uint8_t b) { return b == 0xFF; }))
    std::abort();
  return 0;
}
