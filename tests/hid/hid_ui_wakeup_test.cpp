// The UI loop sleeps until there is work: a function posted from a reader
// thread and a change source's wakeup (how the Windows backend reports
// arrivals) end the sleep at once, whatever the loop's platform waits with.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

#include "quenvar/hid/ui_loop.h"

namespace quenvar {
namespace {

using namespace std::chrono_literals;

// Has no descriptor: it can only wake the loop, as the Windows backend does.
class TWakingSource : public IHidChangeSource {
 public:
  int PollFd() const override { return -1; }
  bool Drain() override { return FPending.exchange(false); }
  void SetWakeup(std::function<void()> wake) override {
    std::lock_guard<std::mutex> g(FLock);
    FWake = std::move(wake);
  }
  // From another thread.
  void Change() {
    FPending = true;
    std::lock_guard<std::mutex> g(FLock);
    if (FWake) FWake();
  }

 private:
  std::mutex FLock;
  std::function<void()> FWake;
  std::atomic<bool> FPending{false};
};

struct TWakeCase {
  const char* FName;
  bool FBySource;  // else by a post
};

void PrintTo(const TWakeCase& c, std::ostream* os) {
  *os << c.FName;
}

class HidUiLoopWakes : public ::testing::TestWithParam<TWakeCase> {};

// The sleep is asked for far longer than the test may take: only the wakeup
// can end it in time.
TEST_P(HidUiLoopWakes, FromAnotherThreadAtOnce) {
  TWakingSource source;  // outlives the loop's watch
  TUiLoop loop;
  int ran = 0;
  loop.WatchChanges(source, [&] { ++ran; });
  std::thread other([&] {
    std::this_thread::sleep_for(50ms);
    if (GetParam().FBySource)
      source.Change();
    else
      loop.Post([&] { ++ran; });
  });
  const auto start = std::chrono::steady_clock::now();
  const int handled = loop.ProcessEvents(120s);
  const auto slept = std::chrono::steady_clock::now() - start;
  other.join();
  EXPECT_EQ(handled, 1);
  EXPECT_EQ(ran, 1);
  EXPECT_LT(slept, 60s);
}

INSTANTIATE_TEST_SUITE_P(Loop, HidUiLoopWakes,
                         ::testing::Values(TWakeCase{"Post", false}, TWakeCase{"Source", true}),
                         [](const auto& info) { return std::string(info.param.FName); });

}  // namespace
}  // namespace quenvar
