// A keyboard for the end-to-end tests on a Wayland compositor: one virtual keyboard for
// the whole run, with a real XKB keymap of the given layout, driven by lines on stdin.
//
//   code NAME          prints the evdev code of the key that gives keysym NAME on a US
//                      layout (its position), or -1
//   keys +30 -30 +44   presses (+) and releases (-) keys by evdev code, all at once; prints
//                      "ok" once the compositor has handled them
//
// Usage: wayland_keyboard LAYOUT   (prints "ready" once the keymap is uploaded)

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "virtual-keyboard-unstable-v1-client-protocol.h"

namespace {

struct Globals {
  wl_seat* seat = nullptr;
  zwp_virtual_keyboard_manager_v1* manager = nullptr;
};

void Global(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
            std::uint32_t) {
  auto* globals = static_cast<Globals*>(data);
  if (std::strcmp(interface, wl_seat_interface.name) == 0 && globals->seat == nullptr) {
    globals->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
  } else if (std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0) {
    globals->manager = static_cast<zwp_virtual_keyboard_manager_v1*>(
        wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
  }
}

void GlobalRemove(void*, wl_registry*, std::uint32_t) {}

const wl_registry_listener RegistryListener{Global, GlobalRemove};

template <auto Free>
struct Deleter {
  template <typename T>
  void operator()(T* p) const {
    Free(p);
  }
};
using Context = std::unique_ptr<xkb_context, Deleter<xkb_context_unref>>;
using Keymap = std::unique_ptr<xkb_keymap, Deleter<xkb_keymap_unref>>;
using State = std::unique_ptr<xkb_state, Deleter<xkb_state_unref>>;

Keymap Compile(xkb_context* context, const char* layout) {
  const xkb_rule_names names{"evdev", "pc105", layout, "", ""};
  return Keymap(xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS));
}

std::uint32_t NowMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint32_t>(now.tv_sec * 1000 + now.tv_nsec / 1000000);
}

// The evdev code of the key whose first level gives the keysym on this keymap.
int CodeOf(xkb_keymap* keymap, const std::string& name) {
  const xkb_keysym_t wanted = xkb_keysym_from_name(name.c_str(), XKB_KEYSYM_NO_FLAGS);
  if (wanted == XKB_KEY_NoSymbol) return -1;
  for (xkb_keycode_t code = xkb_keymap_min_keycode(keymap); code <= xkb_keymap_max_keycode(keymap);
       ++code) {
    const xkb_keysym_t* syms = nullptr;
    const int count = xkb_keymap_key_get_syms_by_level(keymap, code, 0, 0, &syms);
    for (int i = 0; i < count; ++i) {
      if (syms[i] == wanted) return static_cast<int>(code) - 8;
    }
  }
  return -1;
}

// The keymap as the compositor reads it: a shared, sealed-size file.
bool Upload(zwp_virtual_keyboard_v1* keyboard, xkb_keymap* keymap) {
  struct FreeText {
    void operator()(char* text) const { std::free(text); }
  };
  std::unique_ptr<char, FreeText> text(xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1));
  if (!text) return false;
  const std::size_t size = std::strlen(text.get()) + 1;
  const int fd = memfd_create("keymap", MFD_CLOEXEC);
  if (fd < 0) return false;
  const bool written = write(fd, text.get(), size) == static_cast<ssize_t>(size);
  if (written) {
    zwp_virtual_keyboard_v1_keymap(keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd,
                                   static_cast<std::uint32_t>(size));
  }
  close(fd);
  return written;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: wayland_keyboard LAYOUT\n");
    return 2;
  }
  wl_display* display = wl_display_connect(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr, "cannot connect to the Wayland display\n");
    return 1;
  }
  Globals globals;
  wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &RegistryListener, &globals);
  wl_display_roundtrip(display);
  if (globals.seat == nullptr || globals.manager == nullptr) {
    std::fprintf(stderr, "the compositor offers no seat or no virtual keyboards\n");
    return 1;
  }

  const Context context(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
  const Keymap keymap = Compile(context.get(), argv[1]);
  const Keymap positions = Compile(context.get(), "us");
  if (!keymap || !positions) {
    std::fprintf(stderr, "cannot compile the keymap of layout %s\n", argv[1]);
    return 1;
  }
  const State state(xkb_state_new(keymap.get()));
  zwp_virtual_keyboard_v1* keyboard =
      zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(globals.manager, globals.seat);
  if (!Upload(keyboard, keymap.get()) || wl_display_roundtrip(display) < 0) {
    std::fprintf(stderr, "cannot upload the keymap\n");
    return 1;
  }
  std::cout << "ready" << std::endl;

  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream words(line);
    std::string command;
    words >> command;
    if (command == "code") {
      std::string name;
      words >> name;
      std::cout << CodeOf(positions.get(), name) << std::endl;
    } else if (command == "keys") {
      std::string event;
      while (words >> event) {
        const bool press = event[0] == '+';
        const auto code = static_cast<std::uint32_t>(std::stoul(event.substr(1)));
        zwp_virtual_keyboard_v1_key(
            keyboard, NowMs(), code,
            press ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
        // The compositor takes the modifiers from the keyboard, not from its keys.
        if (xkb_state_update_key(state.get(), code + 8, press ? XKB_KEY_DOWN : XKB_KEY_UP) != 0) {
          zwp_virtual_keyboard_v1_modifiers(
              keyboard, xkb_state_serialize_mods(state.get(), XKB_STATE_MODS_DEPRESSED),
              xkb_state_serialize_mods(state.get(), XKB_STATE_MODS_LATCHED),
              xkb_state_serialize_mods(state.get(), XKB_STATE_MODS_LOCKED),
              xkb_state_serialize_layout(state.get(), XKB_STATE_LAYOUT_EFFECTIVE));
        }
      }
      if (wl_display_roundtrip(display) < 0) return 1;
      std::cout << "ok" << std::endl;
    }
  }
  zwp_virtual_keyboard_v1_destroy(keyboard);
  wl_display_roundtrip(display);
  wl_display_disconnect(display);
  return 0;
}
