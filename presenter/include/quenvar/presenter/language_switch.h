#pragma once

// Switching the interface language at run time. The switch writes into a sink
// (the main window's presentation model, or any window that shows captions),
// so it needs no widgets itself.

#include <cstdint>
#include <string_view>

#include "quenvar/presenter/controls.h"
#include "quenvar/presenter/settings_store.h"

namespace quenvar {

class TLanguageSink {
 public:
  virtual ~TLanguageSink() = default;

  virtual void SetChecked(TControl Control, bool Checked) = 0;
  virtual void SetLanguageIndex(std::uint8_t LanguageIndex) = 0;
  virtual void SetCaption(TControl Control, std::string_view Caption) = 0;
  virtual void SetDialogTexts(std::string_view Dialog, std::string_view Title,
                              std::string_view Filter) = 0;
};

class TLanguageSwitch {
 public:
  TLanguageSwitch(TLanguageSink& Sink, TSettingsStore& Store) : FSink(Sink), FStore(Store) {}

  void sDeutschClick() { Apply(0); }
  void sEnglishClick() { Apply(1); }
  void sRusClick() { Apply(2); }

  // Checks the language's radio entry (and unchecks the other two), sets the
  // language index, stores "Language", then sets the captions in table order
  // and the open and save dialogs' titles and filters. When storing fails the
  // captions are still switched, so the window never shows one language while
  // speaking another; the store's error is rethrown at the end.
  void Apply(std::uint8_t LanguageIndex);

 private:
  TLanguageSink& FSink;
  TSettingsStore& FStore;
};

}  // namespace quenvar
