#pragma once
// Owners of Win32 resources: each releases what it holds when it goes out of scope.
#include <windows.h>

#include <ole2.h>

#include <utility>

// A kernel handle closed with CloseHandle. CreateFile reports failure as
// INVALID_HANDLE_VALUE, most other calls as null; both count as empty.
class UniqueHandle {
 public:
  explicit UniqueHandle(HANDLE h = nullptr) : h_(h) {}
  UniqueHandle(UniqueHandle&& o) noexcept : h_(std::exchange(o.h_, nullptr)) {}
  UniqueHandle& operator=(UniqueHandle o) noexcept {
    std::swap(h_, o.h_);
    return *this;
  }
  ~UniqueHandle() {
    if (*this) CloseHandle(h_);
  }
  explicit operator bool() const { return h_ && h_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return h_; }

 private:
  HANDLE h_;
};

// A search handle of FindFirstFile, closed with FindClose.
class FindHandle {
 public:
  explicit FindHandle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
  FindHandle(FindHandle&& o) noexcept : h_(std::exchange(o.h_, INVALID_HANDLE_VALUE)) {}
  FindHandle& operator=(FindHandle o) noexcept {
    std::swap(h_, o.h_);
    return *this;
  }
  ~FindHandle() {
    if (*this) FindClose(h_);
  }
  explicit operator bool() const { return h_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return h_; }

 private:
  HANDLE h_;
};

// A GDI object (font, brush, bitmap) deleted with DeleteObject.
template <class T>
class GdiObject {
 public:
  explicit GdiObject(T h = nullptr) : h_(h) {}
  GdiObject(GdiObject&& o) noexcept : h_(std::exchange(o.h_, nullptr)) {}
  GdiObject& operator=(GdiObject o) noexcept {
    std::swap(h_, o.h_);
    return *this;
  }
  ~GdiObject() {
    if (h_) DeleteObject(h_);
  }
  T get() const { return h_; }

 private:
  T h_;
};
using Font = GdiObject<HFONT>;
using Bitmap = GdiObject<HBITMAP>;

// Selects an object into a DC and puts the previous one back; a DC must not be released
// or deleted with one of our objects still selected.
class SelectScope {
 public:
  SelectScope(HDC dc, HGDIOBJ obj) : dc_(dc), old_(SelectObject(dc, obj)) {}
  SelectScope(const SelectScope&) = delete;
  SelectScope& operator=(const SelectScope&) = delete;
  ~SelectScope() { SelectObject(dc_, old_); }

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// A memory DC compatible with another, deleted with DeleteDC.
class MemoryDc {
 public:
  explicit MemoryDc(HDC like) : dc_(CreateCompatibleDC(like)) {}
  MemoryDc(const MemoryDc&) = delete;
  MemoryDc& operator=(const MemoryDc&) = delete;
  ~MemoryDc() {
    if (dc_) DeleteDC(dc_);
  }
  HDC get() const { return dc_; }

 private:
  HDC dc_;
};

// BeginPaint / EndPaint for one WM_PAINT.
class PaintScope {
 public:
  explicit PaintScope(HWND w) : w_(w) { dc_ = BeginPaint(w, &ps_); }
  PaintScope(const PaintScope&) = delete;
  PaintScope& operator=(const PaintScope&) = delete;
  ~PaintScope() { EndPaint(w_, &ps_); }
  HDC dc() const { return dc_; }

 private:
  HWND w_;
  PAINTSTRUCT ps_;
  HDC dc_;
};

// OLE for the whole run: OleInitialize on construction, OleUninitialize if it succeeded.
class OleSession {
 public:
  OleSession() : ok_(SUCCEEDED(OleInitialize(nullptr))) {}
  OleSession(const OleSession&) = delete;
  OleSession& operator=(const OleSession&) = delete;
  ~OleSession() {
    if (ok_) OleUninitialize();
  }

 private:
  bool ok_;
};
