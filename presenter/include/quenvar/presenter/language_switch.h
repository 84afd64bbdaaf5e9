#pragma once

// Switching the interface language at run time. The switch writes into a sink
// (the main window's presentation model, or any window that shows captions),
// so it needs no widgets itself.

#include <cstdint>
#include <string_view>

#include "quenvar/presenter/controls.h"
#include "quenvar/presenter/settings_store.h"

namespace quenvar {

class ILanguageSink {
 public:
  virtual ~ILanguageSink() = default;

  virtual void SetChecked(TControl control, bool checked) = 0;
  virtual void SetLanguageIndex(std::uint8_t languageIndex) = 0;
  virtual void SetCaption(TControl control, std::string_view caption) = 0;
  virtual void SetDialogTexts(std::string_view dialog, std::string_view title,
                              std::string_view filter) = 0;
};

class TLanguageSwitch {
 public:
  TLanguageSwitch(ILanguageSink& sink, ISettingsStore& store) : FSink(sink), FStore(store) {}

  void sDeutschClick() { Apply(0); }
  void sEnglishClick() { Apply(1); }
  void sRusClick() { Apply(2); }

  // Checks the language's radio entry (and unchecks the other two), sets the
  // language index, stores "Language", then sets the captions in table order
  // and the open and save dialogs' titles and filters. When storing fails the
  // captions are still switched, so the window never shows one language while
  // speaking another; the store's error is rethrown at the end.
  void Apply(std::uint8_t languageIndex);

 private:
  ILanguageSink& FSink;
  ISettingsStore& FStore;
};

}  // namespace quenvar
