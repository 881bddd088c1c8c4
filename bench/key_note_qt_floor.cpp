// The least Qt program that turns a key press into a JACK MIDI note: a main window with a
// menu bar, and a note-on (note-off) on its JACK port "QtFloor:out" for every key press
// (release), Space ending the notes held, written from the key handler through a lock-free
// queue. The key latency
// benchmark measures it next to the Xlib floor and Tessivar, so that what Qt's input path
// costs is told apart from what the program adds.
//
// Where the note is written, for the benchmark's experiments:
//   key_note_qt_floor            keyPressEvent / keyReleaseEvent of the main window
//   key_note_qt_floor event      QWidget::event of the main window
//   key_note_qt_floor native     a native event filter on the raw X key event
//   key_note_qt_floor thread     a thread of its own reading the window's keys on a second
//                                X connection (Qt's key handler then writes nothing); "rt"
//                                after it runs that thread at real-time priority
// and "nomenu" after it leaves the menu bar out. "split" (with the first) also times, on the
// GUI thread, each press from its raw X event to the key handler, and prints the median of
// every 20 to standard error.
#include <pthread.h>
#include <xcb/xcb.h>

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMenuBar>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "floor_notes.h"

namespace {

void Send(bool press, std::uint32_t keycode) { floor_notes::Key(press, keycode); }

enum class Handler { KeyEvent, Event, Native, Thread };
Handler handler = Handler::KeyEvent;

// The "split" timing: the raw X event's arrival on the GUI thread, and the delays seen.
bool split = false;
std::chrono::steady_clock::time_point rawPress;
std::array<long long, 20> delays{};
std::size_t delayCount = 0;

void Handled(QEvent::Type type) {
  if (!split || type != QEvent::KeyPress) return;
  delays[delayCount++] = std::chrono::duration_cast<std::chrono::microseconds>(
                             std::chrono::steady_clock::now() - rawPress)
                             .count();
  if (delayCount < delays.size()) return;
  std::sort(delays.begin(), delays.end());
  std::fprintf(stderr, "raw X key press -> key handler: median %lld us, max %lld us\n",
               delays[delays.size() / 2], delays.back());
  delayCount = 0;
}

class Window : public QMainWindow {
 protected:
  bool event(QEvent* e) override {
    if (handler == Handler::Event &&
        (e->type() == QEvent::KeyPress || e->type() == QEvent::KeyRelease)) {
      const auto* key = static_cast<QKeyEvent*>(e);
      if (!key->isAutoRepeat()) Send(e->type() == QEvent::KeyPress, key->nativeScanCode());
      if (!key->isAutoRepeat()) Handled(e->type());
    }
    return QMainWindow::event(e);
  }
  void keyPressEvent(QKeyEvent* e) override {
    if (handler == Handler::KeyEvent && !e->isAutoRepeat()) Send(true, e->nativeScanCode());
    if (handler == Handler::KeyEvent && !e->isAutoRepeat()) Handled(e->type());
    QMainWindow::keyPressEvent(e);
  }
  void keyReleaseEvent(QKeyEvent* e) override {
    if (handler == Handler::KeyEvent && !e->isAutoRepeat()) Send(false, e->nativeScanCode());
    QMainWindow::keyReleaseEvent(e);
  }
};

class RawKeys : public QAbstractNativeEventFilter {
 public:
  bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
    if (type != "xcb_generic_event_t") return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const std::uint8_t kind = event->response_type & 0x7f;
    if (kind == XCB_KEY_PRESS) rawPress = std::chrono::steady_clock::now();
    if (handler == Handler::Native && (kind == XCB_KEY_PRESS || kind == XCB_KEY_RELEASE)) {
      Send(kind == XCB_KEY_PRESS, reinterpret_cast<const xcb_key_press_event_t*>(event)->detail);
    }
    return false;
  }
};

}  // namespace

int main(int argc, char** argv) {
  bool menu = true;
  bool realTime = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "event") == 0) handler = Handler::Event;
    if (std::strcmp(argv[i], "native") == 0) handler = Handler::Native;
    if (std::strcmp(argv[i], "thread") == 0) handler = Handler::Thread;
    if (std::strcmp(argv[i], "rt") == 0) realTime = true;
    if (std::strcmp(argv[i], "nomenu") == 0) menu = false;
    if (std::strcmp(argv[i], "split") == 0) split = true;
  }
  jack_client_t* client = jack_client_open("QtFloor", JackNoStartServer, nullptr);
  if (client == nullptr) return 1;
  floor_notes::Start(client);

  QApplication application(argc, argv);
  RawKeys rawKeys;
  if (handler == Handler::Native || split) application.installNativeEventFilter(&rawKeys);
  Window window;
  window.setWindowTitle("Qt floor");
  if (menu) {
    for (const char* title : {"&File", "&Setup", "&Devices", "&Tools", "&Help"}) {
      window.menuBar()->addMenu(title)->addAction("Item");
    }
  }
  window.resize(640, 200);
  window.show();
  if (handler == Handler::Thread) {
    xcb_connection_t* second = xcb_connect(nullptr, nullptr);
    const std::uint32_t mask = XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE;
    xcb_change_window_attributes(second, static_cast<xcb_window_t>(window.winId()),
                                 XCB_CW_EVENT_MASK, &mask);
    xcb_flush(second);
    // It reads until the program ends.
    std::thread([second, realTime] {
      if (realTime) {
        sched_param param{};
        param.sched_priority = 10;
        pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
      }
      while (xcb_generic_event_t* event = xcb_wait_for_event(second)) {
        const std::uint8_t kind = event->response_type & 0x7f;
        if (kind == XCB_KEY_PRESS || kind == XCB_KEY_RELEASE) {
          Send(kind == XCB_KEY_PRESS, reinterpret_cast<xcb_key_press_event_t*>(event)->detail);
        }
        std::free(event);
      }
    }).detach();
  }
  const int result = application.exec();
  jack_deactivate(client);
  jack_client_close(client);
  return result;
}
