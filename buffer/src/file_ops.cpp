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

TSaveOutcome Outcome(TFileFormat Format, const TBufferResult& Result) {
  return {Result ? TSaveStatus::Saved : TSaveStatus::Failed, Format, Result.Message()};
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
                                std::uint8_t LanguageIndex, std::uint8_t& ErrorFlag) {
  TOpenOutcome o;
  if (!Chosen) return o;
  DialogFileName = *Chosen;
  if (DialogFileName.empty()) return o;
  o.Acted = true;
  o.StatusFileName = Utf8OfPath(PathOfUtf8(DialogFileName).filename());
  o.Load = LoadFile(LanguageIndex, ErrorFlag);
  // A file error aborts the open before anything is enabled.
  o.EnableBufferActions = o.Load.Status != TLoadStatus::FileError && ErrorFlag == 0;
  return o;
}

TLoadOutcome TFileOps::LoadFile(std::uint8_t LanguageIndex, std::uint8_t& ErrorFlag) {
  TLoadOutcome o;
  const TFileFormat format =
      DialogFileName.empty() ? TFileFormat::None : OpenFormatOf(DialogFileName);
  if (format == TFileFormat::None) {
    ErrorFlag = 0;
    return o;
  }

  if (format == TFileFormat::Binary) {
    const TBufferResult r = Buffer.LoadDataFromFile(DialogFileName);
    if (!r) {
      o.Status = TLoadStatus::FileError;
      o.Message = r.Message();
      return o;
    }
    ErrorFlag = 0;
    o.Status = TLoadStatus::Loaded;
    return o;
  }

  TFileExpected<TFileReader> file = TFileReader::Open(DialogFileName);
  if (!file) {
    o.Status = TLoadStatus::FileError;
    o.Message = BufferResultOf(file.Error()).Message();
    return o;
  }
  THexReadResult hex = ReadHexFile(file.Value());
  if (const auto& failure = file.Value().Failure()) {
    o.Status = TLoadStatus::FileError;
    o.Message = BufferResultOf(*failure).Message();
    return o;
  }
  if (!hex.Ok()) {
    ErrorFlag = 1;
    o.Status = TLoadStatus::FormatError;
    o.HexError = hex.Error;
    o.Message = HexErrorMessage(*hex.Error, LanguageIndex);
    return o;
  }
  Buffer.LoadDataFromImage(std::move(hex.Image));
  ErrorFlag = 0;
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
  TFileExpected<TAtomicFile> file = TAtomicFile::Create(*Chosen);
  if (!file) return Outcome(TFileFormat::IntelHex, BufferResultOf(file.Error()));
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
    return Outcome(format, TBufferResult::Failure("Cannot write " + File.Target() + ".\r\n(" +
                                                  HexImageTooLargeText(kEnglish) + ")"));
  }
  // A few hundred KiB of text at a time: the file gets no copy of the image's
  // size in memory.
  THexWriter writer(Buffer.Data());
  const std::size_t piece = std::min(kTextPiece, writer.Size());
  const auto text = std::make_unique_for_overwrite<char[]>(piece);
  TFileResult saved = TFileResult::Success();
  while (saved) {
    const std::size_t n = writer.Next({text.get(), piece});
    if (n == 0) break;
    saved = File.Write({reinterpret_cast<const std::uint8_t*>(text.get()), n});
  }
  if (saved) saved = File.Commit();
  return Outcome(format, saved ? TBufferResult::Success() : BufferResultOf(saved.Error()));
}

}  // namespace quenvar
