#include "quenvar/app/quenvar_application.h"

#include "quenvar/presenter/language_tables.h"

namespace quenvar {

TApplication::TApplication(int& Argc, char** Argv) : QApplication(Argc, Argv) {
  // Only the name, not a display name: Qt would append a display name to
  // every window caption on Linux.
  setApplicationName(
      QString::fromUtf8(fixed_text::ApplicationTitle.data(),
                        static_cast<qsizetype>(fixed_text::ApplicationTitle.size())));
  setOrganizationName(QStringLiteral("Quenvar"));
  setDesktopFileName(QStringLiteral("quenvar"));
}

bool TApplication::notify(QObject* Receiver, QEvent* Event) {
  // The handlers are guarded themselves; this is the last line for anything
  // that still escapes, so it never unwinds through the event loop.
  bool handled = false;
  FErrorBox.Guard([&] { handled = QApplication::notify(Receiver, Event); });
  return handled;
}

}  // namespace quenvar
