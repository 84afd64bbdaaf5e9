#include "quenvar/buffer/file_ops.h"

#include <algorithm>
#include <memory>
#include <string_view>
#include <utility>

#include "quenvar/buffer/bin_file.h"
#include "quenvar/buffer/custom_mp_hex_editor.h"
#include "quenvar/fileio/atomic_file.h"
#include "quenvar/fileio/file_reader.h"
#include "quenvar/fileio/utf8_path.h"

namespace quenvar {

namespace {

// File errors are English, as all of the buffer's.
constexpr std::uint8_t kEnglish = 1;

constexpr std::size_t kTextPiece = std::size_t{256} << 10;

char ThirdFromEnd(std::string_view fileName) {
  const char c = fileName[fileName.size() - 3];
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

TSaveOutcome Outcome(TFileFormat format, const TResult<void>& result) {
  if (result) return {TSaveStatus::Saved, format, {}};
  return {TSaveStatus::Failed, format, result.Error().FText};
}

}  // namespace

TFileFormat OpenFormatOf(std::string_view fileName) {
  if (fileName.size() < 3) return TFileFormat::None;
  switch (ThirdFromEnd(fileName)) {
    case 'H':
      return TFileFormat::IntelHex;
    case 'B':
      return TFileFormat::Binary;
    default:
      return TFileFormat::None;
  }
}

TFileFormat SaveFormatOf(std::string_view fileName) {
  if (fileName.empty()) return TFileFormat::None;
  if (fileName.size() < 3) return TFileFormat::IntelHex;
  return ThirdFromEnd(fileName) == 'B' ? TFileFormat::Binary : TFileFormat::IntelHex;
}

TOpenOutcome TFileOps::OpenFile(const std::optional<std::string>& chosen,
                                std::uint8_t languageIndex) {
  TOpenOutcome o;
  if (!chosen) return o;
  FDialogFileName = *chosen;
  if (FDialogFileName.empty()) return o;
  o.FActed = true;
  o.FStatusFileName = Utf8OfPath(PathOfUtf8(FDialogFileName).filename());
  o.FLoad = LoadFile(languageIndex);
  // A file error aborts the open before anything is enabled.
  o.FEnableBufferActions = o.FLoad.FStatus != TLoadStatus::FileError && !o.FLoad.ErrorFlag();
  return o;
}

TLoadOutcome TFileOps::LoadFile(std::uint8_t languageIndex) {
  TLoadOutcome o;
  const TFileFormat format =
      FDialogFileName.empty() ? TFileFormat::None : OpenFormatOf(FDialogFileName);
  if (format == TFileFormat::None) return o;

  if (format == TFileFormat::Binary) {
    const TResult<void> r = FBuffer.LoadDataFromFile(FDialogFileName);
    if (!r) {
      o.FStatus = TLoadStatus::FileError;
      o.FMessage = r.Error().FText;
      return o;
    }
    o.FStatus = TLoadStatus::Loaded;
    return o;
  }

  TResult<TFileReader> file = TFileReader::Open(FDialogFileName);
  if (!file) {
    o.FStatus = TLoadStatus::FileError;
    o.FMessage = BufferError(file.Error()).FText;
    return o;
  }
  TResult<TByteImage> hex = ReadHexFile(file.Value());
  if (const auto& failure = file.Value().Failure()) {
    o.FStatus = TLoadStatus::FileError;
    o.FMessage = BufferError(*failure).FText;
    return o;
  }
  if (!hex) {
    o.FStatus = TLoadStatus::FormatError;
    o.FHexError = hex.Error();
    o.FMessage = HexErrorMessage(hex.Error(), languageIndex);
    return o;
  }
  FBuffer.LoadDataFromImage(std::move(hex.Value()));
  o.FStatus = TLoadStatus::Loaded;
  return o;
}

TSaveOutcome TFileOps::SaveFile(const std::optional<std::string>& chosen) {
  if (!chosen) return {};
  switch (SaveFormatOf(*chosen)) {
    case TFileFormat::None:
      return {TSaveStatus::Nothing, TFileFormat::None, {}};
    case TFileFormat::Binary:
      // The buffer's own save: it refuses its read-only file before touching the disk.
      return Outcome(TFileFormat::Binary, FBuffer.SaveDataToFile(*chosen, true));
    case TFileFormat::IntelHex:
      break;
  }
  TResult<TAtomicFile> file = TAtomicFile::Create(*chosen);
  if (!file) return Outcome(TFileFormat::IntelHex, BufferError(file.Error()));
  return SaveFile(file.Value());
}

TSaveOutcome TFileOps::SaveFile(TAtomicFile& file) {
  const TFileFormat format = SaveFormatOf(file.Target());
  switch (format) {
    case TFileFormat::None:
      file.Abort();
      return {TSaveStatus::Nothing, TFileFormat::None, {}};
    case TFileFormat::Binary:
      return Outcome(format, FBuffer.SaveDataToFile(file, true));
    case TFileFormat::IntelHex:
      break;
  }
  // The reader refuses larger images; a file it cannot read back is no save.
  if (FBuffer.DataLength() > kMaxHexImageSize) {
    file.Abort();
    return Outcome(format, TError{TErrorKind::Refused,
                                  "Cannot write " + file.Target() + ".\r\n(" +
                                      HexImageTooLargeText(kEnglish) + ")",
                                  0, file.Target()});
  }
  // A few hundred KiB of text at a time: the file gets no copy of the image's
  // size in memory.
  THexWriter writer(FBuffer.Data());
  const std::size_t piece = std::min(kTextPiece, writer.Size());
  const auto text = std::make_unique_for_overwrite<char[]>(piece);
  TResult<void> saved;
  while (saved) {
    const std::size_t n = writer.Next({text.get(), piece});
    if (n == 0) break;
    saved = file.Write({reinterpret_cast<const std::uint8_t*>(text.get()), n});
  }
  if (saved) saved = file.Commit();
  if (!saved) return Outcome(format, BufferError(saved.Error()));
  return Outcome(format, saved);
}

}  // namespace quenvar
