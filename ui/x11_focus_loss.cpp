#include "x11_focus_loss.h"

#include <QGuiApplication>

#include "main_window.h"

#ifdef TESSIVAR_HAVE_XCB
#include <xcb/xcb.h>

namespace {

class FocusLossFilter final : public QAbstractNativeEventFilter {
 public:
  explicit FocusLossFilter(TForm1& window) : window_(window) {}

  bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
    if (type != "xcb_generic_event_t") return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const std::uint8_t kind = event->response_type & 0x7f;
    if (kind == XCB_KEY_PRESS || kind == XCB_KEY_RELEASE) {
      const auto& key = *reinterpret_cast<const xcb_key_press_event_t*>(event);
      lastKeyRead_ = {kind == XCB_KEY_PRESS, key.detail, key.time};
    } else if (kind == XCB_FOCUS_OUT) {
      const auto& focus = *reinterpret_cast<const xcb_focus_out_event_t*>(event);
      // Inferior and pointer focus changes leave the keyboard with the window.
      if (focus.event == window_.internalWinId() && focus.detail != XCB_NOTIFY_DETAIL_INFERIOR &&
          focus.detail != XCB_NOTIFY_DETAIL_POINTER) {
        window_.KeyboardLostAfter(lastKeyRead_);
      }
    }
    return false;  // the toolkit goes on with every event
  }

 private:
  TForm1& window_;
  KeyStamp lastKeyRead_;
};

}  // namespace

std::unique_ptr<QAbstractNativeEventFilter> WatchX11FocusLoss(TForm1& window) {
  if (QGuiApplication::platformName() != QLatin1String("xcb")) return nullptr;
  auto filter = std::make_unique<FocusLossFilter>(window);
  QCoreApplication::instance()->installNativeEventFilter(filter.get());
  return filter;
}

#else

std::unique_ptr<QAbstractNativeEventFilter> WatchX11FocusLoss(TForm1&) { return nullptr; }

#endif
