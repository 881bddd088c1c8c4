#include "x11_keys.h"

#include <QGuiApplication>

#include "key_codes.h"
#include "main_window.h"
#include "x11_auto_repeat.h"

#ifdef TESSIVAR_HAVE_XCB
#include <qpa/qwindowsysteminterface.h>
#include <xcb/xcb.h>

namespace {

class X11Keys final : public QAbstractNativeEventFilter {
 public:
  explicit X11Keys(TForm1& window) : window_(window) {}

  bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
    if (type != "xcb_generic_event_t") return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const std::uint8_t kind = event->response_type & 0x7f;
    if (kind == XCB_KEY_PRESS || kind == XCB_KEY_RELEASE) {
      // Only the window's own keys: a menu's or a box's come with their own window.
      const auto& key = *reinterpret_cast<const xcb_key_press_event_t*>(event);
      if (key.event == window_.internalWinId()) {
        // What the toolkit read before this key has happened first: F10 or a click on the
        // menu bar read in the same batch has opened its menu, which then has the key.
        QWindowSystemInterface::flushWindowSystemEvents();
        window_.PlayKey(kind == XCB_KEY_PRESS, VirtualKeyFromXkbKeycode(key.detail));
      }
    } else if (kind == XCB_FOCUS_OUT) {
      // Only a focus going to a window inside this one leaves the keyboard with it. A
      // pointer-detail focus-out ends the keys this window had through the pointer while the
      // focus was the root's (after a box closed): the toolkit passes over that one, and a key
      // held across it would be released into another client's grab or a menu.
      const auto& focus = *reinterpret_cast<const xcb_focus_out_event_t*>(event);
      if (focus.event == window_.internalWinId() && focus.detail != XCB_NOTIFY_DETAIL_INFERIOR) {
        window_.KeyboardLost();
      }
    }
    return false;  // the toolkit goes on with every event
  }

 private:
  TForm1& window_;
};

}  // namespace

std::unique_ptr<QAbstractNativeEventFilter> PlayX11Keys(TForm1& window) {
  if (QGuiApplication::platformName() != QLatin1String("xcb") || !DetectableAutoRepeatOn()) {
    return nullptr;
  }
  auto filter = std::make_unique<X11Keys>(window);
  QCoreApplication::instance()->installNativeEventFilter(filter.get());
  return filter;
}

#else

std::unique_ptr<QAbstractNativeEventFilter> PlayX11Keys(TForm1&) { return nullptr; }

#endif
