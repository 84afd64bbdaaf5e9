#include "quenvar/hid/hidraw_backend.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace quenvar {
namespace {

// The real backend cannot see a programmer here; it must still fail cleanly.
TEST(HidHidrawBackend, FailsCleanlyOnBadPathsAndHandles) {
  THidrawBackend backend;
  ASSERT_TRUE(backend.Bind());
  for (const auto& info : backend.Scan()) {
    EXPECT_EQ(info.FDevicePath.rfind("/dev/", 0), 0u) << info.FDevicePath;
    EXPECT_EQ(info.FIdentity.rfind("/sys/", 0), 0u) << info.FIdentity;
  }
  const struct {
    THidAccess FAccess;
  } accesses[] = {{THidAccess::ReadWrite}, {THidAccess::QueryOnly}, {THidAccess::Read}};
  for (const auto& a : accesses) {
    auto h = backend.Open("/dev/quenvar-no-such-node", a.FAccess);
    ASSERT_FALSE(h.Ok());
    EXPECT_EQ(h.Error().FCode, ENOENT);
  }
  const THidHandle bogus{12345};
  EXPECT_EQ(backend.GetAttributes(bogus).Error().FCode, EBADF);
  EXPECT_EQ(backend.GetCapabilities(bogus).Error().FCode, EBADF);
  const std::uint8_t report[65] = {};
  EXPECT_EQ(backend.Write(bogus, report, sizeof report).Error().FCode, EBADF);
  std::uint8_t buffer[65];
  const THidReadResult r = backend.Read(bogus, buffer, sizeof buffer, std::chrono::milliseconds(1));
  EXPECT_EQ(r.FStatus, THidReadStatus::Error);
  EXPECT_EQ(r.FError, EBADF);
  backend.Close(bogus);  // unknown handle: nothing happens
  backend.Drain();       // no events pending: returns at once
  backend.Unbind();
  EXPECT_TRUE(backend.Scan().empty());
}

}  // namespace
}  // namespace quenvar
