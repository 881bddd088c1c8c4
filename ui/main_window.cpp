#include "main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QProxyStyle>
#include <QScreen>
#include <QTimer>
#include <exception>

#include "about_box.h"
#include "application.h"
#include "key_codes.h"
#include "keyboard_config.h"
#include "keyboard_view.h"
#include "radio_menus.h"
#include "x11_auto_repeat.h"
#include "x11_keys.h"

TForm1* Form1 = nullptr;
TFormAbout* FormAbout = nullptr;

namespace {
constexpr int DesignedClientWidth = 214;
constexpr int DesignedClientHeight = 30;

// The menu bar never keeps the keyboard for itself: with Alt navigation on, the toolkit
// leaves it holding the keyboard after Escape closes a menu, where note keys would still
// reach the window but Space, Enter and the arrow keys open menus, and a held key's
// release goes to a menu. Its menus open by a click, by F10 and by their own arrow keys.
class NoMenuBarKeyboardMode final : public QProxyStyle {
 public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returnData) const override {
    if (hint == QStyle::SH_MenuBar_AltKeyNavigation) return 0;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
  }
};

// A key that types a character, with no Ctrl, Alt or logo key: a menu's item letter.
bool ItemLetter(const QKeyEvent& event) {
  return !event.text().isEmpty() && event.text().at(0).isPrint() &&
         (event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) == 0;
}
}  // namespace

TForm1::TForm1() {
  setObjectName("Form1");
  setWindowTitle(QString::fromLatin1(ApplicationTitle));
  // Fixed single border: system menu and minimize, no maximize; always on top.
  setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                 Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
  setAttribute(Qt::WA_InputMethodEnabled, false);
  setFocusPolicy(Qt::StrongFocus);
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setPixelSize(11);
  setFont(font);

  // The keyboard picture sits at the top left of the client area, which is never
  // narrower than designed (see SetClientSize).
  clientArea_ = new QWidget(this);
  clientArea_->setObjectName("ClientArea");
  clientArea_->setFocusPolicy(Qt::NoFocus);
  keyboardView_ = new KeyboardView(this, clientArea_);
  keyboardView_->setObjectName("KeyboardView");
  keyboardView_->setFocusPolicy(Qt::NoFocus);
  setCentralWidget(clientArea_);
  layout()->setSizeConstraint(QLayout::SetFixedSize);

  MainMenu1 = menuBar();
  MainMenu1->setObjectName("MainMenu1");
  MainMenu1->setFocusPolicy(Qt::NoFocus);
  MainMenu1->setNativeMenuBar(false);
  auto* menuBarStyle = new NoMenuBarKeyboardMode;
  menuBarStyle->setParent(MainMenu1);
  MainMenu1->setStyle(menuBarStyle);

  File1 = MainMenu1->addMenu(QStringLiteral("File"));
  File1->setObjectName("File1");
  connect(File1, &QMenu::aboutToHide, this, [this] { fileMenuOpenedByF10_ = false; });
  AddCommand(File1, NewConfig1, "New Config", "NewConfig1", &TForm1::NewConfig1Click);
  AddCommand(File1, LoadConfig1, "Open Config", "LoadConfig1", &TForm1::LoadConfig1Click);
  AddCommand(File1, SaveConfig1, "Save Config As..", "SaveConfig1", &TForm1::SaveConfig1Click);
  Configs1 = AddSubmenu(File1, "Configs", "Configs1");
  AddCommand(File1, Exit1, "&Exit", "Exit1", &TForm1::Exit1Click);

  Setup1 = MainMenu1->addMenu(QStringLiteral("Setup"));
  Setup1->setObjectName("Setup1");
  Skin1 = AddSubmenu(Setup1, "Skin", "Skin1");
  Midi1 = AddSubmenu(Setup1, "Recording Output Device", "Midi1");
  PlayOutputDevice1 = AddSubmenu(Setup1, "Playing Output Device", "PlayOutputDevice1");
  for (QMenu* devices : {Midi1, PlayOutputDevice1}) {
    connect(devices, &QMenu::aboutToShow, this,
            [this] { RunGuarded([this] { FillDeviceMenus(true); }); });
  }
  KEymapping1 = AddSubmenu(Setup1, "Keymapping", "KEymapping1");
  connect(KEymapping1, &QMenu::aboutToShow, this,
          [this] { RunGuarded([this] { FillKeymapMenu(); }); });
  Instruments1 = AddSubmenu(Setup1, "Instruments", "Instruments1");

  Devices2 = MainMenu1->addMenu(QStringLiteral("Devices"));
  Devices2->setObjectName("Devices2");
  BaseOctave1 = AddSubmenu(Devices2, "Octave [F1..F9]", "BaseOctave1");
  OutputInstrument1 = AddSubmenu(Devices2, "Output Instrument", "OutputInstrument1");
  PlayingInstrument1 = AddSubmenu(Devices2, "Playing Instrument", "PlayingInstrument1");
  OutputChannal1 = AddSubmenu(Devices2, "Output Channal", "OutputChannal1");
  PlayedChannal1 = AddSubmenu(Devices2, "Playing Channal", "PlayedChannal1");
  AddCommand(Devices2, Freealldevices1, "&Close All Devices", "Freealldevices1",
             &TForm1::Freealldevices1Click);
  AddCommand(Devices2, AllNotesOff1, "All Notes Off [SPACE]", "AllNotesOff1",
             &TForm1::AllNotesOff1Click);

  ools1 = MainMenu1->addMenu(QStringLiteral("Tools"));
  ools1->setObjectName("ools1");
  AddCommand(ools1, EditKeymapping1, "Edit &Keyboard", "EditKeymapping1",
             &TForm1::EditKeymapping1Click);
  AddCommand(ools1, GetKEyboardScancode1, "Get Keyboard Scancode", "GetKEyboardScancode1",
             &TForm1::GetKEyboardScancode1Click);

  Help1 = MainMenu1->addMenu(QStringLiteral("Help"));
  Help1->setObjectName("Help1");
  AddCommand(Help1, Context1, "Content", "Context1", &TForm1::Context1Click);
  AddCommand(Help1, Homepage1, "&Homepage", "Homepage1", &TForm1::Homepage1Click);
  AddCommand(Help1, About1, "&About", "About1", &TForm1::About1Click);

  for (QMenu* menu : MainMenu1->findChildren<QMenu*>()) menu->installEventFilter(this);

  SetClientSize(DesignedClientWidth, DesignedClientHeight);
  SetNoteDisplay(this);
  WatchIncomingMidi();
  x11Keys_ = PlayX11Keys(*this);
}

TForm1::~TForm1() { SetNoteDisplay(nullptr); }

std::function<void(QAction*)> TForm1::Guarded(void (TForm1::*method)(QAction*)) {
  return [this, method](QAction* sender) { RunGuarded([&] { (this->*method)(sender); }); };
}

void TForm1::AddCommand(QMenu* menu, QAction*& action, const char* caption, const char* name,
                        void (TForm1::*command)()) {
  action = menu->addAction(QString::fromLatin1(caption));
  action->setObjectName(QString::fromLatin1(name));
  connect(action, &QAction::triggered, this,
          [this, command] { RunGuarded([&] { (this->*command)(); }); });
}

QMenu* TForm1::AddSubmenu(QMenu* menu, const char* caption, const char* name) {
  QMenu* submenu = menu->addMenu(QString::fromLatin1(caption));
  submenu->setObjectName(QString::fromLatin1(name));
  submenu->menuAction()->setObjectName(QString::fromLatin1(name) + "Item");
  return submenu;
}

QFileDialog* TForm1::ConfigDialog(bool saving) {
  QFileDialog*& dialog = saving ? SaveDialog1 : OpenDialog1;
  if (dialog != nullptr) return dialog;
  dialog = new QFileDialog(this);
  dialog->setObjectName(saving ? "SaveDialog1" : "OpenDialog1");
  dialog->setAcceptMode(saving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog->setFileMode(QFileDialog::AnyFile);
  if (saving) dialog->setOption(QFileDialog::DontConfirmOverwrite, true);
  dialog->setOption(QFileDialog::ReadOnly, false);
  dialog->setWindowModality(Qt::ApplicationModal);
  return dialog;
}

void TForm1::SetClientSize(int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  keyboardView_->setFixedSize(width, height);
  // A picture narrower than the designed client area (an empty skin gives none at all)
  // leaves the window at the designed width: a window of no width is never shown, and
  // one too narrow for its menu bar cannot be used.
  clientArea_->setFixedSize(std::max(width, DesignedClientWidth), height);
  surface_ = QImage(width, height, QImage::Format_RGB32);
  surface_.fill(palette().color(QPalette::Button));
  adjustSize();
}

QSize TForm1::ClientSize() const { return keyboardView_->size(); }

void TForm1::CenterOnScreen() {
  adjustSize();
  const QRect available = screen()->availableGeometry();
  const QSize size = frameGeometry().size();
  move(available.left() + (available.width() - size.width()) / 2,
       available.top() + (available.height() - size.height()) / 2);
}

void TForm1::ShowNoDevicesWarning() {
  QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Attention!"),
                  QStringLiteral("Pleace config output devices in setup menu."), QMessageBox::Ok,
                  isVisible() ? this : nullptr);
  box.setObjectName("WarningBox");
  box.setWindowModality(Qt::ApplicationModal);
  box.exec();
}

void TForm1::RebuildOctaveMenu() {
  FillNumberMenu(BaseOctave1, 0, 8, 6, Config.Octave, Guarded(&TForm1::OctaveMenuChosen));
}

void TForm1::OctaveMenuChosen(QAction* sender) {
  if (!sender->isChecked()) sender->setChecked(true);
  OctaveChosen(ItemPosition(sender));
}

bool TForm1::KeysGoToWindow() const {
  // A closed menu can stay the toolkit's focus widget (on X11, when the focus came back
  // to the window through the pointer, after a box closed); it holds no keys.
  const QWidget* focus = QApplication::focusWidget();
  return QApplication::activePopupWidget() == nullptr &&
         QApplication::activeModalWidget() == nullptr &&
         (focus == nullptr || focus == this || !focus->isVisible());
}

void TForm1::KeyboardLost() {
  try {
    ReleasePressedNotes();
  } catch (...) {
    // An error box that took the focus has just told of the failure, which the note-offs
    // to the same device would only repeat.
    if (ErrorBoxOpen()) return;
    QTimer::singleShot(0, this, [failure = std::current_exception()] {
      RunGuarded([&failure] { std::rethrow_exception(failure); });
    });
  }
}

void TForm1::PlayKey(bool press, std::uint16_t key) {
  if (!KeysGoToWindow()) return;
  // Auto-repeat presses pass: the pressed flags drop them.
  RunGuarded([press, key] { press ? FormKeyDown(key) : FormKeyUp(key); });
}

bool TForm1::event(QEvent* e) {
  switch (e->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
      // On X11 the key was played as the X server sent it.
      const auto& key = *static_cast<QKeyEvent*>(e);
      const bool press = e->type() == QEvent::KeyPress;
      // An auto-repeat release is not a real release: a held key stays one note. When the
      // X server sends held keys as repeated presses, every release is real.
      if (!x11Keys_ && (press || !key.isAutoRepeat() || DetectableAutoRepeatOn())) {
        PlayKey(press, VirtualKeyOf(key));
      }
      break;
    }
    case QEvent::FocusOut:
    case QEvent::WindowDeactivate:
    case QEvent::WindowBlocked:
    case QEvent::Hide:
      // A key released while the keyboard is elsewhere never reaches this window, so
      // everything held is released now rather than left sounding.
      KeyboardLost();
      break;
    default:
      break;
  }
  // Keys are never consumed here: the menu bar and the window system still act on them.
  return QMainWindow::event(e);
}

bool TForm1::eventFilter(QObject* watched, QEvent* e) {
  // A closed menu takes no keys: they are the window's. On X11 a popup's focus-in can reach
  // the toolkit after the popup closed, and the keys typed next are then sent to it: "&Exit"
  // would end the program on a note key, and F10 would open no menu.
  const auto* menu = qobject_cast<const QMenu*>(watched);
  if (menu && !menu->isVisible() &&
      (e->type() == QEvent::KeyPress || e->type() == QEvent::KeyRelease)) {
    QCoreApplication::sendEvent(this, e);
    return true;
  }
  // F10 opens the File menu; a letter typed next (F10 sits beside the octave keys) must
  // not become one of its commands. Once another menu is opened with the arrow keys, its
  // letters work as usual.
  if (watched == File1 && e->type() == QEvent::KeyPress && fileMenuOpenedByF10_ &&
      ItemLetter(*static_cast<QKeyEvent*>(e))) {
    return true;
  }
  return QMainWindow::eventFilter(watched, e);
}

void TForm1::keyPressEvent(QKeyEvent* e) {
  // What the window system does with a key once the key handlers have seen it: F10 opens
  // the menu bar at its first menu, where the arrow keys go on.
  const bool plainF10 = e->key() == Qt::Key_F10 &&
                        (e->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier &&
                        !e->isAutoRepeat();
  if (plainF10 && KeysGoToWindow() && !MainMenu1->actions().isEmpty()) {
    MainMenu1->setActiveAction(MainMenu1->actions().constFirst());
    fileMenuOpenedByF10_ = QApplication::activePopupWidget() == File1;
    return;
  }
  QMainWindow::keyPressEvent(e);
}

void TForm1::closeEvent(QCloseEvent* e) { e->accept(); }
