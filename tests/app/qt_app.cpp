#include "qt_app.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QWidget>

namespace quenvar::test {

TApplication& App() {
  static int argc = 1;
  static char name[] = "app_tests";
  static char* argv[] = {name, nullptr};
  // Never destroyed: Qt's own statics may already be gone at exit.
  static TApplication* app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return new TApplication(argc, argv);
  }();
  return *app;
}

TTempRoot::TTempRoot() {
  App();
}

std::string TTempRoot::File(const char* Relative) const {
  return FDir.filePath(QString::fromUtf8(Relative)).toStdString();
}

std::string ReadFile(const std::string& Path) {
  QFile file(QString::fromStdString(Path));
  if (!file.open(QIODevice::ReadOnly)) return "<missing>";
  return file.readAll().toStdString();
}

void WriteFile(const std::string& Path, const std::string& Bytes) {
  const QString path = QString::fromStdString(Path);
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;
  file.write(Bytes.data(), static_cast<qint64>(Bytes.size()));
  file.flush();
  // Qt keeps parsed settings files while their size and time stay the same;
  // a distinct time per write makes every edit here count as a change.
  static qint64 stamp = 0;
  file.setFileTime(QDateTime::fromSecsSinceEpoch(1'000'000'000 + ++stamp),
                   QFileDevice::FileModificationTime);
}

void SaveRender(QWidget& Widget, const std::string& Name) {
  QDir().mkpath(QStringLiteral("app_renders"));
  Widget.grab().save(QStringLiteral("app_renders/") + QString::fromStdString(Name) +
                     QStringLiteral(".png"));
}

}  // namespace quenvar::test
