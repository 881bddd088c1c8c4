#include "window_fixture.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QTest>

BoxWatcher::BoxWatcher() {
  timer_.setInterval(20);
  QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
  timer_.start();
}

void BoxWatcher::Poll() {
  QWidget* modal = QApplication::activeModalWidget();
  if (modal == nullptr) return;
  if (auto* box = qobject_cast<QMessageBox*>(modal)) {
    Boxes.push_back({box->windowTitle().toStdString(), box->text().toStdString(), box->icon()});
    box->button(QMessageBox::Ok) != nullptr ? box->button(QMessageBox::Ok)->click() : box->reject();
  } else if (OtherModal) {
    OtherModal(modal);
  } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
    dialog->reject();
  }
}

QImage MakeTestSkin(int width, int height) {
  QImage skin(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const bool down = y >= height / 2;
      skin.setPixel(x, y, down ? qRgb(40, 40 + x % 50, 200) : qRgb(250, 250 - x % 50, 240));
    }
  }
  return skin;
}

void SaveBmp(const QImage& image, const std::string& path) {
  ASSERT_TRUE(
      image.convertToFormat(QImage::Format_RGB888).save(QString::fromLocal8Bit(path), "BMP"));
}

std::string Counted(const std::string& s) {
  return std::string(1, static_cast<char>(s.size())) + s;
}

std::string KeyMapBytes(const std::vector<std::pair<std::uint8_t, std::int16_t>>& entries) {
  MemoryBuffer buffer;
  WriteShortString(buffer, KeyMapMagic);
  WriteInt32(buffer, static_cast<std::int32_t>(entries.size()));
  for (const auto& [note, key] : entries) {
    WriteByte(buffer, note);
    WriteInt16(buffer, key);
  }
  return {buffer.Bytes.begin(), buffer.Bytes.end()};
}

void WindowTest::SetUp() {
  SaveBmp(MakeTestSkin(210, 120), folder / "SKINS/Classic.bmp");
  SaveBmp(MakeTestSkin(140, 80), folder / "SKINS/Small.bmp");
  folder.WriteFile("KEYMAPS/Tracker.key", KeyMapBytes({{0, 'Z'}, {12, 'Q'}, {31, 0xDD}}));
  folder.WriteFile("KEYMAPS/Other.key", KeyMapBytes({{5, 'Z'}}));
  folder.WriteFile("PATCHES/Gm.kit", "Piano\r\nOrgan\r\nFlute\r\n");
  folder.WriteFile("PATCHES/Two.kit", "First\n\nThird\n");
  fake = &InstallFakeMidi({"Synth", "Port A", "Port B"});
  Config = TKeyboardConfig{};
  KeyMap.clear();
  PressedNotes.fill(0);
  PointerHolds.fill(0);
  boxes = std::make_unique<BoxWatcher>();
}

void WindowTest::TearDown() {
  if (form) DestroyWindow();
  boxes.reset();
  InstallMidiBackEnds(MidiBackEnds{});
}

void WindowTest::CreateWindow() {
  form = std::make_unique<TForm1>();
  Form1 = form.get();
  try {
    form->FormCreate();
  } catch (const std::exception& error) {
    boxes->Boxes.push_back({"(raised)", error.what()});
  }
  about = std::make_unique<TFormAbout>();
  FormAbout = about.get();
  form->CenterOnScreen();
  form->show();
  form->activateWindow();
  form->setFocus();
  // Activation arrives through the window system's queue; the focus tests need it done.
  EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
  QCoreApplication::processEvents();
}

void WindowTest::Reactivate() {
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  QCoreApplication::processEvents();
}

void WindowTest::DestroyWindow() {
  FormAbout = nullptr;
  about.reset();
  Form1 = nullptr;
  form.reset();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QAction* WindowTest::Item(QMenu* menu, int position) const { return menu->actions().at(position); }

std::vector<std::string> WindowTest::Captions(QMenu* menu) const {
  std::vector<std::string> captions;
  for (QAction* action : menu->actions()) captions.push_back(action->text().toStdString());
  return captions;
}

int WindowTest::CheckedPosition(QMenu* menu) const {
  const QList<QAction*> actions = menu->actions();
  for (int i = 0; i < actions.size(); ++i) {
    if (actions[i]->isChecked()) return i;
  }
  return -1;
}

void WindowTest::PressKey(int qtKey, bool autoRepeat) {
  QKeyEvent event(QEvent::KeyPress, qtKey, Qt::NoModifier, QString(), autoRepeat);
  QCoreApplication::sendEvent(form.get(), &event);
}

void WindowTest::ReleaseKey(int qtKey, bool autoRepeat) {
  QKeyEvent event(QEvent::KeyRelease, qtKey, Qt::NoModifier, QString(), autoRepeat);
  QCoreApplication::sendEvent(form.get(), &event);
}
