#!/usr/bin/env python3
"""The reflash script, filled in as the program fills it and run by the faithful
command processor under Wine against the simulated keyboard. All runs are started
up front, two at a time; each test then looks at the runs it needs."""
import concurrent.futures
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import (BOOTHID_HID, BOOTHID_USB, DFU_1286, DFU_32U2, DFU_32U4, HID_BL,  # noqa: E402
                     PROBE_PATTERNS, STM32_DFU, STM32_HID, STM32DUINO, STORED, Scenario,
                     device, exit_rule, pause_prompt, port, run, say, win)

# Texts of the script, as its user reads them.
MSG = {
    "en": {
        "help": ["----Please drag eep or hex file onto this exe.",
                 "----Don't double click this exe to open a window then drag eep or hex file，",
                 "----Don't double click this exe to open a window then drag eep or hex file，",
                 "----Don't double click this exe to open a window then drag eep or hex file，",
                 "----This tool is for some devices that use Atmel 32u4, 32u2, 328p, at90usb1286 and some stm32 microcontroller。",
                 "----It supports bootloader like DFU,Arduino, HID(BootHID)"],
        "winusb": "----The driver is winusb.----",
        "libusb": "----The driver is libuse.----",
        "dfu": "----Found device with DFU Bootloader，{}",
        "erase_hex": "----Erase flash",
        "erase_eep": "---Erase flash",
        "start_dfu_hex": '---Start to reflash "{}"',
        "start": '----Start to reflash "{}"',
        "hex_done": "---HEX reflash complete.",
        "eep_done": "----EEP reflash complete.",
        "dfuhex": "----Start to reflash dfu.hex for this eep file.",
        "both_done": "----dfu.hex and EEP reflash complete.",
        "no_dfu_hex": ["----To reflash eep file with DFU bootloader, dfu.hex for thie eep file is required to put in the folder with this tool.",
                       "----Put in dfu.hex first then try to drag this eep file again to reflash it."],
        "arduino": "----Found device with Arduino bootloader. It is using COM{}",
        "done": "----Reflash complete.",
        "hid": "----Found device with HID Bootloader.",
        "hid_v2": "----HidBootLoader v2 for Daisy complete.",
        "hid_retry": "----Try HidBootLoader v1 for Ergodone, CW40.",
        "hid_v1": "----HidBootLoader v1 for Ergodone,CW40 complete.",
        "boothid": "----Found device with BootHID Bootloader.",
        "boothid_wrong": "-----Found device with BootHID Bootloader but with wrong driver.----",
        "stm32duino": "----Found device with stm32duino bootloader.",
        "stm32dfu": "----Found device with stm32 dfu.",
        "stm32hid": "----Found device with stm32 hid_bootloader.",
        "failed": "----Reflash failed, please try again.",
        "only_hex_eep": "----Only .hex or .eep files are supported.",
        "stm32_hex_only": "----The STM32 bootloaders take .hex files only.",
        "bin_exists": '----"{}" already exists. To keep it, nothing was converted or flashed. Move or rename it, then try again.',
    },
    "cn": {
        "help": ["----请将eep或hex拖放到此exe的图标上运行。",
                 "----请勿直接双击打开-再拖文件，",
                 "----请勿直接双击打开-再拖文件，",
                 "----请勿直接双击打开-再拖文件，",
                 "----本工具目前仅用于基于Ateml 32u4、32u2、at90usb1286的设备，以及V-USB。",
                 "----支持的bootloader为DFU、Arduino、HID(BootHID)"],
        "winusb": "----使用的是winusb驱动----",
        "libusb": "----使用的是libusb驱动----",
        "dfu": "----找到设备为DFU Bootloader，{}",
        "erase_hex": "----擦除芯片",
        "erase_eep": "----擦除芯片",
        "start_dfu_hex": '----开始刷新"{}"',
        "start": '----开始刷新"{}"',
        "hex_done": "----更新HEX成功",
        "eep_done": "----更新EEP成功",
        "dfuhex": "----开始刷新对应固件dfu.hex",
        "both_done": "----更新dfu.hex和EEP成功",
        "no_dfu_hex": ["----DFU刷eep，需要先将对应的固件改名为dfu.hex，再放在本工具同目录下。",
                       "----请先执行此操作后再重试刷eep。"],
        "arduino": "----找到设备为Arduino，使用接口是COM{}",
        "done": "----刷新完成",
        "hid": "----找到设备为HID Bootloader",
        "hid_v2": "----HidBootLoader v2 for Daisy 刷新完成",
        "hid_retry": "----重新尝试HidBootLoader v1 for Ergodone,CW40",
        "hid_v1": "----HidBootLoader v1 for Ergodone,CW40 刷新完成",
        "boothid": "----找到设备为BootHID Bootloader",
        "boothid_wrong": "----找到设备BootHID但是驱动错误----",
        "stm32duino": "----找到设备为stm32duino bootloader",
        "stm32dfu": "----找到设备为stm32 dfu",
        "stm32hid": "----找到设备为stm32 hid_bootloader",
        "failed": "----刷新失败，请重试",
        "only_hex_eep": "----只支持hex或eep文件",
        "stm32_hex_only": "----STM32的bootloader只支持hex文件",
        "bin_exists": '----文件"{}"已存在，为免覆盖，未转换也未刷新。请移走或改名后重试。',
    },
}
BANNER = {
    "en": ["---Quelvar Reflash Tool v1.0---",
           "---Support DFU Bootloader, Arduino, HID Bootloader for atmega32u4---",
           "---Support DFU Bootloader for atmega32u2 ---",
           "---Support V-USB HID Bootloader for some devices that use AVR---", "",
           "----Please get your device into bootloader. The bat will recognize your bootloader then reflash the firmware..."],
    "cn": ["---Quelvar刷固件工具 v1.0---",
           "---支持32u4芯片的DFU Bootloader、Arduino、HID Bootloader---",
           "---支持32u2芯片的DFU Bootloader---",
           "---支持AVR芯片，使用V-USB HID Bootloader的部分设备---", "",
           "----设备进入刷机模式后自动识别并执行更新..."],
}
HINTS = ["----If it does not work, please install:",
         "----Visual Studio 2005 (VC++ 8.0) SP1",
         "----Microsoft Visual C++ 2005 Service Pack 1 Redistributable Package MFC Security Update",
         "----https://www.microsoft.com/en-us/download/details.aspx?id=26347"]
HYPHENS = "-" * 20

ALL_USB = [HID_BL, DFU_32U4, DFU_32U2, DFU_1286, BOOTHID_USB, BOOTHID_HID, STM32DUINO,
           STM32_DFU, STM32_HID]

SCENARIOS = {}


def scenario(tag, *lines, **kw):
    SCENARIOS[tag] = Scenario(scenario=list(lines), **kw)





# --- the runs -----------------------------------------------------------------------
for lang in ("en", "cn"):
    scenario(f"missing-{lang}", create=False, lang=lang)
    scenario(f"dfu-{lang}", device(DFU_32U4), lang=lang)
    scenario(f"libusb-{lang}", device(DFU_32U4), exit_rule("dfu-programmer", 1, "get"), lang=lang)
    scenario(f"lufa-{lang}", device(DFU_32U4), say("dfu-programmer", "Bootloader Version: 0x20 (32)", "get"),
             ext=".eep", lang=lang)
    scenario(f"atmel-eep-{lang}", device(DFU_32U2), say("dfu-programmer", "Bootloader Version: 0x00 (0)", "get"),
             ext=".eep", dfu_hex=True, lang=lang)
    scenario(f"no-dfu-hex-{lang}", device(DFU_32U4), ext=".eep", lang=lang)
    scenario(f"arduino-{lang}", port("COM1"), port("COM7", "2-"), lang=lang)
    scenario(f"hid-gone-{lang}", device(HID_BL, leave="hid_bootloader_cli"), lang=lang)
    scenario(f"hid-retry-{lang}", device(HID_BL), lang=lang)
    scenario(f"boothid-{lang}", device(BOOTHID_USB), device(BOOTHID_HID), lang=lang)
    scenario(f"boothid-wrong-{lang}", device(BOOTHID_USB), lang=lang)
    scenario(f"stm32hid-{lang}", device(STM32_HID), lang=lang)
    scenario(f"unsupported-{lang}", ext=".txt", lang=lang)
    scenario(f"stm32-eep-{lang}", device(STM32_DFU), ext=".eep", lang=lang)
    scenario(f"bin-exists-{lang}", device(STM32DUINO), existing_bin=True, lang=lang)
    scenario(f"dfu-erase-fails-{lang}", device(DFU_32U4), exit_rule("dfu-programmer", 1, "erase"), lang=lang)

scenario("dfu-32u2", device(DFU_32U2))
scenario("dfu-1286", device(DFU_1286))
scenario("stm32duino", device(STM32DUINO))
scenario("stm32dfu", device(STM32_DFU))
scenario("capital-hex", ext=".HEX")
scenario("empty-path", path="", create=False)

# Probe order: with these present from the first pass, the first named tool runs.
# Probe order: with these present from the first pass, the procedure that prints this
# found message runs, and the pass has made this many probes.
ORDER = [
    ("all", ALL_USB, "hid", "", 1),
    ("no-hid", ALL_USB[1:], "dfu", "atmega32u4", 2),
    ("from-32u2", ALL_USB[2:], "dfu", "atmega32u2", 3),
    ("from-1286", ALL_USB[3:], "dfu", "at90usb1286", 4),
    ("from-boothid", ALL_USB[4:], "boothid", "", 5),
    ("from-stm32duino", ALL_USB[6:], "stm32duino", "", 6),
    ("from-stm32dfu", ALL_USB[7:], "stm32dfu", "", 7),
]
for tag, devices, *_ in ORDER:
    scenario(f"order-{tag}", *[device(d) for d in devices])
# Seen only by the repeated ninth probe.
scenario("ninth-probe", device(STM32_HID, after=8))

scenario("port-first-pass", port("COM1"), port("COM5"), device(DFU_32U4, "3-"), stop=5)
scenario("port-before-usb", port("COM1"), port("COM7", "2-"), device(DFU_32U4, "2-"))
scenario("two-new-ports", port("COM1"), port("COM11", "3-"), port("COM4", "3-"), stop=5)
scenario("port-eep", port("COM3", "2-"), ext=".eep")

scenario("dfu-neither", device(DFU_32U4), exit_rule("dfu-programmer", 1, "get", "1-1"),
         exit_rule("dfu-programmer-libusb", 1, "get", "1-1"), stop=4)
scenario("version-last-line", device(DFU_32U4), say("dfu-programmer", "Bootloader Version: 0x10 (16)", "get"),
         say("dfu-programmer", "Bootloader Version: 0x20 (32)", "get"), say("dfu-programmer", "ok", "get"),
         ext=".eep")
scenario("version-not-last", device(DFU_32U4), say("dfu-programmer", "Bootloader Version: 0x20 (32)", "get"),
         say("dfu-programmer", "Bootloader Version: 0x10 (16)", "get"), say("dfu-programmer", "ok", "get"),
         ext=".eep", dfu_hex=True)

scenario("hid-retry-eep", device(HID_BL), ext=".eep")
scenario("hid-eep-gone", device(HID_BL, leave="hid_bootloader_cli"), ext=".eep")
scenario("boothid-no-exe", device(BOOTHID_USB), device(BOOTHID_HID), no_bootloadhid=True)

scenario("factory", device(DFU_32U4, "1-1"), device(HID_BL, "3-3", leave="hid_bootloader_cli"), name="固件 (a&b) factory", stop=5)
scenario("factory-case", device(DFU_32U4, "1-1"), name="固件 Factory", stop=5)

# A step that erases or writes the chip fails: the tool, its exit code, the scenario.
FAILS = {
    "dfu-flash": (device(DFU_32U4), exit_rule("dfu-programmer", 1, "flash")),
    "lufa-eeprom": (device(DFU_32U4), say("dfu-programmer", "x Version: 0x20", "get"),
                    exit_rule("dfu-programmer", 1, "--eeprom")),
    "atmel-dfu-hex": (device(DFU_32U4), exit_rule("dfu-programmer", 1, "flash")),
    "avrdude": (port("COM3", "2-"), exit_rule("avrdude", -1)),
    "hid-first-gone": (device(HID_BL, leave="hid_bootloader_cli"), exit_rule("hid_bootloader_cli", 1, "-f")),
    "hid-retry": (device(HID_BL), exit_rule("hid_bootloader_cli", 1)),
    "hid-first-only": (device(HID_BL), exit_rule("hid_bootloader_cli", 1, "-f")),
    "bootloadhid": (device(BOOTHID_USB), device(BOOTHID_HID), exit_rule("bootloadHID", 3)),
    "hex2bin": (device(STM32_DFU), exit_rule("hex2bin", 1)),
    "dfu-util": (device(STM32DUINO), exit_rule("dfu-util", 74)),
    "hid-flash": (device(STM32_HID), exit_rule("hid-flash", 2)),
}
for tag, lines in FAILS.items():
    kw = {"ext": ".eep"} if tag in ("lufa-eeprom", "atmel-dfu-hex") else {}
    if tag == "atmel-dfu-hex":
        kw["dfu_hex"] = True
    scenario(f"fail-{tag}", *lines, **kw)

RESULTS = {}


def setUpModule():
    pause_prompt()
    with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
        futures = {tag: pool.submit(run, tag, s) for tag, s in SCENARIOS.items()}
        for tag, f in futures.items():
            RESULTS[tag] = f.result()


def same_tools(r):
    """The tool calls of a run with its own folders replaced by names."""
    def rel(arg):
        return arg.replace(r.image, "<image>").replace(r.fw, "<firmware>").replace(win(r.bin), "<bin>")
    return [(name, [rel(a) for a in args]) for name, args in r.tools()]


class ScriptCase(unittest.TestCase):
    maxDiff = None

    def r(self, tag):
        return RESULTS[tag]

    def ended(self, r):
        """The run reached the common end and waited for a key there (the key prompt reads
        an empty standard input, so the exit code is whatever pause makes of that)."""
        self.assertNotIn(r.code, (99, "timeout"), r.text())
        self.assertEqual(r.lines[-1], pause_prompt(), r.text())
        self.assertFalse((r.bin / "temp.txt").exists(), "temp.txt is left behind")

    def assertOutput(self, r, expected):
        """What the last detection pass printed, up to the key prompt."""
        self.ended(r)
        self.assertEqual(r.pass_output()[:-1], expected, r.text())

    def assertTools(self, r, expected, *skip):
        self.assertEqual(r.tools(*skip), expected, r.text())


class TemplateForm(ScriptCase):
    def test_the_placeholder_stands_twice_where_the_program_puts_the_path(self):
        lines = STORED.split(b"\r\n")
        self.assertEqual(lines[-1], b"", "the last line ends with CR LF")
        self.assertNotIn(b"\n", b"".join(lines))
        holding = [ln for ln in lines if b"%~1" in ln]
        self.assertEqual(holding, [b'if exist "%~1" (goto HASFILE) else (goto NOFILE)',
                                   b'set "FilePath=%~1"'])
        self.assertEqual(STORED.count(b"%~1"), 2)


class HelpAndDispatch(ScriptCase):
    def test_missing_or_empty_path_prints_the_help_text_and_waits(self):
        for tag, lang in (("missing-en", "en"), ("missing-cn", "cn"), ("empty-path", "en")):
            with self.subTest(tag):
                r = self.r(tag)
                self.ended(r)
                # After the line of chcp: the blank line of the file check, the help text.
                self.assertEqual(r.lines[1:-1], ["", ""] + MSG[lang]["help"] + [""], r.text())
                self.assertEqual(r.calls, [], "no detection without a firmware file")

    def test_other_extensions_get_a_message_and_the_common_end(self):
        for tag, lang in (("unsupported-en", "en"), ("unsupported-cn", "cn"), ("capital-hex", "en")):
            with self.subTest(tag):
                r = self.r(tag)
                self.ended(r)
                self.assertEqual(r.lines[1:-1], ["", MSG[lang]["only_hex_eep"]], r.text())
                self.assertEqual(r.calls, [])

    def test_the_language_test_runs_find_from_the_start_folder(self):
        r = self.r("dfu-cn")
        self.assertEqual([(c.name, c.args) for c in r.start_calls], [("find", ["版本"])])
        self.assertEqual(r.lines[3:9], BANNER["cn"], r.text())
        self.assertEqual(self.r("dfu-en").lines[3:9], BANNER["en"])



class Tools(ScriptCase):
    """Every tool with the firmware path byte for byte, and every message."""

    def test_dfu_hex_erases_flashes_and_starts(self):
        for tag, target, before in (("dfu-en", "atmega32u4", []), ("dfu-32u2", "atmega32u2", [HYPHENS]),
                                    ("dfu-1286", "at90usb1286", [HYPHENS])):
            with self.subTest(tag):
                r = self.r(tag)
                m = MSG["en"]
                self.assertOutput(r, before + [m["winusb"], m["dfu"].format(target), "", m["erase_hex"], "",
                                               m["start_dfu_hex"].format(r.fw), "", m["hex_done"]])
                self.assertTools(r, [("dfu-programmer", [target, "get"])] * 2 + [
                    ("dfu-programmer", [target, "erase", "--force"]),
                    ("dfu-programmer", [target, "flash", r.fw]),
                    ("dfu-programmer", [target, "launch", "--no-reset"])])

    def test_only_the_libusb_build_reaches_the_device(self):
        r = self.r("libusb-en")
        m = MSG["en"]
        self.assertOutput(r, [m["libusb"], m["dfu"].format("atmega32u4"), "", m["erase_hex"], "",
                              m["start_dfu_hex"].format(r.fw), "", m["hex_done"]])
        lib = "dfu-programmer-libusb"
        self.assertTools(r, [("dfu-programmer", ["atmega32u4", "get"]), (lib, ["atmega32u4", "get"]),
                             (lib, ["atmega32u4", "get"]), (lib, ["atmega32u4", "erase", "--force"]),
                             (lib, ["atmega32u4", "flash", r.fw]), (lib, ["atmega32u4", "launch", "--no-reset"])])

    def test_no_build_reaches_the_device_back_to_detection(self):
        r = self.r("dfu-neither")
        m = MSG["en"]
        self.assertEqual(r.pass_output(0), [], "no message of its own")
        self.assertEqual([c.name for c in r.calls if c.pass_ == 1][-2:],
                         ["dfu-programmer", "dfu-programmer-libusb"])
        self.assertOutput(r, [m["winusb"], m["dfu"].format("atmega32u4"), "", m["erase_hex"], "",
                              m["start_dfu_hex"].format(r.fw), "", m["hex_done"]])
        self.assertEqual(r.passes(), 2)
        self.assertEqual([c.args[1] for c in r.calls if c.name == "dfu-programmer" and c.pass_ == 2],
                         ["get", "get", "erase", "flash", "launch"])

    def test_eep_through_lufa_writes_only_the_eeprom(self):
        for tag, says in (("lufa-en", ["Bootloader Version: 0x20 (32)"]),
                          ("version-last-line", ["Bootloader Version: 0x10 (16)", "Bootloader Version: 0x20 (32)", "ok"])):
            with self.subTest(tag):
                r = self.r(tag)
                m = MSG["en"]
                # The lines of "get" come from the driver check, whose output is shown.
                self.assertOutput(r, says + [m["winusb"], m["dfu"].format("atmega32u4"), "----Lufa Dfu bootloader",
                                             m["start"].format(r.fw), "", m["eep_done"]])
                self.assertTools(r, [("dfu-programmer", ["atmega32u4", "get"])] * 2 + [
                    ("dfu-programmer", ["atmega32u4", "flash", "--force", "--eeprom", r.fw]),
                    ("dfu-programmer", ["atmega32u4", "launch", "--no-reset"])])

    def test_eep_through_atmel_dfu_writes_dfu_hex_first(self):
        for tag, target, says in (("atmel-eep-en", "atmega32u2", ["Bootloader Version: 0x00 (0)"]),
                                  ("version-not-last", "atmega32u4",
                                   ["Bootloader Version: 0x20 (32)", "Bootloader Version: 0x10 (16)", "ok"])):
            with self.subTest(tag):
                r = self.r(tag)
                m = MSG["en"]
                before = [HYPHENS] if target == "atmega32u2" else []
                self.assertOutput(r, before + says + [m["winusb"], m["dfu"].format(target), "", m["erase_eep"], "",
                                                      m["dfuhex"], "", m["start"].format(r.fw), "", m["both_done"]])
                dfu_hex = win(r.bin / "dfu.hex")
                self.assertTools(r, [("dfu-programmer", [target, "get"])] * 2 + [
                    ("dfu-programmer", [target, "erase", "--force"]),
                    ("dfu-programmer", [target, "flash", dfu_hex]),
                    ("dfu-programmer", [target, "flash", "--force", "--eeprom", r.fw]),
                    ("dfu-programmer", [target, "launch", "--no-reset"])])

    def test_eep_through_atmel_dfu_without_dfu_hex_touches_nothing(self):
        r = self.r("no-dfu-hex-en")
        m = MSG["en"]
        self.assertOutput(r, [m["winusb"], m["dfu"].format("atmega32u4")] + m["no_dfu_hex"])
        self.assertTools(r, [("dfu-programmer", ["atmega32u4", "get"])] * 2)

    def test_arduino_flash_and_eeprom(self):
        for tag, write in (("arduino-en", "-Uflash:w:{}:i"), ("port-eep", "-Ueeprom:w:{}:i")):
            with self.subTest(tag):
                r = self.r(tag)
                m = MSG["en"]
                com = "7" if tag == "arduino-en" else "3"
                self.assertOutput(r, [m["arduino"].format(com), "", m["start"].format(r.fw), "", m["done"], ""])
                self.assertTools(r, [("avrdude", ["-patmega32u4", f"-PCOM{com}", "-cavr109", write.format(r.fw)])])

    def test_hid_bootloader_gone_after_the_first_attempt(self):
        for tag, option in (("hid-gone-en", "-f"), ("hid-eep-gone", "-e")):
            with self.subTest(tag):
                r = self.r(tag)
                m = MSG["en"]
                self.assertOutput(r, [m["hid"], "", m["start"].format(r.fw), m["hid_v2"]])
                self.assertTools(r, [("hid_bootloader_cli", ["-v", "-mmcu=atmega32u4", option, r.fw])])
                self.assertEqual(r.probes(1)[-2:], [PROBE_PATTERNS[0]] * 2, "looked for again")

    def test_hid_bootloader_still_there_gets_the_retry_at_once(self):
        for tag, first, retry in (("hid-retry-en", ["-f"], []), ("hid-retry-eep", ["-e"], ["-e"])):
            with self.subTest(tag):
                r = self.r(tag)
                m = MSG["en"]
                self.assertOutput(r, [m["hid"], "", m["start"].format(r.fw), m["hid_retry"], m["hid_v1"]])
                self.assertTools(r, [("hid_bootloader_cli", ["-v", "-mmcu=atmega32u4"] + first + [r.fw]),
                                     ("hid_bootloader_cli", ["-v", "-mmcu=atmega32u4"] + retry + [r.fw])])
                self.assertEqual(r.passes(), 1)

    def test_boothid_with_and_without_bootloadhid(self):
        for tag, tool in (("boothid-en", "bootloadHID"), ("boothid-no-exe", "HIDBootFlash")):
            with self.subTest(tag):
                r = self.r(tag)
                m = MSG["en"]
                self.assertOutput(r, [m["boothid"], "", m["start"].format(r.fw), ""] + HINTS + ["", m["done"], ""])
                self.assertTools(r, [(tool.lower(), ["-r", r.fw])])
                self.assertEqual(r.probes(1)[-1], r"@hid\vid_16c0&pid_05df*", "driver check")

    def test_boothid_with_the_wrong_driver_runs_no_tool(self):
        r = self.r("boothid-wrong-en")
        self.assertOutput(r, [MSG["en"]["boothid_wrong"]])
        self.assertTools(r, [])

    def test_stm32_convert_flash_and_remove_the_image(self):
        for tag, found, flash in (
                ("stm32duino", "stm32duino", lambda b: ("dfu-util", ["-a", "2", "-D", b, "-R"])),
                ("stm32dfu", "stm32dfu", lambda b: ("dfu-util", ["-a", "0", "-s", "0x08000000:leave", "-D", b])),
                ("stm32hid-en", "stm32hid", lambda b: ("hid-flash", [b]))):
            with self.subTest(tag):
                r = self.r(tag)
                self.assertOutput(r, [MSG["en"][found], r.image])
                self.assertTools(r, [("hex2bin", [r.fw]), flash(r.image)])
                flashed = [c for c in r.calls if c.name == flash("")[0]][0]
                self.assertEqual(flashed.files[flashed.args.index(r.image)], b"IMAGE OF " + r.fw_unix.read_bytes(), "the converted image")
                self.assertFalse(r.image_unix.exists(), "image left behind")
                self.assertTrue(r.fw_unix.exists())


class Detection(ScriptCase):
    def test_an_empty_pass_probes_in_order_with_the_ninth_repeated(self):
        r = self.r("arduino-en")
        self.assertEqual(r.probes(1), PROBE_PATTERNS)
        devcon = [c for c in r.calls if c.name.startswith("devcon")]
        self.assertTrue(all(c.name == "devcon64" for c in devcon), "PROCESSOR_ARCHITECTURE is AMD64 here")
        self.assertTrue(all(c.stdout == win(r.bin / "temp.txt") for c in devcon),
                        [c.stdout for c in devcon])

    def test_the_earliest_probe_that_succeeds_wins(self):
        for tag, _, found, target, probes in ORDER:
            with self.subTest(tag):
                r = self.r(f"order-{tag}")
                self.ended(r)
                self.assertIn(MSG["en"][found].format(target), r.pass_output(), r.text())
                # The HID and BootHID procedures query devcon once more themselves.
                own = 1 if found in ("hid", "boothid") else 0
                self.assertEqual(r.probes(1), PROBE_PATTERNS[:probes] + r.probes(1)[probes:probes + own],
                                 "no probe after the one that succeeded")
                self.assertEqual(len(r.probes(1)), probes + own)
        r = self.r("ninth-probe")
        self.assertEqual(r.probes(1), PROBE_PATTERNS)
        self.assertEqual(r.tools()[-1], ("hid-flash", [r.image]))

    def test_a_port_present_in_the_first_pass_is_never_taken(self):
        r = self.r("port-first-pass")
        self.ended(r)
        self.assertEqual(r.passes(), 3)
        self.assertNotIn("avrdude", [c.name for c in r.calls])
        self.assertEqual(r.tools()[-1], ("dfu-programmer", ["atmega32u4", "launch", "--no-reset"]))

    def test_a_new_port_is_taken_before_any_usb_probe_of_that_pass(self):
        r = self.r("port-before-usb")
        self.ended(r)
        self.assertEqual([c.name for c in r.calls if c.pass_ == 2], ["sleep", "mode", "avrdude"])
        self.assertEqual(r.tools()[0][1][1], "-PCOM7")

    def test_of_two_new_ports_the_first_in_mode_order(self):
        r = self.r("two-new-ports")
        self.ended(r)
        self.assertEqual(r.passes(), 3)
        self.assertEqual([c.args[1] for c in r.calls if c.name == "avrdude"], ["-PCOM11"])

    def test_factory_mode_waits_for_the_next_device(self):
        r = self.r("factory")
        self.assertTrue(r.fw.endswith("factory.hex"))
        self.assertEqual(r.code, 99, "still detecting when the test stopped it\n" + r.text())
        self.assertNotIn(pause_prompt(), r.lines)
        flashes = [(c.pass_, c.name) for c in r.calls
                   if c.name in ("hid_bootloader_cli",) or (c.name == "dfu-programmer" and c.args[1] == "flash")]
        self.assertEqual(flashes, [(1, "dfu-programmer"), (3, "hid_bootloader_cli")])
        self.assertEqual(r.banners(), 5)
        r = self.r("factory-case")
        self.ended(r)
        self.assertEqual(r.passes(), 1)

    def test_every_tool_runs_in_the_script_folder_and_the_start_folder_stays_clean(self):
        # The script starts on drive C: while it lies on Z:.
        for tag, r in RESULTS.items():
            with self.subTest(tag):
                self.assertTrue(win(r.start).startswith("C:\\"))
                self.assertEqual({c.cwd for c in r.calls} - {win(r.bin)}, set())
                self.assertEqual(sorted(p.name for p in r.start.iterdir()),
                                 ["find.exe", "standin-log.txt"] if r.s.lang == "cn" else [])


class MendedFaults(ScriptCase):
    def test_eep_with_an_stm32_bootloader_deletes_nothing(self):
        for lang in ("en", "cn"):
            with self.subTest(lang):
                r = self.r(f"stm32-eep-{lang}")
                self.assertOutput(r, [MSG[lang]["stm32dfu"], MSG[lang]["stm32_hex_only"]])
                self.assertTools(r, [])
                self.assertTrue(r.fw_unix.exists())
                self.assertFalse(r.image_unix.exists())

    def test_a_bin_of_the_users_own_is_left_alone(self):
        for lang in ("en", "cn"):
            with self.subTest(lang):
                r = self.r(f"bin-exists-{lang}")
                self.assertOutput(r, [MSG[lang]["stm32duino"], MSG[lang]["bin_exists"].format(r.image)])
                self.assertTools(r, [])
                self.assertEqual(r.image_unix.read_bytes(), b"the user's own image")

    def test_a_failed_step_reports_failure_and_stops(self):
        m = MSG["en"]
        cases = {
            # tag: (what the pass printed, the tools that ran)
            "dfu-erase-fails-en": (lambda r: [m["winusb"], m["dfu"].format("atmega32u4"), "", m["erase_hex"], "", m["failed"], ""],
                                   lambda r: [("dfu-programmer", ["atmega32u4", a]) for a in ("get", "get")] + [
                                       ("dfu-programmer", ["atmega32u4", "erase", "--force"])]),
            "fail-dfu-flash": (lambda r: [m["winusb"], m["dfu"].format("atmega32u4"), "", m["erase_hex"], "",
                                          m["start_dfu_hex"].format(r.fw), "", m["failed"], ""],
                               lambda r: [("dfu-programmer", ["atmega32u4", a]) for a in ("get", "get")] + [
                                   ("dfu-programmer", ["atmega32u4", "erase", "--force"]),
                                   ("dfu-programmer", ["atmega32u4", "flash", r.fw])]),
            "fail-lufa-eeprom": (lambda r: ["x Version: 0x20", m["winusb"], m["dfu"].format("atmega32u4"), "----Lufa Dfu bootloader",
                                            m["start"].format(r.fw), "", m["failed"], ""],
                                 lambda r: [("dfu-programmer", ["atmega32u4", a]) for a in ("get", "get")] + [
                                     ("dfu-programmer", ["atmega32u4", "flash", "--force", "--eeprom", r.fw])]),
            "fail-atmel-dfu-hex": (lambda r: [m["winusb"], m["dfu"].format("atmega32u4"), "", m["erase_eep"], "", m["dfuhex"], "",
                                              m["failed"], ""],
                                   lambda r: [("dfu-programmer", ["atmega32u4", a]) for a in ("get", "get")] + [
                                       ("dfu-programmer", ["atmega32u4", "erase", "--force"]),
                                       ("dfu-programmer", ["atmega32u4", "flash", win(r.bin / "dfu.hex")])]),
            "fail-avrdude": (lambda r: [m["arduino"].format("3"), "", m["start"].format(r.fw), "", m["failed"], ""],
                             lambda r: [("avrdude", ["-patmega32u4", "-PCOM3", "-cavr109", f"-Uflash:w:{r.fw}:i"])]),
            "fail-hid-first-gone": (lambda r: [m["hid"], "", m["start"].format(r.fw), "", m["failed"], ""],
                                    lambda r: [("hid_bootloader_cli", ["-v", "-mmcu=atmega32u4", "-f", r.fw])]),
            "fail-hid-retry": (lambda r: [m["hid"], "", m["start"].format(r.fw), m["hid_retry"], "", m["failed"], ""],
                               lambda r: [("hid_bootloader_cli", ["-v", "-mmcu=atmega32u4", "-f", r.fw]),
                                          ("hid_bootloader_cli", ["-v", "-mmcu=atmega32u4", r.fw])]),
            "fail-bootloadhid": (lambda r: [m["boothid"], "", m["start"].format(r.fw), ""] + HINTS + ["", m["failed"], ""],
                                 lambda r: [("bootloadhid", ["-r", r.fw])]),
            "fail-hex2bin": (lambda r: [m["stm32dfu"], r.image, "", m["failed"], ""],
                             lambda r: [("hex2bin", [r.fw])]),
            "fail-dfu-util": (lambda r: [m["stm32duino"], r.image, "", m["failed"], ""],
                              lambda r: [("hex2bin", [r.fw]), ("dfu-util", ["-a", "2", "-D", r.image, "-R"])]),
            "fail-hid-flash": (lambda r: [m["stm32hid"], r.image, "", m["failed"], ""],
                               lambda r: [("hex2bin", [r.fw]), ("hid-flash", [r.image])]),
        }
        for tag, (output, tools) in cases.items():
            with self.subTest(tag):
                r = self.r(tag)
                self.assertOutput(r, output(r))
                self.assertTools(r, tools(r))
                self.assertFalse(r.image_unix.exists(), "image left behind")
        r = self.r("dfu-erase-fails-cn")
        self.assertEqual(r.pass_output()[-3:-1], [MSG["cn"]["failed"], ""])

    def test_a_first_attempt_that_fails_is_made_good_by_the_retry(self):
        r = self.r("fail-hid-first-only")
        m = MSG["en"]
        self.assertOutput(r, [m["hid"], "", m["start"].format(r.fw), m["hid_retry"], m["hid_v1"]])


class Chinese(ScriptCase):
    def test_procedures_speak_chinese(self):
        m = MSG["cn"]
        cases = {
            "dfu-cn": lambda r: [m["winusb"], m["dfu"].format("atmega32u4"), "", m["erase_hex"], "",
                                 m["start_dfu_hex"].format(r.fw), "", m["hex_done"]],
            "libusb-cn": lambda r: [m["libusb"], m["dfu"].format("atmega32u4"), "", m["erase_hex"], "",
                                    m["start_dfu_hex"].format(r.fw), "", m["hex_done"]],
            "lufa-cn": lambda r: ["Bootloader Version: 0x20 (32)", m["winusb"], m["dfu"].format("atmega32u4"),
                                  "----Lufa Dfu bootloader", m["start"].format(r.fw), "", m["eep_done"]],
            "atmel-eep-cn": lambda r: [HYPHENS, "Bootloader Version: 0x00 (0)", m["winusb"], m["dfu"].format("atmega32u2"), "",
                                       m["erase_eep"], "", m["dfuhex"], "", m["start"].format(r.fw), "", m["both_done"]],
            "no-dfu-hex-cn": lambda r: [m["winusb"], m["dfu"].format("atmega32u4")] + m["no_dfu_hex"],
            "arduino-cn": lambda r: [m["arduino"].format("7"), "", m["start"].format(r.fw), "", m["done"], ""],
            "hid-gone-cn": lambda r: [m["hid"], "", m["start"].format(r.fw), m["hid_v2"]],
            "hid-retry-cn": lambda r: [m["hid"], "", m["start"].format(r.fw), m["hid_retry"], m["hid_v1"]],
            "boothid-cn": lambda r: [m["boothid"], "", m["start"].format(r.fw), ""] + HINTS + ["", m["done"], ""],
            "boothid-wrong-cn": lambda r: [m["boothid_wrong"]],
            "stm32hid-cn": lambda r: [m["stm32hid"], r.image],
        }
        for tag, expected in cases.items():
            with self.subTest(tag):
                r = self.r(tag)
                self.assertEqual(r.lines[3:9], BANNER["cn"], r.text())
                self.assertOutput(r, expected(r))
                self.assertEqual(same_tools(r), same_tools(self.r(tag[:-2] + "en")), "the same as in English")


if __name__ == "__main__":
    unittest.main(verbosity=2)
