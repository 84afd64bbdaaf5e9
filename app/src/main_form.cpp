#include "quenvar/app/main_form.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <algorithm>

#include "quenvar/app/info_form.h"
#include "quenvar/app/progress_form.h"
#include "quenvar/app/text_fit.h"
#include "quenvar/presenter/language_tables.h"

namespace quenvar {

namespace {

QString Q(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

// Where each button sits; the control table says which buttons there are.
QRect ButtonPlace(TControl button) {
  switch (button) {
    case TControl::bProg:
      return {672, 440, 89, 25};
    case TControl::bVerify:
      return {768, 440, 89, 25};
    case TControl::bRead:
      return {672, 472, 89, 25};
    case TControl::bErase:
      return {768, 472, 89, 25};
    case TControl::bDetectDevice:
      return {672, 504, 89, 25};
    case TControl::bWriteFuse:
      return {768, 504, 89, 25};
    case TControl::bprogeeprom:
      return {672, 536, 185, 25};
    default:
      return {672, 568, 185, 25};  // breadeeprom
  }
}

QString NameOf(TControl control) {
  return Q(ControlName(control));
}

constexpr int kClientWidth = 873;
constexpr int kClientHeight = 626;
constexpr int kStatusHeight = 19;

QLineEdit* MakeEdit(QWidget* parent, const char* name, QRect place) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QLatin1String(name));
  edit->setReadOnly(true);
  edit->setGeometry(place);
  return edit;
}

QLabel* MakeLabel(QWidget* parent, const char* name, std::string_view text, QPoint where) {
  auto* label = new QLabel(Q(text), parent);
  label->setObjectName(QLatin1String(name));
  label->move(where);
  label->adjustSize();
  return label;
}

}  // namespace

TMainForm::TMainForm(TProgrammerStack& stack, ISettingsStore& registryEdit1, TErrorBox& errorBox)
    : QMainWindow(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                               Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                               Qt::MSWindowsFixedSizeDialogHint),
      FStack(stack),
      FErrorBox(errorBox),
      FHexeditor(new TMPHexEditorEx()),
      FLogic(FHexeditor->Model(), registryEdit1, *this) {
  setObjectName(QStringLiteral("MainForm"));
  setWindowTitle(Q(fixed_text::kMainCaption));
  setFont(UiFont(11));
  FErrorBox.SetParent(this);

  FPresenter = std::make_unique<TMainPresenter>(FStack.StartDriver(FHexeditor->Model()));
  FPresenter->FOnError = [this](const std::string& text) { FErrorBox.Show(text); };
  FPresenter->FAskYesNo = [this](const std::string& question) {
    return QMessageBox::question(
               this, Q(fixed_text::kApplicationTitle), QString::fromStdString(question),
               QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
  };
  FLogic.Attach(*FPresenter);
  FLogic.FOnError = [this](const std::string& text) { FErrorBox.Show(text); };
  // The two file-format errors: a modal error box with one OK button.
  FLogic.FShowMessage = [this](const std::string& text) { FErrorBox.Show(text); };
  FLogic.FAskOpenFileName = [this](const TMainFormLogic::TDialog& dialog) {
    return FDialogs.Ask(dialog, false);
  };
  FLogic.FAskSaveFileName = [this](const TMainFormLogic::TDialog& dialog) {
    return FDialogs.Ask(dialog, true);
  };
  // After the driver's step has returned: it may close this window.
  FStack.ReplyTimer().FOnIdle = [this] {
    QMetaObject::invokeMethod(
        this, [this] { OperationEnded(); }, Qt::QueuedConnection);
  };

  BuildMenus();
  BuildControls();
  HexModel().SetReadOnlyView(true);
  HexModel().FOnChange = [this](TCustomMPHexEditor&) {
    FErrorBox.Guard([this] { FLogic.HexeditorChange(); });
  };
  FPresenter->Window().FOnModelChanged = [this] { Render(); };

  // Fixed size: the menu bar on top of the 873 x 626 client area.
  layout()->setSizeConstraint(QLayout::SetFixedSize);

  FErrorBox.Guard([this] { FStack.Attach(); });
  FErrorBox.Guard([this] { FLogic.FormCreate(); });
  Render();
  adjustSize();
  if (const QScreen* screen = this->screen()) {
    move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
  }
}

TMainForm::~TMainForm() {
  FPresenter->Window().FOnModelChanged = nullptr;
  FStack.ReplyTimer().FOnIdle = nullptr;
  HexModel().FOnChange = nullptr;
}

QActionGroup* TMainForm::RadioGroup(TControl menu) {
  // Radio entries of one submenu form one exclusive group; the target entries
  // of the socket and ISP submenus share theirs.
  QActionGroup*& group = menu == TControl::Sprache1 ? FLanguageGroup : FTargetGroup;
  if (group == nullptr) {
    group = new QActionGroup(this);
    // The model decides what is checked, also when nothing is.
    group->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
  }
  return group;
}

void TMainForm::BuildMenus() {
  for (const TControlInfo& info : ControlTable()) {
    QMenu* parent = info.FParent ? FMenus.at(*info.FParent) : nullptr;
    if (info.FSeparatorBefore && parent != nullptr) parent->addSeparator();
    const TControl control = info.FControl;
    switch (info.FKind) {
      case TControlKind::Menu: {
        QMenu* menu = parent ? parent->addMenu(QString()) : menuBar()->addMenu(QString());
        menu->setObjectName(NameOf(control));
        FMenus[control] = menu;
        break;
      }
      case TControlKind::Entry:
      case TControlKind::Check:
      case TControlKind::Radio: {
        auto* action = new QAction(this);
        action->setObjectName(NameOf(control));
        action->setCheckable(info.FKind != TControlKind::Entry);
        if (info.FKind == TControlKind::Radio) RadioGroup(*info.FParent)->addAction(action);
        if (!info.FShortcut.empty()) action->setShortcut(QKeySequence(Q(info.FShortcut)));
        if (parent) {
          parent->addAction(action);
        } else {
          menuBar()->addAction(action);
        }
        connect(action, &QAction::triggered, this, [this, control] { Forward(control); });
        FActions[control] = action;
        break;
      }
      case TControlKind::Button:
      case TControlKind::List:
        break;  // in the client area
    }
  }
}

void TMainForm::BuildControls() {
  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("Client"));
  client->setFixedSize(kClientWidth, kClientHeight - kStatusHeight);
  setCentralWidget(client);

  FHexeditor->setParent(client);
  FHexeditor->setObjectName(QStringLiteral("Hexeditor"));
  FHexeditor->setGeometry(8, 0, 649, 601);

  FGBDevice = new QGroupBox(Q(fixed_text::kChipGroup), client);
  FGBDevice->setObjectName(QStringLiteral("GBDevice"));
  FGBDevice->setGeometry(672, 0, 185, 97);
  // The labels end where the edits begin: shrink the box's font until they fit.
  const int labelPixels = std::min(
      FitPixelSize(UiFont(11), Q(fixed_text::kDetected), QRect(0, 0, 62, 20), Qt::AlignLeft, 11, 8),
      FitPixelSize(UiFont(11), Q(fixed_text::kSizeInBytes), QRect(0, 0, 86, 20), Qt::AlignLeft, 11,
                   8));
  FGBDevice->setFont(UiFont(labelPixels));
  FDevice = MakeEdit(FGBDevice, "Device", {8, 16, 169, 21});
  FLabel1 = MakeLabel(FGBDevice, "Label1", fixed_text::kDetected, {8, 42});
  FAutoDevice = MakeEdit(FGBDevice, "AutoDevice", {72, 40, 105, 21});
  FLabel2 = MakeLabel(FGBDevice, "Label2", fixed_text::kSizeInBytes, {8, 66});
  FCodeSize = MakeEdit(FGBDevice, "CodeSize", {96, 64, 81, 21});
  FLabel3 = MakeLabel(FGBDevice, "Label3", "", {8, 90});

  FFuseList = new QListWidget(client);
  FFuseList->setObjectName(QStringLiteral("FuseList"));
  FFuseList->setGeometry(672, 104, 185, 169);
  connect(FFuseList, &QListWidget::itemChanged, this,
          [this](QListWidgetItem* item) { FuseItemChanged(FFuseList->row(item)); });

  FVerlauf = new QPlainTextEdit(client);
  FVerlauf->setObjectName(QStringLiteral("Verlauf"));
  FVerlauf->setGeometry(672, 288, 185, 137);
  FVerlauf->setReadOnly(true);
  FVerlauf->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

  // Bold, one size per button width, as large as the longest caption of the
  // three languages allows.
  std::map<int, int> pixelsForWidth;
  for (const TControlInfo& info : ControlTable()) {
    if (info.FKind != TControlKind::Button) continue;
    const int width = ButtonPlace(info.FControl).width();
    int& pixels = pixelsForWidth.try_emplace(width, 11).first->second;
    for (std::uint8_t language = 0; language < kLanguageCount; ++language) {
      for (const TCaption& caption : CaptionTable(language)) {
        if (caption.FControl != info.FControl) continue;
        pixels = std::min(pixels, FitPixelSize(UiFont(11, true), Q(caption.FCaption),
                                               QRect(0, 0, width - 8, 20), Qt::AlignCenter, 11, 7));
      }
    }
  }
  for (const TControlInfo& info : ControlTable()) {
    if (info.FKind != TControlKind::Button) continue;
    const TControl control = info.FControl;
    auto* button = new QPushButton(client);
    button->setObjectName(NameOf(control));
    button->setGeometry(ButtonPlace(control));
    button->setFont(UiFont(pixelsForWidth[ButtonPlace(control).width()], true));
    connect(button, &QPushButton::clicked, this, [this, control] { Forward(control); });
    FButtons[control] = button;
  }

  auto* status = new QStatusBar(this);
  status->setObjectName(QStringLiteral("StatusBar"));
  status->setSizeGripEnabled(false);
  status->setFixedHeight(kStatusHeight);
  const int widths[3] = {500, 150, 50};
  for (int i = 0; i < 3; ++i) {
    FPanels[i] = new QLabel(status);
    FPanels[i]->setObjectName(QStringLiteral("Panel%1").arg(i));
    FPanels[i]->setFrameShape(QFrame::Panel);
    FPanels[i]->setFrameShadow(QFrame::Sunken);
    if (i < 2) {
      FPanels[i]->setFixedWidth(widths[i]);
      status->addWidget(FPanels[i]);
    } else {
      // The last panel runs to the window's edge, so "65536 байт" is never cut.
      FPanels[i]->setMinimumWidth(widths[i]);
      status->addWidget(FPanels[i], 1);
    }
  }
  setStatusBar(status);
}

namespace {

template <typename T>
T* Named(const std::map<TControl, T*>& widgets, const std::string& name) {
  const std::optional<TControl> control = FindControl(name);
  if (!control) return nullptr;
  const auto found = widgets.find(*control);
  return found == widgets.end() ? nullptr : found->second;
}

}  // namespace

QAction* TMainForm::Action(const std::string& name) const {
  return Named(FActions, name);
}

QMenu* TMainForm::Menu(const std::string& name) const {
  return Named(FMenus, name);
}

QPushButton* TMainForm::Button(const std::string& name) const {
  return Named(FButtons, name);
}

void TMainForm::SetAuxiliaryWindows(TInfoForm* info, TForm1* progress, IExitReminder* warning) {
  FInfoForm = info;
  FForm1 = progress;
  FWarningForm = warning;
  Render();
}

void TMainForm::Forward(TControl control) {
  // Qt flips a checkable entry on its own; the model decides, so show it again.
  FErrorBox.Guard([&] {
    if (!FPresenter->Window().Reachable(control)) return;
    if (control == TControl::nExit) {
      close();
    } else if (control == TControl::nInfo) {
      ShowInfo();
    } else {
      FPresenter->Click(control);
    }
  });
  Render();
}

void TMainForm::ShowInfo() {
  if (FInfoForm == nullptr) return;
  FInfoForm->show();
  FInfoForm->raise();
  FInfoForm->activateWindow();
}

void TMainForm::FuseItemChanged(int row) {
  if (FRendering || row < 0) return;
  // The model flips the box (or refuses to); the view follows it.
  FErrorBox.Guard([&] { FPresenter->ToggleFuse(static_cast<std::size_t>(row)); });
  Render();
}

void TMainForm::Render() {
  if (FRendering) return;
  FRendering = true;
  const TWindowModel& window = FPresenter->Window();
  FQtTranslations.Apply(FPresenter->LanguageIndexValue());
  for (const auto& [control, menu] : FMenus) {
    const TControlState& state = window.Control(control);
    menu->setTitle(QString::fromStdString(state.FCaption));
    menu->menuAction()->setEnabled(state.FEnabled);
    menu->menuAction()->setVisible(state.FVisible);
  }
  for (const auto& [control, action] : FActions) {
    const TControlState& state = window.Control(control);
    action->setText(QString::fromStdString(state.FCaption));
    // Reachable, not just enabled: a shortcut must not run an entry of a disabled menu.
    action->setEnabled(window.Reachable(control));
    action->setChecked(state.FChecked);
    action->setVisible(state.FVisible);
  }
  for (const auto& [control, button] : FButtons) {
    const TControlState& state = window.Control(control);
    button->setText(QString::fromStdString(state.FCaption));
    button->setEnabled(state.FEnabled);
    button->setVisible(state.FVisible);
  }
  FDevice->setText(QString::fromStdString(window.Device()));
  FAutoDevice->setText(QString::fromStdString(window.AutoDevice()));
  FCodeSize->setText(QString::fromStdString(window.CodeSize()));

  const auto& items = window.FuseList();
  if (FFuseList->count() != static_cast<int>(items.size())) {
    FFuseList->clear();
    for (std::size_t i = 0; i < items.size(); ++i) FFuseList->addItem(QString());
  }
  for (std::size_t i = 0; i < items.size(); ++i) {
    QListWidgetItem* item = FFuseList->item(static_cast<int>(i));
    item->setText(QString::fromStdString(items[i].FCaption));
    Qt::ItemFlags flags = Qt::ItemIsUserCheckable | Qt::ItemIsSelectable;
    if (items[i].FEnabled) flags |= Qt::ItemIsEnabled;
    item->setFlags(flags);
    item->setCheckState(items[i].FChecked ? Qt::Checked : Qt::Unchecked);
  }
  FFuseList->setEnabled(window.Enabled(TControl::FuseList));

  RenderLog(window.Verlauf());
  RenderStatusBar(window);
  RenderProgress(window);
  setEnabled(window.MainWindowEnabled() && !FClosePending);
  FRendering = false;

  const bool hasProgrammer = FPresenter->Driver().HasProgrammer();
  const bool claimed = hasProgrammer && !FHadProgrammer;
  FHadProgrammer = hasProgrammer;
  if (claimed && FOnProgrammerClaimed) FErrorBox.Guard([this] { FOnProgrammerClaimed(); });
}

void TMainForm::RenderStatusBar(const TWindowModel& window) {
  for (int i = 0; i < 3; ++i) {
    QString text = QString::fromStdString(window.StatusPanel(static_cast<std::size_t>(i)));
    if (i == 1) {
      // A long file name loses its middle, so the extension stays in view;
      // the tooltip holds it whole.
      FPanels[i]->setToolTip(text);
      const QFontMetrics metrics = FPanels[i]->fontMetrics();
      const int room =
          FPanels[i]->contentsRect().width() - metrics.horizontalAdvance(QLatin1Char('x'));
      text = metrics.elidedText(text, Qt::ElideMiddle, room);
    }
    FPanels[i]->setText(text);
  }
}

void TMainForm::RenderProgress(const TWindowModel& window) {
  if (FForm1 == nullptr) return;
  const TProgressWindow& progress = window.Progress();
  // A close that waits for the operation shows that something still runs,
  // also for the short operations that have no progress window of their own.
  const bool shown = progress.FShown || FClosePending;
  FForm1->FLabel1->setText(progress.FShown ? QString::fromStdString(progress.FLabel) : QString());
  FForm1->FGauge1->SetMaxValue(progress.FGaugeMax);
  FForm1->FGauge1->SetProgress(progress.FGaugePosition);
  if (shown && !FForm1->isVisible()) FForm1->show();
  if (!shown && FForm1->isVisible()) FForm1->close();
}

void TMainForm::RenderLog(const std::vector<std::string>& lines) {
  if (lines == FShownLog) return;
  const bool grown = lines.size() > FShownLog.size() &&
                     std::equal(FShownLog.begin(), FShownLog.end(), lines.begin());
  if (grown && !FShownLog.empty()) {
    // Lines only ever get added between clears: append, don't rebuild.
    for (std::size_t i = FShownLog.size(); i < lines.size(); ++i) {
      FVerlauf->appendPlainText(LogLineText(lines[i]));
    }
  } else {
    QString text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (i > 0) text += QLatin1Char('\n');
      text += LogLineText(lines[i]);
    }
    FVerlauf->setPlainText(text);
  }
  FShownLog = lines;
  FVerlauf->verticalScrollBar()->setValue(FVerlauf->verticalScrollBar()->maximum());
}

void TMainForm::ShowModal() {
  // The reminder is a child of this window: a disabled main window would
  // grey out its OK and swallow Return and Escape.
  setEnabled(true);
  if (FWarningForm != nullptr) FWarningForm->ShowModal();
}

void TMainForm::OperationEnded() {
  if (OperationRunning()) return;  // the next one has begun: its end comes
  if (FOnOperationEnded) FErrorBox.Guard([this] { FOnOperationEnded(); });
  if (FClosePending) {
    FClosePending = false;
    Render();
    close();
  }
}

void TMainForm::closeEvent(QCloseEvent* event) {
  if (!FClosed && OperationRunning()) {
    // A half-written chip is worse than a wait of seconds: the operation
    // ends first, then the window closes as usual.
    FClosePending = true;
    event->ignore();
    Render();
    return;
  }
  if (!FClosed) {
    FClosed = true;
    FErrorBox.Guard([this] { FLogic.FormClose(); });
    if (FInfoForm != nullptr) FInfoForm->close();
    if (FForm1 != nullptr) FForm1->close();
  }
  event->accept();
  emit Finished();
}

}  // namespace quenvar
