#include "quenvar/presenter/language_switch.h"

#include <exception>

#include "quenvar/presenter/app_settings.h"
#include "quenvar/presenter/language_tables.h"

namespace quenvar {

void TLanguageSwitch::Apply(std::uint8_t languageIndex) {
  if (languageIndex >= kLanguageCount) languageIndex = kLanguageEnglish;
  FSink.SetChecked(LanguageRadios()[languageIndex], true);
  for (std::uint8_t other = 0; other < kLanguageCount; ++other) {
    if (other != languageIndex) FSink.SetChecked(LanguageRadios()[other], false);
  }
  FSink.SetLanguageIndex(languageIndex);

  std::exception_ptr storeError;
  try {
    FStore.PutInteger(kValueLanguage, languageIndex + 1);
  } catch (const TRegistryError&) {
    storeError = std::current_exception();
  }

  for (const TCaption& caption : CaptionTable(languageIndex)) {
    FSink.SetCaption(caption.FControl, caption.FCaption);
  }
  const TDialogTexts open = OpenDialogTexts(languageIndex);
  FSink.SetDialogTexts(kOpenDialogName, open.FTitle, open.FFilter);
  const TDialogTexts save = SaveDialogTexts(languageIndex);
  FSink.SetDialogTexts(kSaveDialogName, save.FTitle, save.FFilter);

  if (storeError) std::rethrow_exception(storeError);
}

}  // namespace quenvar
