"""The built program driven the way a person does, only through the display: clicks and
keys through the X server of the shared virtual display, what the windows show read by
screen_reader.exe, screenshots. The outside tools are the stand-ins of tests/standins,
playing a keyboard that is in the Atmel DFU bootloader from the first pass.

Set by the test's command (tests/acceptance/CMakeLists.txt):
  QUELVAR_PROGRAM   the built QuelvarRefresher.exe
  QUELVAR_READER    screen_reader.exe
  QUELVAR_STANDIN   the multi-call stand-in program
  QUELVAR_RUNS      a scratch folder of the build
"""
import os
import re
import shutil
import signal
import subprocess
import sys
import time
import unittest
from dataclasses import dataclass, field
from pathlib import Path

TOP = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(TOP / "tests" / "script"))
from harness import DFU_32U4, TOOLS, Call, device, win  # noqa: E402

PROGRAM = Path(os.environ["QUELVAR_PROGRAM"])
READER = Path(os.environ["QUELVAR_READER"])
STANDIN = Path(os.environ["QUELVAR_STANDIN"])
RUNS = Path(os.environ["QUELVAR_RUNS"])
WINE_RUN = TOP / "scripts" / "wine-run"
DISPLAY = os.environ.get("QUELVAR_DISPLAY", ":99")

TITLE = "奎尔瓦固件刷新器"
BOX = "信息："
HINT = "可直接拖放到此处....."
CONSOLE_TITLES = ("Quelvar Reflash Tool v1.0", "Quelvar刷固件工具 v1.0")
HEX = b":100000000C94340000000000000000000000000024\r\n:00000001FF\r\n"


def text(field_hex):
    return bytes.fromhex(field_hex[1:]).decode("utf-8")


@dataclass
class Control:
    id: int
    cls: str
    text: str
    rect: tuple  # screen x, y, w, h
    enabled: bool

    def centre(self):
        x, y, w, h = self.rect
        return x + w // 2, y + h // 2


@dataclass
class Window:
    hwnd: int
    pid: int
    cls: str
    title: str
    frame: tuple
    client: tuple
    image: str
    controls: list = field(default_factory=list)

    def control(self, label=None, id=None):
        for c in self.controls:
            if (label is None or c.text == label) and (id is None or c.id == id):
                return c
        raise AssertionError(f"no control {label or id!r} in {self.title!r}: "
                             f"{[c.text for c in self.controls]}")

    def texts(self):
        return [c.text for c in self.controls]


def x_env():
    return dict(os.environ, DISPLAY=DISPLAY)


def x(*args, **kw):
    return subprocess.run(list(args), env=x_env(), check=True, capture_output=True, **kw).stdout


class Screen:
    """What is on the display, and a person's hands on mouse and keyboard."""

    def __init__(self, folder: Path, marks):
        self.marks = [m.lower() for m in marks]  # one is in the command line of each session process
        self.out = folder / "screen.txt"
        # X windows of windows that another process draws (the console), by window handle.
        self.named = {}
        self.folder = folder

    def windows(self):
        if self.out.exists():
            self.out.unlink()
        subprocess.run([str(WINE_RUN), str(READER), win(self.out)], env=x_env(), check=True,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        result = []
        for line in self.out.read_text(encoding="utf-8").splitlines():
            f = line.split("\t")
            if f[0] == "W":
                n = list(map(int, f[5:13]))
                result.append(Window(int(f[1]), int(f[2]), text(f[3]), text(f[4]), tuple(n[:4]),
                                     tuple(n[4:]), text(f[13])))
            elif f[0] == "C" and result:
                n = list(map(int, f[5:9]))
                result[-1].controls.append(Control(int(f[2]), text(f[3]), text(f[4]), tuple(n),
                                                   f[9] == "1"))
        return result

    def console_lines(self, hwnd):
        """The lines a console window shows, wrapped rows joined; None when it cannot be
        read."""
        if self.out.exists():
            self.out.unlink()
        code = subprocess.run([str(WINE_RUN), str(READER), win(self.out), str(hwnd)], env=x_env(),
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL).returncode
        if code != 0 or not self.out.exists():
            return None
        lines, going_on = [], False
        for row in self.out.read_text(encoding="utf-8").splitlines():
            _, t, full = row.split("\t")
            if going_on:
                lines[-1] += text(t)
            else:
                lines.append(text(t))
            going_on = full == "1"
        return lines

    def wait(self, what, pick, timeout=20.0):
        """Polls until pick(windows) gives something, and returns that."""
        end = time.monotonic() + timeout
        while True:
            found = pick(self.windows())
            if found:
                return found
            if time.monotonic() > end:
                self.shot(f"timeout-{re.sub(r'[^a-z0-9]+', '-', what.lower())}")
                raise AssertionError(f"timed out waiting for {what}")
            time.sleep(0.2)

    def until(self, what, act, pick, tries=3, timeout=5.0):
        """Acts and waits for the outcome, again when it does not come: another program
        on the shared display may have taken the keyboard meanwhile."""
        for attempt in range(tries):
            act()
            try:
                return self.wait(what, pick, timeout=timeout)
            except AssertionError:
                if attempt == tries - 1:
                    raise

    def linux_pids(self):
        """Wine's processes started from the session's folder: the program and the
        script's command processor."""
        pids = []
        for d in Path("/proc").iterdir():
            if d.name.isdigit():
                try:
                    cmdline = (d / "cmdline").read_bytes().decode("utf-8", "replace").lower()
                except OSError:
                    continue
                if any(m in cmdline for m in self.marks):
                    pids.append(d.name)
        return pids

    def x_windows(self, w: Window):
        """The X windows of this session's processes that show w (by frame)."""
        geometry = "%dx%d+%d+%d" % (w.frame[2], w.frame[3], w.frame[0], w.frame[1])
        tree = x("xwininfo", "-root", "-children").decode("utf-8", "replace")
        at = {m.group(1): m.group(2) for m in re.finditer(
            r"^\s+(0x[0-9a-f]+) .*?\s(\d+x\d+\+-?\d+\+-?\d+)\s", tree, re.M)}
        found = []
        for pid in self.linux_pids():
            ids = subprocess.run(["xdotool", "search", "--pid", pid], env=x_env(),
                                 capture_output=True).stdout.split()
            found += [hex(int(i)) for i in ids if at.get(hex(int(i))) == geometry]
        found += [i for i in self.named.get(w.hwnd, []) if at.get(i) == geometry]
        return found

    def titled(self, title):
        """The X windows with this title."""
        ids = subprocess.run(["xdotool", "search", "--name", "^%s$" % re.escape(title)],
                             env=x_env(), capture_output=True).stdout.split()
        return {hex(int(i)) for i in ids}

    def bring_to_front(self, w: Window, point=None):
        """Raises w's X window, as a person brings a window to the front before clicking
        into it (other programs share this display), and checks that the pointer is over
        it."""
        ids, under = [], ""
        for _ in range(20):
            ids = self.x_windows(w)
            for i in ids:
                subprocess.run(["xdotool", "windowraise", i], env=x_env())
            if point is None:
                return ids
            x("xdotool", "mousemove", str(point[0]), str(point[1]))
            under = subprocess.run(["xdotool", "getmouselocation", "--shell"], env=x_env(),
                                   capture_output=True).stdout.decode()
            m = re.search(r"WINDOW=(\d+)", under)
            if m and hex(int(m.group(1))) in ids:
                return ids
            time.sleep(0.1)
        raise AssertionError(f"{w.title!r} cannot be brought to the front at {point}: "
                             f"its X windows {ids}, under the pointer {under!r}")

    def click(self, w: Window, point, button=1):
        self.bring_to_front(w, point)
        x("xdotool", "click", str(button))

    def drag(self, w: Window, start, end):
        self.bring_to_front(w, start)
        x("xdotool", "mousedown", "1")
        steps = 20
        for i in range(1, steps + 1):
            px = start[0] + (end[0] - start[0]) * i // steps
            py = start[1] + (end[1] - start[1]) * i // steps
            x("xdotool", "mousemove", str(px), str(py))
            time.sleep(0.05)
        time.sleep(0.2)
        x("xdotool", "mouseup", "1")

    def type_into(self, w: Window, *names):
        """Keys for w, which Wine has made the active window (it opened so, or was
        clicked)."""
        self.bring_to_front(w)
        x("xdotool", "key", *names)

    def keys(self, *names):
        x("xdotool", "key", *names)

    def shot(self, name, w: Window = None):
        path = self.folder / f"{name}.png"
        args = ["import", "-window", "root"]
        if w is not None:
            fx, fy, fw, fh = w.frame
            fx, fy = max(fx, 0), max(fy, 0)
            args += ["-crop", f"{fw}x{fh}+{fx}+{fy}", "+repage"]
        subprocess.run(args + [str(path)], env=x_env())
        return path


class Paste:
    """The clipboard holding a text, as long as it is in use."""

    def __init__(self, value):
        self.proc = subprocess.Popen(["xclip", "-selection", "clipboard", "-quiet"],
                                     stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL, env=x_env(), start_new_session=True)
        self.proc.stdin.write(value.encode("utf-8"))
        self.proc.stdin.close()
        time.sleep(0.2)

    def close(self):
        self.proc.terminate()
        self.proc.wait()


class AcceptanceTest(unittest.TestCase):
    """One session of a person with the program, step by step."""

    def setUp(self):
        self.root = RUNS / "session"
        if self.root.exists():
            shutil.rmtree(self.root)
        self.install = self.root / "奎尔瓦 刷新器"
        self.bin = self.install / "bin"
        self.driver = self.install / "driver"
        self.bin.mkdir(parents=True)
        self.driver.mkdir()
        shutil.copyfile(PROGRAM, self.install / "QuelvarRefresher.exe")
        for tool in TOOLS:
            shutil.copyfile(STANDIN, self.bin / f"{tool}.exe")
        (self.bin / "standin-scenario.txt").write_text(device(DFU_32U4) + "\n", encoding="utf-8")
        shutil.copyfile(STANDIN, self.driver / "zadig.exe")
        self.firmware = self.root / "固件 文件夹" / "键盘_v2.hex"
        self.firmware.parent.mkdir()
        self.firmware.write_bytes(HEX)
        self.screen = Screen(self.root, [str(self.install), win(self.install)])
        self.exe_win = win(self.install / "QuelvarRefresher.exe").lower()
        self.proc = None

    def tearDown(self):
        if self.proc and self.proc.poll() is None:
            os.killpg(self.proc.pid, signal.SIGKILL)
            self.proc.wait()
        # A script left waiting by a failed step: its command processor, by id.
        for pid in self.screen.linux_pids():
            try:
                os.kill(int(pid), signal.SIGKILL)
            except OSError:
                pass

    # --- finding this program's windows -------------------------------------------
    def mine(self, windows):
        pids = {w.pid for w in windows if w.image.lower() == self.exe_win}
        return [w for w in windows if w.pid in pids]

    def main_window(self, windows):
        return next((w for w in self.mine(windows) if w.cls == "QuelvarMainWindow"), None)

    def box(self, message):
        """Waits for this program's message box that shows message."""
        def pick(ws):
            return next((w for w in self.mine(ws)
                         if w.cls == "#32770" and w.title == BOX and message in w.texts()), None)
        return self.screen.wait(f"message box {message}", pick)

    def answer(self, message, button):
        b = self.box(message)
        self.screen.until(f"message box {message} to close",
                          lambda: self.screen.click(b, b.control(button).centre()),
                          lambda ws: not any(w.hwnd == b.hwnd for w in ws))

    def box_after(self, w, label, message):
        """Presses the button label of w until the message box with message shows."""
        def pick(ws):
            return next((b for b in self.mine(ws)
                         if b.cls == "#32770" and b.title == BOX and message in b.texts()), None)
        self.screen.until(f"message box {message}", lambda: self.screen.click(w, w.control(label).centre()), pick)

    def calls(self, folder):
        log = folder / "standin-log.txt"
        if not log.exists():
            return []
        return [Call.parse(ln) for ln in log.read_text(encoding="utf-8").splitlines() if ln]

    def wait_for_calls(self, folder, done, what, timeout=40.0):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            calls = self.calls(folder)
            if done(calls):
                return calls
            time.sleep(0.3)
        self.screen.shot("timeout-calls")
        self.fail(f"timed out waiting for {what}; calls: "
                  f"{[(c.name, c.args) for c in self.calls(folder)]}")

    # --- the session ----------------------------------------------------------------
    def test_session(self):
        started = time.monotonic()
        out, err = self.root / "stdout.txt", self.root / "stderr.txt"
        with open(out, "wb") as o, open(err, "wb") as e:
            self.proc = subprocess.Popen([str(WINE_RUN), str(self.install / "QuelvarRefresher.exe")],
                                         cwd=self.install, env=x_env(), stdin=subprocess.DEVNULL,
                                         stdout=o, stderr=e, start_new_session=True)
        main = self.screen.wait("the main window", self.main_window, timeout=40)
        self.assertEqual(main.title, TITLE)
        self.assertEqual(main.control(id=105).text, HINT)
        self.assertFalse(main.control("刷新固件").enabled)
        self.choose_firmware(main)
        main = self.main_window(self.screen.windows())
        self.flash(main)
        self.driver_guide(main)
        main = self.main_window(self.screen.windows())
        self.joke(main)
        main = self.main_window(self.screen.windows())
        self.help_key(main)
        self.close(main)
        self.assertLess(time.monotonic() - started, 120)

    def choose_firmware(self, main):
        self.screen.click(main, main.control("选择固件").centre())
        dialog = self.screen.wait("the open-file dialog", lambda ws: next(
            (w for w in self.mine(ws) if w.cls == "#32770" and w.title != BOX), None))
        path = win(self.firmware)
        paste = Paste(path)
        try:
            name = next(c for c in dialog.controls if c.id == 1148 and c.cls == "Edit")

            def paste_name():
                self.screen.click(dialog, name.centre())
                self.screen.type_into(dialog, "ctrl+a", "ctrl+v")

            def enter():
                self.screen.click(dialog, name.centre())
                self.screen.type_into(dialog, "Return")

            self.screen.until("the pasted name", paste_name, lambda ws: any(
                c.text == path for w in ws if w.hwnd == dialog.hwnd for c in w.controls))
            main = self.screen.until("the chosen file in the main window", enter, lambda ws: next(
                (m for m in [self.main_window(ws)]
                 if m and m.control(id=105).text == path
                 and not any(w.hwnd == dialog.hwnd for w in ws)), None))
        finally:
            paste.close()
        self.assertTrue(main.control("刷新固件").enabled)
        self.screen.shot("chosen", main)

    def flash(self, main):
        path = win(self.firmware)
        before = {w.hwnd for w in self.screen.windows()}
        consoles_before = set().union(*(self.screen.titled(t) for t in CONSOLE_TITLES))
        self.screen.click(main, main.control("刷新固件").centre())
        calls = self.wait_for_calls(self.bin, lambda cs: any(
            c.name == "dfu-programmer" and "launch" in c.args for c in cs), "the launch of the firmware")
        tools = [(c.name, c.args) for c in calls if c.name not in ("sleep", "mode", "devcon32", "devcon64")]
        self.assertEqual(tools[-3:], [
            ("dfu-programmer", ["atmega32u4", "erase", "--force"]),
            ("dfu-programmer", ["atmega32u4", "flash", path]),
            ("dfu-programmer", ["atmega32u4", "launch", "--no-reset"])])
        # The flash call was handed the very file chosen.
        flash_call = next(c for c in calls if c.name == "dfu-programmer" and "flash" in c.args)
        self.assertTrue(flash_call.files[2].startswith(HEX[:16]), flash_call.files)
        script = (self.bin / "Quelvar-reflash.bat").read_bytes()
        self.assertIn(path.encode("gbk"), script)

        # The console that runs the script, waiting at its pause.
        console = self.screen.wait("the script's console", lambda ws: next(
            (w for w in ws if w.hwnd not in before and w.title in CONSOLE_TITLES), None))
        # Its X window is the one that Wine's console host opened after the click.
        new = self.screen.titled(console.title) - consoles_before
        self.assertEqual(len(new), 1, new)
        self.screen.named[console.hwnd] = list(new)
        self.screen.shot("console", console)
        expected = ["---Quelvar Reflash Tool v1.0---", "----Found device with DFU Bootloader，atmega32u4",
                    "----Erase flash", f'---Start to reflash "{path}"', "---HEX reflash complete."]
        shown = self.screen.wait("the console's last line", lambda ws: (
            lambda lines: lines if lines and expected[-1] in lines else None)(
                self.screen.console_lines(console.hwnd)))
        (self.root / "console.txt").write_text("\n".join(shown) + "\n", encoding="utf-8")
        self.assertEqual([ln for ln in shown if ln in expected], expected, shown)
        self.assertEqual(shown[-1], "请按任意键继续...", "the script waits at its pause")
        self.screen.click(console, (console.client[0] + console.client[2] // 2,
                                    console.client[1] + console.client[3] // 2))
        self.screen.type_into(console, "space")
        self.screen.wait("the console to close", lambda ws: not any(w.hwnd == console.hwnd for w in ws))

    def driver_guide(self, main):
        self.box_after(main, "安装驱动", "仅第一次需要安装，后面都不用再安装")
        self.answer("仅第一次需要安装，后面都不用再安装", "确定")
        guide = self.screen.wait("the guide window", lambda ws: next(
            (w for w in self.mine(ws) if w.cls == "QuelvarGuideWindow"), None))
        calls = self.wait_for_calls(self.driver, lambda cs: any(c.name == "zadig" for c in cs),
                                    "the driver installer")
        self.assertEqual([c.name for c in calls], ["zadig"])
        close = guide.control("关闭说明")
        self.assertLess(close.rect[1], 0, "the close button starts above the screen")
        # A press anywhere on the picture drags the window down.
        px, py = guide.frame[0] + guide.frame[2] // 2, 300
        drop = -close.rect[1] + 40
        self.screen.drag(guide, (px, py), (px, py + drop))
        moved = self.screen.wait("the guide window moved down", lambda ws: next(
            (w for w in ws if w.hwnd == guide.hwnd and w.control("关闭说明").rect[1] >= 0), None))
        self.screen.shot("guide-moved", moved)
        self.box_after(moved, "关闭说明", "机智如我，早已经看透一切？")
        self.answer("机智如我，早已经看透一切？", "是(&Y)")
        self.screen.wait("the guide window to close",
                         lambda ws: not any(w.hwnd == guide.hwnd for w in ws))

    def joke(self, main):
        self.box_after(main, "开启超级装逼模式", "是否确定开启超级装逼模式？？？")
        self.answer("是否确定开启超级装逼模式？？？", "是(&Y)")
        self.answer("开启超级装逼模式失败...正在偿试重试！！", "确定")
        self.answer("出现错误，系统已经崩溃", "确定")
        self.answer("是否进入逗逼模式", "是(&Y)")
        joke = self.screen.wait("the apology button", lambda ws: next(
            (w for w in self.mine(ws) if "逗你玩下！别生气！" in w.texts()), None), timeout=30)
        self.assertIn("此时此刻逗逼的你，高处不胜寒！！", joke.texts())
        self.screen.shot("joke-finale", joke)
        self.screen.until("the joke window to close and the main window to show",
                          lambda: self.screen.click(joke, joke.control("逗你玩下！别生气！").centre()), lambda ws: (
            not any(w.hwnd == joke.hwnd for w in ws) and self.main_window(ws)))

    def help_key(self, main):
        # Focus on the main window, then F1: no help file beside the program, nothing opens.
        before = {w.hwnd for w in self.mine(self.screen.windows())}
        self.screen.click(main, (main.client[0] + 5, main.client[1] + 5))
        self.screen.type_into(main, "F1")
        time.sleep(1.5)
        after = {w.hwnd for w in self.mine(self.screen.windows())}
        self.assertEqual(after, before)

    def close(self, main):
        # The close button at the right end of the caption that Wine draws.
        caption = main.client[1] - main.frame[1]
        point = (main.frame[0] + main.frame[2] - caption // 2 - 3, main.frame[1] + caption // 2)
        self.screen.click(main, point)
        try:
            code = self.proc.wait(timeout=20)
        except subprocess.TimeoutExpired:
            self.screen.shot("timeout-exit")
            self.fail("the program did not end after its window was closed")
        self.assertEqual(code, 0)
        self.assertFalse(self.mine(self.screen.windows()))


if __name__ == "__main__":
    unittest.main(verbosity=2)
