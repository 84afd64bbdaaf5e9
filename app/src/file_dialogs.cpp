#include "quenvar/app/file_dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>

#include "quenvar/presenter/dialog_filter.h"

namespace quenvar {

namespace {

// The patterns of a Qt name filter: what stands in its last parentheses.
QString Patterns(const QString& Filter) {
  const qsizetype open = Filter.lastIndexOf(QLatin1Char('('));
  const qsizetype close = Filter.lastIndexOf(QLatin1Char(')'));
  if (open < 0 || close < open) return QString();
  return Filter.mid(open + 1, close - open - 1);
}

}  // namespace

std::optional<std::string> TFileDialogs::Ask(const TMainFormLogic::TDialog& Dialog, bool Save) {
  QStringList filters;
  for (const std::string& filter : QtNameFilters(Dialog.Filter)) {
    filters << QString::fromStdString(filter);
  }
  QFileDialog dialog(FParent, QString::fromStdString(Dialog.Title));
  dialog.setNameFilters(filters);
  dialog.setAcceptMode(Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(Save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
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
