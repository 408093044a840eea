#include "ui/links.h"

#include <shellapi.h>

#include "services/process.h"
#include "ui/handlers.h"
#include "ui/link_box.h"

namespace {

// The default value of a key under HKEY_CLASSES_ROOT; empty when there is none.
Text ClassesDefault(const char* keyName) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, keyName, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return {};
  Text value;
  LONG size = 0;
  if (RegQueryValueA(key, nullptr, nullptr, &size) == ERROR_SUCCESS && size > 0) {
    value.resize(static_cast<size_t>(size));
    if (RegQueryValueA(key, nullptr, &value[0], &size) == ERROR_SUCCESS)
      value.resize(value.find('\0') == Text::npos ? static_cast<size_t>(size) : value.find('\0'));
    else
      value.clear();
  }
  RegCloseKey(key);
  return value;
}

// The command line registered for opening ".htm" files, cut where its first "%1" begins
// (a quoted one first), then a blank and the target. A command without "%1" is kept
// whole: dropping its last character would break a closing quote or an option.
Text HtmlCommandFor(const Text& target) {
  Text progId = ClassesDefault(".htm");
  if (progId.empty()) return {};
  Text command = ClassesDefault((progId + "\\shell\\open\\command").c_str());
  if (command.empty()) return {};
  int cut = FindText(command.c_str(), "\"%1\"");
  if (cut < 0) cut = FindText(command.c_str(), "%1");
  if (cut > 0) command.resize(static_cast<size_t>(cut - 1));
  return command + " " + target;
}

INT_PTR Open(const Text& target) {
  return reinterpret_cast<INT_PTR>(
      ShellExecuteA(nullptr, "open", target.c_str(), nullptr, nullptr, SW_SHOW));
}

}  // namespace

Text ChatLink(const char* account) {
  return Text("http://") + maker::kChatLinkHost + "/msgrd?v=3&uin=" + account +
         "&site=qq&menu=yes";
}

bool NavigateLink(HWND link) {
  LinkTarget current = GetLinkTarget(link);
  Text target = current.kind == kWebLink ? current.web : "mailto:" + current.email;
  if (target.empty()) return false;
  INT_PTR result = Open(target);
  if (result <= 32) {
    Text command = HtmlCommandFor(target);
    result = command.empty() ? 0 : static_cast<INT_PTR>(WinExec(command.c_str(), SW_SHOW));
  }
  if (result <= 32) return false;
  MarkLinkVisited(link);
  return true;
}

void OnSupportClicked(HWND) { OpenUrl(ChatLink(maker::kSupportAccount).c_str()); }

void OnMakerClicked(HWND) { OpenUrl(ChatLink(maker::kMakerAccount).c_str()); }

void OnShopLinkPressed(HWND link) {
  SetLinkTarget(link, kWebLink, GetLinkTarget(link).email.c_str(), maker::kShopPage);
  NavigateLink(link);
}
