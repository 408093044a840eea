// The chat buttons and the shop link, against classes registered by the test: a logging
// stand-in plays the browser (and the mail client), so every address the program hands
// to the shell, and every fall-back command line it builds, can be read back.
#include <windows.h>

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "tests/extras/extras_fixture.h"
#include "tests/support/harness.h"
#include "ui/link_box.h"
#include "ui/links.h"
#include "ui/main_window.h"

namespace {

constexpr COLORREF kLinkColour = RGB(176, 0, 0);
constexpr COLORREF kVisitedColour = RGB(0, 96, 192);

class Links : public ExtrasTest {
 protected:
  void SetUp() override {
    ExtrasTest::SetUp();
    link_ = FreshLink();
  }
  // The link's visited state lasts as long as the main window: a new one starts unvisited.
  static HWND FreshLink() {
    RestartMainWindow();
    return MainControl(超级链接框1);
  }
  // A left press on the link, as the mouse gives it.
  void PressLink() {
    SendMessageA(link_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 10));
    SendMessageA(link_, WM_LBUTTONUP, 0, MAKELPARAM(20, 10));
  }
  HWND link_ = nullptr;
};

// How many pixels of the link are drawn in the colour.
int PixelsIn(HWND w, COLORREF colour) {
  InvalidateRect(w, nullptr, TRUE);
  UpdateWindow(w);
  RECT r;
  GetClientRect(w, &r);
  int count = 0;
  for (int y = 0; y < r.bottom; ++y)
    for (int x = 0; x < r.right; ++x) count += ClientPixel(w, x, y) == colour;
  return count;
}

TEST_F(Links, ChatButtonsHandTheChatAddressesToTheShell) {
  PrivateClasses classes;
  LoggerCopy browser("browser.exe");
  classes.SetDefault("http\\shell\\open\\command", browser.Quoted() + " \"%1\"");
  const struct {
    int button;
    const char* account;
  } cases[] = {{超级按钮2, maker::kSupportAccount}, {超级按钮1, maker::kMakerAccount}};
  for (const auto& c : cases) Click(MainControl(c.button));
  auto starts = browser.WaitForStarts(2);
  ASSERT_EQ(starts.size(), 2u);
  for (size_t i = 0; i < 2; ++i)
    EXPECT_EQ(starts[i].commandLine, browser.Quoted() + " \"http://wpa.qq.com/msgrd?v=3&uin=" +
                                         cases[i].account + "&site=qq&menu=yes\"");
  EXPECT_STRNE(maker::kSupportAccount, maker::kMakerAccount);
}

// The browser for https, the ".htm" file class and its open command, as registered; a
// null entry is left out. commandLine is what must be started ("" for nothing).
struct ShopCase {
  const char* name;
  const char* httpsCommand;
  const char* htmClass;
  const char* htmCommand;
  std::string commandLine;
  bool visited;
};

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

TEST_F(Links, ShopLinkOpensTheShopOrFallsBackToTheHtmlCommand) {
  const std::string shop = maker::kShopPage;
  // "L" stands for the stand-in's quoted path.
  const ShopCase cases[] = {
      {"a browser for https", "L \"%1\"", "htmlfile", "L -htm \"%1\"", "L \"" + shop + "\"", true},
      {"no browser: the quoted %1 is cut off", nullptr, "QuelvarPage", "L -new \"%1\" -x",
       "L -new  " + shop, true},
      {"the quoted %1 goes before an earlier bare one", nullptr, "QuelvarPage",
       "L /a %1 \"%1\"", "L /a %1  " + shop, true},
      {"a bare %1 is cut off with what follows", nullptr, "QuelvarPage", "L %1 -x",
       "L  " + shop, true},
      {"no %1: the command is kept whole", nullptr, "QuelvarPage", "L -nohome",
       "L -nohome " + shop, true},
      {"the class has no open command", nullptr, "QuelvarPage", nullptr, "", false},
      {"no class for .htm", nullptr, nullptr, nullptr, "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    link_ = FreshLink();
    PrivateClasses classes;
    LoggerCopy browser("browser.exe");
    const std::string l = browser.Quoted();
    if (c.httpsCommand) classes.SetDefault("https\\shell\\open\\command", Replace(c.httpsCommand, "L", l));
    if (c.htmClass) classes.SetDefault(".htm", c.htmClass);
    if (c.htmClass && c.htmCommand)
      classes.SetDefault(std::string(c.htmClass) + "\\shell\\open\\command",
                         Replace(c.htmCommand, "L", l));
    PressLink();
    EXPECT_EQ(GetLinkTarget(link_).kind, kWebLink);
    EXPECT_EQ(GetLinkTarget(link_).web, shop);
    EXPECT_EQ(IsLinkVisited(link_), c.visited);
    if (c.commandLine.empty()) {
      PumpFor(500);
      EXPECT_TRUE(browser.Starts().empty());
    } else {
      auto starts = browser.WaitForStarts(1);
      ASSERT_EQ(starts.size(), 1u);
      EXPECT_EQ(starts[0].commandLine, Replace(c.commandLine, "L ", l + " "));
    }
  }
}

TEST_F(Links, TheTargetIsTheWebAddressOrTheMailAddressAndAnEmptyOneFails) {
  PrivateClasses classes;
  LoggerCopy browser("browser.exe");
  classes.SetDefault("https\\shell\\open\\command", browser.Quoted() + " \"%1\"");
  classes.SetDefault("mailto\\shell\\open\\command", browser.Quoted() + " \"%1\"");
  const struct {
    int kind;
    const char* email;
    const char* web;
    const char* opened;  // null: nothing may start and the navigation fails
  } cases[] = {
      {kEmailLink, "shop@quelvar.example", "https://ignored.example/", "mailto:shop@quelvar.example"},
      {kWebLink, "shop@quelvar.example", "https://quelvar.example/a?b=1", "https://quelvar.example/a?b=1"},
      {kWebLink, "shop@quelvar.example", "", nullptr},
  };
  size_t started = 0;
  for (const auto& c : cases) {
    link_ = FreshLink();
    SetLinkTarget(link_, c.kind, c.email, c.web);
    bool ok = NavigateLink(link_);
    EXPECT_EQ(ok, c.opened != nullptr) << c.web;
    EXPECT_EQ(IsLinkVisited(link_), c.opened != nullptr) << c.web;
    if (c.opened) {
      auto starts = browser.WaitForStarts(++started);
      ASSERT_EQ(starts.size(), started);
      EXPECT_EQ(starts.back().commandLine, browser.Quoted() + " \"" + c.opened + "\"");
    } else {
      PumpFor(500);
      EXPECT_EQ(browser.Starts().size(), started);
    }
  }
}

TEST_F(Links, AfterASuccessTheLinkIsDrawnInTheVisitedColour) {
  PrivateClasses classes;
  LoggerCopy browser("browser.exe");
  classes.SetDefault("https\\shell\\open\\command", browser.Quoted() + " \"%1\"");
  EXPECT_GT(PixelsIn(link_, kLinkColour), 20);
  EXPECT_EQ(PixelsIn(link_, kVisitedColour), 0);
  PressLink();
  EXPECT_EQ(browser.WaitForStarts(1).size(), 1u);
  EXPECT_GT(PixelsIn(link_, kVisitedColour), 20);
  EXPECT_EQ(PixelsIn(link_, kLinkColour), 0);
}

}  // namespace
