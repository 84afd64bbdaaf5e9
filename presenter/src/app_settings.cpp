#include "quenvar/presenter/app_settings.h"

#include "quenvar/presenter/language_tables.h"

namespace quenvar {

std::uint8_t LanguageIndexOfStored(std::uint8_t lowByte) {
  switch (lowByte) {
    case 1:
      return kLanguageGerman;
    case 3:
      return kLanguageRussian;
    default:
      return kLanguageEnglish;
  }
}

void TAppSettings::Keep(const TRegistryError& error) {
  if (!FStartupError) FStartupError = error.what();
}

std::optional<std::int32_t> TAppSettings::ReadStored(std::string_view name, std::int32_t fallback) {
  try {
    if (!FStore.HasValue(name)) return std::nullopt;
    return FStore.GetInteger(name, fallback);
  } catch (const TRegistryError& error) {
    // A value of the wrong kind is reported and then replaced by the default,
    // so the error does not come back at every start.
    Keep(error);
    return std::nullopt;
  }
}

void TAppSettings::WriteDefault(std::string_view name, std::int32_t value) {
  try {
    FStore.PutInteger(name, value);
  } catch (const TRegistryError& error) {
    Keep(error);
  }
}

bool TAppSettings::RestoreFlag(std::string_view name) {
  if (const auto stored = ReadStored(name, 1)) return *stored != 0;
  WriteDefault(name, 1);
  return true;
}

bool TAppSettings::RestoreVerifyAfterProgram() {
  return RestoreFlag(kValueVerifyAfterProgram);
}

bool TAppSettings::RestoreUpdateBuffer() {
  return RestoreFlag(kValueUpdateBuffer);
}

std::uint8_t TAppSettings::RestoreLanguage() {
  if (const auto stored = ReadStored(kValueLanguage, 2)) {
    return LanguageIndexOfStored(static_cast<std::uint8_t>(*stored & 0xFF));
  }
  // A missing value is first stored as German; applying English right after
  // stores 2, so the store ends up with English as well.
  WriteDefault(kValueLanguage, 1);
  return kLanguageEnglish;
}

std::uint8_t TAppSettings::RestoreLastDevice() {
  if (const auto stored = ReadStored(kValueLastDevice, 0)) {
    return static_cast<std::uint8_t>(*stored & 0xFF);
  }
  WriteDefault(kValueLastDevice, 0);
  return 0;
}

void TAppSettings::StoreVerifyAfterProgram(bool checked) {
  FStore.PutBool(kValueVerifyAfterProgram, checked);
}

void TAppSettings::StoreUpdateBuffer(bool checked) {
  FStore.PutBool(kValueUpdateBuffer, checked);
}

}  // namespace quenvar
