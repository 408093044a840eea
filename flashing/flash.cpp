#include "flashing/flash.h"

#include <windows.h>

#include "services/files.h"
#include "services/message_box.h"
#include "services/process.h"
#include "ui/handlers.h"
#include "ui/main_window.h"

namespace {

constexpr char kPlaceholder[] = "%~1";
constexpr char kScriptName[] = "Quelvar-reflash.bat";

Text WindowText(HWND w) {
  Text text(static_cast<size_t>(GetWindowTextLengthA(w)) + 1, '\0');
  text.resize(static_cast<size_t>(GetWindowTextA(w, &text[0], static_cast<int>(text.size()))));
  return text;
}

}  // namespace

Text FillScriptTemplate(const char* firmwarePath) {
  Text script = BytesToText(kScriptTemplate);
  int first = FindText(script.c_str(), kPlaceholder, 1, false);
  // A '%' in a batch line starts a variable reference; "%%" stands for the sign itself.
  Text path = ReplaceText(firmwarePath, "%", "%%", 1, 0x7fffffff, true);
  return ReplaceText(script.c_str(), kPlaceholder, path.c_str(), first, 2, true);
}

Text ReflashScriptPath() { return ProgramDirectory() + "\\bin\\" + kScriptName; }

bool WriteReflashScript(const char* firmwarePath) {
  Text script = FillScriptTemplate(firmwarePath);
  FoundFile old = FindFile(ReflashScriptPath().c_str());
  if (CompareText(old.name.c_str(), kScriptName) == 0) DeleteFilePath(ReflashScriptPath().c_str());
  return WriteFileBytes(ReflashScriptPath().c_str(), TextToBytes(script));
}

void OnFlashClicked(HWND) {
  if (!WriteReflashScript(WindowText(MainControl(编辑框1)).c_str())) {
    // Whatever script stands there now may name an earlier firmware: never start it.
    ShowMessage(("无法写入刷新脚本，没有开始刷新。请确认程序旁有bin文件夹，"
                 "且此文件没有被占用或设为只读：\r\n" +
                 ReflashScriptPath())
                    .c_str(),
                kOk);
    return;
  }
  StartFile(ReflashScriptPath().c_str());
}
