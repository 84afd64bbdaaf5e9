#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "quenvar/hid/report_descriptor.h"

namespace quenvar {
namespace {

struct TDescCase {
  std::string FName;
  std::vector<std::uint8_t> FBytes;
  THidCaps FCaps;  // Usage, UsagePage, In, Out, Feature
  bool FNumbered;
};

class HidDescriptorGood : public ::testing::TestWithParam<TDescCase> {};

TEST_P(HidDescriptorGood, GivesDriverReportLengths) {
  const TDescCase& c = GetParam();
  auto r = ParseReportDescriptor(c.FBytes);
  ASSERT_TRUE(r.Ok()) << r.Error().FText;
  EXPECT_EQ(r->FCaps.FUsagePage, c.FCaps.FUsagePage);
  EXPECT_EQ(r->FCaps.FUsage, c.FCaps.FUsage);
  EXPECT_EQ(r->FCaps.FInputReportByteLength, c.FCaps.FInputReportByteLength);
  EXPECT_EQ(r->FCaps.FOutputReportByteLength, c.FCaps.FOutputReportByteLength);
  EXPECT_EQ(r->FCaps.FFeatureReportByteLength, c.FCaps.FFeatureReportByteLength);
  EXPECT_EQ(r->FNumberedReports, c.FNumbered);
}

void PrintTo(const TDescCase& c, std::ostream* os) {
  *os << c.FName;
}

INSTANTIATE_TEST_SUITE_P(
    HidReal, HidDescriptorGood,
    ::testing::Values(
        // The programmer: vendor page, 64 bytes each way, no report ids.
        TDescCase{"Vendor64",
                  {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75,
                   0x08, 0x95, 0x40, 0x09, 0x01, 0x81, 0x02, 0x09, 0x01, 0x91, 0x02, 0xC0},
                  THidCaps{0x0001, 0xFF00, 65, 65, 0},
                  false},
        // Boot keyboard: modifiers, reserved byte, 6 keys in; 5 LEDs + padding out.
        TDescCase{"BootKeyboard",
                  {0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15,
                   0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0x95, 0x01, 0x75, 0x08,
                   0x81, 0x01, 0x95, 0x05, 0x75, 0x01, 0x05, 0x08, 0x19, 0x01, 0x29, 0x05, 0x91,
                   0x02, 0x95, 0x01, 0x75, 0x03, 0x91, 0x01, 0x95, 0x06, 0x75, 0x08, 0x15, 0x00,
                   0x25, 0x65, 0x05, 0x07, 0x19, 0x00, 0x29, 0x65, 0x81, 0x00, 0xC0},
                  THidCaps{0x0006, 0x0001, 9, 2, 0},
                  false},
        // Mouse (id 1, 3 bytes), consumer control (id 2, 2 bytes), vendor feature (id 3, 7 bytes).
        TDescCase{
            "Numbered",
            {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x85, 0x01, 0x09, 0x01, 0xA1, 0x00, 0x05, 0x09,
             0x19, 0x01, 0x29, 0x03, 0x15, 0x00, 0x25, 0x01, 0x95, 0x03, 0x75, 0x01, 0x81, 0x02,
             0x95, 0x01, 0x75, 0x05, 0x81, 0x03, 0x05, 0x01, 0x09, 0x30, 0x09, 0x31, 0x15, 0x81,
             0x25, 0x7F, 0x75, 0x08, 0x95, 0x02, 0x81, 0x06, 0xC0, 0xC0, 0x05, 0x0C, 0x09, 0x01,
             0xA1, 0x01, 0x85, 0x02, 0x15, 0x00, 0x26, 0xFF, 0x03, 0x19, 0x00, 0x2A, 0xFF, 0x03,
             0x75, 0x10, 0x95, 0x01, 0x81, 0x00, 0xC0, 0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01,
             0x85, 0x03, 0x75, 0x08, 0x95, 0x07, 0x09, 0x01, 0xB1, 0x02, 0xC0},
            THidCaps{0x0002, 0x0001, 4, 0, 8},
            true},
        // Push keeps size 8 x 16 for the output while the input uses 16 x 32.
        TDescCase{"PushPop",
                  {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08, 0x95, 0x10,
                   0xA4, 0x75, 0x10, 0x95, 0x20, 0x81, 0x02, 0xB4, 0x91, 0x02, 0xC0},
                  THidCaps{0x0001, 0xFF00, 65, 17, 0},
                  false},
        // Pop brings back report id 1: 2 bytes go to id 1, 4 to id 2.
        TDescCase{"PopRestoresReportId",
                  {0x85, 0x01, 0xA4, 0x85, 0x02, 0x75, 0x08, 0x95, 0x04, 0x81, 0x02, 0xB4, 0x75,
                   0x08, 0x95, 0x02, 0x81, 0x02},
                  THidCaps{0, 0, 5, 0, 0},
                  true},
        // A 4-byte usage names its own page (consumer 0x000C, usage 1).
        TDescCase{
            "ExtendedUsage",
            {0x0B, 0x01, 0x00, 0x0C, 0x00, 0xA1, 0x01, 0x75, 0x08, 0x95, 0x02, 0x81, 0x02, 0xC0},
            THidCaps{0x0001, 0x000C, 3, 0, 0},
            false},
        TDescCase{"Empty", {}, THidCaps{}, false}),
    [](const auto& info) { return info.param.FName; });

struct TBadCase {
  std::string FName;
  std::vector<std::uint8_t> FBytes;
  std::string FText;
};

class HidDescriptorBad : public ::testing::TestWithParam<TBadCase> {};

TEST_P(HidDescriptorBad, GivesErrorValue) {
  auto r = ParseReportDescriptor(GetParam().FBytes);
  ASSERT_FALSE(r.Ok());
  EXPECT_EQ(r.Error().FText, GetParam().FText);
}

void PrintTo(const TBadCase& c, std::ostream* os) {
  *os << c.FName;
}

INSTANTIATE_TEST_SUITE_P(
    HidMalformed, HidDescriptorBad,
    ::testing::Values(
        TBadCase{"TwoByteItemCut", {0x06, 0x00}, "report descriptor truncated"},
        TBadCase{
            "FourByteItemCut", {0x05, 0x01, 0x27, 0xFF, 0xFF, 0x00}, "report descriptor truncated"},
        TBadCase{"LongItem",
                 {0x05, 0x01, 0xFE, 0x02, 0x10, 0xAA, 0xBB},
                 "report descriptor has a long item"},
        TBadCase{"LongItemCut", {0xFE}, "report descriptor has a long item"},
        TBadCase{"PopWithoutPush", {0x75, 0x08, 0xB4}, "report descriptor pops an empty stack"},
        TBadCase{"HugeReport",
                 {0x75, 0xFF, 0x96, 0xFF, 0xFF, 0x81, 0x02},
                 "report descriptor gives a report over 65535 bytes"}),
    [](const auto& info) { return info.param.FName; });

TEST(HidDescriptorBounds, NeverReadsPastTheEnd) {
  // Every prefix of a good descriptor either parses or fails cleanly; the span
  // is a copy whose end is the allocation's end, so ASan would flag a read past it.
  const std::vector<std::uint8_t> full{0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08,
                                       0x95, 0x40, 0x81, 0x02, 0x27, 0x01, 0x02, 0x03, 0x04};
  int failures = 0;
  for (std::size_t n = 0; n <= full.size(); ++n) {
    std::vector<std::uint8_t> prefix(full.begin(), full.begin() + static_cast<long>(n));
    if (!ParseReportDescriptor(prefix).Ok()) ++failures;
  }
  // Cut inside 06 00 FF (2), 09 01 (1), A1 01, 75 08, 95 40, 81 02 (1 each), 27 .. (4).
  EXPECT_EQ(failures, 11);
}

}  // namespace
}  // namespace quenvar
