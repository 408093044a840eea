"""Runs the reflash script under the faithful command processor against the simulated
keyboard of tests/standins.

Set by the test's command (tests/script/CMakeLists.txt):
  QUELVAR_CMD       Wine 10's cmd.exe
  QUELVAR_STANDIN   the multi-call stand-in program
  QUELVAR_WINE_RUN  scripts/wine-run
  QUELVAR_TEMPLATE  resources/reflash.bat.txt
  QUELVAR_RUNS      a scratch folder of the build for the runs
"""
import os
import shutil
import signal
import subprocess
import sys
import threading
from dataclasses import dataclass, field
from pathlib import Path

TOP = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(TOP / "scripts"))
import embed  # noqa: E402  (the build's own text conversion)


def env_path(name, default=None):
    value = os.environ.get(name)
    if value:
        return Path(value)
    if default is None:
        raise SystemExit(f"{name} is not set")
    return Path(default)


CMD = env_path("QUELVAR_CMD", TOP / "build/deps/cmd10/cmd10.exe")
STANDIN = env_path("QUELVAR_STANDIN")
WINE_RUN = env_path("QUELVAR_WINE_RUN", TOP / "scripts/wine-run")
TEMPLATE = env_path("QUELVAR_TEMPLATE", TOP / "resources/reflash.bat.txt")
RUNS = env_path("QUELVAR_RUNS", TOP / "build/script-runs")
PREFIX = env_path("WINEPREFIX", TOP / "build/deps/wineprefix")

# Every tool the script may start, by the name it is started under.
TOOLS = ["devcon32", "devcon64", "mode", "sleep", "dfu-programmer", "dfu-programmer-libusb",
         "avrdude", "hid_bootloader_cli", "bootloadHID", "HIDBootFlash", "hex2bin",
         "dfu-util", "hid-flash"]

# A firmware folder and file name with what a Windows file name may hold that the
# command processor could take for syntax: blanks, % ! ^ & ( ), the names of variables
# that the script and Windows define, and GBK characters whose second byte is \ | or ^.
HARD_DIR = "fw 100%% (a&b) ^c! 键盘 億圽乛"
HARD_NAME = "固件!IS_CHN! %PATH% ^&^ (v2) %%FilePath%% 50%!"

STORED = embed.text_to_stored(TEMPLATE.read_bytes())


def fill(template: bytes, path: str) -> bytes:
    """What the flash handler does: both placeholders become the GBK path with every
    percent sign doubled, nothing else changed."""
    assert template.count(b"%~1") == 2
    return template.replace(b"%~1", path.encode("gbk").replace(b"%", b"%%"))


def win(path: Path) -> str:
    """The Windows name of a Unix path: C: for the prefix's drive_c, Z: otherwise."""
    path = Path(os.path.abspath(path))
    drive_c = Path(os.path.abspath(PREFIX / "drive_c"))
    try:
        return "C:\\" + str(path.relative_to(drive_c)).replace("/", "\\")
    except ValueError:
        return "Z:" + str(path).replace("/", "\\")


def unhex(field_text: str) -> bytes:
    assert field_text.startswith("x"), field_text
    return bytes.fromhex(field_text[1:])


@dataclass
class Call:
    name: str
    pass_: int
    code: int
    cwd: str
    cmdline: str
    args: list
    files: list  # first bytes of the file each argument names, or None
    stdout: str  # the file standard output went to, or None

    @staticmethod
    def parse(line: str) -> "Call":
        f = line.rstrip("\n").split("\t")
        args = [unhex(a).decode("utf-8") for a in f[5].split(",")] if f[5] else []
        files = [None if x == "-" else unhex(x) for x in f[6].split(",")] if f[6] else []
        return Call(f[0], int(f[1]), int(f[2]), unhex(f[3]).decode("utf-8"),
                    unhex(f[4]).decode("utf-8"), args, files,
                    None if f[7] == "-" else unhex(f[7]).decode("utf-8"))


# Kept as the scenario file's own lines; see tests/standins/standin.cpp.
def device(instance, passes="1-", **extra):
    return " ".join([f"device id={instance} passes={passes}"] + [f"{k}={v}" for k, v in extra.items()])


def port(name, passes="1-"):
    return f"port name={name} passes={passes}"


def exit_rule(tool, code, arg=None, passes=None):
    s = f"exit tool={tool} code={code}"
    if arg:
        s += f" arg={arg}"
    if passes:
        s += f" passes={passes}"
    return s


def say(tool, text, arg=None):
    return f"say tool={tool}" + (f" arg={arg}" if arg else "") + f" text={text}"


# Instance IDs of the bootloaders, in the letter case devcon shows them.
HID_BL = r"HID\VID_1209&PID_2327\6&1A2B3C4D&0&0000"
DFU_32U4 = r"USB\VID_03EB&PID_2FF4\5&11223344&0&1"
DFU_32U2 = r"USB\VID_03EB&PID_2FF0\5&11223344&0&2"
DFU_1286 = r"USB\VID_03EB&PID_2FFB\5&11223344&0&3"
BOOTHID_USB = r"USB\VID_16C0&PID_05DF\5&55667788&0&4"
BOOTHID_HID = r"HID\VID_16C0&PID_05DF\6&55667788&0&0000"
STM32DUINO = r"USB\VID_1EAF&PID_0003\5&99AABBCC&0&5"
STM32_DFU = r"USB\VID_0483&PID_DF11\5&99AABBCC&0&6"
STM32_HID = r"USB\VID_1209&PID_BABE\5&99AABBCC&0&7"

PROBE_PATTERNS = [r"@hid\vid_1209&pid_2327*", r"@usb\vid_03eb&pid_2ff4*",
                  r"@usb\vid_03eb&pid_2ff0*", r"@usb\vid_03eb&pid_2ffb*",
                  r"@usb\vid_16c0&pid_05df*", r"@usb\vid_1eaf&pid_0003*",
                  r"@usb\vid_0483&pid_df11*", r"@usb\vid_1209&pid_babe*",
                  r"@usb\vid_1209&pid_babe*"]

LAST_BANNER = {
    "en": "----Please get your device into bootloader. The bat will recognize your bootloader then reflash the firmware...",
    "cn": "----设备进入刷机模式后自动识别并执行更新...",
}


@dataclass
class Scenario:
    scenario: list = field(default_factory=list)  # lines for the stand-ins
    ext: str = ".hex"
    name: str = HARD_NAME      # firmware file name without extension
    folder: str = HARD_DIR     # folder of the firmware file
    create: bool = True        # write the firmware file
    lang: str = "en"           # "cn": a find that succeeds where the script starts
    dfu_hex: bool = False      # put dfu.hex beside the script
    no_bootloadhid: bool = False
    existing_bin: bool = False  # a .bin of the user's own beside the firmware
    stop: int = 3              # sleep ends the run when this pass begins
    path: str = None           # the path the program writes, when not the file's


class Result:
    def __init__(self, tag, s: Scenario, root: Path):
        self.tag = tag
        self.s = s
        self.root = root
        # Where the program is installed: blanks, GBK and parentheses, as in "Program Files (x86)".
        self.bin = root / "Quelvar 工具 (x86)" / "bin"
        self.start = PREFIX / "drive_c" / "quelvar-script-runs" / tag
        self.fw_unix = root / s.folder / (s.name + s.ext)
        self.fw = win(self.fw_unix) if s.path is None else s.path
        self.image = self.fw[:-len(s.ext)] + ".bin" if s.ext else self.fw + ".bin"
        self.image_unix = self.fw_unix.with_name(s.name + ".bin")
        self.code = None
        self.stdout = b""
        self.stderr = b""
        self.calls = []
        self.start_calls = []

    # --- reading the outcome -------------------------------------------------------
    @property
    def lines(self):
        return self.stdout.decode("gbk").replace("\r\n", "\n").split("\n")

    def pass_output(self, k=-1):
        """What detection pass k (0-based, the last by default) printed after its banner,
        up to the next pass's banner."""
        lines = self.lines
        first = "---Quelvar刷固件工具 v1.0---" if self.s.lang == "cn" else "---Quelvar Reflash Tool v1.0---"
        ends = [i for i, ln in enumerate(lines) if ln == LAST_BANNER[self.s.lang]]
        starts = [i for i, ln in enumerate(lines) if ln == first]
        assert ends, f"no detection pass in:\n{self.text()}"
        k = k % len(ends)
        stop = starts[k + 1] - 1 if k + 1 < len(starts) else len(lines)
        return lines[ends[k] + 1:stop]

    def banners(self):
        return sum(1 for ln in self.lines if ln == LAST_BANNER[self.s.lang])

    def tools(self, *skip):
        """Calls other than the detection helpers, as (name, args)."""
        quiet = {"sleep", "mode", "devcon32", "devcon64"} | set(skip)
        return [(c.name, c.args) for c in self.calls if c.name not in quiet]

    def probes(self, pass_):
        return [c.args[1] for c in self.calls
                if c.name in ("devcon32", "devcon64") and c.pass_ == pass_]

    def passes(self):
        return max((c.pass_ for c in self.calls if c.name == "sleep"), default=0)

    def text(self):
        return (f"--- run {self.tag}: exit code {self.code}\n--- stdout:\n"
                + self.stdout.decode("gbk", "replace")
                + "\n--- stderr:\n" + self.stderr.decode("gbk", "replace")
                + "\n--- calls:\n" + "\n".join(f"{c.pass_} {c.name} {c.args!r}" for c in self.calls))


def prepare(tag, s: Scenario) -> Result:
    root = RUNS / tag
    r = Result(tag, s, root)
    for d in (root, r.start):
        if d.exists():
            shutil.rmtree(d)
    r.bin.mkdir(parents=True)
    r.start.mkdir(parents=True)
    for tool in TOOLS:
        if tool == "bootloadHID" and s.no_bootloadhid:
            continue
        target = r.bin / f"{tool}.exe"
        try:
            os.link(STANDIN, target)
        except OSError:
            shutil.copyfile(STANDIN, target)
    if s.lang == "cn":
        # The language line runs before the script changes folder, and the command
        # processor looks for find in its current folder first.
        shutil.copyfile(STANDIN, r.start / "find.exe")
    lines = list(s.scenario) + [f"stop pass={s.stop}"]
    (r.bin / "standin-scenario.txt").write_text("\n".join(lines) + "\n", encoding="utf-8")
    if s.dfu_hex:
        (r.bin / "dfu.hex").write_bytes(b":00000001FF\r\n")
    r.fw_unix.parent.mkdir(parents=True, exist_ok=True)
    if s.create:
        r.fw_unix.write_bytes(b":100000000C94340000000000000000000000000024\r\n:00000001FF\r\n")
    if s.existing_bin:
        r.image_unix.write_bytes(b"the user's own image")
    (r.bin / "Quelvar-reflash.bat").write_bytes(fill(STORED, r.fw))
    return r


def start_wine(args, cwd, out, err, timeout, stdin=None):
    """Runs a Windows program and returns its exit code, or "timeout". Its output goes to
    files, not pipes: a wineserver that this start happens to launch keeps the handles it
    inherited open long after the program has ended."""
    if stdin is not None:
        Path(str(out) + ".in").write_bytes(stdin)
    with open(out, "wb") as o, open(err, "wb") as e, \
            open(str(out) + ".in" if stdin is not None else os.devnull, "rb") as i:
        proc = subprocess.Popen([str(WINE_RUN), *map(str, args)], cwd=cwd, stdin=i,
                                stdout=o, stderr=e, start_new_session=True)
        try:
            return proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()
            return "timeout"


def run(tag, s: Scenario, timeout=120) -> Result:
    r = prepare(tag, s)
    out, err = r.root / "stdout.txt", r.root / "stderr.txt"
    # "call": cmd /c strips the quotes from a path that holds parentheses (the shell starts
    # a script with another pair of quotes around it, which cannot be passed through Wine).
    r.code = start_wine([CMD, "/c", "call", win(r.bin / "Quelvar-reflash.bat")], r.start, out, err, timeout)
    r.stdout, r.stderr = out.read_bytes(), err.read_bytes()
    log = r.bin / "standin-log.txt"
    if log.exists():
        r.calls = [Call.parse(ln) for ln in log.read_text(encoding="utf-8").splitlines() if ln]
    start_log = r.start / "standin-log.txt"
    if start_log.exists():
        r.start_calls = [Call.parse(ln) for ln in start_log.read_text(encoding="utf-8").splitlines() if ln]
    return r


_prompt = None
_prompt_lock = threading.Lock()


def pause_prompt() -> str:
    """The key prompt of this command processor, as "pause" prints it here."""
    global _prompt
    with _prompt_lock:
        if _prompt is None:
            d = RUNS / "pause-prompt"
            d.mkdir(parents=True, exist_ok=True)
            (d / "p.bat").write_bytes(b"@echo off\r\npause\r\n")
            start_wine([CMD, "/c", win(d / "p.bat")], d, d / "out.txt", d / "err.txt", 60)
            out = (d / "out.txt").read_bytes()
            _prompt = out.decode("gbk").strip()
            assert _prompt, "pause printed nothing"
    return _prompt
