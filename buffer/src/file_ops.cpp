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

char ThirdFromEnd(std::string_view FileName) {
  const char c = FileName[FileName.size() - 3];
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

TSaveOutcome Outcome(TFileFormat Format, const TResult<void>& Result) {
  if (Result) return {TSaveStatus::Saved, Format, {}};
  return {TSaveStatus::Failed, Format, Result.Error().FText};
}

}  // namespace

TFileFormat OpenFormatOf(std::string_view FileName) {
  if (FileName.size() < 3) return TFileFormat::None;
  switch (ThirdFromEnd(FileName)) {
    case 'H':
      return TFileFormat::IntelHex;
    case 'B':
      return TFileFormat::Binary;
    default:
      return TFileFormat::None;
  }
}

TFileFormat SaveFormatOf(std::string_view FileName) {
  if (FileName.empty()) return TFileFormat::None;
  if (FileName.size() < 3) return TFileFormat::IntelHex;
  return ThirdFromEnd(FileName) == 'B' ? TFileFormat::Binary : TFileFormat::IntelHex;
}

TOpenOutcome TFileOps::OpenFile(const std::optional<std::string>& Chosen,
                                std::uint8_t LanguageIndex) {
  TOpenOutcome o;
  if (!Chosen) return o;
  DialogFileName = *Chosen;
  if (DialogFileName.empty()) return o;
  o.Acted = true;
  o.StatusFileName = Utf8OfPath(PathOfUtf8(DialogFileName).filename());
  o.Load = LoadFile(LanguageIndex);
  // A file error aborts the open before anything is enabled.
  o.EnableBufferActions = o.Load.Status != TLoadStatus::FileError && !o.Load.ErrorFlag();
  return o;
}

TLoadOutcome TFileOps::LoadFile(std::uint8_t LanguageIndex) {
  TLoadOutcome o;
  const TFileFormat format =
      DialogFileName.empty() ? TFileFormat::None : OpenFormatOf(DialogFileName);
  if (format == TFileFormat::None) return o;

  if (format == TFileFormat::Binary) {
    const TResult<void> r = Buffer.LoadDataFromFile(DialogFileName);
    if (!r) {
      o.Status = TLoadStatus::FileError;
      o.Message = r.Error().FText;
      return o;
    }
    o.Status = TLoadStatus::Loaded;
    return o;
  }

  TResult<TFileReader> file = TFileReader::Open(DialogFileName);
  if (!file) {
    o.Status = TLoadStatus::FileError;
    o.Message = BufferError(file.Error()).FText;
    return o;
  }
  TResult<TByteImage> hex = ReadHexFile(file.Value());
  if (const auto& failure = file.Value().Failure()) {
    o.Status = TLoadStatus::FileError;
    o.Message = BufferError(*failure).FText;
    return o;
  }
  if (!hex) {
    o.Status = TLoadStatus::FormatError;
    o.HexError = hex.Error();
    o.Message = HexErrorMessage(hex.Error(), LanguageIndex);
    return o;
  }
  Buffer.LoadDataFromImage(std::move(hex.Value()));
  o.Status = TLoadStatus::Loaded;
  return o;
}

TSaveOutcome TFileOps::SaveFile(const std::optional<std::string>& Chosen) {
  if (!Chosen) return {};
  switch (SaveFormatOf(*Chosen)) {
    case TFileFormat::None:
      return {TSaveStatus::Nothing, TFileFormat::None, {}};
    case TFileFormat::Binary:
      // The buffer's own save: it refuses its read-only file before touching the disk.
      return Outcome(TFileFormat::Binary, Buffer.SaveDataToFile(*Chosen, true));
    case TFileFormat::IntelHex:
      break;
  }
  TResult<TAtomicFile> file = TAtomicFile::Create(*Chosen);
  if (!file) return Outcome(TFileFormat::IntelHex, BufferError(file.Error()));
  return SaveFile(file.Value());
}

TSaveOutcome TFileOps::SaveFile(TAtomicFile& File) {
  const TFileFormat format = SaveFormatOf(File.Target());
  switch (format) {
    case TFileFormat::None:
      File.Abort();
      return {TSaveStatus::Nothing, TFileFormat::None, {}};
    case TFileFormat::Binary:
      return Outcome(format, Buffer.SaveDataToFile(File, true));
    case TFileFormat::IntelHex:
      break;
  }
  // The reader refuses larger images; a file it cannot read back is no save.
  if (Buffer.DataLength() > MaxHexImageSize) {
    File.Abort();
    return Outcome(format, TError{TErrorKind::Refused,
                                  "Cannot write " + File.Target() + ".\r\n(" +
                                      HexImageTooLargeText(kEnglish) + ")",
                                  0, File.Target()});
  }
  // A few hundred KiB of text at a time: the file gets no copy of the image's
  // size in memory.
  THexWriter writer(Buffer.Data());
  const std::size_t piece = std::min(kTextPiece, writer.Size());
  const auto text = std::make_unique_for_overwrite<char[]>(piece);
  TResult<void> saved;
  while (saved) {
    const std::size_t n = writer.Next({text.get(), piece});
    if (n == 0) break;
    saved = File.Write({reinterpret_cast<const std::uint8_t*>(text.get()), n});
  }
  if (saved) saved = File.Commit();
  if (!saved) return Outcome(format, BufferError(saved.Error()));
  return Outcome(format, saved);
}

}  // namespace quenvar
