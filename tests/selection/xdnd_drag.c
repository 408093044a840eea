/* A desktop drag source for the tests: drags files onto an X window by the XDND protocol,
 * as a file manager does, and serves them as text/uri-list.
 *
 *   xdnd_drag RESULT_FILE WINDOW ROOT_X ROOT_Y FILE...
 *
 * The target is the X window WINDOW (a number; 0: the XDND-aware window under the point),
 * and the point is where the pointer is said to be, in root coordinates. The outcome goes to
 * RESULT_FILE, one line: "finished", "refused", "timeout" or "error: ..." (under Wine, a
 * Windows program that starts this one can neither wait for it nor read its exit code). */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/select.h>
#include <time.h>

static Display* dpy;
static Atom aAware, aEnter, aPosition, aStatus, aDrop, aFinished, aLeave, aSelection, aCopy,
    aUriList;

static char hexdigit(int v) { return "0123456789ABCDEF"[v & 15]; }

/* file:// URI of an absolute Unix path, with everything but unreserved bytes escaped. */
static void append_uri(char* out, const char* path) {
  strcat(out, "file://");
  char* o = out + strlen(out);
  for (const unsigned char* p = (const unsigned char*)path; *p; ++p) {
    if ((*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z') || (*p >= '0' && *p <= '9') ||
        strchr("/-_.~", *p)) {
      *o++ = (char)*p;
    } else {
      *o++ = '%';
      *o++ = hexdigit(*p >> 4);
      *o++ = hexdigit(*p);
    }
  }
  strcpy(o, "\r\n");
}

/* The XDND-aware window at the point: the top-level child of the root, or one inside it. */
static Window aware_window_at(int x, int y) {
  Window root = DefaultRootWindow(dpy), w = root, child;
  int cx, cy;
  for (;;) {
    if (!XTranslateCoordinates(dpy, root, w, x, y, &cx, &cy, &child)) return None;
    if (w != root) {
      Atom type;
      int format;
      unsigned long n, left;
      unsigned char* data = NULL;
      if (XGetWindowProperty(dpy, w, aAware, 0, 1, False, AnyPropertyType, &type, &format, &n,
                             &left, &data) == Success &&
          data) {
        XFree(data);
        if (n) return w;
      }
    }
    if (child == None) return None;
    w = child;
  }
}

static void send_client(Window target, Window source, Atom type, long l1, long l2, long l3,
                        long l4) {
  XEvent e;
  memset(&e, 0, sizeof e);
  e.xclient.type = ClientMessage;
  e.xclient.display = dpy;
  e.xclient.window = target;
  e.xclient.message_type = type;
  e.xclient.format = 32;
  e.xclient.data.l[0] = (long)source;
  e.xclient.data.l[1] = l1;
  e.xclient.data.l[2] = l2;
  e.xclient.data.l[3] = l3;
  e.xclient.data.l[4] = l4;
  XSendEvent(dpy, target, False, NoEventMask, &e);
  XFlush(dpy);
}

static void answer_request(XSelectionRequestEvent* r, const char* uris) {
  XEvent reply;
  memset(&reply, 0, sizeof reply);
  reply.xselection.type = SelectionNotify;
  reply.xselection.requestor = r->requestor;
  reply.xselection.selection = r->selection;
  reply.xselection.target = r->target;
  reply.xselection.time = r->time;
  reply.xselection.property = None;
  if (r->target == aUriList || r->target == XA_STRING) {
    Atom property = r->property != None ? r->property : r->target;
    XChangeProperty(dpy, r->requestor, property, r->target, 8, PropModeReplace,
                    (const unsigned char*)uris, (int)strlen(uris));
    reply.xselection.property = property;
  }
  XSendEvent(dpy, r->requestor, False, NoEventMask, &reply);
  XFlush(dpy);
}

static const char* result_file;

static int finish(int code, const char* outcome) {
  FILE* f = fopen(result_file, "w");
  if (f) {
    fprintf(f, "%s\n", outcome);
    fclose(f);
  }
  if (code) fprintf(stderr, "xdnd_drag: %s\n", outcome);
  return code;
}

static double now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

/* The next event, or 0 when none came within the time left until the deadline. */
static int next_event(XEvent* e, double deadline) {
  while (!XPending(dpy)) {
    double left = deadline - now();
    if (left <= 0) return 0;
    int fd = ConnectionNumber(dpy);
    fd_set fds;
    FD_ZERO(&fds);
    FD_SET(fd, &fds);
    struct timeval tv = {(long)left, (long)((left - (long)left) * 1e6)};
    select(fd + 1, &fds, NULL, NULL, &tv);
  }
  XNextEvent(dpy, e);
  return 1;
}

int main(int argc, char** argv) {
  if (argc < 6) {
    fprintf(stderr, "usage: %s RESULT_FILE WINDOW ROOT_X ROOT_Y FILE...\n", argv[0]);
    return 1;
  }
  result_file = argv[1];
  Window target = (Window)strtoul(argv[2], NULL, 0);
  int x = atoi(argv[3]), y = atoi(argv[4]);
  size_t size = 1;
  for (int i = 5; i < argc; ++i) size += strlen(argv[i]) * 3 + 16;
  char* uris = calloc(size, 1);
  for (int i = 5; i < argc; ++i) append_uri(uris, argv[i]);

  dpy = XOpenDisplay(NULL);
  if (!dpy) return finish(1, "error: no display");
  aAware = XInternAtom(dpy, "XdndAware", False);
  aEnter = XInternAtom(dpy, "XdndEnter", False);
  aPosition = XInternAtom(dpy, "XdndPosition", False);
  aStatus = XInternAtom(dpy, "XdndStatus", False);
  aDrop = XInternAtom(dpy, "XdndDrop", False);
  aFinished = XInternAtom(dpy, "XdndFinished", False);
  aLeave = XInternAtom(dpy, "XdndLeave", False);
  aSelection = XInternAtom(dpy, "XdndSelection", False);
  aCopy = XInternAtom(dpy, "XdndActionCopy", False);
  aUriList = XInternAtom(dpy, "text/uri-list", False);

  if (target == None) target = aware_window_at(x, y);
  if (target == None) return finish(1, "error: no XDND-aware window at the point");
  Window source = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), -10, -10, 1, 1, 0, 0, 0);
  XSetSelectionOwner(dpy, aSelection, source, CurrentTime);

  /* Enter (version 5, the type listed in the message), then positions until answered. */
  send_client(target, source, aEnter, 5L << 24, (long)aUriList, None, None);
  send_client(target, source, aPosition, 0, ((long)x << 16) | (y & 0xFFFF), CurrentTime,
              (long)aCopy);
  double deadline = now() + 10;
  int accepted = -1, dropped = 0;
  XEvent e;
  while (next_event(&e, deadline)) {
    if (e.type == SelectionRequest) {
      answer_request(&e.xselectionrequest, uris);
    } else if (e.type == ClientMessage && e.xclient.message_type == aStatus && !dropped) {
      accepted = (int)(e.xclient.data.l[1] & 1);
      if (!accepted) break;
      send_client(target, source, aDrop, 0, CurrentTime, 0, 0);
      dropped = 1;
    } else if (e.type == ClientMessage && e.xclient.message_type == aFinished) {
      XCloseDisplay(dpy);
      return finish(0, "finished");
    }
  }
  send_client(target, source, aLeave, 0, 0, 0, 0);
  XCloseDisplay(dpy);
  if (accepted == 0) return finish(2, "refused");
  return finish(3, dropped ? "timeout: no XdndFinished" : "timeout: no XdndStatus");
}
