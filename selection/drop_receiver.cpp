#include "selection/drop_receiver.h"

#include <shellapi.h>

#include <string>

namespace {

constexpr char kReceiverProperty[] = "QuelvarDropReceiver";

// The receiver is bound to its window through a window property rather than a code stub
// built at run time: every message still reaches the receiver's procedure first, and no
// executable memory is needed, which data-execution prevention would otherwise demand.
LRESULT CALLBACK ReceiverProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  auto* receiver = static_cast<DropReceiver*>(GetPropA(w, kReceiverProperty));
  if (!receiver) return DefWindowProcA(w, msg, wp, lp);
  return receiver->WindowProcedure(w, msg, wp, lp);
}

// Looked up at run time: the program must also start where the function does not exist.
void AllowMessageFromLowerIntegrity(UINT msg) {
  using Filter = BOOL(WINAPI*)(UINT, DWORD);
  static const auto filter = reinterpret_cast<Filter>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("user32.dll"), "ChangeWindowMessageFilter")));
  if (filter) filter(msg, 1 /* MSGFLT_ADD */);
}

// A path cut to fit the buffer may end in the first byte of a two-byte character; that
// byte alone would join with whatever follows it, so it is dropped.
void DropSplitCharacter(char* path) {
  char* p = path;
  while (*p) {
    if (IsDBCSLeadByte(static_cast<BYTE>(*p))) {
      if (!p[1]) {
        *p = '\0';
        break;
      }
      p += 2;
    } else {
      ++p;
    }
  }
}

}  // namespace

static_assert(sizeof(DropReceiver) == 5 * sizeof(void*),
              "the receiver is five words: operations table, window, previous procedure, "
              "callback and binding");

DropReceiver::~DropReceiver() { Detach(); }

DropReceiver* DropReceiver::Copy() const { return new DropReceiver(*this); }

void DropReceiver::Attach(HWND window, PathCallback callback) {
  if (binding_) return;  // already attached: the window is never subclassed twice
  // The window property binds one receiver per window; a second one on the same window
  // would find itself as its own previous procedure and recurse, so it stays detached.
  if (GetPropA(window, kReceiverProperty)) return;
  window_ = window;
  callback_ = reinterpret_cast<intptr_t>(callback);
  SetPropA(window, kReceiverProperty, this);
  binding_ = reinterpret_cast<void*>(&ReceiverProc);
  DragAcceptFiles(window, TRUE);
  AllowMessageFromLowerIntegrity(WM_DROPFILES);
  AllowMessageFromLowerIntegrity(WM_COPYDATA);
  AllowMessageFromLowerIntegrity(0x49 /* WM_COPYGLOBALDATA */);
  previous_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ReceiverProc)));
}

void DropReceiver::Detach() {
  // Only while attached: a second detach would otherwise put back a procedure that a
  // later subclass has replaced since.
  if (!binding_) return;
  // At program exit the window is usually gone already; these calls then fail harmlessly.
  SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous_));
  DragAcceptFiles(window_, FALSE);
  if (IsWindow(window_)) RemovePropA(window_, kReceiverProperty);
  binding_ = nullptr;
}

LRESULT DropReceiver::WindowProcedure(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg != WM_DROPFILES) return CallWindowProcA(previous_, w, msg, wp, lp);
  HDROP drop = reinterpret_cast<HDROP>(wp);
  std::string buffer(1000, ' ');
  UINT count = DragQueryFileA(drop, 0xFFFFFFFF, &buffer[0], 1000);
  auto callback = reinterpret_cast<PathCallback>(callback_);
  for (UINT i = 0; i < count; ++i) {
    buffer[999] = '\0';
    // At most 999 bytes and the NUL. An index that yields no path leaves the buffer as
    // it was (an empty drop can still be counted as one item), so it is not handed on.
    if (DragQueryFileA(drop, i, &buffer[0], 1000) == 0) continue;
    DropSplitCharacter(&buffer[0]);
    if (callback) callback(buffer.c_str());
  }
  DragFinish(drop);
  return 0;
}
