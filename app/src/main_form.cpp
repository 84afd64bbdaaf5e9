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

QString Q(std::string_view Utf8) {
  return QString::fromUtf8(Utf8.data(), static_cast<qsizetype>(Utf8.size()));
}

// Where each button sits; the control table says which buttons there are.
QRect ButtonPlace(TControl Button) {
  switch (Button) {
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

QString NameOf(TControl Control) {
  return Q(ControlName(Control));
}

constexpr int ClientWidth = 873;
constexpr int ClientHeight = 626;
constexpr int StatusHeight = 19;

QLineEdit* MakeEdit(QWidget* Parent, const char* Name, QRect Place) {
  auto* edit = new QLineEdit(Parent);
  edit->setObjectName(QLatin1String(Name));
  edit->setReadOnly(true);
  edit->setGeometry(Place);
  return edit;
}

QLabel* MakeLabel(QWidget* Parent, const char* Name, std::string_view Text, QPoint Where) {
  auto* label = new QLabel(Q(Text), Parent);
  label->setObjectName(QLatin1String(Name));
  label->move(Where);
  label->adjustSize();
  return label;
}

}  // namespace

TMainForm::TMainForm(TProgrammerStack& Stack, TSettingsStore& RegistryEdit1, TErrorBox& ErrorBox)
    : QMainWindow(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                               Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                               Qt::MSWindowsFixedSizeDialogHint),
      FStack(Stack),
      FErrorBox(ErrorBox),
      FHexeditor(new TMPHexEditorEx()),
      FLogic(FHexeditor->Model(), RegistryEdit1, *this) {
  setObjectName(QStringLiteral("MainForm"));
  setWindowTitle(Q(fixed_text::MainCaption));
  setFont(UiFont(11));
  FErrorBox.SetParent(this);

  FPresenter = std::make_unique<TMainPresenter>(FStack.StartDriver(FHexeditor->Model()));
  FPresenter->OnError = [this](const std::string& text) { FErrorBox.Show(text); };
  FPresenter->AskYesNo = [this](const std::string& question) {
    return QMessageBox::question(
               this, Q(fixed_text::ApplicationTitle), QString::fromStdString(question),
               QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
  };
  FLogic.Attach(*FPresenter);
  FLogic.OnError = [this](const std::string& text) { FErrorBox.Show(text); };
  // The two file-format errors: a modal error box with one OK button.
  FLogic.ShowMessage = [this](const std::string& text) { FErrorBox.Show(text); };
  FLogic.AskOpenFileName = [this](const TMainFormLogic::TDialog& dialog) {
    return FDialogs.Ask(dialog, false);
  };
  FLogic.AskSaveFileName = [this](const TMainFormLogic::TDialog& dialog) {
    return FDialogs.Ask(dialog, true);
  };
  // After the driver's step has returned: it may close this window.
  FStack.ReplyTimer().OnIdle = [this] {
    QMetaObject::invokeMethod(
        this, [this] { OperationEnded(); }, Qt::QueuedConnection);
  };

  BuildMenus();
  BuildControls();
  HexModel().SetReadOnlyView(true);
  HexModel().OnChange = [this](TCustomMPHexEditor&) {
    FErrorBox.Guard([this] { FLogic.HexeditorChange(); });
  };
  FPresenter->Window().OnModelChanged = [this] { Render(); };

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
  FPresenter->Window().OnModelChanged = nullptr;
  FStack.ReplyTimer().OnIdle = nullptr;
  HexModel().OnChange = nullptr;
}

QActionGroup* TMainForm::RadioGroup(TControl Menu) {
  // Radio entries of one submenu form one exclusive group; the target entries
  // of the socket and ISP submenus share theirs.
  QActionGroup*& group = Menu == TControl::Sprache1 ? FLanguageGroup : FTargetGroup;
  if (group == nullptr) {
    group = new QActionGroup(this);
    // The model decides what is checked, also when nothing is.
    group->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
  }
  return group;
}

void TMainForm::BuildMenus() {
  for (const TControlInfo& info : ControlTable()) {
    QMenu* parent = info.Parent ? FMenus.at(*info.Parent) : nullptr;
    if (info.SeparatorBefore && parent != nullptr) parent->addSeparator();
    const TControl control = info.Control;
    switch (info.Kind) {
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
        action->setCheckable(info.Kind != TControlKind::Entry);
        if (info.Kind == TControlKind::Radio) RadioGroup(*info.Parent)->addAction(action);
        if (!info.Shortcut.empty()) action->setShortcut(QKeySequence(Q(info.Shortcut)));
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
  client->setFixedSize(ClientWidth, ClientHeight - StatusHeight);
  setCentralWidget(client);

  FHexeditor->setParent(client);
  FHexeditor->setObjectName(QStringLiteral("Hexeditor"));
  FHexeditor->setGeometry(8, 0, 649, 601);

  GBDevice = new QGroupBox(Q(fixed_text::ChipGroup), client);
  GBDevice->setObjectName(QStringLiteral("GBDevice"));
  GBDevice->setGeometry(672, 0, 185, 97);
  // The labels end where the edits begin: shrink the box's font until they fit.
  const int labelPixels = std::min(
      FitPixelSize(UiFont(11), Q(fixed_text::Detected), QRect(0, 0, 62, 20), Qt::AlignLeft, 11, 8),
      FitPixelSize(UiFont(11), Q(fixed_text::SizeInBytes), QRect(0, 0, 86, 20), Qt::AlignLeft, 11,
                   8));
  GBDevice->setFont(UiFont(labelPixels));
  Device = MakeEdit(GBDevice, "Device", {8, 16, 169, 21});
  Label1 = MakeLabel(GBDevice, "Label1", fixed_text::Detected, {8, 42});
  AutoDevice = MakeEdit(GBDevice, "AutoDevice", {72, 40, 105, 21});
  Label2 = MakeLabel(GBDevice, "Label2", fixed_text::SizeInBytes, {8, 66});
  CodeSize = MakeEdit(GBDevice, "CodeSize", {96, 64, 81, 21});
  Label3 = MakeLabel(GBDevice, "Label3", "", {8, 90});

  FuseList = new QListWidget(client);
  FuseList->setObjectName(QStringLiteral("FuseList"));
  FuseList->setGeometry(672, 104, 185, 169);
  connect(FuseList, &QListWidget::itemChanged, this,
          [this](QListWidgetItem* item) { FuseItemChanged(FuseList->row(item)); });

  Verlauf = new QPlainTextEdit(client);
  Verlauf->setObjectName(QStringLiteral("Verlauf"));
  Verlauf->setGeometry(672, 288, 185, 137);
  Verlauf->setReadOnly(true);
  Verlauf->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

  // Bold, one size per button width, as large as the longest caption of the
  // three languages allows.
  std::map<int, int> pixelsForWidth;
  for (const TControlInfo& info : ControlTable()) {
    if (info.Kind != TControlKind::Button) continue;
    const int width = ButtonPlace(info.Control).width();
    int& pixels = pixelsForWidth.try_emplace(width, 11).first->second;
    for (std::uint8_t language = 0; language < LanguageCount; ++language) {
      for (const TCaption& caption : CaptionTable(language)) {
        if (caption.Control != info.Control) continue;
        pixels = std::min(pixels, FitPixelSize(UiFont(11, true), Q(caption.Caption),
                                               QRect(0, 0, width - 8, 20), Qt::AlignCenter, 11, 7));
      }
    }
  }
  for (const TControlInfo& info : ControlTable()) {
    if (info.Kind != TControlKind::Button) continue;
    const TControl control = info.Control;
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
  status->setFixedHeight(StatusHeight);
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
T* Named(const std::map<TControl, T*>& Widgets, const std::string& Name) {
  const std::optional<TControl> control = FindControl(Name);
  if (!control) return nullptr;
  const auto found = Widgets.find(*control);
  return found == Widgets.end() ? nullptr : found->second;
}

}  // namespace

QAction* TMainForm::Action(const std::string& Name) const {
  return Named(FActions, Name);
}

QMenu* TMainForm::Menu(const std::string& Name) const {
  return Named(FMenus, Name);
}

QPushButton* TMainForm::Button(const std::string& Name) const {
  return Named(FButtons, Name);
}

void TMainForm::SetAuxiliaryWindows(TInfoForm* Info, TForm1* Progress, TExitReminder* Warning) {
  FInfoForm = Info;
  FForm1 = Progress;
  FWarningForm = Warning;
  Render();
}

void TMainForm::Forward(TControl Control) {
  // Qt flips a checkable entry on its own; the model decides, so show it again.
  FErrorBox.Guard([&] {
    if (!FPresenter->Window().Reachable(Control)) return;
    if (Control == TControl::nExit) {
      close();
    } else if (Control == TControl::nInfo) {
      ShowInfo();
    } else {
      FPresenter->Click(Control);
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

void TMainForm::FuseItemChanged(int Row) {
  if (FRendering || Row < 0) return;
  // The model flips the box (or refuses to); the view follows it.
  FErrorBox.Guard([&] { FPresenter->ToggleFuse(static_cast<std::size_t>(Row)); });
  Render();
}

void TMainForm::Render() {
  if (FRendering) return;
  FRendering = true;
  const TWindowModel& window = FPresenter->Window();
  FQtTranslations.Apply(FPresenter->LanguageIndexValue());
  for (const auto& [control, menu] : FMenus) {
    const TControlState& state = window.Control(control);
    menu->setTitle(QString::fromStdString(state.Caption));
    menu->menuAction()->setEnabled(state.Enabled);
    menu->menuAction()->setVisible(state.Visible);
  }
  for (const auto& [control, action] : FActions) {
    const TControlState& state = window.Control(control);
    action->setText(QString::fromStdString(state.Caption));
    // Reachable, not just enabled: a shortcut must not run an entry of a disabled menu.
    action->setEnabled(window.Reachable(control));
    action->setChecked(state.Checked);
    action->setVisible(state.Visible);
  }
  for (const auto& [control, button] : FButtons) {
    const TControlState& state = window.Control(control);
    button->setText(QString::fromStdString(state.Caption));
    button->setEnabled(state.Enabled);
    button->setVisible(state.Visible);
  }
  Device->setText(QString::fromStdString(window.Device()));
  AutoDevice->setText(QString::fromStdString(window.AutoDevice()));
  CodeSize->setText(QString::fromStdString(window.CodeSize()));

  const auto& items = window.FuseList();
  if (FuseList->count() != static_cast<int>(items.size())) {
    FuseList->clear();
    for (std::size_t i = 0; i < items.size(); ++i) FuseList->addItem(QString());
  }
  for (std::size_t i = 0; i < items.size(); ++i) {
    QListWidgetItem* item = FuseList->item(static_cast<int>(i));
    item->setText(QString::fromStdString(items[i].Caption));
    Qt::ItemFlags flags = Qt::ItemIsUserCheckable | Qt::ItemIsSelectable;
    if (items[i].Enabled) flags |= Qt::ItemIsEnabled;
    item->setFlags(flags);
    item->setCheckState(items[i].Checked ? Qt::Checked : Qt::Unchecked);
  }
  FuseList->setEnabled(window.Enabled(TControl::FuseList));

  RenderLog(window.Verlauf());
  RenderStatusBar(window);
  RenderProgress(window);
  setEnabled(window.MainWindowEnabled() && !FClosePending);
  FRendering = false;

  const bool hasProgrammer = FPresenter->Driver().HasProgrammer();
  const bool claimed = hasProgrammer && !FHadProgrammer;
  FHadProgrammer = hasProgrammer;
  if (claimed && OnProgrammerClaimed) FErrorBox.Guard([this] { OnProgrammerClaimed(); });
}

void TMainForm::RenderStatusBar(const TWindowModel& Window) {
  for (int i = 0; i < 3; ++i) {
    QString text = QString::fromStdString(Window.StatusPanel(static_cast<std::size_t>(i)));
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

void TMainForm::RenderProgress(const TWindowModel& Window) {
  if (FForm1 == nullptr) return;
  const TProgressWindow& progress = Window.Progress();
  // A close that waits for the operation shows that something still runs,
  // also for the short operations that have no progress window of their own.
  const bool shown = progress.Shown || FClosePending;
  FForm1->Label1->setText(progress.Shown ? QString::fromStdString(progress.Label) : QString());
  FForm1->Gauge1->SetMaxValue(progress.GaugeMax);
  FForm1->Gauge1->SetProgress(progress.GaugePosition);
  if (shown && !FForm1->isVisible()) FForm1->show();
  if (!shown && FForm1->isVisible()) FForm1->close();
}

void TMainForm::RenderLog(const std::vector<std::string>& Lines) {
  if (Lines == FShownLog) return;
  const bool grown = Lines.size() > FShownLog.size() &&
                     std::equal(FShownLog.begin(), FShownLog.end(), Lines.begin());
  if (grown && !FShownLog.empty()) {
    // Lines only ever get added between clears: append, don't rebuild.
    for (std::size_t i = FShownLog.size(); i < Lines.size(); ++i) {
      Verlauf->appendPlainText(LogLineText(Lines[i]));
    }
  } else {
    QString text;
    for (std::size_t i = 0; i < Lines.size(); ++i) {
      if (i > 0) text += QLatin1Char('\n');
      text += LogLineText(Lines[i]);
    }
    Verlauf->setPlainText(text);
  }
  FShownLog = Lines;
  Verlauf->verticalScrollBar()->setValue(Verlauf->verticalScrollBar()->maximum());
}

void TMainForm::ShowModal() {
  // The reminder is a child of this window: a disabled main window would
  // grey out its OK and swallow Return and Escape.
  setEnabled(true);
  if (FWarningForm != nullptr) FWarningForm->ShowModal();
}

void TMainForm::OperationEnded() {
  if (OperationRunning()) return;  // the next one has begun: its end comes
  if (OnOperationEnded) FErrorBox.Guard([this] { OnOperationEnded(); });
  if (FClosePending) {
    FClosePending = false;
    Render();
    close();
  }
}

void TMainForm::closeEvent(QCloseEvent* Event) {
  if (!FClosed && OperationRunning()) {
    // A half-written chip is worse than a wait of seconds: the operation
    // ends first, then the window closes as usual.
    FClosePending = true;
    Event->ignore();
    Render();
    return;
  }
  if (!FClosed) {
    FClosed = true;
    FErrorBox.Guard([this] { FLogic.FormClose(); });
    if (FInfoForm != nullptr) FInfoForm->close();
    if (FForm1 != nullptr) FForm1->close();
  }
  Event->accept();
  emit Finished();
}

}  // namespace quenvar
