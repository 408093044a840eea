#pragma once
// Receives files dropped from the shell onto a window: takes over the window's
// procedure, hands each dropped path to a callback and passes every other message on.
#include <windows.h>

#include <cstdint>

// Receives one dropped path (NUL-terminated, GBK) in a buffer that is reused for the
// next item; returns a value that the receiver ignores.
using PathCallback = int (*)(const char* path);

class DropReceiver {
 public:
  DropReceiver() = default;
  virtual ~DropReceiver();                                  // detaches
  virtual DropReceiver* Copy() const;                       // a new object with the same fields
  virtual void Attach(HWND window, PathCallback callback);  // a second attach does nothing
  virtual void Detach();
  virtual LRESULT WindowProcedure(HWND w, UINT msg, WPARAM wp, LPARAM lp);

  HWND window() const { return window_; }
  WNDPROC previousProcedure() const { return previous_; }
  bool attached() const { return binding_ != nullptr; }

 private:
  HWND window_ = nullptr;
  WNDPROC previous_ = nullptr;
  intptr_t callback_ = 0;
  void* binding_ = nullptr;  // set while attached
};
