// Asks an X window to close the way a window manager's close button does: a WM_PROTOCOLS
// client message carrying WM_DELETE_WINDOW. (xdotool windowclose destroys the window instead.)
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: wm_delete WINDOW-ID\n");
    return 2;
  }
  Display* dpy = XOpenDisplay(nullptr);
  if (!dpy) {
    std::fprintf(stderr, "wm_delete: cannot open display\n");
    return 1;
  }
  XEvent ev = {};
  ev.xclient.type = ClientMessage;
  ev.xclient.window = Window(std::strtoul(argv[1], nullptr, 0));
  ev.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
  ev.xclient.format = 32;
  ev.xclient.data.l[0] = long(XInternAtom(dpy, "WM_DELETE_WINDOW", False));
  ev.xclient.data.l[1] = CurrentTime;
  XSendEvent(dpy, ev.xclient.window, False, NoEventMask, &ev);
  XCloseDisplay(dpy);
  return 0;
}
