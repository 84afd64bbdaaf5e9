#pragma once

#include <cstdint>
#include <set>
#include <vector>

#include "quenvar/buffer/custom_mp_hex_editor.h"

namespace quenvar::test {

using TBytes = std::vector<std::uint8_t>;

inline TBytes Bytes(const TCustomMPHexEditor& e) {
  return TBytes(e.Data().begin(), e.Data().end());
}

inline std::set<std::uint32_t> MarkedBytes(const TCustomMPHexEditor& e) {
  std::set<std::uint32_t> out;
  for (std::uint32_t i = 0; i < e.DataLength(); ++i)
    if (e.IsChanged(i)) out.insert(i);
  return out;
}

// An editable buffer holding data, in overwrite mode, counting OnChange.
struct TEditable {
  TCustomMPHexEditor FE;
  int FChanges = 0;
  explicit TEditable(const TBytes& data, bool insertMode = false) {
    FE.FOnChange = [this](TCustomMPHexEditor&) { ++FChanges; };
    FE.LoadDataFromBytes(data);
    FE.SetReadOnlyView(false);
    FE.SetInsertMode(insertMode);
    FChanges = 0;
  }
};

}  // namespace quenvar::test
