#include "services/forms.h"

#include "services/runtime.h"

namespace {

constexpr char kFormProperty[] = "QuelvarForm";
constexpr UINT kDestroyMessage = WM_APP + 0x3E0;

// Every form's class procedure: counts the form's running handlers around its own
// procedure, so that a destroy asked for inside a handler waits until that handler ends,
// even when the handler runs a nested message loop (a message box) after asking.
//
// What CreateForm hands to the new window: the window owns the state once it has it.
struct Adoption {
  Form* state;
  bool adopted;
};

LRESULT CALLBACK FormDispatch(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* adoption = static_cast<Adoption*>(reinterpret_cast<CREATESTRUCTA*>(lp)->lpCreateParams);
    SetPropA(w, kFormProperty, adoption->state);
    adoption->adopted = true;
  }
  Form* state = FormOf(w);
  if (!state) return DefWindowProcA(w, msg, wp, lp);
  ++state->depth;
  LRESULT result = state->procedure(w, msg, wp, lp);
  if (FormOf(w) != state) return result;  // a destroyed form's state is gone
  if (--state->depth == 0 && state->destroyDeferred) {
    state->destroyDeferred = false;
    PostMessageA(w, kDestroyMessage, 0, 0);
  }
  return result;
}

void RegisterFormClass(const FormDesc& desc) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSEXA wc = {};
  if (GetClassInfoExA(instance, desc.windowClass, &wc)) return;
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = FormDispatch;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.hIcon = static_cast<HICON>(
      LoadImageA(instance, MAKEINTRESOURCEA(1), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
  wc.hIconSm = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(1), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXSMICON),
                                             GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  wc.lpszClassName = desc.windowClass;
  RegisterClassExA(&wc);
}

HFONT MakeFont(int height, bool underline) {
  return CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, underline, FALSE, DEFAULT_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH,
                     "方正准圆简体");
}

void CreateControls(HWND form, Form& state, const FormDesc& desc) {
  HFONT guiFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  for (int i = 0; i < desc.controlCount; ++i) {
    const ControlDesc& c = desc.controls[i];
    DWORD style = WS_CHILD | c.style;
    if (c.flags & kVisible) style |= WS_VISIBLE;
    if (c.flags & kDisabled) style |= WS_DISABLED;
    if (c.flags & kTabStop) style |= WS_TABSTOP;
    HWND control = CreateWindowExA(c.exStyle, c.windowClass, c.text ? c.text : "", style, c.left,
                                   c.top, c.width, c.height, form,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)),
                                   GetModuleHandleA(nullptr), nullptr);
    HFONT font = guiFont;
    if (c.fontHeight != 0) {
      state.fonts.emplace_back(MakeFont(c.fontHeight, c.underline));
      font = state.fonts.back().get();
    }
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }
}

void EnableSaved(Form& state) {
  for (auto& [window, enabled] : state.disabled)
    if (IsWindow(window)) EnableWindow(window, enabled);
  state.disabled.clear();
}

struct ThreadWindows {
  const char* windowClass;  // null: every form
  std::vector<HWND> found;
};

BOOL CALLBACK CollectForms(HWND w, LPARAM lp) {
  auto& search = *reinterpret_cast<ThreadWindows*>(lp);
  char name[64];
  if (IsForm(w) && (!search.windowClass || (GetClassNameA(w, name, sizeof name) &&
                                            lstrcmpiA(name, search.windowClass) == 0)))
    search.found.push_back(w);
  return TRUE;
}

std::vector<HWND> ThreadForms(const char* windowClass) {
  ThreadWindows search{windowClass, {}};
  EnumThreadWindows(GetCurrentThreadId(), CollectForms, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace

void RegisterControlClass(const char* windowClass, WNDPROC procedure, LPCSTR cursor) {
  WNDCLASSEXA wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = procedure;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursor(nullptr, cursor);
  wc.lpszClassName = windowClass;
  RegisterClassExA(&wc);
}

bool IsForm(HWND w) { return w && GetPropA(w, kFormProperty) != nullptr; }

Form* FormOf(HWND w) { return static_cast<Form*>(GetPropA(w, kFormProperty)); }

HWND FindForm(const char* windowClass) {
  auto forms = ThreadForms(windowClass);
  return forms.empty() ? nullptr : forms.front();
}

HWND CreateForm(const FormDesc& desc, HWND owner, std::unique_ptr<Form> state) {
  if (HWND existing = FindForm(desc.windowClass); existing && !FormOf(existing)->closing) {
    ShowWindow(existing, IsIconic(existing) ? SW_RESTORE : SW_SHOW);
    SetForegroundWindow(existing);
    return existing;
  }
  RegisterFormClass(desc);
  if (!state) state = std::make_unique<Form>();
  state->procedure = desc.procedure;
  int left = (GetSystemMetrics(SM_CXSCREEN) - desc.width) / 2;
  int top = (GetSystemMetrics(SM_CYSCREEN) - desc.height) / 2;
  Adoption adoption{state.get(), false};
  HWND form =
      CreateWindowExA(desc.exStyle, desc.windowClass, desc.title, desc.style, left, top, desc.width,
                      desc.height, owner, nullptr, GetModuleHandleA(nullptr), &adoption);
  if (adoption.adopted) state.release();  // from WM_NCCREATE on, the window owns its state
  if (!form) return nullptr;
  CreateControls(form, *FormOf(form), desc);
  if (desc.created) desc.created(form);
  if (IsWindow(form) && !FormOf(form)->closing) ShowWindow(form, SW_SHOW);
  return form;
}

void OpenModal(const FormDesc& desc, std::unique_ptr<Form> state) {
  HWND existing = FindForm(desc.windowClass);
  HWND form = CreateForm(desc, ToolWindow(), std::move(state));
  if (!form || form == existing) return;
  Form* modal = FormOf(form);
  for (HWND w : ThreadForms(nullptr)) {
    if (w == form || GetWindow(w, GW_OWNER)) continue;
    modal->disabled.emplace_back(w, IsWindowEnabled(w));
    EnableWindow(w, FALSE);
  }
  while (IsWindow(form) && PumpOneMessage()) {
  }
}

void DestroyForm(HWND form) {
  if (!IsForm(form)) return;
  FormOf(form)->closing = true;
  PostMessageA(form, kDestroyMessage, 0, 0);
}

void DestroyAllForms() {
  for (HWND w : ThreadForms(nullptr)) DestroyWindow(w);
}

LRESULT CALLBACK FormProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case kDestroyMessage:
      if (FormOf(w)->depth > 1) {  // asked for by a handler that is still running
        FormOf(w)->destroyDeferred = true;
        return 0;
      }
      [[fallthrough]];
    case WM_CLOSE:
      // Enable the windows a modal form disabled before it goes, so that activation
      // returns to them and not to another program.
      if (Form* state = FormOf(w)) EnableSaved(*state);
      DestroyWindow(w);
      return 0;
    case WM_NCDESTROY: {
      Form* state = FormOf(w);
      if (state) EnableSaved(*state);
      RemovePropA(w, kFormProperty);
      delete state;
      if (ThreadForms(nullptr).empty()) PostQuitMessage(0);
      break;
    }
  }
  return DefWindowProcA(w, msg, wp, lp);
}

void SetVisible(HWND w, bool visible) { ShowWindow(w, visible ? SW_SHOW : SW_HIDE); }

void SetEnabled(HWND w, bool enabled) { EnableWindow(w, enabled); }

void SetText(HWND w, const char* text) {
  SetWindowTextA(w, text ? text : "");
  InvalidateRect(w, nullptr, TRUE);  // custom-drawn labels repaint with the new text
}

void SetAlwaysOnTop(HWND w, bool onTop) {
  SetWindowPos(w, onTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void Timer::SetPeriod(int ms) {
  if (ms < 0) ms = 0;
  if (ms == period_) return;  // the timer keeps its phase
  KillTimer(owner_, kId);
  period_ = ms;
  if (ms > 0) SetTimer(owner_, kId, static_cast<UINT>(ms), nullptr);
}
