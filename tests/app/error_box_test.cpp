#include "quenvar/app/error_box.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <stdexcept>

#include "qt_app.h"
#include "quenvar/presenter/settings_store.h"

namespace quenvar {
namespace {

TEST(ErrorText, TakesTheErrorsOwnText) {
  EXPECT_EQ(ErrorText(std::make_exception_ptr(std::runtime_error("disk full"))), "disk full");
  EXPECT_EQ(ErrorText(std::make_exception_ptr(SetDataError("Language"))),
            "Failed to set data for 'Language'");
  EXPECT_EQ(ErrorText(std::make_exception_ptr(42)), "Unknown error");
  EXPECT_EQ(ErrorText(nullptr), "");
}

TEST(ErrorBox, GuardShowsTheTextAndTheProgramGoesOn) {
  TErrorBox box;
  std::vector<QString> shown;
  box.SetPresenter([&](const QString& text) { shown.push_back(text); });
  int stepsDone = 0;
  EXPECT_FALSE(box.Guard([&] {
    ++stepsDone;
    throw DataTypeError("Last Device");
  }));
  EXPECT_TRUE(box.Guard([&] { ++stepsDone; }));
  EXPECT_EQ(stepsDone, 2);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0], QStringLiteral("Invalid data type for 'Last Device'"));
}

TEST(ErrorBox, FailingPresenterDoesNotEscape) {
  TErrorBox box;
  box.SetPresenter([](const QString&) { throw std::runtime_error("no display"); });
  EXPECT_FALSE(box.Guard([] { throw std::runtime_error("first"); }));
}

// An object whose event handler fails the way an unguarded handler would.
class TThrowingObject : public QObject {
 public:
  bool event(QEvent* event) override {
    if (event->type() == QEvent::User) throw std::runtime_error("Datei nicht gefunden");
    return QObject::event(event);
  }
};

TEST(Application, ErrorEscapingAHandlerIsShownAndTheLoopGoesOn) {
  TApplication& app = test::App();
  std::vector<QString> shown;
  app.ErrorBox().SetPresenter([&](const QString& text) { shown.push_back(text); });
  TThrowingObject object;
  QCoreApplication::postEvent(&object, new QEvent(QEvent::User));
  QCoreApplication::postEvent(&object, new QEvent(QEvent::User));
  QCoreApplication::sendPostedEvents(&object);
  app.ErrorBox().SetPresenter(nullptr);
  EXPECT_EQ(shown, (std::vector<QString>{QStringLiteral("Datei nicht gefunden"),
                                         QStringLiteral("Datei nicht gefunden")}));
  EXPECT_EQ(QCoreApplication::applicationName(), QStringLiteral("Quenvar"));
}

}  // namespace
}  // namespace quenvar
