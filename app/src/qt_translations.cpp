#include "quenvar/app/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>

#include "quenvar/presenter/language_tables.h"

namespace quenvar {

namespace {

struct TQtLanguage {
  QLocale::Language FLocale;
  const char* FCatalogue;  // none for English, Qt's own language
};

// By LanguageIndex: German, English, Russian.
constexpr TQtLanguage kQtLanguages[kLanguageCount] = {
    {QLocale::German, "qtbase_de"},
    {QLocale::English, nullptr},
    {QLocale::Russian, "qtbase_ru"},
};

}  // namespace

void TQtTranslations::Apply(std::uint8_t languageIndex) {
  if (languageIndex >= kLanguageCount) languageIndex = kLanguageEnglish;
  if (FApplied == languageIndex) return;
  FApplied = languageIndex;
  FTranslator.reset();
  const TQtLanguage& language = kQtLanguages[languageIndex];
  // Dates and sizes in the file dialogs follow as well.
  QLocale::setDefault(QLocale(language.FLocale));
  if (language.FCatalogue == nullptr) return;
  auto translator = std::make_unique<QTranslator>();
  if (!translator->load(QLatin1String(language.FCatalogue),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    return;
  }
  QCoreApplication::installTranslator(translator.get());
  FTranslator = std::move(translator);
}

}  // namespace quenvar
