#pragma once

// The window of the Xlib floor programs: mapped, raised and listening to its keys, so that
// the probe can focus it by its title and press keys into it.
#include <X11/Xlib.h>

inline Window OpenFloorWindow(Display* display, const char* title) {
  const Window window =
      XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 200, 100, 0, 0, 0);
  XStoreName(display, window, title);
  XSelectInput(display, window, KeyPressMask | KeyReleaseMask);
  XMapRaised(display, window);
  XSync(display, False);
  return window;
}
