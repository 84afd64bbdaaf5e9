#include "quenvar/buffer/undo_history.h"

#include <utility>

namespace quenvar {

std::string_view UndoKindDescription(TUndoKind kind) {
  switch (kind) {
    case TUndoKind::ChangeBytes:
      return "Change Byte(s)";
    case TUndoKind::RemoveData:
      return "Remove Data";
    case TUndoKind::InsertBuffer:
      return "Insert Buffer";
    case TUndoKind::Replace:
      return "Replace";
    case TUndoKind::AppendBuffer:
      return "Append Buffer";
    case TUndoKind::InsertNibble:
      return "Insert Nibble";
    case TUndoKind::DeleteNibble:
      return "Delete Nibble";
    case TUndoKind::Convert:
      return "Convert";
    case TUndoKind::CursorMovement:
      return "Cursor movement";
    case TUndoKind::MultipleModification:
      return "Multiple Modification";
    case TUndoKind::AllDataSaved:
      return "All data saved";
  }
  return {};
}

std::size_t TUndoRecord::StorageBytes() const {
  std::size_t bytes = TUndoHistory::kRecordHeaderBytes + FData.size();
  for (const TUndoRecord& r : FGroup) bytes += r.StorageBytes();
  return bytes;
}

void TUndoHistory::Push(TUndoRecord record, long long maxBytes) {
  if (maxBytes > 0) {
    while (!FRecords.empty() && FBytes > static_cast<unsigned long long>(maxBytes)) {
      FBytes -= FRecords.front().StorageBytes();
      FRecords.pop_front();
    }
  }
  FBytes += record.StorageBytes();
  FRecords.push_back(std::move(record));
}

TUndoRecord TUndoHistory::Pop() {
  TUndoRecord r = std::move(FRecords.back());
  FRecords.pop_back();
  FBytes -= r.StorageBytes();
  return r;
}

void TUndoHistory::Clear() {
  FRecords.clear();
  FBytes = 0;
}

}  // namespace quenvar
