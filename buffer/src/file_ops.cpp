#include "quenvar/buffer/file_ops.h"

#include <filesystem>
#include <string_view>
#include <utility>

#include "quenvar/buffer/bin_file.h"
#include "quenvar/buffer/custom_mp_hex_editor.h"

namespace quenvar {

namespace {

char ThirdFromEnd(std::string_view FileName) {
  const char c = FileName[FileName.size() - 3];
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
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
  o.StatusFileName = std::filesystem::path(DialogFileName).filename().string();
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

  TFileReadResult file = ReadWholeFile(DialogFileName);
  if (!file.Status) {
    o.Status = TLoadStatus::FileError;
    o.Message = file.Status.Message();
    return o;
  }
  const std::string_view text(reinterpret_cast<const char*>(file.Bytes.data()), file.Bytes.size());
  THexReadResult hex = ReadHexFile(text);
  file.Bytes = {};
  if (!hex.Ok()) {
    ErrorFlag = 1;
    o.Status = TLoadStatus::FormatError;
    o.HexError = hex.Error;
    o.Message = HexErrorMessage(*hex.Error, LanguageIndex);
    return o;
  }
  Buffer.LoadDataFromVector(std::move(hex.Image));
  ErrorFlag = 0;
  o.Status = TLoadStatus::Loaded;
  return o;
}

TSaveOutcome TFileOps::SaveFile(const std::optional<std::string>& Chosen) {
  TSaveOutcome o;
  if (!Chosen) return o;
  o.Format = SaveFormatOf(*Chosen);
  TBufferResult r;
  switch (o.Format) {
    case TFileFormat::None:
      o.Status = TSaveStatus::Nothing;
      return o;
    case TFileFormat::Binary:
      r = Buffer.SaveDataToFile(*Chosen, true);
      break;
    case TFileFormat::IntelHex: {
      const std::string text = WriteHexFile(Buffer.Data());
      r = WriteFileAtomically(*Chosen,
                              {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
      break;
    }
  }
  o.Status = r ? TSaveStatus::Saved : TSaveStatus::Failed;
  o.Message = r.Message();
  return o;
}

}  // namespace quenvar
