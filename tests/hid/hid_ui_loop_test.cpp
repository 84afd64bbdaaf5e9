#include <gtest/gtest.h>
#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

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

// A descriptor source exists where the loop polls descriptors (not on Windows).
#ifndef _WIN32
// Like a udev monitor: readable while events are queued, drained in one go.
class TPipeSource : public IHidChangeSource {
 public:
  TPipeSource() {
    if (::pipe2(FFds, O_NONBLOCK | O_CLOEXEC) != 0) FFds[0] = FFds[1] = -1;
  }
  ~TPipeSource() override {
    ::close(FFds[0]);
    ::close(FFds[1]);
  }
  void Event() { EXPECT_EQ(::write(FFds[1], "e", 1), 1); }
  int PollFd() const override { return FFds[0]; }
  bool Drain() override {
    char buf[16];
    bool any = false;
    while (::read(FFds[0], buf, sizeof buf) > 0) any = true;
    ++FDrains;
    return any;
  }
  void SetWakeup(std::function<void()>) override {}
  int FDrains = 0;

 private:
  int FFds[2];
};

TEST(HidUiLoop, PollableSourceGivesOneChangePerBurst) {
  TPipeSource source;
  TUiLoop loop;
  int changes = 0;
  const int watch = loop.WatchChanges(source, [&] { ++changes; });
  source.Event();
  source.Event();
  source.Event();
  EXPECT_TRUE(loop.RunUntil([&] { return changes > 0; }, 5000ms));
  loop.ProcessEvents(20ms);
  EXPECT_EQ(changes, 1);
  source.Event();
  EXPECT_TRUE(loop.RunUntil([&] { return changes == 2; }, 5000ms));
  loop.UnwatchChanges(watch);
  source.Event();
  loop.ProcessEvents(20ms);
  EXPECT_EQ(changes, 2);
}
#endif

}  // namespace
}  // namespace quenvar
