#pragma once
// The hex editor's model as the driver's memory buffer.

#include <algorithm>

#include "quenvar/buffer/custom_mp_hex_editor.h"
#include "quenvar/core/driver_ports.h"

namespace quenvar {

class THexEditorBuffer final : public IMemoryBuffer {
 public:
  explicit THexEditorBuffer(TCustomMPHexEditor& editor) : FEditor(editor) {}

  std::int64_t DataLength() const override { return FEditor.DataLength(); }

  std::size_t ReadRange(std::int64_t position, std::span<std::uint8_t> out) const override {
    const std::span<const std::uint8_t> data = FEditor.Data();
    if (position < 0 || static_cast<std::uint64_t>(position) >= data.size()) return 0;
    const std::size_t count =
        std::min(out.size(), data.size() - static_cast<std::size_t>(position));
    std::copy_n(data.begin() + position, count, out.begin());
    return count;
  }

  // A chip read is loaded like a file: it ends the undo history.
  void ReplaceAll(std::span<const std::uint8_t> data) override { FEditor.LoadDataFromBytes(data); }

 private:
  TCustomMPHexEditor& FEditor;
};

}  // namespace quenvar
