// Asks a window to close the way a window manager does when its close button is pressed:
// a WM_DELETE_WINDOW client message. Xvfb runs no window manager, and xdotool can only
// destroy or kill, so the end-to-end tests send the request with this.
// Usage: close_window WINDOW_ID   (decimal or 0x hex, as xdotool and xwininfo print it)
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: close_window WINDOW_ID\n");
    return 2;
  }
  char* end = nullptr;
  unsigned long id = strtoul(argv[1], &end, 0);
  if (end == argv[1] || *end || id == 0) {
    fprintf(stderr, "close_window: not a window id: %s\n", argv[1]);
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    fprintf(stderr, "close_window: cannot open the display\n");
    return 1;
  }
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = (Window)id;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = (long)XInternAtom(display, "WM_DELETE_WINDOW", False);
  event.xclient.data.l[1] = CurrentTime;
  Status sent = XSendEvent(display, (Window)id, False, NoEventMask, &event);
  XSync(display, False);
  XCloseDisplay(display);
  if (!sent) {
    fprintf(stderr, "close_window: cannot send to window %s\n", argv[1]);
    return 1;
  }
  return 0;
}
