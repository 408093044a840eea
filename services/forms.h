#pragma once
// The program's windows ("forms"): creation from a description, modal display,
// deferred destruction, control properties and timers.
#include <windows.h>

#include <memory>
#include <utility>
#include <vector>

#include "services/handles.h"

enum ControlFlags { kVisible = 1, kDisabled = 2, kTabStop = 4 };

// One control as designed: position and size relative to the client area.
struct ControlDesc {
  int id;
  const char* windowClass;
  const char* text;
  int left, top, width, height;
  DWORD style;  // besides WS_CHILD and what the flags give
  DWORD exStyle;
  int flags;       // ControlFlags
  int fontHeight;  // character height in pixels (negative); 0 for the default GUI font
  bool underline;
};

struct FormDesc {
  const char* windowClass;
  const char* title;
  DWORD style, exStyle;
  int width, height;           // outer size, frame included; the form is centred on the screen
  WNDPROC procedure;           // ends in FormProc for everything it does not handle
  void (*created)(HWND form);  // runs before the form is first shown; may be null
  const ControlDesc* controls;
  int controlCount;
};

// What the runtime keeps for each form; a window may keep more in a derived type.
struct Form {
  virtual ~Form() = default;
  WNDPROC procedure = nullptr;                  // the form's own window procedure
  int depth = 0;                                // how many of its handlers are running
  bool closing = false;                         // destroy was asked for
  bool destroyDeferred = false;                 // ... and waits for a handler to end
  std::vector<std::pair<HWND, BOOL>> disabled;  // what this modal form disabled
  std::vector<Font> fonts;
};

// Creates the form (or, when one of that class exists and is not closing, only brings
// it forward): controls, centring, the created event, then the form is shown.
HWND CreateForm(const FormDesc& desc, HWND owner, std::unique_ptr<Form> state = nullptr);

// Creates the form owned by the tool window, disables the program's other ownerless
// windows and runs a nested message loop until the form has been destroyed.
void OpenModal(const FormDesc& desc, std::unique_ptr<Form> state = nullptr);

// Marks the form for destruction and posts it a private message; returns at once, so a
// handler of the form itself runs to its end first.
void DestroyForm(HWND form);

// The default handling of every form; window procedures end in it.
LRESULT CALLBACK FormProc(HWND w, UINT msg, WPARAM wp, LPARAM lp);

bool IsForm(HWND w);
Form* FormOf(HWND w);
template <class T>
T* StateOf(HWND w) {
  return static_cast<T*>(FormOf(w));
}

// Registers a custom control's window class: the procedure and the mouse cursor over it.
// Registering a class a second time fails harmlessly.
void RegisterControlClass(const char* windowClass, WNDPROC procedure, LPCSTR cursor);

// The form of that class on this thread, if one exists.
HWND FindForm(const char* windowClass);
void DestroyAllForms();

// Control properties.
void SetVisible(HWND w, bool visible);
void SetEnabled(HWND w, bool enabled);
void SetText(HWND w, const char* text);
void SetAlwaysOnTop(HWND w, bool onTop);

// A periodic timer on a form (timer id 1000). Writing the period it already has
// changes nothing; any other period restarts it, and 0 leaves it stopped.
class Timer {
 public:
  static constexpr UINT_PTR kId = 1000;
  explicit Timer(HWND owner = nullptr) : owner_(owner) {}
  void Attach(HWND owner) { owner_ = owner; }
  void SetPeriod(int ms);
  int period() const { return period_; }

 private:
  HWND owner_;
  int period_ = 0;
};
