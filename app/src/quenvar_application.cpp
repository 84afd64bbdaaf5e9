#include "quenvar/app/quenvar_application.h"

#include "quenvar/presenter/language_tables.h"

namespace quenvar {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
  // Only the name, not a display name: Qt would append a display name to
  // every window caption on Linux.
  setApplicationName(
      QString::fromUtf8(fixed_text::kApplicationTitle.data(),
                        static_cast<qsizetype>(fixed_text::kApplicationTitle.size())));
  setOrganizationName(QStringLiteral("Quenvar"));
  setDesktopFileName(QStringLiteral("quenvar"));
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  // The handlers are guarded themselves; this is the last line for anything
  // that still escapes, so it never unwinds through the event loop.
  bool handled = false;
  FErrorBox.Guard([&] { handled = QApplication::notify(receiver, event); });
  return handled;
}

}  // namespace quenvar
