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
  if (extendSelection && !FContent.empty()) {
    if (!FSelectionState.FActive) {
      FSelectionState.FActive = true;
      FSelectionState.FAnchor = std::min(FCaretState.FPosition, DataLength() - 1);
    }
  } else {
    FSelectionState.FActive = false;
  }
  FCaretState = caret;
  ClampCaret();
  ViewChanged();
}

void TCustomMPHexEditor::MoveCaret(TCaretMove move, bool extendSelection, int pageRows) {
  const std::uint32_t row = 16;
  const std::uint32_t limit = MaxCaretPosition();
  const bool hex = FCaretState.FField == THexField::Hex && !extendSelection;
  TCaret c = FCaretState;
  if (extendSelection) c.FLowNibble = false;
  const std::uint32_t page = static_cast<std::uint32_t>(std::max(pageRows, 1));
  switch (move) {
    case TCaretMove::Left:
      if (hex && c.FLowNibble) {
        c.FLowNibble = false;
      } else if (c.FPosition > 0) {
        --c.FPosition;
        c.FLowNibble = hex;
      }
      break;
    case TCaretMove::Right:
      if (hex && !c.FLowNibble && c.FPosition < DataLength()) {
        c.FLowNibble = true;
      } else if (c.FPosition < limit) {
        ++c.FPosition;
        c.FLowNibble = false;
      }
      break;
    case TCaretMove::Up:
      if (c.FPosition >= row) c.FPosition -= row;
      break;
    case TCaretMove::Down:
      if (limit - c.FPosition >= row) c.FPosition += row;
      break;
    case TCaretMove::PageUp:
      c.FPosition -= std::min(c.FPosition / row, page) * row;
      break;
    case TCaretMove::PageDown:
      c.FPosition += std::min((limit - c.FPosition) / row, page) * row;
      break;
    case TCaretMove::RowStart:
      c.FPosition -= c.FPosition % row;
      c.FLowNibble = false;
      break;
    case TCaretMove::RowEnd:
      c.FPosition = std::min(c.FPosition - c.FPosition % row + row - 1, limit);
      c.FLowNibble = false;
      break;
    case TCaretMove::DataStart:
      c.FPosition = 0;
      c.FLowNibble = false;
      break;
    case TCaretMove::DataEnd:
      c.FPosition = limit;
      c.FLowNibble = false;
      break;
  }
  SetCaret(c, extendSelection);
}

void TCustomMPHexEditor::SwitchField() {
  FCaretState.FField = FCaretState.FField == THexField::Hex ? THexField::Chars : THexField::Hex;
  FCaretState.FLowNibble = false;
  ViewChanged();
}

std::uint32_t TCustomMPHexEditor::SelStart() const {
  if (!FSelectionState.FActive) return FCaretState.FPosition;
  return std::min(FSelectionState.FAnchor, FCaretState.FPosition);
}

std::uint32_t TCustomMPHexEditor::SelCount() const {
  if (!FSelectionState.FActive || FContent.empty()) return 0;
  const std::uint32_t last =
      std::min(std::max(FSelectionState.FAnchor, FCaretState.FPosition), DataLength() - 1);
  const std::uint32_t first = SelStart();
  return first > last ? 0 : last - first + 1;
}

void TCustomMPHexEditor::SelectAll() {
  if (FContent.empty()) return;
  FSelectionState.FActive = true;
  FSelectionState.FAnchor = 0;
  FCaretState.FPosition = DataLength() - 1;
  FCaretState.FLowNibble = false;
  ViewChanged();
}

void TCustomMPHexEditor::ClearSelection() {
  if (!FSelectionState.FActive) return;
  FSelectionState.FActive = false;
  ViewChanged();
}

std::vector<std::uint8_t> TCustomMPHexEditor::SelectedBytes() const {
  const std::uint32_t n = SelCount();
  if (n == 0) return {};
  const std::uint32_t first = SelStart();
  return std::vector<std::uint8_t>(FContent.begin() + first, FContent.begin() + first + n);
}

bool TCustomMPHexEditor::TypeKey(char key) {
  if (!CanEdit()) return false;
  TCaret c = FCaretState;
  const std::uint32_t pos = c.FPosition;
  if (c.FField == THexField::Hex) {
    const int digit = HexDigit(key);
    if (digit < 0) return false;
    const auto d = static_cast<std::uint8_t>(digit);
    if (FInserting && !c.FLowNibble) {
      // A new byte starts on its high nibble; the next digit completes it.
      const std::uint8_t b[1] = {static_cast<std::uint8_t>(d << 4)};
      if (!InsertBytes(pos, b)) return false;
      c.FLowNibble = true;
    } else {
      if (pos >= DataLength()) return false;
      WriteNibble(pos, c.FLowNibble, d);
      if (!c.FLowNibble) {
        c.FLowNibble = true;
      } else if (pos < CaretLimit(FInserting)) {
        ++c.FPosition;
        c.FLowNibble = false;
      }
    }
  } else {
    const std::uint8_t b[1] = {static_cast<std::uint8_t>(key)};
    if (FInserting) {
      if (!InsertBytes(pos, b)) return false;
      ++c.FPosition;
    } else {
      if (pos >= DataLength()) return false;
      WriteBytes(pos, b);
      if (pos < CaretLimit(false)) ++c.FPosition;
    }
  }
  SetCaret(c);
  return true;
}

bool TCustomMPHexEditor::Backspace() {
  if (!CanEdit() || !FInserting) return false;
  TCaret c = FCaretState;
  if (HasSelection()) {
    const std::uint32_t first = SelStart();
    if (!DeleteBytes(first, SelCount())) return false;
    c.FPosition = first;
  } else if (c.FLowNibble) {
    // Half-typed byte: take it back whole.
    if (!DeleteBytes(c.FPosition, 1)) return false;
  } else {
    if (c.FPosition == 0 || !DeleteBytes(c.FPosition - 1, 1)) return false;
    --c.FPosition;
  }
  c.FLowNibble = false;
  SetCaret(c);
  return true;
}

bool TCustomMPHexEditor::DeleteKey() {
  if (!CanEdit() || !FInserting) return false;
  TCaret c = FCaretState;
  if (HasSelection()) {
    const std::uint32_t first = SelStart();
    if (!DeleteBytes(first, SelCount())) return false;
    c.FPosition = first;
  } else if (!DeleteBytes(c.FPosition, 1)) {
    return false;
  }
  c.FLowNibble = false;
  SetCaret(c);
  return true;
}

}  // namespace quenvar
