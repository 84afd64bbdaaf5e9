#include "quenvar/presenter/language_switch.h"

#include <exception>

#include "quenvar/presenter/app_settings.h"
#include "quenvar/presenter/language_tables.h"

namespace quenvar {

void TLanguageSwitch::Apply(std::uint8_t LanguageIndex) {
  if (LanguageIndex >= LanguageCount) LanguageIndex = LanguageEnglish;
  FSink.SetChecked(LanguageRadios()[LanguageIndex], true);
  for (std::uint8_t other = 0; other < LanguageCount; ++other) {
    if (other != LanguageIndex) FSink.SetChecked(LanguageRadios()[other], false);
  }
  FSink.SetLanguageIndex(LanguageIndex);

  std::exception_ptr storeError;
  try {
    FStore.PutInteger(ValueLanguage, LanguageIndex + 1);
  } catch (const TRegistryError&) {
    storeError = std::current_exception();
  }

  for (const TCaption& caption : CaptionTable(LanguageIndex)) {
    FSink.SetCaption(caption.Control, caption.Caption);
  }
  const TDialogTexts open = OpenDialogTexts(LanguageIndex);
  FSink.SetDialogTexts(OpenDialogName, open.Title, open.Filter);
  const TDialogTexts save = SaveDialogTexts(LanguageIndex);
  FSink.SetDialogTexts(SaveDialogName, save.Title, save.Filter);

  if (storeError) std::rethrow_exception(storeError);
}

}  // namespace quenvar
