#include "quenvar/presenter/app_settings.h"

#include "quenvar/presenter/language_tables.h"

namespace quenvar {

std::uint8_t LanguageIndexOfStored(std::uint8_t LowByte) {
  switch (LowByte) {
    case 1:
      return LanguageGerman;
    case 3:
      return LanguageRussian;
    default:
      return LanguageEnglish;
  }
}

void TAppSettings::Keep(const TRegistryError& Error) {
  if (!FStartupError) FStartupError = Error.what();
}

std::optional<std::int32_t> TAppSettings::ReadStored(std::string_view Name, std::int32_t Default) {
  try {
    if (!FStore.HasValue(Name)) return std::nullopt;
    return FStore.GetInteger(Name, Default);
  } catch (const TRegistryError& error) {
    // A value of the wrong kind is reported and then replaced by the default,
    // so the error does not come back at every start.
    Keep(error);
    return std::nullopt;
  }
}

void TAppSettings::WriteDefault(std::string_view Name, std::int32_t Value) {
  try {
    FStore.PutInteger(Name, Value);
  } catch (const TRegistryError& error) {
    Keep(error);
  }
}

bool TAppSettings::RestoreFlag(std::string_view Name) {
  if (const auto stored = ReadStored(Name, 1)) return *stored != 0;
  WriteDefault(Name, 1);
  return true;
}

bool TAppSettings::RestoreVerifyAfterProgram() {
  return RestoreFlag(ValueVerifyAfterProgram);
}

bool TAppSettings::RestoreUpdateBuffer() {
  return RestoreFlag(ValueUpdateBuffer);
}

std::uint8_t TAppSettings::RestoreLanguage() {
  if (const auto stored = ReadStored(ValueLanguage, 2)) {
    return LanguageIndexOfStored(static_cast<std::uint8_t>(*stored & 0xFF));
  }
  // A missing value is first stored as German; applying English right after
  // stores 2, so the store ends up with English as well.
  WriteDefault(ValueLanguage, 1);
  return LanguageEnglish;
}

std::uint8_t TAppSettings::RestoreLastDevice() {
  if (const auto stored = ReadStored(ValueLastDevice, 0)) {
    return static_cast<std::uint8_t>(*stored & 0xFF);
  }
  WriteDefault(ValueLastDevice, 0);
  return 0;
}

void TAppSettings::StoreVerifyAfterProgram(bool Checked) {
  FStore.PutBool(ValueVerifyAfterProgram, Checked);
}

void TAppSettings::StoreUpdateBuffer(bool Checked) {
  FStore.PutBool(ValueUpdateBuffer, Checked);
}

}  // namespace quenvar
