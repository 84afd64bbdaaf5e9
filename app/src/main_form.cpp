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
#include "quenvar/app/language_tables.h"
#include "quenvar/app/progress_form.h"
#include "quenvar/app/text_fit.h"
#include "quenvar/core/eeprom_types.h"
#include "quenvar/core/operation_refusal.h"

namespace quenvar {

namespace {

QString Q(std::string_view Utf8) {
  return QString::fromUtf8(Utf8.data(), static_cast<qsizetype>(Utf8.size()));
}

// Radio entries of one submenu form one exclusive group; the target entries
// of the socket and ISP submenus share theirs.
enum class TKind { Menu, Entry, Check, Radio, Separator };

struct TMenuEntry {
  const char* Name;  // empty for a separator
  const char* Parent;
  TKind Kind;
  const char* Shortcut;
};

// The menu bar in order; the 24xx entries go into nSerialEeprom.
constexpr TMenuEntry MenuLayout[] = {
    {"nFile", "", TKind::Menu, ""},
    {"nopen", "nFile", TKind::Entry, "Ctrl+O"},
    {"nsave", "nFile", TKind::Entry, "Ctrl+S"},
    {"", "nFile", TKind::Separator, ""},
    {"nExit", "nFile", TKind::Entry, "Ctrl+X"},
    {"nBuffer", "", TKind::Menu, ""},
    {"nUndo", "nBuffer", TKind::Entry, "Ctrl+U"},
    {"nRedo", "nBuffer", TKind::Entry, "Ctrl+R"},
    {"neditbuffer", "nBuffer", TKind::Check, ""},
    {"", "nBuffer", TKind::Separator, ""},
    {"updatebuffer", "nBuffer", TKind::Check, ""},
    {"nDevice", "", TKind::Menu, ""},
    {"nsocket", "nDevice", TKind::Menu, ""},
    {"nSerialEeprom", "nsocket", TKind::Menu, ""},
    {"nisp", "nDevice", TKind::Menu, ""},
    {"nAVRISP", "nisp", TKind::Radio, ""},
    {"nChose", "", TKind::Menu, ""},
    {"nprogflash", "nChose", TKind::Entry, ""},
    {"nverifyflash", "nChose", TKind::Entry, ""},
    {"nreadflash", "nChose", TKind::Entry, ""},
    {"nErase", "nChose", TKind::Entry, ""},
    {"", "nChose", TKind::Separator, ""},
    {"nprogeeprom", "nChose", TKind::Entry, ""},
    {"nreadeeprom", "nChose", TKind::Entry, ""},
    {"", "nChose", TKind::Separator, ""},
    {"nDetectDevice", "nChose", TKind::Entry, ""},
    {"nWritefuse", "nChose", TKind::Entry, ""},
    {"nSetup", "", TKind::Menu, ""},
    {"nverifyprogramm", "nSetup", TKind::Check, ""},
    {"", "nSetup", TKind::Separator, ""},
    {"Sprache1", "nSetup", TKind::Menu, ""},
    {"sDeutsch", "Sprache1", TKind::Radio, ""},
    {"sEnglish", "Sprache1", TKind::Radio, ""},
    {"sRus", "Sprache1", TKind::Radio, ""},
    {"nInfo", "", TKind::Entry, ""},
};

// Captions no language switch touches.
constexpr std::pair<const char*, std::string_view> FixedCaptions[] = {
    {"Sprache1", fixed_text::LanguageMenu}, {"sDeutsch", fixed_text::German},
    {"sEnglish", fixed_text::English},      {"sRus", fixed_text::Russian},
    {"nsocket", fixed_text::Socket},        {"nSerialEeprom", fixed_text::SerialEeprom},
    {"nisp", fixed_text::IspConnector},
};

struct TButtonPlace {
  const char* Name;
  QRect Place;
};

constexpr TButtonPlace ButtonLayout[] = {
    {"bProg", {672, 440, 89, 25}},         {"bVerify", {768, 440, 89, 25}},
    {"bRead", {672, 472, 89, 25}},         {"bErase", {768, 472, 89, 25}},
    {"bDetectDevice", {672, 504, 89, 25}}, {"bWriteFuse", {768, 504, 89, 25}},
    {"bprogeeprom", {672, 536, 185, 25}},  {"breadeeprom", {672, 568, 185, 25}},
};

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

TQtReplyTimer::TQtReplyTimer() {
  FTimer.setSingleShot(true);
  QObject::connect(&FTimer, &QTimer::timeout, [this] {
    auto call = FOnExpired;  // the handler may start the timer again
    if (call) call();
    if (!FTimer.isActive() && OnIdle) OnIdle();
  });
}

void TQtReplyTimer::Start(std::chrono::milliseconds Timeout, std::function<void()> OnExpired) {
  FOnExpired = std::move(OnExpired);
  FTimer.start(static_cast<int>(Timeout.count()));
}

void TQtReplyTimer::Stop() {
  const bool wasRunning = FTimer.isActive();
  FTimer.stop();
  if (wasRunning && OnIdle) OnIdle();
}

TMainForm::TMainForm(IProgrammerPort& Port, TSettingsStore& RegistryEdit1, TErrorBox& ErrorBox,
                     const std::function<void(TProgrammerSession&)>& OnSessionCreated)
    : QMainWindow(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                               Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                               Qt::MSWindowsFixedSizeDialogHint),
      FErrorBox(ErrorBox),
      FHexeditor(new TMPHexEditorEx()),
      FLogic(FHexeditor->Model(), RegistryEdit1, *this) {
  setObjectName(QStringLiteral("MainForm"));
  setWindowTitle(Q(fixed_text::MainCaption));
  setFont(UiFont(11));
  FErrorBox.SetParent(this);

  TProgrammerSession::TPorts ports;
  ports.Port = &Port;
  ports.Buffer = &FBuffer;
  ports.Reloader = &FLogic;
  ports.Timer = &FTimer;
  FSession = std::make_unique<TProgrammerSession>(ports);
  FSession->OnError = [this](const std::string& text) { FErrorBox.Show(text); };
  FSession->OnRefused = [this](const TOperationRefusal& refusal) {
    FErrorBox.Show(RefusalText(refusal, FSession->LanguageIndexValue()));
  };
  FSession->AskYesNo = [this](const std::string& question) {
    return QMessageBox::question(
               this, Q(fixed_text::ApplicationTitle), QString::fromStdString(question),
               QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
  };
  FLogic.Attach(*FSession);
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
  FTimer.OnIdle = [this] {
    QMetaObject::invokeMethod(
        this, [this] { OperationEnded(); }, Qt::QueuedConnection);
  };
  for (const auto& [name, caption] : FixedCaptions) {
    FSession->Window().SetCaption(name, std::string(caption));
  }

  BuildMenus();
  BuildControls();
  HexModel().SetReadOnlyView(true);
  HexModel().OnChange = [this](TCustomMPHexEditor&) {
    FErrorBox.Guard([this] { FLogic.HexeditorChange(); });
  };
  FSession->Window().OnModelChanged = [this] { Render(); };

  // Fixed size: the menu bar on top of the 873 x 626 client area.
  layout()->setSizeConstraint(QLayout::SetFixedSize);

  FErrorBox.Guard([&] {
    if (OnSessionCreated) OnSessionCreated(*FSession);
  });
  FErrorBox.Guard([this] { FLogic.FormCreate(); });
  Render();
  adjustSize();
  if (const QScreen* screen = this->screen()) {
    move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
  }
}

TMainForm::~TMainForm() {
  FSession->Window().OnModelChanged = nullptr;
  FTimer.OnIdle = nullptr;
}

QActionGroup* TMainForm::RadioGroup(std::string_view Menu) {
  QActionGroup*& group = Menu == "Sprache1" ? FLanguageGroup : FTargetGroup;
  if (group == nullptr) {
    group = new QActionGroup(this);
    // The model decides what is checked, also when nothing is.
    group->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
  }
  return group;
}

void TMainForm::BuildMenus() {
  for (const TMenuEntry& entry : MenuLayout) {
    QMenu* parent = entry.Parent[0] ? FMenus.at(entry.Parent) : nullptr;
    const std::string name = entry.Name;
    switch (entry.Kind) {
      case TKind::Separator:
        parent->addSeparator();
        break;
      case TKind::Menu: {
        QMenu* menu = parent ? parent->addMenu(QString()) : menuBar()->addMenu(QString());
        menu->setObjectName(QString::fromStdString(name));
        FMenus[name] = menu;
        break;
      }
      case TKind::Entry:
      case TKind::Check:
      case TKind::Radio: {
        auto* action = new QAction(this);
        action->setObjectName(QString::fromStdString(name));
        action->setCheckable(entry.Kind != TKind::Entry);
        if (entry.Kind == TKind::Radio) RadioGroup(entry.Parent)->addAction(action);
        if (entry.Shortcut[0]) action->setShortcut(QKeySequence(QLatin1String(entry.Shortcut)));
        if (parent) {
          parent->addAction(action);
        } else {
          menuBar()->addAction(action);
        }
        connect(action, &QAction::triggered, this, [this, name] { Forward(name); });
        FActions[name] = action;
        break;
      }
    }
    if (name == "nSerialEeprom") {
      for (const TEepromType& type : EepromTypes()) {
        auto* action = new QAction(this);
        const std::string typeName = type.MenuName;
        action->setObjectName(QString::fromStdString(typeName));
        action->setCheckable(true);
        RadioGroup(name)->addAction(action);
        FMenus[name]->addAction(action);
        connect(action, &QAction::triggered, this, [this, typeName] { Forward(typeName); });
        FActions[typeName] = action;
      }
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
  for (const TButtonPlace& place : ButtonLayout) {
    int& pixels = pixelsForWidth.try_emplace(place.Place.width(), 11).first->second;
    for (std::uint8_t language = 0; language < LanguageCount; ++language) {
      for (const TCaption& caption : CaptionTable(language)) {
        if (caption.Name != place.Name) continue;
        pixels = std::min(
            pixels, FitPixelSize(UiFont(11, true), Q(caption.Caption),
                                 QRect(0, 0, place.Place.width() - 8, 20), Qt::AlignCenter, 11, 7));
      }
    }
  }
  for (const TButtonPlace& place : ButtonLayout) {
    auto* button = new QPushButton(client);
    const std::string name = place.Name;
    button->setObjectName(QString::fromStdString(name));
    button->setGeometry(place.Place);
    button->setFont(UiFont(pixelsForWidth[place.Place.width()], true));
    connect(button, &QPushButton::clicked, this, [this, name] { Forward(name); });
    FButtons[name] = button;
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

QAction* TMainForm::Action(const std::string& Name) const {
  const auto found = FActions.find(Name);
  return found == FActions.end() ? nullptr : found->second;
}

QMenu* TMainForm::Menu(const std::string& Name) const {
  const auto found = FMenus.find(Name);
  return found == FMenus.end() ? nullptr : found->second;
}

QPushButton* TMainForm::Button(const std::string& Name) const {
  const auto found = FButtons.find(Name);
  return found == FButtons.end() ? nullptr : found->second;
}

void TMainForm::SetAuxiliaryWindows(TInfoForm* Info, TForm1* Progress, TExitReminder* Warning) {
  FInfoForm = Info;
  FForm1 = Progress;
  FWarningForm = Warning;
  Render();
}

void TMainForm::Forward(const std::string& Name) {
  // Qt flips a checkable entry on its own; the model decides, so show it again.
  FErrorBox.Guard([&] {
    TWindowModel& window = FSession->Window();
    if (!window.Reachable(Name)) return;
    if (Name == "nopen") {
      FLogic.nopenClick();
    } else if (Name == "nsave") {
      FLogic.nsaveClick();
    } else if (Name == "nExit") {
      close();
    } else if (Name == "nUndo") {
      FLogic.nUndoClick();
    } else if (Name == "nRedo") {
      FLogic.nRedoClick();
    } else if (Name == "neditbuffer") {
      FLogic.neditbufferClick();
    } else if (Name == "updatebuffer") {
      FLogic.updatebufferClick();
    } else if (Name == "nverifyprogramm") {
      FLogic.nverifyprogrammClick();
    } else if (Name == "sDeutsch") {
      FLogic.sDeutschClick();
    } else if (Name == "sEnglish") {
      FLogic.sEnglishClick();
    } else if (Name == "sRus") {
      FLogic.sRusClick();
    } else if (Name == "nInfo") {
      ShowInfo();
    } else {
      FSession->Click(Name);
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
  FErrorBox.Guard([&] { FSession->ToggleFuse(static_cast<std::size_t>(Row)); });
  Render();
}

void TMainForm::Render() {
  if (FRendering) return;
  FRendering = true;
  const TWindowModel& window = FSession->Window();
  FQtTranslations.Apply(FSession->LanguageIndexValue());
  for (const auto& [name, menu] : FMenus) {
    const TControlState* state = window.FindControl(name);
    if (state == nullptr) continue;
    menu->setTitle(QString::fromStdString(state->Caption));
    menu->menuAction()->setEnabled(state->Enabled);
    menu->menuAction()->setVisible(state->Visible);
  }
  for (const auto& [name, action] : FActions) {
    const TControlState* state = window.FindControl(name);
    if (state == nullptr) continue;
    action->setText(QString::fromStdString(state->Caption));
    // Reachable, not just enabled: a shortcut must not run an entry of a disabled menu.
    action->setEnabled(window.Reachable(name));
    action->setChecked(state->Checked);
    action->setVisible(state->Visible);
  }
  for (const auto& [name, button] : FButtons) {
    const TControlState* state = window.FindControl(name);
    if (state == nullptr) continue;
    button->setText(QString::fromStdString(state->Caption));
    button->setEnabled(state->Enabled);
    button->setVisible(state->Visible);
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
  FuseList->setEnabled(window.Enabled("FuseList"));

  RenderLog(window.Verlauf());
  RenderStatusBar(window);
  RenderProgress(window);
  setEnabled(window.MainWindowEnabled() && !FClosePending);
  FRendering = false;

  const bool hasProgrammer = FSession->HasProgrammer();
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
