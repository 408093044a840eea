#pragma once
// The contact and shop links along the bottom of the main window.
#include <windows.h>

#include "services/text.h"

// The maker's settings: who the chat buttons reach and where the shop is.
namespace maker {
constexpr char kSupportAccount[] = "2853917406";  // support button
constexpr char kMakerAccount[] = "1527083649";    // maker button
constexpr char kChatLinkHost[] = "wpa.qq.com";
constexpr char kShopPage[] =
    "https://quelvar.taobao.com/index.htm?spm=a1z10.1-c-s.w5002-21835729603.2.5c3f7b1dQmT3xR";
}  // namespace maker

// The chat link that opens a conversation with the account.
Text ChatLink(const char* account);

// Opens the link box's target: the web address for a web link, else "mailto:" and the
// e-mail address. Falls back to the command registered for ".htm" files when the shell
// cannot open it. True (and the link marked visited) when something was started.
bool NavigateLink(HWND link);
