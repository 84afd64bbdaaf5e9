#pragma once
// The programmers among the HID interfaces, numbered as `list` shows them, and
// the choice of --programmer among them.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "quenvar/hid/jv_hid_device_controller.h"

namespace quenvar {

struct TListedProgrammer {
  std::uint32_t FNumber = 0;  // from 1
  std::string FIdentityPath;
  std::string FSerial;  // empty: none
  const TJvHidDevice* FDevice = nullptr;
};

// The programmers (0451:3210) of the controller's list, in the order of their
// identity paths (digits compared as numbers), so a programmer keeps its
// number as long as it stays in its USB port.
std::vector<TListedProgrammer> ListProgrammers(const TJvHidDeviceController& controller);

struct TProgrammerSelection {
  std::vector<TListedProgrammer> FChosen;  // in list order, each once
  std::string FError;                      // set when a selector finds nothing
};

// "all", a number from the list, or an identity path, for each selector.
TProgrammerSelection SelectProgrammers(std::span<const std::string> selectors,
                                       std::span<const TListedProgrammer> listed);

// Whether `a` comes before `b` when runs of digits count as numbers
// ("port2" before "port10").
bool NaturalLess(const std::string& a, const std::string& b);

}  // namespace quenvar
