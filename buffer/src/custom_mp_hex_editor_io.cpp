// Whole-content transfers of TCustomMPHexEditor: loads from streams, files and memory, and saves.
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <istream>
#include <limits>
#include <new>
#include <ostream>
#include <system_error>

#include "quenvar/buffer/bin_file.h"
#include "quenvar/buffer/custom_mp_hex_editor.h"
#include "quenvar/fileio/atomic_file.h"

namespace quenvar {

namespace {

std::string SystemText(int err) {
  if (err == 0) err = EIO;
  return std::generic_category().message(err);
}

TBufferResult ReadOnlyRefusal(const std::string& name) {
  return TBufferResult::Failure("Cannot save readonly file " + name + ".");
}

std::string CannotOpen(const std::string& name, const std::string& why) {
  return "Cannot open " + name + ".\r\n(" + why + ".)";
}

// Reads everything from the start of the stream (or from where it stands, if it cannot seek).
bool ReadAll(std::istream& stream, std::vector<std::uint8_t>& out, std::string& error) {
  stream.clear();
  stream.seekg(0, std::ios::end);
  const std::streamoff end = stream.fail() ? -1 : static_cast<std::streamoff>(stream.tellg());
  stream.clear();
  stream.seekg(0, std::ios::beg);
  stream.clear();
  if (end >= 0) {
    if (static_cast<unsigned long long>(end) > std::numeric_limits<std::uint32_t>::max()) {
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
    if (out.size() + static_cast<std::size_t>(got) > std::numeric_limits<std::uint32_t>::max()) {
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

TBufferResult TCustomMPHexEditor::LoadDataFromStream(std::istream& stream) {
  std::vector<std::uint8_t>().swap(Content);  // give the old content back before sizing the new
  if (OnBusy) OnBusy(true);
  std::string error;
  bool ok = false;
  try {
    ok = ReadAll(stream, Content, error);
  } catch (const std::bad_alloc&) {
    error = "Out of memory";
  } catch (const std::length_error&) {
    error = "Out of memory";
  }
  if (OnBusy) OnBusy(false);
  if (!ok) {
    std::vector<std::uint8_t>().swap(Content);
    FileAttached = false;
  }
  AfterLoad();
  return ok ? TBufferResult::Success() : TBufferResult::Failure(error);
}

TBufferResult TCustomMPHexEditor::LoadDataFromFile(const std::string& fileName) {
  const std::filesystem::path path(fileName);
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec))
    return TBufferResult::Failure(
        CannotOpen(fileName, std::make_error_code(std::errc::is_a_directory).message()));
  errno = 0;
  std::ifstream file(path, std::ios::binary);
  if (!file.is_open()) return TBufferResult::Failure(CannotOpen(fileName, SystemText(errno)));
  const bool readOnly = IsReadOnlyFile(path);
  TBufferResult r = LoadDataFromStream(file);
  if (!r) {
    FileAttached = false;
    return r;
  }
  FileIsReadOnly = readOnly;
  CurrentFileName = fileName;
  FileAttached = true;
  return r;
}

void TCustomMPHexEditor::LoadDataFromBytes(std::span<const std::uint8_t> bytes) {
  std::vector<std::uint8_t>().swap(Content);
  Content.assign(bytes.begin(), bytes.end());
  AfterLoad();
}

void TCustomMPHexEditor::LoadDataFromVector(std::vector<std::uint8_t>&& bytes) {
  Content = std::move(bytes);
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
