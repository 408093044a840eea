// The drop receiver on a window of the test's own, with a procedure of the test's own
// already in place: what reaches the callback, what reaches the previous procedure, and
// what attach, a second attach and detach leave behind.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "selection/drop_receiver.h"
#include "tests/selection/selection_fixture.h"
#include "tests/support/harness.h"

namespace {

struct Call {
  HWND window;
  UINT msg;
  WPARAM wp;
  LPARAM lp;
  bool operator==(const Call& o) const {
    return window == o.window && msg == o.msg && wp == o.wp && lp == o.lp;
  }
};

std::vector<Call> seen;                // what reached the test's own procedure
std::vector<std::string> received;     // what reached the callback
std::vector<std::string> receivedToo;  // ... the second callback
WNDPROC original = nullptr;            // the class procedure under the test's own

constexpr UINT kPing = WM_APP + 7;
// Full-width values: a receiver that cut them to 32 bits would be caught.
const LRESULT kPingResult = static_cast<LRESULT>(~static_cast<ULONG_PTR>(0) / 3);
constexpr LRESULT kCopyDataResult = 0x5A17;

LRESULT CALLBACK ClassProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  return DefWindowProcA(w, msg, wp, lp);
}

LRESULT CALLBACK TestOwnProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == kPing || msg == WM_COPYDATA || msg == WM_DROPFILES) seen.push_back({w, msg, wp, lp});
  if (msg == kPing) return kPingResult;
  if (msg == WM_COPYDATA) return kCopyDataResult;
  return CallWindowProcA(original, w, msg, wp, lp);
}

LRESULT CALLBACK LaterProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  return TestOwnProc(w, msg, wp, lp);
}

int RecordPath(const char* path) {
  received.push_back(path);
  return 99;  // ignored by the receiver
}

int RecordPathToo(const char* path) {
  receivedToo.push_back(path);
  return 0;
}

WNDPROC ProcedureOf(HWND w) {
  return reinterpret_cast<WNDPROC>(GetWindowLongPtrA(w, GWLP_WNDPROC));
}
bool AcceptsFiles(HWND w) { return (GetWindowLongPtrA(w, GWL_EXSTYLE) & WS_EX_ACCEPTFILES) != 0; }

// Valid GBK throughout: no lead byte without its trail byte.
bool WholeCharacters(const std::string& s) {
  return MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, s.data(), static_cast<int>(s.size()),
                             nullptr, 0) > 0;
}

class Receiver : public ::testing::Test {
 protected:
  void SetUp() override {
    seen.clear();
    received.clear();
    receivedToo.clear();
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ClassProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "SelectionTestWindow";
    RegisterClassA(&wc);
    window_ = CreateWindowExA(0, wc.lpszClassName, "drop target", WS_OVERLAPPEDWINDOW, 10, 10, 200,
                              100, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_TRUE(window_);
    original = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TestOwnProc)));
    ASSERT_EQ(ProcedureOf(window_), &TestOwnProc);
  }
  void TearDown() override {
    if (window_) DestroyWindow(window_);
  }
  LRESULT SendDrop(const std::vector<std::string>& paths, HDROP* handle = nullptr) {
    HDROP drop = MakeDrop(paths);
    if (handle) *handle = drop;
    return SendMessageA(window_, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
  }
  HWND window_ = nullptr;
};

TEST_F(Receiver, AttachSubclassesAndAcceptsFiles) {
  DropReceiver receiver;
  EXPECT_FALSE(receiver.attached());
  EXPECT_FALSE(AcceptsFiles(window_));
  receiver.Attach(window_, RecordPath);
  EXPECT_TRUE(receiver.attached());
  EXPECT_EQ(receiver.window(), window_);
  EXPECT_EQ(receiver.previousProcedure(), &TestOwnProc);
  EXPECT_NE(ProcedureOf(window_), &TestOwnProc);
  EXPECT_TRUE(AcceptsFiles(window_));
}

struct Forwarded {
  const char* name;
  UINT msg;
  WPARAM wp;
  LPARAM lp;
  LRESULT result;
};

TEST_F(Receiver, OtherMessagesReachThePreviousProcedureUnchanged) {
  static char payload[] = "payload";
  static COPYDATASTRUCT copy = {0x51, sizeof payload, payload};
  const Forwarded cases[] = {
      {"WM_COPYDATA", WM_COPYDATA, reinterpret_cast<WPARAM>(GetDesktopWindow()),
       reinterpret_cast<LPARAM>(&copy), kCopyDataResult},
      {"private message, full-width arguments", kPing, ~static_cast<WPARAM>(0) - 5,
       static_cast<LPARAM>(~static_cast<ULONG_PTR>(0) / 7), kPingResult},
  };
  DropReceiver receiver;
  receiver.Attach(window_, RecordPath);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    seen.clear();
    EXPECT_EQ(SendMessageA(window_, c.msg, c.wp, c.lp), c.result);
    EXPECT_EQ(seen, (std::vector<Call>{{window_, c.msg, c.wp, c.lp}}));
  }
  // Messages the test's procedure does not handle travel on to the class procedure.
  EXPECT_TRUE(SetWindowTextA(window_, "renamed"));
  EXPECT_EQ(WindowText(window_), "renamed");
  EXPECT_TRUE(received.empty());
}

TEST_F(Receiver, DropIsTakenAndNotPassedOn) {
  DropReceiver receiver;
  receiver.Attach(window_, RecordPath);
  HDROP drop = nullptr;
  EXPECT_EQ(SendDrop({"C:\\fw\\a.hex"}, &drop), 0);
  EXPECT_EQ(received, std::vector<std::string>{"C:\\fw\\a.hex"});
  EXPECT_TRUE(seen.empty()) << "WM_DROPFILES reached the previous procedure";
  EXPECT_TRUE(HandleFreed(drop));
}

struct PathsCase {
  const char* name;
  std::vector<std::string> dropped;
  std::vector<std::string> received;
};

std::string Long(const std::string& prefix, size_t bytes, const std::string& tail = "") {
  std::string s = prefix;
  while (s.size() + tail.size() < bytes) s += "表";
  return s + tail;
}

TEST_F(Receiver, EachItemReachesTheCallbackInOrder) {
  // "C:\\" then two-byte characters from byte 3: a cut at 999 bytes ends a character;
  // "C:\\x" moves them by one, so the same cut would split one.
  const std::string evenCut = Long("C:\\", 1101, ".hex");
  const std::string splitCut = Long("C:\\x", 1100, ".hex");
  const std::string exact = Long("C:\\", 999);
  const PathsCase cases[] = {
      {"three in the shell's order",
       {"C:\\fw\\1.hex", "D:\\固件\\二 (2).txt", "C:\\fw\\3.hex"},
       {"C:\\fw\\1.hex", "D:\\固件\\二 (2).txt", "C:\\fw\\3.hex"}},
      {"zero items", {}, {}},
      {"999 bytes kept whole", {exact}, {exact}},
      {"longer: cut after 999 bytes", {evenCut}, {evenCut.substr(0, 999)}},
      {"longer: a character the cut would split is left out",
       {splitCut},
       {splitCut.substr(0, 998)}},
      {"a short path after a long one sees only itself",
       {splitCut, "C:\\s.hex", evenCut, "C:\\t"},
       {splitCut.substr(0, 998), "C:\\s.hex", evenCut.substr(0, 999), "C:\\t"}},
  };
  DropReceiver receiver;
  receiver.Attach(window_, RecordPath);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    received.clear();
    HDROP drop = nullptr;
    EXPECT_EQ(SendDrop(c.dropped, &drop), 0);
    EXPECT_EQ(received, c.received);
    for (const auto& path : received) EXPECT_TRUE(WholeCharacters(path));
    EXPECT_TRUE(HandleFreed(drop));
  }
}

TEST_F(Receiver, SecondAttachChangesNothing) {
  HWND other = CreateWindowExA(0, "SelectionTestWindow", "other", WS_OVERLAPPEDWINDOW, 0, 0, 50, 50,
                               nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  ASSERT_TRUE(other);
  WNDPROC othersOwn = ProcedureOf(other);
  DropReceiver receiver;
  receiver.Attach(window_, RecordPath);
  WNDPROC installed = ProcedureOf(window_);
  receiver.Attach(window_, RecordPathToo);  // the same window again
  receiver.Attach(other, RecordPathToo);    // another window
  EXPECT_EQ(receiver.previousProcedure(), &TestOwnProc);
  EXPECT_EQ(receiver.window(), window_);
  EXPECT_EQ(ProcedureOf(window_), installed);
  EXPECT_EQ(ProcedureOf(other), othersOwn);
  EXPECT_FALSE(AcceptsFiles(other));
  SendDrop({"C:\\fw\\once.hex"});
  EXPECT_EQ(received, std::vector<std::string>{"C:\\fw\\once.hex"});
  EXPECT_TRUE(receivedToo.empty());
  DestroyWindow(other);
}

TEST_F(Receiver, DetachAndDestroyPutTheProcedureBack) {
  for (bool destroy : {false, true}) {
    SCOPED_TRACE(destroy ? "destroy" : "detach");
    seen.clear();
    received.clear();
    auto* receiver = new DropReceiver();
    receiver->Attach(window_, RecordPath);
    ASSERT_NE(ProcedureOf(window_), &TestOwnProc);
    if (destroy) {
      delete receiver;
      receiver = nullptr;
    } else {
      receiver->Detach();
      EXPECT_FALSE(receiver->attached());
    }
    EXPECT_EQ(ProcedureOf(window_), &TestOwnProc);
    EXPECT_FALSE(AcceptsFiles(window_));
    // Everything, drops included, goes straight to the test's procedure again.
    HDROP drop = nullptr;
    SendDrop({"C:\\fw\\late.hex"}, &drop);
    EXPECT_TRUE(received.empty());
    EXPECT_EQ(seen.size(), 1u);
    EXPECT_EQ(SendMessageA(window_, kPing, 1, 2), kPingResult);
    GlobalFree(drop);
    if (receiver) {
      // Destroying a receiver that was detached before leaves a later procedure alone.
      SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&LaterProc));
      delete receiver;
      EXPECT_EQ(ProcedureOf(window_), &LaterProc);
      SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TestOwnProc));
    }
  }
}

TEST_F(Receiver, AttachesAgainAfterDetach) {
  DropReceiver receiver;
  receiver.Attach(window_, RecordPath);
  receiver.Detach();
  receiver.Attach(window_, RecordPathToo);
  EXPECT_TRUE(receiver.attached());
  EXPECT_EQ(receiver.previousProcedure(), &TestOwnProc);
  SendDrop({"C:\\fw\\again.hex"});
  EXPECT_TRUE(received.empty());
  EXPECT_EQ(receivedToo, std::vector<std::string>{"C:\\fw\\again.hex"});
  EXPECT_EQ(SendMessageA(window_, kPing, 3, 4), kPingResult);
}

TEST_F(Receiver, ASecondReceiverOnTheSameWindowStaysOut) {
  DropReceiver first, second;
  first.Attach(window_, RecordPath);
  WNDPROC installed = ProcedureOf(window_);
  second.Attach(window_, RecordPathToo);
  EXPECT_FALSE(second.attached());
  EXPECT_EQ(ProcedureOf(window_), installed);
  EXPECT_EQ(SendMessageA(window_, kPing, 5, 6), kPingResult);
  SendDrop({"C:\\fw\\first.hex"});
  EXPECT_EQ(received, std::vector<std::string>{"C:\\fw\\first.hex"});
  EXPECT_TRUE(receivedToo.empty());
  // Once the first has let go, the second can take the window.
  first.Detach();
  second.Attach(window_, RecordPathToo);
  EXPECT_TRUE(second.attached());
  EXPECT_EQ(second.previousProcedure(), &TestOwnProc);
  SendDrop({"C:\\fw\\second.hex"});
  EXPECT_EQ(receivedToo, std::vector<std::string>{"C:\\fw\\second.hex"});
}

}  // namespace
