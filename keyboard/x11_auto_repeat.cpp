#include "x11_auto_repeat.h"

#include <QGuiApplication>

#ifdef TESSIVAR_HAVE_XCB_XKB
#include <cstdint>
#include <cstdlib>
// The XKB protocol header names a field "explicit"; it is a C header.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
#endif

namespace {
bool Detectable = false;
}  // namespace

bool DetectableAutoRepeatOn() { return Detectable; }

void UseDetectableAutoRepeat(QGuiApplication& application) {
#ifdef TESSIVAR_HAVE_XCB_XKB
  auto* x11 = application.nativeInterface<QNativeInterface::QX11Application>();
  if (x11 == nullptr || x11->connection() == nullptr) return;
  xcb_connection_t* connection = x11->connection();
  const auto cookie = xcb_xkb_per_client_flags(
      connection, XCB_XKB_ID_USE_CORE_KBD, XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT,
      XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT, 0, 0, 0);
  // Without the extension the reply is null and the pairs stay.
  xcb_xkb_per_client_flags_reply_t* reply =
      xcb_xkb_per_client_flags_reply(connection, cookie, nullptr);
  const auto flag = static_cast<std::uint32_t>(XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT);
  Detectable = reply != nullptr && (reply->supported & flag) != 0 && (reply->value & flag) != 0;
  std::free(reply);
#else
  (void)application;
#endif
}
