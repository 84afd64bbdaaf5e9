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

TBufferResult ReadOnlyRefusal(const std::string& name) {
  return TBufferResult::Failure("Cannot save readonly file " + name + ".");
}

// Reads everything from the start of the stream (or from where it stands, if it cannot seek).
bool ReadAll(std::istream& stream, TByteImage& out, std::string& error) {
  stream.clear();
  stream.seekg(0, std::ios::end);
  const std::streamoff end = stream.fail() ? -1 : static_cast<std::streamoff>(stream.tellg());
  stream.clear();
  stream.seekg(0, std::ios::beg);
  stream.clear();
  if (end >= 0) {
    if (static_cast<unsigned long long>(end) > MaxWholeFileSize) {
      error = "Data too large";
      return false;
    }
    out.resize(static_cast<std::size_t>(end));
    stream.read(reinterpret_cast<char*>(out.data()), end);
    if (stream.gcount() != end) {
      error = "Stream read error";
      return false;
    }
    return true;
  }
  char chunk[65536];
  while (stream) {
    stream.read(chunk, sizeof chunk);
    const std::streamsize got = stream.gcount();
    if (out.size() + static_cast<std::size_t>(got) > MaxWholeFileSize) {
      error = "Data too large";
      return false;
    }
    out.insert(out.end(), chunk, chunk + got);
  }
  if (stream.bad()) {
    error = "Stream read error";
    return false;
  }
  out.shrink_to_fit();
  return true;
}

bool ReadAll(TFileReader& file, TByteImage& out, std::string& error) {
  switch (ReadWhole(file, out)) {
    case TWholeRead::Done:
      return true;
    case TWholeRead::TooLarge:
      error = "Data too large";
      return false;
    case TWholeRead::Failed:
      break;
  }
  error = "Stream read error";
  return false;
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
  History.Clear();
  RedoSlot.reset();
  // Records gathered by an open update block describe the old content: drop them too.
  UpdateRecords.clear();
  Marks = TChangeMarks();
  Marks.Resize(Content.size());
  IsModified = false;
  CaretState = TCaret();
  SelectionState = TSelection();
  UpdateState = CurrentState();
  if (UpdateDepth > 0) {
    UpdateChanged = true;  // announced when the block closes
  } else if (OnChange) {
    OnChange(*this);
  }
  ViewChanged();
}

template <typename TSource>
TBufferResult TCustomMPHexEditor::LoadContent(TSource& source) {
  TByteImage().swap(Content);  // give the old content back before sizing the new
  if (OnBusy) OnBusy(true);
  std::string error;
  bool ok = false;
  try {
    ok = ReadAll(source, Content, error);
  } catch (const std::bad_alloc&) {
    error = "Out of memory";
  } catch (const std::length_error&) {
    error = "Out of memory";
  }
  if (OnBusy) OnBusy(false);
  if (!ok) {
    TByteImage().swap(Content);
    FileAttached = false;
  }
  AfterLoad();
  return ok ? TBufferResult::Success() : TBufferResult::Failure(error);
}

TBufferResult TCustomMPHexEditor::LoadDataFromStream(std::istream& stream) {
  return LoadContent(stream);
}

TBufferResult TCustomMPHexEditor::LoadDataFromFile(const std::string& fileName) {
  TFileExpected<TFileReader> file = TFileReader::Open(fileName);
  if (!file) return BufferResultOf(file.Error());
  const bool readOnly = IsReadOnlyFile(PathOfUtf8(fileName));
  TBufferResult r = LoadContent(file.Value());
  if (!r) return r;
  FileIsReadOnly = readOnly;
  CurrentFileName = fileName;
  FileAttached = true;
  return r;
}

void TCustomMPHexEditor::LoadDataFromBytes(std::span<const std::uint8_t> bytes) {
  TByteImage().swap(Content);
  Content.assign(bytes.begin(), bytes.end());
  AfterLoad();
}

void TCustomMPHexEditor::LoadDataFromImage(TByteImage&& image) {
  Content = std::move(image);
  AfterLoad();
}

TBufferResult TCustomMPHexEditor::SaveDataToStream(std::ostream& stream) const {
  if (OnBusy) OnBusy(true);
  stream.write(reinterpret_cast<const char*>(Content.data()),
               static_cast<std::streamsize>(Content.size()));
  stream.flush();
  const bool ok = !stream.fail();
  if (OnBusy) OnBusy(false);
  return ok ? TBufferResult::Success() : TBufferResult::Failure("Stream write error");
}

TBufferResult TCustomMPHexEditor::SaveDataToFile(const std::string& fileName, bool clearMarks) {
  // Checked before the file system is touched: a read-only file would otherwise
  // be refused with the system's less telling "Permission denied".
  if (FileIsReadOnly && fileName == CurrentFileName) return ReadOnlyRefusal(fileName);
  TFileExpected<TAtomicFile> file = TAtomicFile::Create(fileName);
  if (!file) return BufferResultOf(file.Error());
  return SaveDataToFile(file.Value(), clearMarks);
}

TBufferResult TCustomMPHexEditor::SaveDataToFile(TAtomicFile& file, bool clearMarks) {
  const std::string& fileName = file.Target();
  if (FileIsReadOnly && fileName == CurrentFileName) {
    file.Abort();
    return ReadOnlyRefusal(fileName);
  }
  if (OnBusy) OnBusy(true);
  TFileResult saved = file.Write(Content);
  if (saved) saved = file.Commit();
  if (OnBusy) OnBusy(false);
  if (!saved) return BufferResultOf(saved.Error());
  FileAttached = true;
  if (clearMarks) {
    Marks.Clear();
    IsModified = false;
    FileIsReadOnly = false;
    CurrentFileName = fileName;
    History.Clear();
    UpdateRecords.clear();
    ViewChanged();
  }
  return TBufferResult::Success();
}

}  // namespace quenvar
