#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>

#include "quenvar/hid/ui_loop.h"

namespace quenvar {
namespace {

using namespace std::chrono_literals;

TEST(HidUiLoop, PostsRunInOrderOnTheLoopThread) {
  TUiLoop loop;
  std::string trace;
  std::thread other([&] {
    loop.Post([&] { trace += 'a'; });
    loop.Poster()([&] { trace += 'b'; });
  });
  other.join();
  loop.Post([&] { trace += loop.IsUiThread() ? 'c' : 'x'; });
  EXPECT_EQ(loop.ProcessEvents(0ms), 3);
  EXPECT_EQ(trace, "abc");
  EXPECT_EQ(loop.ProcessEvents(0ms), 0);
}

TEST(HidUiLoop, TimersFireOnceInDueOrder) {
  TUiLoop loop;
  std::string trace;
  loop.StartTimer(30, [&] { trace += '3'; });
  loop.StartTimer(10, [&] { trace += '1'; });
  const int stopped = loop.StartTimer(20, [&] { trace += '2'; });
  loop.StopTimer(stopped);
  EXPECT_TRUE(loop.RunUntil([&] { return trace.size() == 2; }, 5000ms));
  EXPECT_FALSE(loop.RunUntil([&] { return trace.size() > 2; }, 60ms));
  EXPECT_EQ(trace, "13");
}

TEST(HidUiLoop, InvokeWaitsAndPassesErrorsBack) {
  TUiLoop loop;
  int value = 0;
  std::string error;
  bool done = false;
  std::thread other([&] {
    loop.Invoke([&] { value = 42; });
    try {
      loop.Invoke([] { throw std::runtime_error("boom"); });
    } catch (const std::runtime_error& e) {
      error = e.what();
    }
    loop.Post([&] { done = true; });
  });
  EXPECT_TRUE(loop.RunUntil([&] { return done; }, 5000ms));
  other.join();
  EXPECT_EQ(value, 42);
  EXPECT_EQ(error, "boom");
  int direct = 0;
  loop.Invoke([&] { direct = 1; });  // on the loop thread: runs at once
  EXPECT_EQ(direct, 1);
}

TEST(HidUiLoop, LatePostAfterLoopIsGoneIsHarmless) {
  TJvHidPostFn post;
  {
    TUiLoop loop;
    post = loop.Poster();
  }
  bool ran = false;
  post([&] { ran = true; });
  EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace quenvar
