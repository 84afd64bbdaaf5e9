#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string_view>
#include <vector>

namespace quenvar {

enum class TUndoKind : std::uint8_t {
  ChangeBytes = 0,
  RemoveData = 1,
  InsertBuffer = 2,
  Replace = 3,
  AppendBuffer = 4,
  InsertNibble = 5,
  DeleteNibble = 6,
  Convert = 7,
  CursorMovement = 8,
  MultipleModification = 9,
  AllDataSaved = 10,
};

// "Change Byte(s)", "Remove Data", ... as shown next to the undo command.
std::string_view UndoKindDescription(TUndoKind kind);

enum class THexField : std::uint8_t { Hex, Chars };
enum class TTranslation : std::uint8_t { AsIs };

struct TCaret {
  std::uint32_t FPosition = 0;
  bool FLowNibble = false;  // only meaningful in the hex field
  THexField FField = THexField::Hex;
  bool operator==(const TCaret&) const = default;
};

// The selection runs from Anchor to the caret position, both included, while Active.
struct TSelection {
  bool FActive = false;
  std::uint32_t FAnchor = 0;
  bool operator==(const TSelection&) const = default;
};

// Editor state saved with every undo record and restored when the record is undone.
struct TEditorState {
  TCaret FCaret;
  bool FInsertMode = false;
  bool FModified = false;
  TSelection FSelection;
  TTranslation FTranslation = TTranslation::AsIs;
  int FBytesPerColumn = 1;
  bool operator==(const TEditorState&) const = default;
};

struct TUndoRecord {
  TUndoKind FKind = TUndoKind::ChangeBytes;
  std::uint32_t FPosition = 0;
  std::uint32_t FLength = 0;
  bool FLowNibble = false;          // nibble records: which half of the byte at Position
  std::vector<std::uint8_t> FData;  // bytes that reverse the change (redo slot: bytes that redo it)
  TEditorState FState;
  std::vector<TUndoRecord> FGroup;  // MultipleModification: its records, oldest first

  // Storage the record occupies in the history, counted against MaxUndo.
  std::size_t StorageBytes() const;
};

// Newest record last. Groups are stored as one record, so trimming never splits one.
class TUndoHistory {
 public:
  static constexpr std::size_t kRecordHeaderBytes = 32;

  std::size_t Count() const { return FRecords.size(); }
  bool Empty() const { return FRecords.empty(); }
  std::size_t StorageBytes() const { return FBytes; }

  // Drops the oldest records while the history is larger than maxBytes (maxBytes <= 0: no limit),
  // then stores the record.
  void Push(TUndoRecord record, long long maxBytes);
  TUndoRecord Pop();  // the newest; history must not be empty
  const TUndoRecord& Newest() const { return FRecords.back(); }
  void Clear();

 private:
  std::deque<TUndoRecord> FRecords;
  std::size_t FBytes = 0;
};

}  // namespace quenvar
