#pragma once

// The four persisted settings of the main window: how they are restored once
// at start-up (with their defaults and the low-byte rules) and stored when the
// user changes them.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "quenvar/presenter/settings_store.h"

namespace quenvar {

inline constexpr std::string_view kValueVerifyAfterProgram = "Verify after program";
inline constexpr std::string_view kValueUpdateBuffer = "Update buffer from file";
inline constexpr std::string_view kValueLanguage = "Language";
inline constexpr std::string_view kValueLastDevice = "Last Device";

// The key path of the main window's settings component.
inline constexpr std::string_view kSettingsKeyPath = "\\software\\Quenvar\\";

// The language index a stored "Language" low byte selects: 1 German,
// 2 English, 3 Russian, anything else English.
std::uint8_t LanguageIndexOfStored(std::uint8_t lowByte);

class TAppSettings {
 public:
  explicit TAppSettings(ISettingsStore& store) : FStore(store) {}

  // Start-up, in this order. A read or write that fails here does not stop the
  // start-up: the default is used, and the first error is kept for the caller
  // to show once the window is up.
  bool RestoreVerifyAfterProgram();
  bool RestoreUpdateBuffer();
  // The language index to apply (whose switch then stores it again).
  std::uint8_t RestoreLanguage();
  // The low byte of "Last Device".
  std::uint8_t RestoreLastDevice();

  const std::optional<std::string>& StartupError() const { return FStartupError; }

  // Changes during the run: these throw TRegistryError on failure. The target
  // is stored on close from TMainPresenter::LastDeviceIndex().
  void StoreVerifyAfterProgram(bool checked);
  void StoreUpdateBuffer(bool checked);

 private:
  bool RestoreFlag(std::string_view name);
  // The stored integer, or nothing when it is missing or unreadable.
  std::optional<std::int32_t> ReadStored(std::string_view name, std::int32_t fallback);
  void WriteDefault(std::string_view name, std::int32_t value);
  void Keep(const TRegistryError& error);

  ISettingsStore& FStore;
  std::optional<std::string> FStartupError;
};

}  // namespace quenvar
