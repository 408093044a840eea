"""Runs the project's bin tools (devcon find, sleep, hex2bin) under Wine, and reads
devcon's output with Wine 10's cmd the way the reflash script does. Also starts the
flashing tools cross-built from Debian's sources with the script's own command lines.

Set by tests/tools/CMakeLists.txt:
  QUELVAR_WINE_RUN  scripts/wine-run
  QUELVAR_CMD       Wine 10's cmd.exe
  QUELVAR_DEVCON    devcon32.exe or devcon64.exe, QUELVAR_SLEEP sleep.exe,
  QUELVAR_HEX2BIN   hex2bin.exe
  QUELVAR_OUTSIDE   the flashing tools' folder made by scripts/build-outside-tools.sh
  QUELVAR_RUNS      a scratch folder of the build
Run one group with: python3 test_tools.py DevconTest
"""
import fnmatch
import os
import random
import re
import shutil
import subprocess
import tempfile
import unittest
from pathlib import Path


def env_path(name):
    value = os.environ.get(name)
    if not value:
        raise SystemExit(f"{name} is not set")
    return Path(value)


WINE_RUN = env_path("QUELVAR_WINE_RUN")
CMD = env_path("QUELVAR_CMD")
DEVCON = env_path("QUELVAR_DEVCON")
SLEEP = env_path("QUELVAR_SLEEP")
HEX2BIN = env_path("QUELVAR_HEX2BIN")
RUNS = env_path("QUELVAR_RUNS")
OUTSIDE = env_path("QUELVAR_OUTSIDE")


def win(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def scratch(name):
    folder = RUNS / name
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    return folder


def run(exe, *args, cwd=None):
    r = subprocess.run([str(WINE_RUN), str(exe), *args], cwd=cwd, capture_output=True,
                       timeout=120)
    return r.returncode, r.stdout.decode("gbk", "replace"), r.stderr.decode("gbk", "replace")


def faithful_cmd():
    """A copy of Wine 10's cmd under a name of its own: a program named cmd.exe that is
    marked as Wine's own is replaced by the prefix's system32\\cmd.exe when it starts."""
    copy = RUNS / "cmd10.exe"
    if not copy.exists() or copy.read_bytes() != CMD.read_bytes():
        RUNS.mkdir(parents=True, exist_ok=True)
        shutil.copy(CMD, copy)
    return copy


def run_bat(folder, lines):
    """Writes a GBK batch file with CR LF line ends and runs it with the faithful cmd."""
    bat = folder / "t.bat"
    bat.write_bytes(("\r\n".join(lines) + "\r\n").encode("gbk"))
    # Started by its bare name from its folder: cmd /c drops the quotes of a quoted path
    # that holds & ( ) ^.
    r = subprocess.run([str(WINE_RUN), str(faithful_cmd()), "/c", bat.name], cwd=folder,
                       capture_output=True, timeout=120)
    return r.stdout.decode("gbk", "replace").replace("\r", "").split("\n")


def lines_of(text):
    return [l for l in text.replace("\r", "").split("\n") if l]


# ---------------------------------------------------------------------------------------
class DevconTest(unittest.TestCase):
    SUMMARY = re.compile(r"^(\d+) matching device\(s\) found\.$")

    @classmethod
    def setUpClass(cls):
        rc, out, err = run(DEVCON, "find", "@*")
        assert rc == 0, (rc, out, err)
        cls.all_lines = lines_of(out)
        cls.ids = [l.split(" ")[0].rstrip(":") for l in cls.all_lines[:-1]]
        # A device whose ID has an ampersand before its last part, like the bootloaders
        # the script looks for (HID\\VID_xxxx&PID_yyyy\\...).
        cls.sample = next(i for i in cls.ids if "&" in "\\".join(i.split("\\")[:2]))

    def find(self, *patterns, cwd=None):
        rc, out, err = run(DEVCON, "find", *patterns, cwd=cwd)
        self.assertEqual(rc, 0, err)
        return lines_of(out)

    def found_ids(self, lines):
        m = self.SUMMARY.match(lines[-1])
        self.assertTrue(m, lines)
        self.assertEqual(int(m.group(1)), len(lines) - 1, lines)
        return [l.split(" ")[0].rstrip(":") for l in lines[:-1]]

    def test_lists_the_present_devices_by_instance_id(self):
        print("devices Wine reports:", *self.all_lines, sep="\n  ")
        ids = self.found_ids(self.all_lines)
        self.assertGreaterEqual(len(ids), 1)
        for line, id_ in zip(self.all_lines, ids):
            self.assertIn("\\", id_)
            self.assertTrue(line == id_ or line.startswith(id_ + ": "), line)
        # Wine's own bus drivers are root-enumerated.
        root = self.found_ids(self.find("@root\\*"))
        self.assertGreaterEqual(len(root), 1)
        self.assertEqual(root, [i for i in ids if i.upper().startswith("ROOT\\")])

    def test_patterns_against_the_present_devices(self):
        s = self.sample
        prefix = "\\".join(s.split("\\")[:2])  # HID\VID_xxxx&PID_yyyy
        cases = [
            [s.lower()],
            [prefix.lower() + "*"],
            [prefix.swapcase() + "*"],
            [s[:5] + "?" + s[6:].lower()],
            ["*" + s.split("\\")[-1]],
            ["*&*"],
            ["root\\*", s.lower()],  # several patterns: any may match
            [prefix.lower()],  # no star: the whole ID must match
        ]
        for patterns in cases:
            with self.subTest(patterns=patterns):
                self.assertFalse(any(c in p for p in patterns for c in "[]"))
                expected = [i for i in self.ids
                            if any(fnmatch.fnmatchcase(i.upper(), p.upper()) for p in patterns)]
                lines = self.find(*("@" + p for p in patterns))
                if expected:
                    self.assertEqual(self.found_ids(lines), expected)
                else:
                    self.assertEqual(lines, ["No matching devices found."])
        self.assertIn(s, self.found_ids(self.find("@" + prefix.lower() + "*")))

    def test_no_match_is_a_single_line_beginning_with_no(self):
        for pattern in ["@usb\\vid_03eb&pid_2ff4*", "@hid\\vid_1209&pid_2327*",
                        "@" + self.sample + "x"]:
            with self.subTest(pattern=pattern):
                rc, out, err = run(DEVCON, "find", pattern)
                self.assertEqual((rc, out, err), (0, "No matching devices found.\r\n", ""))

    def test_other_usage_prints_only_to_standard_error(self):
        # Standard output stays empty: the script would take any line there for a device.
        for args in [[], ["find"], ["find", "root\\*"], ["find", "@"], ["list", "@*"],
                     ["findx", "@*"], ["find", "@*", "root\\*"]]:
            with self.subTest(args=args):
                rc, out, err = run(DEVCON, *args)
                self.assertEqual(rc, 1)
                self.assertEqual(out, "")
                self.assertIn("Usage: devcon find @PATTERN", err)

    def test_a_pattern_is_not_expanded_to_file_names(self):
        folder = scratch("devcon-glob")
        (folder / "@root").mkdir()
        (folder / "@root" / "x").write_text("")
        self.assertEqual(self.found_ids(self.find("@root\\*", cwd=folder)),
                         self.found_ids(self.find("@root\\*")))

    def test_script_probe_reads_the_output(self):
        folder = scratch("devcon-probe") / "bin 目录"
        folder.mkdir()
        shutil.copy(DEVCON, folder / "devcon64.exe")
        prefix = "\\".join(self.sample.split("\\")[:2]).lower()
        expected_first = self.found_ids(self.find("@" + prefix + "*"))[0]
        probes = [prefix.replace("&", "^&") + "*", "usb\\vid_03eb^&pid_2ff4*"]
        # The lines of resources/reflash.bat.txt: the probe loop, and the re-probe that
        # takes the first word of the first non-empty line.
        lines = ["@echo off", "setlocal enabledelayedexpansion", 'cd /d "%~dp0"',
                 "set DEVCON=%~dp0devcon64.exe", 'for %%x in ("%DEVCON%") do set DEVCON=%%~sx']
        for n, pattern in enumerate(probes, 1):
            lines += [
                f'"%DEVCON%" find @{pattern} > "%~dp0temp.txt"',
                'For /f "usebackq tokens=1 delims= " %%H in ( "%~dp0temp.txt" ) do (',
                f'    if not "%%H"=="No" goto FOUND{n}',
                ")",
                f"echo PROBE{n} NONE",
                f"goto NEXT{n}",
                f":FOUND{n}",
                f"echo PROBE{n} FOUND",
                f":NEXT{n}",
                "set PROBE=",
                'For /f "usebackq tokens=1 delims= " %%H in ( "%~dp0temp.txt" ) do '
                'if not defined PROBE set "PROBE=%%H"',
                f"echo FIRST{n}=!PROBE!",
            ]
        out = run_bat(folder, lines)
        self.assertIn("PROBE1 FOUND", out)
        # The first word is the ID, with the colon before the description.
        self.assertTrue(f"FIRST1={expected_first}:" in out or f"FIRST1={expected_first}" in out,
                        out)
        self.assertIn("PROBE2 NONE", out)
        self.assertIn("FIRST2=No", out)


# ---------------------------------------------------------------------------------------
def rec(rtype, address, data=b""):
    body = bytes([len(data), (address >> 8) & 0xFF, address & 0xFF, rtype]) + bytes(data)
    return ":" + (body + bytes([-sum(body) & 0xFF])).hex().upper()


EOF = rec(1, 0)


def objcopy_image(hex_path):
    """binutils' image of the file; it takes no blanks at the end of a record."""
    with tempfile.TemporaryDirectory() as tmp:
        clean, out = Path(tmp) / "x.hex", Path(tmp) / "x.bin"
        clean.write_text("".join(l.rstrip() + "\n" for l in hex_path.read_text().splitlines()))
        subprocess.run(["objcopy", "-I", "ihex", "-O", "binary", "--gap-fill", "0xff",
                        str(clean), str(out)], check=True)
        return out.read_bytes()


def firmware_records(base, data, skip):
    """16-byte data records from base on, with the records in skip left out (gaps), and an
    extended linear address record wherever the upper 16 bits change."""
    lines, upper = [], None
    for n, at in enumerate(range(0, len(data), 16)):
        address = base + at
        if address >> 16 != upper:
            upper = address >> 16
            lines.append(rec(4, 0, upper.to_bytes(2, "big")))
        if n not in skip:
            lines.append(rec(0, address & 0xFFFF, data[at:at + 16]))
    return lines


class Hex2binTest(unittest.TestCase):
    def convert(self, folder, lines, name="fw.hex", line_end="\n"):
        hex_path = folder / name
        hex_path.write_bytes((line_end.join(lines) + line_end).encode())
        rc, out, err = run(HEX2BIN, win(hex_path))
        return hex_path, rc, out, err

    def test_images_equal_objcopy(self):
        rnd = random.Random(7)
        fixtures = {
            "linear": [
                rec(4, 0, b"\x08\x00"),
                rec(0, 0x0000, bytes(range(16))),
                rec(0, 0x0100, b"\xAA\x55\x00\xFF"),  # a gap before it
                rec(0, 0xFFF8, bytes(range(0x40, 0x50))),  # runs on into 0x0801xxxx
                rec(4, 0, b"\x08\x01"),
                rec(0, 0x0020, b"\x01\x02\x03"),
                rec(5, 0, b"\x08\x00\x01\x01"),
                EOF,
            ],
            "segment": [
                rec(2, 0, b"\x00\x00"),
                rec(0, 0x0010, b"\x10\x11\x12\x13").lower(),
                "",
                rec(2, 0, b"\x01\x00") + "  ",  # segment 0x0100: from 0x1000 on
                rec(0, 0x0000, b"\x20" * 8),
                rec(3, 0, b"\x00\x00\x01\x00"),
                rec(2, 0, b"\x08\x00"),
                rec(0, 0x0004, b"\x30\x31"),
                EOF,
                rec(0, 0xA000, b"\x50"),  # after the end: not read
            ],
            "firmware": firmware_records(0x0800F000, rnd.randbytes(0x3000),
                                         skip={5, 6, 7, 200, 511}),
        }
        fixtures["firmware"].append(EOF)
        for label, lines in fixtures.items():
            for line_end in ["\n", "\r\n"]:
                with self.subTest(fixture=label, line_end=repr(line_end)):
                    folder = scratch(f"hex2bin-{label}")
                    (folder / "fw.bin").write_bytes(b"stale image of an earlier run")
                    hex_path, rc, out, err = self.convert(folder, lines, line_end=line_end)
                    self.assertEqual(rc, 0, err)
                    self.assertEqual((folder / "fw.bin").read_bytes(), objcopy_image(hex_path))
                    self.assertEqual(sorted(p.name for p in folder.iterdir()),
                                     ["fw.bin", "fw.hex"])

    def test_bad_files_name_the_line_and_write_nothing(self):
        good = rec(0, 0, b"\x01\x02\x03\x04")
        cases = [
            ("bad checksum", [good, good[:-2] + "00", EOF], 2, "checksum"),
            ("bad hex digit", [good, good[:9] + "G" + good[10:], EOF], 2, "hex digit 'G'"),
            ("short line", [good, good[:-4], EOF], 2, "too short"),
            ("header only", [good, ":0400", EOF], 2, "too short"),
            ("odd digits", [good, good + "0", EOF], 2, "odd number"),
            ("long record", [good, good[:-2] + "0000", EOF], 2, "too long"),
            ("unknown type", [good, rec(6, 0, b"\x00"), EOF], 2, "unknown record type 0x06"),
            ("no colon", [good, good[1:], EOF], 2, "does not begin with ':'"),
            ("missing EOF", [good, rec(0, 4, b"\x05"), ""], 3, "end-of-file record"),
            ("bad address record", [rec(4, 0, b"\x08"), good, EOF], 1, "needs 2 data bytes"),
            ("no data", [rec(4, 0, b"\x08\x00"), EOF], 2, "no data records"),
            ("overlap", [good, rec(0, 2, b"\x03\x05"), EOF], 2, "differ"),
            # A stray extended address: 256 MiB from the first data.
            ("too large", [good, rec(4, 0, b"\x10\x00"), rec(0, 0, b"\x01"), EOF], 3,
             "larger than 16777216 bytes"),
            ("beyond 4 GiB", [rec(4, 0, b"\xFF\xFF"), rec(0, 0xFFFF, b"\x01\x02"), EOF], 2,
             "beyond the 4 GiB"),
        ]
        for label, lines, line_no, words in cases:
            with self.subTest(case=label):
                folder = scratch("hex2bin-bad")
                _, rc, out, err = self.convert(folder, lines)
                self.assertEqual(rc, 2, err)
                self.assertIn(f"fw.hex: line {line_no}: ", err)
                self.assertIn(words, err)
                self.assertEqual([p.name for p in folder.iterdir()], ["fw.hex"])

    def test_images_by_hand(self):
        # Where binutils is no oracle: it adds a segment base and a linear base together,
        # and keeps the last of two different bytes for one address (refused above).
        cases = [
            ("identical bytes twice", [rec(0, 0, b"\x01\x02\x03\x04"),
                                       rec(0, 2, b"\x03\x04\x05"), EOF], b"\x01\x02\x03\x04\x05"),
            ("linear base replaces segment base",
             [rec(2, 0, b"\x0F\xFF"), rec(0, 0x000E, b"\x01"), rec(4, 0, b"\x00\x01"),
              rec(0, 0x0000, b"\x02"), EOF], b"\x01\xFF\x02"),
            ("segment base replaces linear base",
             [rec(4, 0, b"\x00\x02"), rec(0, 0x0000, b"\x01"), rec(2, 0, b"\x1F\xFF"),
              rec(0, 0x000E, b"\x02"), EOF], b"\x02\xFF\x01"),
            ("UTF-8 mark before the first record",
             ["\ufeff" + rec(0, 0, b"\x01"), EOF], b"\x01"),
        ]
        for label, lines, image in cases:
            with self.subTest(case=label):
                folder = scratch("hex2bin-by-hand")
                _, rc, out, err = self.convert(folder, lines)
                self.assertEqual(rc, 0, err)
                self.assertEqual((folder / "fw.bin").read_bytes(), image)

    def test_image_names_beside_files_with_hard_names(self):
        # Run as the script runs it: by cmd, the path between double quotes.
        cases = [
            ("键盘 億圽乛 (a&b) ^c 100%", "固件 v1.0 [x] 50% !x;,=.hex", "固件 v1.0 [x] 50% !x;,=.bin"),
            ("fw", "固件.圽", "固件.bin"),  # the last byte of 圽 is 0x5C, a backslash
            ("dir.v2", "firmware", "firmware.bin"),
            ("a.b", "fw.v2.hex", "fw.v2.bin"),
        ]
        data = bytes(range(256)) * 4
        lines = firmware_records(0x08000000, data, skip={3}) + [EOF]
        for dirname, name, image in cases:
            with self.subTest(name=name):
                folder = scratch("hex2bin-names") / dirname
                folder.mkdir()
                hex_path = folder / name
                hex_path.write_text("\n".join(lines) + "\n")
                path = win(hex_path).replace("%", "%%")
                out = run_bat(folder, ["@echo off", f'"{win(HEX2BIN)}" "{path}"',
                                       "echo RC=%errorlevel%"])
                self.assertIn("RC=0", out)
                self.assertEqual(sorted(p.name for p in folder.iterdir()),
                                 sorted([name, image, "t.bat"]))
                self.assertEqual((folder / image).read_bytes(), objcopy_image(hex_path))

    def test_refuses_to_replace_its_input(self):
        folder = scratch("hex2bin-self")
        for name in ["fw.bin", "FW.BIN"]:
            with self.subTest(name=name):
                text = rec(0, 0, b"\x01") + "\n" + EOF + "\n"
                (folder / name).write_text(text)
                rc, out, err = run(HEX2BIN, win(folder / name))
                self.assertEqual(rc, 2)
                self.assertIn("would replace the input file", err)
                self.assertEqual((folder / name).read_text(), text)
                (folder / name).unlink()

    def test_usage_and_missing_file(self):
        for args in [[], ["a.hex", "b.hex"], [""]]:
            with self.subTest(args=args):
                rc, out, err = run(HEX2BIN, *args)
                self.assertEqual((rc, out), (1, ""))
                self.assertIn("Usage: hex2bin FILE.hex", err)
        folder = scratch("hex2bin-missing")
        rc, out, err = run(HEX2BIN, win(folder / "gone.hex"))
        self.assertEqual(rc, 2)
        self.assertIn("gone.hex: cannot open", err)
        self.assertEqual(list(folder.iterdir()), [])


# ---------------------------------------------------------------------------------------
class SleepTest(unittest.TestCase):
    def test_arguments(self):
        cases = [([], 1), (["abc"], 1), (["-5"], 1), (["+5"], 1), (["1.5"], 1), ([""], 1),
                 (["100", "200"], 1), (["10ms"], 1), (["4294967295"], 1),
                 (["99999999999999999999"], 1), (["0"], 0), (["100"], 0), (["007"], 0)]
        for args, code in cases:
            with self.subTest(args=args):
                rc, out, err = run(SLEEP, *args)
                self.assertEqual((rc, out), (code, ""))
                if code:
                    self.assertIn("Usage: sleep MILLISECONDS", err)
                else:
                    self.assertEqual(err, "")

    def test_script_line(self):
        folder = scratch("sleep-script") / "bin 目录"
        folder.mkdir()
        shutil.copy(SLEEP, folder / "sleep.exe")
        out = run_bat(folder, ["@echo off", '"%~dp0sleep"  100', "echo RC=%errorlevel%"])
        self.assertIn("RC=0", out)


# ---------------------------------------------------------------------------------------
def upstream_versions():
    """Source package -> upstream version, from the versions file the build wrote:
    "2:1.0.26-1" -> "1.0.26", "7.1+dfsg-3" -> "7.1"."""
    versions = {}
    for line in (OUTSIDE / "versions").read_text().splitlines():
        pkg, ver = line.split()[:2]
        versions[pkg] = re.sub(r"^\d+:", "", ver).rsplit("-", 1)[0].split("+")[0]
    return versions


class FlashingToolsTest(unittest.TestCase):
    """With no keyboard attached, each tool must start, read what it needs (libusb's
    Windows back end, avrdude's configuration beside it) and report that it found none."""

    @classmethod
    def setUpClass(cls):
        cls.bin = scratch("flashing-tools") / "bin 目录"
        shutil.copytree(OUTSIDE / "bin", cls.bin)

    def tool(self, exe, *args):
        rc, out, err = run(self.bin / exe, *args, cwd=self.bin)
        return rc, (out + err).replace("\r", "")

    def test_each_reports_the_version_of_its_source(self):
        v = upstream_versions()
        cases = [("dfu-util.exe", ["-V"], rf"(?m)^dfu-util {re.escape(v['dfu-util'])}$"),
                 ("dfu-programmer.exe", ["--version"],
                  rf"(?m)^dfu-programmer {re.escape(v['dfu-programmer'])}$"),
                 ("avrdude.exe", ["-?"],
                  rf"(?s)^Usage: avrdude .*\navrdude version {re.escape(v['avrdude'])}, ")]
        for exe, args, pattern in cases:
            with self.subTest(exe=exe):
                rc, text = self.tool(exe, *args)
                self.assertEqual(rc, 0, text)
                self.assertRegex(text, pattern)

    def test_the_script_command_lines_find_no_keyboard(self):
        image = self.bin / "固件.bin"
        image.write_bytes(b"\xff" * 64)
        # (tool, arguments as the script gives them, exit code, text it must print)
        cases = [
            # "get" with no name reads the bootloader version; no device: exit code 3.
            ("dfu-programmer.exe", ["atmega32u4", "get"], 3, "no device present"),
            ("dfu-programmer.exe", ["at90usb1286", "erase", "--force"], 3, "no device present"),
            ("dfu-util.exe", ["-a", "0", "-s", "0x08000000:leave", "-D", win(image)], 74,
             "No DFU capable USB device available"),
            ("dfu-util.exe", ["-l"], 0, "dfu-util "),
            # Part and programmer are known, so the configuration was read; the port is not there.
            ("avrdude.exe", ["-patmega32u4", "-PCOM9", "-cavr109", f"-Uflash:w:{win(image)}:i"], 1,
             "unable to open programmer avr109 on port COM9"),
        ]
        for exe, args, code, expected in cases:
            with self.subTest(exe=exe, args=args[:2]):
                rc, text = self.tool(exe, *args)
                self.assertEqual(rc, code, text)
                self.assertIn(expected, text)
                self.assertNotRegex(text, r"(?i)can.t init libusb|unable to initiali[sz]e libusb")
        self.assertEqual(image.read_bytes(), b"\xff" * 64)

    def test_avrdude_needs_its_configuration_beside_it(self):
        alone = scratch("avrdude-alone")
        shutil.copy(self.bin / "avrdude.exe", alone)
        rc, out, err = run(alone / "avrdude.exe", "-patmega32u4", "-PCOM9", "-cavr109", cwd=alone)
        self.assertEqual(rc, 1)
        self.assertIn("cannot find programmer id avr109", out + err)


if __name__ == "__main__":
    unittest.main(verbosity=2)
