#include "quenvar/app/file_dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>

#include "quenvar/presenter/dialog_filter.h"

namespace quenvar {

namespace {

// The patterns of a Qt name filter: what stands in its last parentheses.
QString Patterns(const QString& filter) {
  const qsizetype open = filter.lastIndexOf(QLatin1Char('('));
  const qsizetype close = filter.lastIndexOf(QLatin1Char(')'));
  if (open < 0 || close < open) return QString();
  return filter.mid(open + 1, close - open - 1);
}

}  // namespace

std::optional<std::string> TFileDialogs::Ask(const TMainFormLogic::TDialog& texts, bool save) {
  QStringList filters;
  for (const std::string& filter : QtNameFilters(texts.FFilter)) {
    filters << QString::fromStdString(filter);
  }
  QFileDialog dialog(FParent, QString::fromStdString(texts.FTitle));
  dialog.setNameFilters(filters);
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  if (!FLastFile.isEmpty()) {
    const QFileInfo last(FLastFile);
    for (const QString& filter : filters) {
      if (QDir::match(Patterns(filter), last.fileName())) {
        dialog.selectNameFilter(filter);
        break;
      }
    }
    dialog.setDirectory(last.absolutePath());
    dialog.selectFile(last.fileName());
  }
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty() || chosen.front().isEmpty()) return std::nullopt;
  FLastFile = chosen.front();
  return FLastFile.toStdString();
}

}  // namespace quenvar
