#include "early_key_thread.h"

#include <X11/Xlib.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xinput.h>
// The XKB protocol header names a field "explicit"; it is a C header.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

#include <cstdlib>
#include <string>
#include <thread>

struct EarlyKeyThread::State {
  std::string displayName;
  std::uint32_t window = 0;
  EarlyKeySink* sink = nullptr;
  int stop = -1;
  std::thread thread;
  // The thread's own.
  xcb_connection_t* connection = nullptr;
  std::uint8_t inputOpcode = 0;

  ~State() {
    if (thread.joinable()) {
      const std::uint64_t one = 1;
      [[maybe_unused]] const ssize_t written = write(stop, &one, sizeof one);
      thread.join();
    }
    if (stop >= 0) close(stop);
  }

  bool Connect();

  void Handle(const xcb_generic_event_t& event) {
    const std::uint8_t type = event.response_type & 0x7f;
    switch (type) {
      case XCB_KEY_PRESS:
      case XCB_KEY_RELEASE: {
        const auto& key = reinterpret_cast<const xcb_key_press_event_t&>(event);
        sink->KeyThreadKey(type == XCB_KEY_PRESS, key.detail, key.time, key.state,
                           (event.response_type & 0x80) != 0);
        break;
      }
      case XCB_FOCUS_IN:
      case XCB_FOCUS_OUT:
        sink->KeyThreadOtherInput();
        break;
      case XCB_GE_GENERIC: {
        const auto& generic = reinterpret_cast<const xcb_ge_generic_event_t&>(event);
        if (generic.extension == inputOpcode) sink->KeyThreadOtherInput();
        break;
      }
      default:
        break;
    }
  }

  void Run() {
    // The round trips of setting up are this thread's, not the GUI thread's, and at the
    // ordinary priority: the window is still being shown.
    if (Connect()) {
      sched_param priority{};
      priority.sched_priority = sched_get_priority_min(SCHED_FIFO);
      pthread_setschedparam(pthread_self(), SCHED_FIFO, &priority);  // best effort
      Read();
    }
    sink->KeyThreadEnded();
    if (connection != nullptr) xcb_disconnect(connection);
  }

  void Read() {
    pollfd watched[2] = {{xcb_get_file_descriptor(connection), POLLIN, 0}, {stop, POLLIN, 0}};
    for (;;) {
      while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
        Handle(*event);
        std::free(event);
      }
      if (xcb_connection_has_error(connection) != 0) return;
      if (poll(watched, 2, -1) < 0) continue;
      if ((watched[1].revents & POLLIN) != 0) return;
    }
  }
};

namespace {

bool Checked(xcb_connection_t* connection, xcb_void_cookie_t cookie) {
  xcb_generic_error_t* error = xcb_request_check(connection, cookie);
  std::free(error);
  return error == nullptr;
}

// Raw button and touch events of every device, wherever they go: the X server sends them
// to this connection in order with the window's keys, so a click is known before the keys
// that follow it.
bool WatchClicks(xcb_connection_t* connection, EarlyKeyThread::State& state) {
  const xcb_query_extension_reply_t* input = xcb_get_extension_data(connection, &xcb_input_id);
  if (input == nullptr || input->present == 0) return false;
  state.inputOpcode = input->major_opcode;
  xcb_input_xi_query_version_reply_t* version = xcb_input_xi_query_version_reply(
      connection, xcb_input_xi_query_version(connection, 2, 2), nullptr);
  const bool recent =
      version != nullptr &&
      (version->major_version > 2 || (version->major_version == 2 && version->minor_version >= 2));
  std::free(version);
  if (!recent) return false;
  struct {
    xcb_input_event_mask_t head;
    std::uint32_t mask;
  } selection{{XCB_INPUT_DEVICE_ALL, 1},
              XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS |
                  XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_RELEASE |
                  XCB_INPUT_XI_EVENT_MASK_RAW_TOUCH_BEGIN};
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
  return Checked(connection,
                 xcb_input_xi_select_events_checked(connection, root, 1, &selection.head));
}

// A held key then comes as presses only, as the toolkit's connection has it: without it
// this connection would get a release before every repeated press, which the toolkit's
// never sees.
bool DetectableAutoRepeat(xcb_connection_t* connection) {
  xcb_xkb_use_extension_reply_t* use =
      xcb_xkb_use_extension_reply(connection, xcb_xkb_use_extension(connection, 1, 0), nullptr);
  const bool supported = use != nullptr && use->supported != 0;
  std::free(use);
  if (!supported) return false;
  const auto flag = static_cast<std::uint32_t>(XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT);
  xcb_xkb_per_client_flags_reply_t* reply = xcb_xkb_per_client_flags_reply(
      connection,
      xcb_xkb_per_client_flags(connection, XCB_XKB_ID_USE_CORE_KBD, flag, flag, 0, 0, 0), nullptr);
  const bool on = reply != nullptr && (reply->value & flag) != 0;
  std::free(reply);
  return on;
}

}  // namespace

EarlyKeyThread::EarlyKeyThread(std::unique_ptr<State> state) : state_(std::move(state)) {}

EarlyKeyThread::~EarlyKeyThread() = default;

bool EarlyKeyThread::State::Connect() {
  connection = xcb_connect(displayName.c_str(), nullptr);
  if (xcb_connection_has_error(connection) != 0) return false;
  if (!WatchClicks(connection, *this) || !DetectableAutoRepeat(connection)) return false;
  const std::uint32_t mask =
      XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE | XCB_EVENT_MASK_FOCUS_CHANGE;
  return Checked(connection, xcb_change_window_attributes_checked(connection, window,
                                                                  XCB_CW_EVENT_MASK, &mask));
}

std::unique_ptr<EarlyKeyThread> EarlyKeyThread::Start(void* xlibDisplay, std::uint32_t window,
                                                      EarlyKeySink& sink) {
  auto state = std::make_unique<State>();
  // The name the toolkit opened, so that both connections reach the same X server.
  state->displayName = DisplayString(static_cast<Display*>(xlibDisplay));
  state->window = window;
  state->sink = &sink;
  state->stop = eventfd(0, EFD_CLOEXEC);
  if (state->stop < 0) return nullptr;
  State& running = *state;
  state->thread = std::thread([&running] { running.Run(); });
  return std::make_unique<EarlyKeyThread>(std::move(state));
}
