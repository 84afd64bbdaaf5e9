#pragma once

// Qt's own texts (the file dialogs, the overwrite question, the standard
// buttons) in the window's language: Qt's catalogue for the language is
// installed with every language switch, and the language's locale becomes
// Qt's default. English is Qt's own language and needs no catalogue.

#include <QTranslator>
#include <cstdint>
#include <memory>

namespace quenvar {

class TQtTranslations {
 public:
  // Installs the catalogue of LanguageIndex (0 German, 1 English, 2 Russian)
  // in place of the previous one; nothing happens when it is already in place.
  // A missing catalogue leaves Qt's texts in English.
  void Apply(std::uint8_t languageIndex);

 private:
  std::unique_ptr<QTranslator> FTranslator;  // removes itself when destroyed
  int FApplied = -1;
};

}  // namespace quenvar
