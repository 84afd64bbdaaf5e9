// Caret, selection and the keyboard editing rules of TCustomMPHexEditor.
#include <algorithm>

#include "quenvar/buffer/custom_mp_hex_editor.h"

namespace quenvar {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

void TCustomMPHexEditor::SetCaret(TCaret caret, bool extendSelection) {
  if (extendSelection && !Content.empty()) {
    if (!SelectionState.Active) {
      SelectionState.Active = true;
      SelectionState.Anchor = std::min(CaretState.Position, DataLength() - 1);
    }
  } else {
    SelectionState.Active = false;
  }
  CaretState = caret;
  ClampCaret();
  ViewChanged();
}

void TCustomMPHexEditor::MoveCaret(TCaretMove move, bool extendSelection, int pageRows) {
  const std::uint32_t row = 16;
  const std::uint32_t limit = MaxCaretPosition();
  const bool hex = CaretState.Field == THexField::Hex && !extendSelection;
  TCaret c = CaretState;
  if (extendSelection) c.LowNibble = false;
  const std::uint32_t page = static_cast<std::uint32_t>(std::max(pageRows, 1));
  switch (move) {
    case TCaretMove::Left:
      if (hex && c.LowNibble) {
        c.LowNibble = false;
      } else if (c.Position > 0) {
        --c.Position;
        c.LowNibble = hex;
      }
      break;
    case TCaretMove::Right:
      if (hex && !c.LowNibble && c.Position < DataLength()) {
        c.LowNibble = true;
      } else if (c.Position < limit) {
        ++c.Position;
        c.LowNibble = false;
      }
      break;
    case TCaretMove::Up:
      if (c.Position >= row) c.Position -= row;
      break;
    case TCaretMove::Down:
      if (limit - c.Position >= row) c.Position += row;
      break;
    case TCaretMove::PageUp:
      c.Position -= std::min(c.Position / row, page) * row;
      break;
    case TCaretMove::PageDown:
      c.Position += std::min((limit - c.Position) / row, page) * row;
      break;
    case TCaretMove::RowStart:
      c.Position -= c.Position % row;
      c.LowNibble = false;
      break;
    case TCaretMove::RowEnd:
      c.Position = std::min(c.Position - c.Position % row + row - 1, limit);
      c.LowNibble = false;
      break;
    case TCaretMove::DataStart:
      c.Position = 0;
      c.LowNibble = false;
      break;
    case TCaretMove::DataEnd:
      c.Position = limit;
      c.LowNibble = false;
      break;
  }
  SetCaret(c, extendSelection);
}

void TCustomMPHexEditor::SwitchField() {
  CaretState.Field = CaretState.Field == THexField::Hex ? THexField::Chars : THexField::Hex;
  CaretState.LowNibble = false;
  ViewChanged();
}

std::uint32_t TCustomMPHexEditor::SelStart() const {
  if (!SelectionState.Active) return CaretState.Position;
  return std::min(SelectionState.Anchor, CaretState.Position);
}

std::uint32_t TCustomMPHexEditor::SelCount() const {
  if (!SelectionState.Active || Content.empty()) return 0;
  const std::uint32_t last =
      std::min(std::max(SelectionState.Anchor, CaretState.Position), DataLength() - 1);
  const std::uint32_t first = SelStart();
  return first > last ? 0 : last - first + 1;
}

void TCustomMPHexEditor::SelectAll() {
  if (Content.empty()) return;
  SelectionState.Active = true;
  SelectionState.Anchor = 0;
  CaretState.Position = DataLength() - 1;
  CaretState.LowNibble = false;
  ViewChanged();
}

void TCustomMPHexEditor::ClearSelection() {
  if (!SelectionState.Active) return;
  SelectionState.Active = false;
  ViewChanged();
}

std::vector<std::uint8_t> TCustomMPHexEditor::SelectedBytes() const {
  const std::uint32_t n = SelCount();
  if (n == 0) return {};
  const std::uint32_t first = SelStart();
  return std::vector<std::uint8_t>(Content.begin() + first, Content.begin() + first + n);
}

bool TCustomMPHexEditor::TypeKey(char key) {
  if (!CanEdit()) return false;
  TCaret c = CaretState;
  const std::uint32_t pos = c.Position;
  if (c.Field == THexField::Hex) {
    const int digit = HexDigit(key);
    if (digit < 0) return false;
    const auto d = static_cast<std::uint8_t>(digit);
    if (Inserting && !c.LowNibble) {
      // A new byte starts on its high nibble; the next digit completes it.
      const std::uint8_t b[1] = {static_cast<std::uint8_t>(d << 4)};
      if (!InsertBytes(pos, b)) return false;
      c.LowNibble = true;
    } else {
      if (pos >= DataLength()) return false;
      WriteNibble(pos, c.LowNibble, d);
      if (!c.LowNibble) {
        c.LowNibble = true;
      } else if (pos < CaretLimit(Inserting)) {
        ++c.Position;
        c.LowNibble = false;
      }
    }
  } else {
    const std::uint8_t b[1] = {static_cast<std::uint8_t>(key)};
    if (Inserting) {
      if (!InsertBytes(pos, b)) return false;
      ++c.Position;
    } else {
      if (pos >= DataLength()) return false;
      WriteBytes(pos, b);
      if (pos < CaretLimit(false)) ++c.Position;
    }
  }
  SetCaret(c);
  return true;
}

bool TCustomMPHexEditor::Backspace() {
  if (!CanEdit() || !Inserting) return false;
  TCaret c = CaretState;
  if (HasSelection()) {
    const std::uint32_t first = SelStart();
    if (!DeleteBytes(first, SelCount())) return false;
    c.Position = first;
  } else if (c.LowNibble) {
    // Half-typed byte: take it back whole.
    if (!DeleteBytes(c.Position, 1)) return false;
  } else {
    if (c.Position == 0 || !DeleteBytes(c.Position - 1, 1)) return false;
    --c.Position;
  }
  c.LowNibble = false;
  SetCaret(c);
  return true;
}

bool TCustomMPHexEditor::DeleteKey() {
  if (!CanEdit() || !Inserting) return false;
  TCaret c = CaretState;
  if (HasSelection()) {
    const std::uint32_t first = SelStart();
    if (!DeleteBytes(first, SelCount())) return false;
    c.Position = first;
  } else if (!DeleteBytes(c.Position, 1)) {
    return false;
  }
  c.LowNibble = false;
  SetCaret(c);
  return true;
}

}  // namespace quenvar
