#pragma once

// Opening, reloading and saving the memory buffer, without the dialogs: the
// window shows its dialog and passes the chosen name (or nothing when the user
// cancelled); the outcome says what to show and what to enable.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "quenvar/buffer/hex_file.h"

namespace quenvar {

class TAtomicFile;
class TCustomMPHexEditor;

enum class TFileFormat : std::uint8_t { None, IntelHex, Binary };

// By the third character from the end of the full name, folded to upper case.
// Open: "H" Intel HEX, "B" binary, anything else nothing.
TFileFormat OpenFormatOf(std::string_view fileName);
// Save: "B" binary, anything else Intel HEX, names shorter than three
// characters too. An empty name selects nothing in both directions.
TFileFormat SaveFormatOf(std::string_view fileName);

enum class TLoadStatus : std::uint8_t {
  Nothing,      // no name, or a name that selects no format: nothing read
  Loaded,       // the buffer holds the file's content
  FormatError,  // a refused HEX file: Message goes into a message box with one OK button
  FileError,    // the file could not be read: Message goes into the standard error box
};

struct TLoadOutcome {
  TLoadStatus FStatus = TLoadStatus::Nothing;
  std::string FMessage;
  std::optional<TError> FHexError;  // set with FormatError

  // The window's error flag after the load: set by a refused HEX file, so the
  // operations that re-read the file do not start; clear otherwise.
  bool ErrorFlag() const { return FStatus == TLoadStatus::FormatError; }
};

struct TOpenOutcome {
  bool FActed = false;          // false when the dialog was cancelled or gave no name
  std::string FStatusFileName;  // for status bar panel 1, set whenever Acted
  // Enable bProg, bVerify, nsave, nprogflash and nverifyflash.
  bool FEnableBufferActions = false;
  TLoadOutcome FLoad;
};

enum class TSaveStatus : std::uint8_t {
  Cancelled,  // the dialog was cancelled: nothing written
  Nothing,    // the name selects no format: nothing written
  Saved,
  Failed,  // Message goes into the standard error box; the previous file is intact
};

struct TSaveOutcome {
  TSaveStatus FStatus = TSaveStatus::Cancelled;
  TFileFormat FFormat = TFileFormat::None;
  std::string FMessage;
};

class TFileOps {
 public:
  explicit TFileOps(TCustomMPHexEditor& editor) : FBuffer(editor) {}

  // The open dialog's file name: the last one chosen, kept for the whole run.
  const std::string& OpenFileName() const { return FDialogFileName; }

  // After the open dialog. Chosen is empty when the user cancelled; then
  // nothing happens, so the user's edits in the buffer stay.
  TOpenOutcome OpenFile(const std::optional<std::string>& chosen, std::uint8_t languageIndex);

  // Reads the open dialog's file into the buffer (also the reload before
  // program and verify). A refused or unreadable file leaves the buffer as it was.
  TLoadOutcome LoadFile(std::uint8_t languageIndex);

  // After the save dialog. Binary saves clear the buffer's change marks and
  // make the name the buffer's file name; HEX saves leave the buffer alone.
  // The open dialog's name is never touched.
  TSaveOutcome SaveFile(const std::optional<std::string>& chosen);
  // The same into a file created before (TAtomicFile::Create), for callers that
  // make sure the output can be written before they read a chip; the format
  // follows the file's target name. A save that is refused aborts the file.
  TSaveOutcome SaveFile(TAtomicFile& file);

 private:
  TCustomMPHexEditor& FBuffer;
  std::string FDialogFileName;
};

}  // namespace quenvar
