#pragma once
// Report byte lengths from a raw HID report descriptor, the way the HID class
// driver reports them: per report id the bits of all Input (Output, Feature)
// main items are summed, the longest report wins, and one byte for the report
// id is added even when the device does not number its reports.

#include <cstdint>
#include <span>

#include "quenvar/base/result.h"
#include "quenvar/hid/hid_backend.h"

namespace quenvar {

struct THidReportDescriptorInfo {
  THidCaps FCaps;                 // usage page and usage of the first top-level collection
  bool FNumberedReports = false;  // a Report ID item was seen

  bool operator==(const THidReportDescriptorInfo&) const = default;
};

inline constexpr const char* kHidDescTruncated = "report descriptor truncated";
inline constexpr const char* kHidDescLongItem = "report descriptor has a long item";
inline constexpr const char* kHidDescPopUnderflow = "report descriptor pops an empty stack";
inline constexpr const char* kHidDescTooLong = "report descriptor gives a report over 65535 bytes";

// Never reads outside `descriptor`; malformed input gives an error value.
TResult<THidReportDescriptorInfo> ParseReportDescriptor(std::span<const std::uint8_t> descriptor);

}  // namespace quenvar
