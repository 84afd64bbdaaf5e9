#include "quenvar/app/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>

#include "quenvar/presenter/language_tables.h"

namespace quenvar {

namespace {

struct TQtLanguage {
  QLocale::Language Locale;
  const char* Catalogue;  // none for English, Qt's own language
};

// By LanguageIndex: German, English, Russian.
constexpr TQtLanguage QtLanguages[LanguageCount] = {
    {QLocale::German, "qtbase_de"},
    {QLocale::English, nullptr},
    {QLocale::Russian, "qtbase_ru"},
};

}  // namespace

void TQtTranslations::Apply(std::uint8_t LanguageIndex) {
  if (LanguageIndex >= LanguageCount) LanguageIndex = LanguageEnglish;
  if (FApplied == LanguageIndex) return;
  FApplied = LanguageIndex;
  FTranslator.reset();
  const TQtLanguage& language = QtLanguages[LanguageIndex];
  // Dates and sizes in the file dialogs follow as well.
  QLocale::setDefault(QLocale(language.Locale));
  if (language.Catalogue == nullptr) return;
  auto translator = std::make_unique<QTranslator>();
  if (!translator->load(QLatin1String(language.Catalogue),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    return;
  }
  QCoreApplication::installTranslator(translator.get());
  FTranslator = std::move(translator);
}

}  // namespace quenvar
