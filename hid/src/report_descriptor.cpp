#include "quenvar/hid/report_descriptor.h"

#include <algorithm>
#include <array>
#include <map>
#include <vector>

namespace quenvar {
namespace {

struct TGlobals {
  std::uint32_t FReportSize = 0;
  std::uint32_t FReportCount = 0;
  std::uint32_t FReportId = 0;
  std::uint32_t FUsagePage = 0;
};

enum TKind { kInput = 0, kOutput = 1, kFeature = 2 };

TError Fail(const char* text) {
  return TError{TErrorKind::Device, text, 0};
}

}  // namespace

TResult<THidReportDescriptorInfo> ParseReportDescriptor(std::span<const std::uint8_t> descriptor) {
  THidReportDescriptorInfo info;
  TGlobals globals;
  std::vector<TGlobals> stack;
  // Bits per report id and kind; 64-bit so no descriptor can make them wrap.
  std::map<std::uint32_t, std::array<std::uint64_t, 3>> bits;
  std::uint32_t firstLocalUsage = 0;
  bool haveLocalUsage = false;
  bool usageHasPage = false;
  int depth = 0;
  bool topLevelSeen = false;

  std::size_t pos = 0;
  while (pos < descriptor.size()) {
    const std::uint8_t prefix = descriptor[pos];
    if (prefix == 0xFE) return Fail(kHidDescLongItem);
    static constexpr std::array<std::size_t, 4> kSizes{0, 1, 2, 4};
    const std::size_t size = kSizes[prefix & 0x03];
    if (descriptor.size() - pos - 1 < size) return Fail(kHidDescTruncated);
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < size; ++i)
      value |= std::uint32_t{descriptor[pos + 1 + i]} << (8 * i);
    pos += 1 + size;

    const int type = (prefix >> 2) & 0x03;
    const int tag = prefix >> 4;
    if (type == 0) {  // main
      int kind = -1;
      if (tag == 0x8) kind = kInput;
      if (tag == 0x9) kind = kOutput;
      if (tag == 0xB) kind = kFeature;
      if (kind >= 0) {
        auto& entry = bits[globals.FReportId];
        entry[kind] += std::uint64_t{globals.FReportSize} * globals.FReportCount;
        if (entry[kind] > 8 * 65534ull) return Fail(kHidDescTooLong);
      } else if (tag == 0xA) {  // collection
        if (depth == 0 && !topLevelSeen) {
          topLevelSeen = true;
          // A 4-byte usage carries its own page in the high half.
          info.FCaps.FUsagePage =
              static_cast<std::uint16_t>(usageHasPage ? firstLocalUsage >> 16 : globals.FUsagePage);
          info.FCaps.FUsage = static_cast<std::uint16_t>(firstLocalUsage & 0xFFFF);
        }
        ++depth;
      } else if (tag == 0xC) {  // end collection
        if (depth > 0) --depth;
      }
      haveLocalUsage = false;  // locals only last until the next main item
      usageHasPage = false;
      firstLocalUsage = 0;
    } else if (type == 1) {  // global
      switch (tag) {
        case 0x0:
          globals.FUsagePage = value;
          break;
        case 0x7:
          globals.FReportSize = value;
          break;
        case 0x8:
          globals.FReportId = value;
          info.FNumberedReports = true;
          break;
        case 0x9:
          globals.FReportCount = value;
          break;
        case 0xA:
          stack.push_back(globals);
          break;
        case 0xB:
          if (stack.empty()) return Fail(kHidDescPopUnderflow);
          globals = stack.back();
          stack.pop_back();
          break;
        default:
          break;
      }
    } else if (type == 2) {  // local
      if (tag == 0x0 && !haveLocalUsage) {
        haveLocalUsage = true;
        firstLocalUsage = value;
        usageHasPage = size == 4;
      }
    }
  }

  std::array<std::uint64_t, 3> longest{0, 0, 0};
  for (const auto& [id, entry] : bits)
    for (int k = 0; k < 3; ++k) longest[k] = std::max(longest[k], (entry[k] + 7) / 8);
  auto length = [](std::uint64_t bytes) {
    return static_cast<std::uint16_t>(bytes == 0 ? 0 : bytes + 1);
  };
  info.FCaps.FInputReportByteLength = length(longest[kInput]);
  info.FCaps.FOutputReportByteLength = length(longest[kOutput]);
  info.FCaps.FFeatureReportByteLength = length(longest[kFeature]);
  return info;
}

}  // namespace quenvar
