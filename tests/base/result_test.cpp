#include "quenvar/base/result.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <string>

namespace quenvar {
namespace {

TResult<std::unique_ptr<int>> Made(bool ok) {
  if (!ok) return TError{TErrorKind::Open, "No such file or directory", ENOENT, "a.hex"};
  return std::make_unique<int>(7);
}

TEST(Result, HoldsAMoveOnlyValueOrTheError) {
  TResult<std::unique_ptr<int>> made = Made(true);
  ASSERT_TRUE(made.Ok());
  EXPECT_EQ(**made, 7);
  std::unique_ptr<int> taken = std::move(made.Value());
  EXPECT_EQ(*taken, 7);

  const TResult<std::unique_ptr<int>> failed = Made(false);
  EXPECT_FALSE(failed);
  EXPECT_EQ(failed.Error().FKind, TErrorKind::Open);
  EXPECT_EQ(failed.Error().FText, "No such file or directory");
  EXPECT_EQ(failed.Error().FCode, ENOENT);
  EXPECT_EQ(failed.Error().FPath, "a.hex");
  EXPECT_EQ(failed.Error().FLine, 0u);
}

TEST(Result, VoidIsSuccessUntilGivenAnError) {
  TResult<void> done;
  EXPECT_TRUE(done.Ok());
  done = TError{TErrorKind::Device, "write failed", EIO};
  ASSERT_FALSE(done);
  EXPECT_EQ(done.Error(), TError(TErrorKind::Device, "write failed", EIO));
  done = {};
  EXPECT_TRUE(done);
}

TEST(Result, ErrorsDifferInEveryField) {
  const TError base(TErrorKind::BrokenData, "Error in file.", 0, "x.hex", 3);
  EXPECT_EQ(base, TError(TErrorKind::BrokenData, "Error in file.", 0, "x.hex", 3));
  EXPECT_NE(base, TError(TErrorKind::WrongChecksum, "Error in file.", 0, "x.hex", 3));
  EXPECT_NE(base, TError(TErrorKind::BrokenData, "Error in file", 0, "x.hex", 3));
  EXPECT_NE(base, TError(TErrorKind::BrokenData, "Error in file.", 5, "x.hex", 3));
  EXPECT_NE(base, TError(TErrorKind::BrokenData, "Error in file.", 0, "y.hex", 3));
  EXPECT_NE(base, TError(TErrorKind::BrokenData, "Error in file.", 0, "x.hex", 4));
}

}  // namespace
}  // namespace quenvar
