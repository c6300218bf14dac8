/* Asks a window to close as a window manager does for its close button: WM_DELETE_WINDOW. */
#include <X11/Xlib.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s WINDOW-ID\n", argv[0]);
        return 2;
    }
    Display* display = XOpenDisplay(NULL);
    if (display == NULL) {
        fprintf(stderr, "window_close: cannot open the display\n");
        return 1;
    }
    XEvent event = {0};
    event.xclient.type = ClientMessage;
    event.xclient.window = (Window)strtoul(argv[1], NULL, 0);
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = (long)XInternAtom(display, "WM_DELETE_WINDOW", False);
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, event.xclient.window, False, NoEventMask, &event);
    XSync(display, False);
    XCloseDisplay(display);
    return 0;
}
