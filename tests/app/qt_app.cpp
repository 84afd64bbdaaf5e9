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

std::string TTempRoot::File(const char* relative) const {
  return FDir.filePath(QString::fromUtf8(relative)).toStdString();
}

std::string ReadFile(const std::string& path) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) return "<missing>";
  return file.readAll().toStdString();
}

void WriteFile(const std::string& name, const std::string& bytes) {
  const QString path = QString::fromStdString(name);
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;
  file.write(bytes.data(), static_cast<qint64>(bytes.size()));
  file.flush();
  // Qt keeps parsed settings files while their size and time stay the same;
  // a distinct time per write makes every edit here count as a change.
  static qint64 stamp = 0;
  file.setFileTime(QDateTime::fromSecsSinceEpoch(1'000'000'000 + ++stamp),
                   QFileDevice::FileModificationTime);
}

void SaveRender(QWidget& widget, const std::string& name) {
  QDir().mkpath(QStringLiteral("app_renders"));
  widget.grab().save(QStringLiteral("app_renders/") + QString::fromStdString(name) +
                     QStringLiteral(".png"));
}

}  // namespace quenvar::test
