#!/usr/bin/env python3
"""The stand-ins behave as the reflash script relies on the real tools to behave, and
log every call exactly. Each case starts a stand-in under Wine, without the script."""
import shutil
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "script"))
from harness import CMD, RUNS, STANDIN, Call, device, exit_rule, port, say, start_wine, win  # noqa: E402


class Folder:
    def __init__(self, name, *scenario, pass_=None):
        self.dir = RUNS / "standins" / name
        if self.dir.exists():
            shutil.rmtree(self.dir)
        self.dir.mkdir(parents=True)
        (self.dir / "standin-scenario.txt").write_text("\n".join(scenario) + "\n", encoding="utf-8")
        if pass_ is not None:
            (self.dir / "standin-state.txt").write_text(str(pass_))

    def tool(self, name):
        exe = self.dir / f"{name}.exe"
        if not exe.exists():
            shutil.copyfile(STANDIN, exe)
        return exe

    def run(self, name, *args, stdin=None):
        out = self.dir / "out.txt"
        code = start_wine([self.tool(name), *args], self.dir, out, self.dir / "err.txt", 60, stdin)
        return code, out.read_bytes().decode("utf-8").replace("\r\n", "\n")

    def calls(self):
        log = self.dir / "standin-log.txt"
        return [Call.parse(ln) for ln in log.read_text(encoding="utf-8").splitlines()] if log.exists() else []


DFU = r"USB\VID_03EB&PID_2FF4\5&11223344&0&1"
HID = r"HID\VID_1209&PID_2327\6&1A2B3C4D&0&0000"


class Devcon(unittest.TestCase):
    def test_find_matches_instance_ids_by_pattern_within_the_passes(self):
        f = Folder("devcon", device(DFU, "2-3"), device(HID, "2-"), pass_=2)
        code, out = f.run("devcon64", "find", r"@usb\vid_03eb&pid_2ff4*")
        self.assertEqual(code, 0)
        self.assertEqual(out.splitlines()[0].split()[0], DFU)
        self.assertEqual(out.splitlines()[-1], "1 matching device(s) found.")
        # Another product, another bus: every line begins with "No".
        for pattern in (r"@usb\vid_03eb&pid_2ff0*", r"@hid\vid_03eb&pid_2ff4*"):
            self.assertEqual(f.run("devcon32", "find", pattern)[1], "No matching devices found.\n")
        (f.dir / "standin-state.txt").write_text("4")
        self.assertEqual(f.run("devcon64", "find", r"@usb\vid_03eb&pid_2ff4*")[1], "No matching devices found.\n")
        self.assertIn(HID, f.run("devcon64", "find", r"@HID\VID_1209&PID_2327*")[1])

    def test_a_device_leaves_after_a_tool_or_shows_late(self):
        f = Folder("leave", device(HID, leave="hid_bootloader_cli"), device(DFU, after=2), pass_=1)
        probe = ("find", r"@hid\vid_1209&pid_2327*")
        self.assertIn(HID, f.run("devcon64", *probe)[1])
        self.assertEqual(f.run("devcon64", "find", r"@usb\vid_03eb&pid_2ff4*")[1], "No matching devices found.\n")
        f.run("hid_bootloader_cli", "-v")
        self.assertEqual(f.run("devcon64", *probe)[1], "No matching devices found.\n")
        self.assertIn(DFU, f.run("devcon64", "find", r"@usb\vid_03eb&pid_2ff4*")[1])


class Mode(unittest.TestCase):
    def test_ports_of_the_pass_in_scenario_order(self):
        f = Folder("mode", port("COM11", "1-"), port("COM4", "2-"), port("COM2", "1-1"), pass_=2)
        code, out = f.run("mode")
        self.assertEqual(code, 0)
        with_com = [ln for ln in out.splitlines() if "com" in ln.lower()]
        self.assertEqual(with_com, ["Status for device COM11:", "Status for device COM4:"])
        self.assertIn("Status for device CON:", out)


class Sleep(unittest.TestCase):
    def test_each_start_is_a_pass_and_the_stop_pass_ends_the_command_processor(self):
        f = Folder("sleep", "stop pass=2")
        f.tool("sleep")
        (f.dir / "s.bat").write_bytes(b"@echo off\r\nsleep 100\r\necho one\r\nsleep 100\r\necho two\r\n")
        code = start_wine([CMD, "/c", win(f.dir / "s.bat")], f.dir, f.dir / "out.txt", f.dir / "err.txt", 60)
        self.assertEqual(code, 99)
        self.assertEqual((f.dir / "out.txt").read_bytes().split(), [b"one"])
        self.assertEqual([(c.name, c.pass_, c.args) for c in f.calls()], [("sleep", 1, ["100"]), ("sleep", 2, ["100"])])


class FlashingTools(unittest.TestCase):
    def test_exit_codes_and_output_follow_the_rules(self):
        f = Folder("rules", exit_rule("dfu-programmer", 1, "get", "1-1"), exit_rule("dfu-programmer", -1, "erase"),
                   say("dfu-programmer", "Bootloader Version: 0x20 (32)", "get"), pass_=1)
        self.assertEqual(f.run("dfu-programmer", "atmega32u4", "get"), (1, "Bootloader Version: 0x20 (32)\n"))
        self.assertEqual(f.run("dfu-programmer-libusb", "atmega32u4", "get"), (0, ""))
        self.assertEqual(f.run("dfu-programmer", "atmega32u4", "erase", "--force")[0], 255)
        (f.dir / "standin-state.txt").write_text("2")
        self.assertEqual(f.run("dfu-programmer", "atmega32u4", "get")[0], 0)
        self.assertEqual([c.code for c in f.calls()], [1, 0, -1, 0])

    def test_hex2bin_writes_the_image_beside_and_arguments_are_logged_exactly(self):
        f = Folder("hex2bin", pass_=1)
        fw_dir = f.dir / "fw 100% (a&b) ^c! 键盘 億圽乛"
        fw_dir.mkdir()
        fw = fw_dir / "固件.v2 %PATH% !x!.hex"
        fw.write_bytes(b":00000001FF\r\n")
        self.assertEqual(f.run("hex2bin", win(fw))[0], 0)
        image = fw.with_suffix(".bin")
        self.assertEqual(image.read_bytes(), b"IMAGE OF :00000001FF\r\n")
        f.run("dfu-util", "-a", "2", "-D", win(image), "-R")
        convert, flash = f.calls()
        self.assertEqual(convert.args, [win(fw)])
        self.assertEqual(convert.files, [b":00000001FF\r\n"])
        self.assertEqual(flash.args, ["-a", "2", "-D", win(image), "-R"])
        self.assertEqual(flash.files[3], b"IMAGE OF :00000001FF\r\n")
        self.assertEqual(flash.cwd, win(f.dir))


class Find(unittest.TestCase):
    def test_find_reads_its_input_and_succeeds(self):
        f = Folder("find")
        self.assertEqual(f.run("find", "版本", stdin=b"Microsoft Windows 6.1.7601\r\n")[0], 0)
        self.assertEqual([c.args for c in f.calls()], [["版本"]])


if __name__ == "__main__":
    unittest.main(verbosity=2)
