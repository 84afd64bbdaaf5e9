// The pure helpers of the hidraw backend: what errno values, poll events and
// the kernel's and udev's id formats mean for the link.
#include <gtest/gtest.h>
#include <poll.h>

#include <cerrno>
#include <cstdint>

#include "quenvar/hid/hidraw_backend.h"

namespace quenvar {
namespace {

struct TErrnoCase {
  int FErr;
  THidReadStatus FStatus;
};

TEST(HidHidrawMapping, ReadErrnoMeansUnplugOrRetry) {
  const TErrnoCase cases[] = {
      {EIO, THidReadStatus::Unplugged},  {ENODEV, THidReadStatus::Unplugged},
      {EAGAIN, THidReadStatus::Timeout}, {EINTR, THidReadStatus::Timeout},
      {EINVAL, THidReadStatus::Error},   {EBADF, THidReadStatus::Error},
      {EFAULT, THidReadStatus::Error},
  };
  for (const auto& c : cases) EXPECT_EQ(hidraw::ReadErrnoStatus(c.FErr), c.FStatus) << c.FErr;
}

TEST(HidHidrawMapping, PollEventsMeanUnplugOrData) {
  const struct {
    short FEvents;
    THidReadStatus FStatus;
  } cases[] = {
      {POLLIN, THidReadStatus::Data},
      {POLLHUP, THidReadStatus::Unplugged},
      {POLLERR, THidReadStatus::Unplugged},
      {POLLIN | POLLHUP, THidReadStatus::Unplugged},
      {POLLIN | POLLERR, THidReadStatus::Unplugged},
      {POLLNVAL, THidReadStatus::Error},
      {0, THidReadStatus::Timeout},
  };
  for (const auto& c : cases)
    EXPECT_EQ(hidraw::PollEventsStatus(c.FEvents), c.FStatus) << c.FEvents;
}

TEST(HidHidrawMapping, RawInfoIdsAreUnsigned16) {
  const struct {
    std::int16_t FVendor, FProduct;
    std::uint16_t FWantVendor, FWantProduct;
  } cases[] = {
      {0x0451, 0x3210, 0x0451, 0x3210},
      {-1, -32768, 0xFFFF, 0x8000},
      {-2, 0x7FFF, 0xFFFE, 0x7FFF},
  };
  for (const auto& c : cases) {
    const THidAttributes a = hidraw::AttributesFromRawInfo(c.FVendor, c.FProduct, 3);
    EXPECT_EQ(a.FVendorID, c.FWantVendor);
    EXPECT_EQ(a.FProductID, c.FWantProduct);
  }
}

TEST(HidHidrawMapping, HidIdProperty) {
  auto ok = hidraw::AttributesFromHidId("0003:00000451:00003210");
  ASSERT_TRUE(ok.Ok());
  EXPECT_EQ(ok->FVendorID, 0x0451);
  EXPECT_EQ(ok->FProductID, 0x3210);
  auto high = hidraw::AttributesFromHidId("0005:0000FFFF:00008000");
  ASSERT_TRUE(high.Ok());
  EXPECT_EQ(high->FVendorID, 0xFFFF);
  EXPECT_EQ(high->FProductID, 0x8000);
  for (const char* bad :
       {"", "garbage", "0003:00010000:00000001", "0003:00000451", "0003:00000451:00003210x"})
    EXPECT_FALSE(hidraw::AttributesFromHidId(bad).Ok()) << bad;
}

}  // namespace
}  // namespace quenvar
