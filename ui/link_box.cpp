#include "ui/link_box.h"

#include <memory>

#include "services/forms.h"
#include "services/handles.h"

const char kLinkBoxClass[] = "QuelvarLinkBox";

namespace {

constexpr COLORREF kHoverColour = RGB(255, 0, 255);
constexpr COLORREF kVisitedColour = RGB(0, 96, 192);
constexpr COLORREF kLinkColour = RGB(176, 0, 0);

struct LinkState {
  LinkTarget target{kWebLink, {}, {}};
  bool visited = false;
  bool hover = false;
  HFONT font = nullptr;  // set by the parent with WM_SETFONT; not owned
};

LinkState* StateOf(HWND w) {
  return reinterpret_cast<LinkState*>(GetWindowLongPtrA(w, GWLP_USERDATA));
}

void Paint(HWND w, const LinkState& s) {
  PaintScope paint(w);
  RECT r;
  GetClientRect(w, &r);
  FillRect(paint.dc(), &r, GetSysColorBrush(COLOR_BTNFACE));
  char caption[256] = {};
  GetWindowTextA(w, caption, sizeof caption);
  SelectScope font(paint.dc(), s.font ? s.font : GetStockObject(DEFAULT_GUI_FONT));
  SetBkMode(paint.dc(), TRANSPARENT);
  SetTextColor(paint.dc(), LinkTextColour(w));
  DrawTextA(paint.dc(), caption, -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

void SetHover(HWND w, LinkState& s, bool hover) {
  if (s.hover == hover) return;
  s.hover = hover;
  if (hover) {
    TRACKMOUSEEVENT track = {sizeof track, TME_LEAVE, w, 0};
    TrackMouseEvent(&track);
  }
  InvalidateRect(w, nullptr, TRUE);
}

LRESULT CALLBACK LinkBoxProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  LinkState* s = StateOf(w);
  switch (msg) {
    case WM_NCCREATE:
      SetWindowLongPtrA(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(new LinkState));
      break;
    case WM_NCDESTROY:
      delete s;
      SetWindowLongPtrA(w, GWLP_USERDATA, 0);
      break;
    case WM_SETFONT:
      s->font = reinterpret_cast<HFONT>(wp);
      if (LOWORD(lp)) InvalidateRect(w, nullptr, TRUE);
      return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(s->font);
    case WM_PAINT: Paint(w, *s); return 0;
    case WM_ERASEBKGND: return 1;  // WM_PAINT fills the whole box
    case WM_SETCURSOR: SetCursor(LoadCursor(nullptr, IDC_HAND)); return TRUE;
    case WM_MOUSEMOVE: SetHover(w, *s, true); return 0;
    case WM_MOUSELEAVE: SetHover(w, *s, false); return 0;
    case WM_LBUTTONDOWN:
      SendMessageA(GetParent(w), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(w), kLinkPressed),
                   reinterpret_cast<LPARAM>(w));
      return 0;
  }
  return DefWindowProcA(w, msg, wp, lp);
}

}  // namespace

void RegisterLinkBox() { RegisterControlClass(kLinkBoxClass, LinkBoxProc, IDC_HAND); }

LinkTarget GetLinkTarget(HWND link) { return StateOf(link)->target; }

void SetLinkTarget(HWND link, int kind, const char* email, const char* web) {
  LinkState* s = StateOf(link);
  s->target.kind = kind < kEmailLink ? kEmailLink : kind > kWebLink ? kWebLink : kind;
  s->target.email = email ? email : "";
  s->target.web = web ? web : "";
}

void MarkLinkVisited(HWND link) {
  StateOf(link)->visited = true;
  InvalidateRect(link, nullptr, TRUE);
}

bool IsLinkVisited(HWND link) { return StateOf(link)->visited; }

COLORREF LinkTextColour(HWND link) {
  const LinkState* s = StateOf(link);
  return s->hover ? kHoverColour : s->visited ? kVisitedColour : kLinkColour;
}
