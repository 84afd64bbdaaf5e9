// Whole-content transfers of TCustomMPHexEditor: loads from streams, files and memory, and saves.
#include <filesystem>
#include <istream>
#include <new>
#include <ostream>

#include "quenvar/buffer/bin_file.h"
#include "quenvar/buffer/custom_mp_hex_editor.h"
#include "quenvar/fileio/atomic_file.h"
#include "quenvar/fileio/file_reader.h"
#include "quenvar/fileio/utf8_path.h"

namespace quenvar {

namespace {

TError ReadOnlyRefusal(const std::string& name) {
  return TError{TErrorKind::Refused, "Cannot save readonly file " + name + ".", 0, name};
}

TError TooLarge() {
  return TError{TErrorKind::Refused, "Data too large"};
}

TError StreamReadError() {
  return TError{TErrorKind::Read, "Stream read error"};
}

// Reads everything from the start of the stream (or from where it stands, if it cannot seek).
TResult<void> ReadAll(std::istream& stream, TByteImage& out) {
  stream.clear();
  stream.seekg(0, std::ios::end);
  const std::streamoff end = stream.fail() ? -1 : static_cast<std::streamoff>(stream.tellg());
  stream.clear();
  stream.seekg(0, std::ios::beg);
  stream.clear();
  if (end >= 0) {
    if (static_cast<unsigned long long>(end) > kMaxWholeFileSize) return TooLarge();
    out.resize(static_cast<std::size_t>(end));
    stream.read(reinterpret_cast<char*>(out.data()), end);
    if (stream.gcount() != end) return StreamReadError();
    return {};
  }
  char chunk[65536];
  while (stream) {
    stream.read(chunk, sizeof chunk);
    const std::streamsize got = stream.gcount();
    if (out.size() + static_cast<std::size_t>(got) > kMaxWholeFileSize) return TooLarge();
    out.insert(out.end(), chunk, chunk + got);
  }
  if (stream.bad()) return StreamReadError();
  out.shrink_to_fit();
  return {};
}

// A file's own error is reported in the stream's words, as every load says it.
TResult<void> ReadAll(TFileReader& file, TByteImage& out) {
  TResult<void> read = ReadWhole(file, out);
  if (read) return read;
  return read.Error().FKind == TErrorKind::Refused ? TooLarge() : StreamReadError();
}

bool IsReadOnlyFile(const std::filesystem::path& path) {
  using std::filesystem::perms;
  std::error_code ec;
  const perms p = std::filesystem::status(path, ec).permissions();
  if (ec) return false;
  return (p & (perms::owner_write | perms::group_write | perms::others_write)) == perms::none;
}

}  // namespace

void TCustomMPHexEditor::AfterLoad() {
  FHistory.Clear();
  FRedoSlot.reset();
  // Records gathered by an open update block describe the old content: drop them too.
  FUpdateRecords.clear();
  FMarks = TChangeMarks();
  FMarks.Resize(FContent.size());
  FIsModified = false;
  FCaretState = TCaret();
  FSelectionState = TSelection();
  FUpdateState = CurrentState();
  if (FUpdateDepth > 0) {
    FUpdateChanged = true;  // announced when the block closes
  } else if (FOnChange) {
    FOnChange(*this);
  }
  ViewChanged();
}

template <typename TSource>
TResult<void> TCustomMPHexEditor::LoadContent(TSource& source) {
  TByteImage().swap(FContent);  // give the old content back before sizing the new
  if (FOnBusy) FOnBusy(true);
  TResult<void> read;
  try {
    read = ReadAll(source, FContent);
  } catch (const std::bad_alloc&) {
    read = TError{TErrorKind::Refused, "Out of memory"};
  } catch (const std::length_error&) {
    read = TError{TErrorKind::Refused, "Out of memory"};
  }
  if (FOnBusy) FOnBusy(false);
  if (!read) {
    TByteImage().swap(FContent);
    FFileAttached = false;
  }
  AfterLoad();
  return read;
}

TResult<void> TCustomMPHexEditor::LoadDataFromStream(std::istream& stream) {
  return LoadContent(stream);
}

TResult<void> TCustomMPHexEditor::LoadDataFromFile(const std::string& fileName) {
  TResult<TFileReader> file = TFileReader::Open(fileName);
  if (!file) return BufferError(file.Error());
  const bool readOnly = IsReadOnlyFile(PathOfUtf8(fileName));
  TResult<void> r = LoadContent(file.Value());
  if (!r) return r;
  FFileIsReadOnly = readOnly;
  FCurrentFileName = fileName;
  FFileAttached = true;
  return r;
}

void TCustomMPHexEditor::LoadDataFromBytes(std::span<const std::uint8_t> bytes) {
  TByteImage().swap(FContent);
  FContent.assign(bytes.begin(), bytes.end());
  AfterLoad();
}

void TCustomMPHexEditor::LoadDataFromImage(TByteImage&& image) {
  FContent = std::move(image);
  AfterLoad();
}

TResult<void> TCustomMPHexEditor::SaveDataToStream(std::ostream& stream) const {
  if (FOnBusy) FOnBusy(true);
  stream.write(reinterpret_cast<const char*>(FContent.data()),
               static_cast<std::streamsize>(FContent.size()));
  stream.flush();
  const bool ok = !stream.fail();
  if (FOnBusy) FOnBusy(false);
  if (!ok) return TError{TErrorKind::Write, "Stream write error"};
  return {};
}

TResult<void> TCustomMPHexEditor::SaveDataToFile(const std::string& fileName, bool clearMarks) {
  // Checked before the file system is touched: a read-only file would otherwise
  // be refused with the system's less telling "Permission denied".
  if (FFileIsReadOnly && fileName == FCurrentFileName) return ReadOnlyRefusal(fileName);
  TResult<TAtomicFile> file = TAtomicFile::Create(fileName);
  if (!file) return BufferError(file.Error());
  return SaveDataToFile(file.Value(), clearMarks);
}

TResult<void> TCustomMPHexEditor::SaveDataToFile(TAtomicFile& file, bool clearMarks) {
  const std::string& fileName = file.Target();
  if (FFileIsReadOnly && fileName == FCurrentFileName) {
    file.Abort();
    return ReadOnlyRefusal(fileName);
  }
  if (FOnBusy) FOnBusy(true);
  TResult<void> saved = file.Write(FContent);
  if (saved) saved = file.Commit();
  if (FOnBusy) FOnBusy(false);
  if (!saved) return BufferError(saved.Error());
  FFileAttached = true;
  if (clearMarks) {
    FMarks.Clear();
    FIsModified = false;
    FFileIsReadOnly = false;
    FCurrentFileName = fileName;
    FHistory.Clear();
    FUpdateRecords.clear();
    ViewChanged();
  }
  return {};
}

}  // namespace quenvar
