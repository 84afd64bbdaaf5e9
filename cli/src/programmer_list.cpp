#include "programmer_list.h"

#include <algorithm>
#include <charconv>

#include "quenvar/protocol/protocol.h"

namespace quenvar {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

bool NaturalLess(const std::string& a, const std::string& b) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      std::size_t endA = i;
      std::size_t endB = j;
      while (endA < a.size() && IsDigit(a[endA])) ++endA;
      while (endB < b.size() && IsDigit(b[endB])) ++endB;
      // Leading zeros aside, the longer run is the larger number.
      std::size_t startA = i;
      std::size_t startB = j;
      while (startA + 1 < endA && a[startA] == '0') ++startA;
      while (startB + 1 < endB && b[startB] == '0') ++startB;
      if (endA - startA != endB - startB) return endA - startA < endB - startB;
      const int order = a.compare(startA, endA - startA, b, startB, endB - startB);
      if (order != 0) return order < 0;
      i = endA;
      j = endB;
      continue;
    }
    if (a[i] != b[j]) return a[i] < b[j];
    ++i;
    ++j;
  }
  return a.size() - i < b.size() - j;
}

std::vector<TListedProgrammer> ListProgrammers(const TJvHidDeviceController& controller) {
  std::vector<TListedProgrammer> listed;
  for (const TJvHidDevice* device : controller.DeviceList()) {
    const THidAttributes& ids = device->Attributes();
    if (!device->PluggedIn() || ids.FVendorID != kProgrammerVendorId ||
        ids.FProductID != kProgrammerProductId)
      continue;
    listed.push_back({0, device->PnPInfo().FIdentityPath, device->PnPInfo().FSerial, device});
  }
  std::stable_sort(listed.begin(), listed.end(), [](const auto& a, const auto& b) {
    return NaturalLess(a.FIdentityPath, b.FIdentityPath);
  });
  for (std::size_t i = 0; i < listed.size(); ++i)
    listed[i].FNumber = static_cast<std::uint32_t>(i + 1);
  return listed;
}

TProgrammerSelection SelectProgrammers(std::span<const std::string> selectors,
                                       std::span<const TListedProgrammer> listed) {
  TProgrammerSelection selection;
  std::vector<bool> chosen(listed.size(), false);
  for (const std::string& selector : selectors) {
    if (selector == "all") {
      std::fill(chosen.begin(), chosen.end(), true);
      continue;
    }
    std::uint32_t number = 0;
    const char* last = selector.data() + selector.size();
    auto [end, ec] = std::from_chars(selector.data(), last, number);
    if (ec == std::errc() && end == last) {
      if (number < 1 || number > listed.size()) {
        selection.FError = "quenvar-cli: no programmer " + selector + "; list shows " +
                           std::to_string(listed.size());
        return selection;
      }
      chosen[number - 1] = true;
      continue;
    }
    std::size_t found = 0;
    for (std::size_t i = 0; i < listed.size(); ++i)
      if (listed[i].FIdentityPath == selector) {
        chosen[i] = true;
        ++found;
      }
    if (found == 0) {
      selection.FError = "quenvar-cli: no programmer at '" + selector + "'";
      return selection;
    }
  }
  for (std::size_t i = 0; i < listed.size(); ++i) {
    if (!chosen[i]) continue;
    // A driver claims its programmer by identity path: two at one path could
    // not be told apart.
    const auto shared = std::count_if(listed.begin(), listed.end(), [&](const auto& other) {
      return other.FIdentityPath == listed[i].FIdentityPath;
    });
    if (shared > 1) {
      selection.FError = "quenvar-cli: " + std::to_string(shared) + " programmers at '" +
                         listed[i].FIdentityPath + "'; they cannot be told apart";
      selection.FChosen.clear();
      return selection;
    }
    selection.FChosen.push_back(listed[i]);
  }
  return selection;
}

}  // namespace quenvar
