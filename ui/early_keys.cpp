#include "early_keys.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>
#include <memory>
#include <mutex>

#include "application.h"
#include "early_key_ledger.h"
#include "note_engine.h"
#include "program_lock.h"

#ifdef TESSIVAR_HAVE_XCB
#include <xcb/xcb.h>

#include <QAbstractNativeEventFilter>
#include <QWindow>
#include <cstdint>

#include "early_key_thread.h"
#include "key_codes.h"
#include "keyboard_config.h"
#include "midi_devices.h"
#include "midi_system.h"
#include "x11_auto_repeat.h"

namespace {

// Keys of the typing area: letters, digits and punctuation. The toolkit does nothing with
// them in the main window but hand them to its key handler (no shortcut of the window is
// one of them without a modifier), so they can be played before it has seen them.
bool TypingAreaKey(std::uint16_t key) {
  return (key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9') || (key >= 0xBA && key <= 0xC0) ||
         (key >= 0xDB && key <= 0xDF) || key == 0xE2;
}

// Shift, Caps Lock, Num Lock and the layout group leave a key what it is; Ctrl, Alt, the
// logo key, AltGr and held mouse buttons may make it a shortcut or something else.
bool PlainState(std::uint16_t state) {
  constexpr std::uint16_t plain =
      XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2 | 0x6000 /* XKB group */;
  return (state & ~plain) == 0;
}

class EarlyKeyFilter final : public QAbstractNativeEventFilter,
                             public EarlyKeySink,
                             private NoteDisplay {
 public:
  explicit EarlyKeyFilter(QWidget& window) : window_(window) {}

  // Reading the window's keys on a thread of its own as well, when that can be had.
  void StartKeyThread() {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->display() == nullptr || window_.internalWinId() == 0) return;
    const std::lock_guard lock(ProgramStateLock());
    AfterEvent();
    // Expected before it reads anything: the keys the toolkit's reader sees meanwhile wait
    // for it, or for its first key (they came before; it never gets them).
    ledger_.ExpectKeyThread(true);
    keyThread_ = EarlyKeyThread::Start(x11->display(),
                                       static_cast<std::uint32_t>(window_.internalWinId()), *this);
    if (keyThread_ == nullptr) ledger_.ExpectKeyThread(false);
  }

  void StopKeyThread() {
    // Not under the lock: the thread may be waiting for it to play its last key.
    keyThread_.reset();
    const std::lock_guard lock(ProgramStateLock());
    ledger_.ExpectKeyThread(false);
  }

  // After every event the GUI thread handled: where the next keys go, for the key thread.
  void AfterEvent() { keysGoToWindow_ = KeysGoToWindow(); }

  bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
    if (type != "xcb_generic_event_t") return false;
    const std::lock_guard lock(ProgramStateLock());
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    switch (event->response_type & 0x7f) {
      case XCB_KEY_PRESS:
      case XCB_KEY_RELEASE:
        Key(*reinterpret_cast<const xcb_key_press_event_t*>(event));
        break;
      case XCB_BUTTON_PRESS:
      case XCB_BUTTON_RELEASE:
      case XCB_FOCUS_IN:
      case XCB_FOCUS_OUT:
      case XCB_CLIENT_MESSAGE:
        ledger_.RecordOtherInput();
        break;
      case XCB_GE_GENERIC: {
        // XInput 2 button and touch events (the toolkit takes the mouse from those).
        const auto kind = reinterpret_cast<const xcb_ge_generic_event_t*>(event)->event_type;
        if (kind == 4 || kind == 5 || (kind >= 18 && kind <= 20)) ledger_.RecordOtherInput();
        break;
      }
      default:
        break;
    }
    return false;  // the toolkit goes on with every event as before
  }

  bool Deliver(const QKeyEvent& keyEvent) {
    const std::lock_guard lock(ProgramStateLock());
    const RawKeyEvent raw{keyEvent.type() == QEvent::KeyPress,
                          static_cast<std::uint32_t>(keyEvent.nativeScanCode()),
                          static_cast<std::uint32_t>(keyEvent.timestamp())};
    const EarlyKeyLedger::Delivery delivery = ledger_.Deliver(raw);
    if (const std::exception_ptr dropped = ledger_.TakeDroppedFailure()) {
      RunGuardedRethrow(dropped);
    }
    if (!delivery.playedAhead) return false;
    NoteDisplay* display = CurrentNoteDisplay();
    if (delivery.drawNote >= 0 && display != nullptr) {
      const auto note = static_cast<std::uint8_t>(delivery.drawNote);
      if (delivery.drawDown) {
        display->DrawKeyDown(note);
      } else {
        display->DrawKeyUp(note);
      }
    }
    if (delivery.failure) RunGuardedRethrow(delivery.failure);
    return true;
  }

 private:
  static void RunGuardedRethrow(const std::exception_ptr& failure) {
    RunGuarded([&failure] { std::rethrow_exception(failure); });
  }

  // Whether the toolkit will give a key of the window to the window's own key handler.
  bool KeysGoToWindow() const {
    const QWidget* focus = QApplication::focusWidget();
    return QGuiApplication::focusWindow() == window_.windowHandle() &&
           QApplication::activePopupWidget() == nullptr &&
           QApplication::activeModalWidget() == nullptr && (focus == nullptr || focus == &window_);
  }

  // The toolkit's reader: every key event of the window goes to the ledger, so that the
  // two readers stay in step; one of another window is like a click.
  void Key(const xcb_key_press_event_t& key) {
    const RawKeyEvent raw{(key.response_type & 0x7f) == XCB_KEY_PRESS, key.detail, key.time};
    if (window_.internalWinId() == 0 || key.event != window_.internalWinId()) {
      ledger_.RecordOtherInput();
      return;
    }
    const std::uint16_t virtualKey = VirtualKeyFromXkbKeycode(key.detail);
    const bool playable =
        KeysGoToWindow() && PlayableKey(key.state, virtualKey, (key.response_type & 0x80) != 0);
    if (ledger_.See(KeyReader::Toolkit, raw, playable) == EarlyKeyLedger::Sight::Play) {
      Play(raw.press, virtualKey);
    }
  }

  // The key thread's reader.
  void KeyThreadKey(bool press, std::uint32_t keycode, std::uint32_t time, std::uint16_t state,
                    bool sent) override {
    const std::lock_guard lock(ProgramStateLock());
    const std::uint16_t virtualKey = VirtualKeyFromXkbKeycode(keycode);
    // The device set is made by the GUI thread at the first note; this thread only plays
    // once it is there and its MIDI system is ready (neither then waits).
    const bool playable = keysGoToWindow_ && PlayableKey(state, virtualKey, sent) &&
                          MidiOutputExists() && InstalledMidiSystem().Ready();
    if (ledger_.See(KeyReader::KeyThread, {press, keycode, time}, playable) ==
        EarlyKeyLedger::Sight::Play) {
      Play(press, virtualKey);
    }
  }

  void KeyThreadOtherInput() override {
    const std::lock_guard lock(ProgramStateLock());
    ledger_.RecordOtherInput();
  }

  void KeyThreadEnded() override {
    const std::lock_guard lock(ProgramStateLock());
    ledger_.ExpectKeyThread(false);
  }

  // A plain typing key from the keyboard (not sent by another client), with a device set.
  static bool PlayableKey(std::uint16_t state, std::uint16_t virtualKey, bool sent) {
    return !sent && PlainState(state) && TypingAreaKey(virtualKey) &&
           (Config.RecordingDevice >= 0 || Config.PlayingDevice >= 0);
  }

  void Play(bool press, std::uint16_t virtualKey) {
    // The highlight waits for the toolkit's event: the window is drawn from there.
    held_ = CurrentNoteDisplay();
    if (held_ != nullptr) SetNoteDisplay(this);
    try {
      if (press) {
        FormKeyDown(virtualKey);
      } else {
        FormKeyUp(virtualKey);
      }
    } catch (...) {
      ledger_.Fail(std::current_exception());
    }
    if (held_ != nullptr) SetNoteDisplay(held_);
    held_ = nullptr;
  }

  // NoteDisplay while a key is played ahead: the highlight is kept for the delivery.
  void DrawKeyDown(std::uint8_t note) override { ledger_.HoldDrawing(note, true); }
  void DrawKeyUp(std::uint8_t note) override { ledger_.HoldDrawing(note, false); }
  // Not reached from the keys played ahead; passed on all the same.
  void FormPaint() override { held_->FormPaint(); }
  void ShowNoDevicesWarning() override { held_->ShowNoDevicesWarning(); }
  void RebuildOctaveMenu() override { held_->RebuildOctaveMenu(); }

  QWidget& window_;
  EarlyKeyLedger ledger_;
  NoteDisplay* held_ = nullptr;
  // Under the lock: whether the toolkit gives the window's keys to its key handler now.
  bool keysGoToWindow_ = false;
  std::unique_ptr<EarlyKeyThread> keyThread_;
};

std::unique_ptr<EarlyKeyFilter> Filter;

}  // namespace

void StartEarlyKeys(QApplication& application, QWidget& window) {
  if (Filter != nullptr || QGuiApplication::platformName() != QLatin1String("xcb")) return;
  // Without detectable auto-repeat a held key arrives as release/press pairs that only
  // the toolkit tells from real ones.
  if (!DetectableAutoRepeatOn()) return;
  Filter = std::make_unique<EarlyKeyFilter>(window);
  application.installNativeEventFilter(Filter.get());
  Filter->StartKeyThread();
}

void StopEarlyKeys() {
  if (Filter == nullptr) return;
  Filter->StopKeyThread();
  QCoreApplication::instance()->removeNativeEventFilter(Filter.get());
  Filter.reset();
}

void EarlyKeysAfterEvent() {
  if (Filter != nullptr) Filter->AfterEvent();
}

bool DeliverEarlyKey(const QKeyEvent& event) { return Filter != nullptr && Filter->Deliver(event); }

#else

void StartEarlyKeys(QApplication&, QWidget&) {}
void StopEarlyKeys() {}
void EarlyKeysAfterEvent() {}
bool DeliverEarlyKey(const QKeyEvent&) { return false; }

#endif
