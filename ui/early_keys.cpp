#include "early_keys.h"

#include <QApplication>
#include <QKeyEvent>

#include "application.h"
#include "main_window.h"

#ifdef TESSIVAR_HAVE_XCB
#include <xcb/xcb.h>

#include <QAbstractNativeEventFilter>
#include <QWindow>
#include <cstdint>
#include <memory>

#include "early_key_ledger.h"
#include "key_codes.h"
#include "keyboard_config.h"
#include "note_engine.h"
#include "x11_auto_repeat.h"

namespace {

// The keys the note engine plays without opening anything: the typing area (letters,
// digits, punctuation), Space and F1..F9. The toolkit does nothing with them in the main
// window but hand them to its key handler.
bool EngineKey(std::uint16_t key) {
  return (key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9') || (key >= 0xBA && key <= 0xC0) ||
         (key >= 0xDB && key <= 0xDF) || key == 0xE2 || key == VK_SPACE ||
         (key >= VK_F1 && key <= VK_F9);
}

// Shift, Caps Lock, Num Lock and the layout group leave a key what it is; Ctrl, Alt, the
// logo key, AltGr and held mouse buttons may make it a shortcut or something else.
bool PlainState(std::uint16_t state) {
  constexpr std::uint16_t plain =
      XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2 | 0x6000 /* XKB group */;
  return (state & ~plain) == 0;
}

// XInput 2 button and touch events (the toolkit takes the mouse from those).
bool PointerInput(const xcb_ge_generic_event_t& event) {
  constexpr std::uint16_t buttonPress = 4, buttonRelease = 5, touchBegin = 18, touchEnd = 20;
  return event.event_type == buttonPress || event.event_type == buttonRelease ||
         (event.event_type >= touchBegin && event.event_type <= touchEnd);
}

class EarlyKeyFilter final : public QAbstractNativeEventFilter {
 public:
  EarlyKeyFilter(TForm1& window, bool playAhead) : window_(window), playAhead_(playAhead) {}

  bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
    if (type != "xcb_generic_event_t") return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    switch (event->response_type & 0x7f) {
      case XCB_KEY_PRESS:
      case XCB_KEY_RELEASE:
        Key(*reinterpret_cast<const xcb_key_press_event_t*>(event));
        break;
      case XCB_FOCUS_OUT:
        FocusOut(*reinterpret_cast<const xcb_focus_out_event_t*>(event));
        break;
      case XCB_BUTTON_PRESS:
      case XCB_BUTTON_RELEASE:
      case XCB_FOCUS_IN:
      case XCB_CLIENT_MESSAGE:
        ledger_.RecordOtherInput();
        break;
      case XCB_GE_GENERIC:
        if (PointerInput(*reinterpret_cast<const xcb_ge_generic_event_t*>(event))) {
          ledger_.RecordOtherInput();
        }
        break;
      default:
        break;
    }
    return false;  // the toolkit goes on with every event as before
  }

  bool Deliver(const QKeyEvent& keyEvent) {
    const RawKeyEvent raw{keyEvent.type() == QEvent::KeyPress,
                          static_cast<std::uint32_t>(keyEvent.nativeScanCode()),
                          static_cast<std::uint32_t>(keyEvent.timestamp())};
    EarlyKeyLedger::Delivery delivery = ledger_.Deliver(raw);
    if (delivery.earlierFailure) {
      Report(delivery.earlierFailure);
      return true;
    }
    if (delivery.failure) Report(delivery.failure);
    // A press read before the keyboard went, delivered after its notes were ended: its
    // release went elsewhere.
    return delivery.playedAhead || (raw.press && delivery.keyboardLostSince);
  }

 private:
  static void Report(const std::exception_ptr& failure) {
    RunGuarded([&failure] { std::rethrow_exception(failure); });
  }

  void Key(const xcb_key_press_event_t& key) {
    const RawKeyEvent raw{(key.response_type & 0x7f) == XCB_KEY_PRESS, key.detail, key.time};
    if (key.event != window_.internalWinId()) {
      // A key of a menu or a box: like a click, it may change where the next keys go.
      ledger_.RecordOtherInput();
      return;
    }
    const std::uint16_t virtualKey = VirtualKeyFromXkbKeycode(key.detail);
    const bool sent = (key.response_type & 0x80) != 0;  // by another client, not the keyboard
    if (!playAhead_ || !ledger_.MayPlayAhead() || sent || !PlainState(key.state) ||
        !EngineKey(virtualKey) || QGuiApplication::focusWindow() != window_.windowHandle() ||
        !window_.KeysGoToWindow() || (Config.RecordingDevice < 0 && Config.PlayingDevice < 0)) {
      ledger_.RecordLeft(raw);
      return;
    }
    // A failure is shown when the toolkit delivers this key: no box opens from in here.
    std::exception_ptr failure;
    try {
      if (raw.press) {
        FormKeyDown(virtualKey);
      } else {
        FormKeyUp(virtualKey);
      }
    } catch (...) {
      failure = std::current_exception();
    }
    ledger_.RecordPlayed(raw, failure);
  }

  // The toolkit passes over a loss of the focus that is over within a tenth of a second
  // (a desktop's hot key, a grab): the keys released meanwhile went elsewhere all the same.
  void FocusOut(const xcb_focus_out_event_t& focus) {
    if (focus.event != window_.internalWinId() || focus.detail == XCB_NOTIFY_DETAIL_INFERIOR ||
        focus.detail == XCB_NOTIFY_DETAIL_POINTER) {
      ledger_.RecordOtherInput();
      return;
    }
    ledger_.RecordKeyboardLost();
    window_.KeyboardLost();
  }

  TForm1& window_;
  // Without detectable auto-repeat a held key arrives as release/press pairs that only the
  // toolkit tells from real ones: then every key takes the toolkit's way.
  const bool playAhead_;
  EarlyKeyLedger ledger_;
};

std::unique_ptr<EarlyKeyFilter> Filter;

}  // namespace

void StartEarlyKeys(QApplication& application, TForm1& window) {
  if (Filter != nullptr || QGuiApplication::platformName() != QLatin1String("xcb")) return;
  Filter = std::make_unique<EarlyKeyFilter>(window, DetectableAutoRepeatOn());
  application.installNativeEventFilter(Filter.get());
}

void StopEarlyKeys() {
  if (Filter == nullptr) return;
  QCoreApplication::instance()->removeNativeEventFilter(Filter.get());
  Filter.reset();
}

bool DeliverEarlyKey(const QKeyEvent& event) { return Filter != nullptr && Filter->Deliver(event); }

#else

void StartEarlyKeys(QApplication&, TForm1&) {}
void StopEarlyKeys() {}
bool DeliverEarlyKey(const QKeyEvent&) { return false; }

#endif
