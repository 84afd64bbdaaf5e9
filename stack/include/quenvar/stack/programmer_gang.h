#pragma once
// Several protocol drivers on the stack's one controller and event loop, one
// per programmer, each pinned to the programmer plugged in at its identity
// path: the drivers of a production run. A device's reports go to the driver
// that claimed it; every device change goes to each driver in turn, so each
// one follows its own programmer being pulled and plugged in again.

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "quenvar/core/driver_ports.h"
#include "quenvar/core/programmer_driver.h"
#include "quenvar/hid/jv_hid_device.h"
#include "quenvar/stack/hid_programmer_port.h"
#include "quenvar/stack/loop_reply_timer.h"
#include "quenvar/stack/programmer_stack.h"

namespace quenvar {

class TProgrammerGang {
 public:
  // The stack must be open, without a driver of its own, and outlive the gang.
  explicit TProgrammerGang(TProgrammerStack& stack) : FStack(stack) {}
  ~TProgrammerGang();
  TProgrammerGang(const TProgrammerGang&) = delete;
  TProgrammerGang& operator=(const TProgrammerGang&) = delete;

  // A driver for the programmer at this identity path, over `buffer` (which
  // must outlive the gang). It claims nothing before Attach, so its listener
  // and options can be set first.
  TProgrammerDriver& Add(const std::string& identityPath, IMemoryBuffer& buffer);
  // Each driver claims its programmer now and follows device changes from now on.
  void Attach();

  std::size_t Size() const { return FMembers.size(); }
  TProgrammerDriver& Driver(std::size_t index) { return *FMembers[index]->FDriver; }
  // The device driver `index` holds, or null.
  TJvHidDevice* ClaimedDevice(std::size_t index) const {
    return FMembers[index]->FPort->ClaimedDevice();
  }
  // The chain on programmer `index` has ended; a simulated programmer takes
  // its chip out of the socket (see TSimProgrammer::ChainEnded).
  void ChainEnded(std::size_t index);

 private:
  struct TMember {
    std::string FIdentityPath;
    std::unique_ptr<THidProgrammerPort> FPort;
    std::unique_ptr<TLoopReplyTimer> FTimer;
    std::unique_ptr<TProgrammerDriver> FDriver;
  };

  void Deliver(TJvHidDevice& device, std::uint8_t reportId, const std::uint8_t* data,
               std::uint16_t size);

  TProgrammerStack& FStack;
  std::vector<std::unique_ptr<TMember>> FMembers;
  bool FAttached = false;
};

}  // namespace quenvar
