"""Makes the release with scripts/release.sh and checks what a user gets in the zip.

Set by tests/release/CMakeLists.txt: QUELVAR_TOP (the source tree), QUELVAR_OBJDUMP (an
objdump that reads both kinds of PE file).
"""
import os
import re
import struct
import subprocess
import unittest
import zipfile
from pathlib import Path

TOP = Path(os.environ["QUELVAR_TOP"])
OBJDUMP = os.environ["QUELVAR_OBJDUMP"]
NAME = "QuelvarRefresher"
# DLLs every Windows since 7 has; anything else would have to ship beside the exe.
SYSTEM_DLLS = {"kernel32.dll", "msvcrt.dll", "setupapi.dll", "ws2_32.dll", "hid.dll",
               "user32.dll", "gdi32.dll", "comdlg32.dll", "shell32.dll", "ole32.dll",
               "advapi32.dll"}
I386, AMD64 = 0x14C, 0x8664


def pe_machine(data):
    offset = struct.unpack_from("<I", data, 0x3C)[0]
    assert data[offset:offset + 4] == b"PE\0\0"
    return struct.unpack_from("<H", data, offset + 4)[0]


def tools_the_script_calls():
    """The file names the reflash script runs from its own folder: "%~dp0NAME" where NAME
    has no extension (the command processor adds .exe) or is an .exe."""
    template = (TOP / "resources" / "reflash.bat.txt").read_text(encoding="utf-8")
    names = set()
    for name in re.findall(r"%~dp0([A-Za-z0-9_.-]+)", template):
        if "." not in name:
            names.add(name + ".exe")
        elif name.endswith(".exe"):
            names.add(name)
    return names


def section(text, start, end):
    """The file names listed between two headings of the bin note."""
    part = text[text.index(start) + len(start):text.index(end)] if end else text[text.index(start):]
    return set(re.findall(r"[A-Za-z0-9_-]+\.(?:exe|conf)", part))


class ReleaseTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        r = subprocess.run(["bash", str(TOP / "scripts" / "release.sh")], capture_output=True,
                           text=True, timeout=840)
        assert r.returncode == 0, r.stderr[-3000:]
        cls.folder = folder = Path(r.stdout.strip().splitlines()[-1])
        zip_path = folder.parent / f"{NAME}-v1.0.zip"
        with zipfile.ZipFile(zip_path) as z:
            cls.files = {i.filename[len(NAME) + 1:]: z.read(i) for i in z.infolist()
                         if not i.is_dir()}
            cls.zip_names = z.namelist()
        cls.on_disk = {str(p.relative_to(folder)): p.read_bytes()
                       for p in folder.rglob("*") if p.is_file()}
        cls.bin = {n[4:] for n in cls.files if n.startswith("bin/") and n.count("/") == 1}
        cls.note = cls.files["bin/README.txt"].decode("gbk")

    def test_the_zip_holds_the_folder_under_one_top_folder(self):
        self.assertTrue(all(n.startswith(NAME + "/") for n in self.zip_names))
        self.assertEqual(self.files, self.on_disk)
        self.assertIn(f"{NAME}.exe", self.files)
        self.assertIn("driver/README.txt", self.files)

    def test_every_tool_the_script_calls_is_there_or_named_as_the_users(self):
        called = tools_the_script_calls()
        included = section(self.note, "已附带：", "需要时请自行放入：")
        missing = section(self.note, "需要时请自行放入：", "bin folder:")
        self.assertIn("dfu-programmer.exe", called)  # the scan itself works
        self.assertEqual(called - self.bin, missing, "not shipped and not named as the user's")
        self.assertEqual(included, {n for n in self.bin if n.endswith((".exe", ".conf"))})
        # The English half names the same files.
        english = self.note[self.note.index("bin folder:"):]
        self.assertEqual(section(english, "Included:", "Put these here"), included)
        self.assertEqual(section(english, "Put these here", None), missing)

    def test_programs_are_32_bit_but_devcon64_and_need_no_dll_of_ours(self):
        for name in sorted(n for n in self.files if n.endswith(".exe")):
            with self.subTest(name):
                data = self.files[name]
                expected = AMD64 if name == "bin/devcon64.exe" else I386
                self.assertEqual(pe_machine(data), expected)
                out = subprocess.run([OBJDUMP, "-p", str(self.folder / name)],
                                     capture_output=True, text=True, check=True).stdout
                dlls = {d.lower() for d in re.findall(r"DLL Name: (\S+)", out)}
                self.assertTrue(dlls, out[:500])
                self.assertLessEqual(dlls, SYSTEM_DLLS)

    def test_licences_and_sources_of_the_tools_built_from_debian(self):
        sources = self.files["bin/licences/SOURCES.txt"].decode("gbk")
        packages = re.findall(r"^(\S+) \S+ \(Debian ", sources, re.M)
        self.assertEqual(set(packages), {"libusb-1.0", "dfu-util", "dfu-programmer", "avrdude"})
        self.assertIn("bin/licences/build-outside-tools.sh", self.files)
        for exe in ("dfu-util.exe", "dfu-programmer.exe", "avrdude.exe"):
            self.assertIn(exe, self.bin)
            self.assertIn(exe, sources)
        for pkg in packages:
            with self.subTest(pkg):
                text = self.files[f"bin/licences/{pkg}/COPYING.txt"]
                self.assertTrue(text.startswith(b"\xef\xbb\xbf"))
                body = text[3:].decode("utf-8")
                self.assertTrue(re.search(r"GNU (LESSER |LIBRARY )?GENERAL PUBLIC LICENSE", body))
                self.assertNotIn("\n", body.replace("\r\n", ""))

    def test_notes_are_gbk_with_crlf(self):
        for name in ("bin/README.txt", "driver/README.txt", "bin/licences/SOURCES.txt"):
            with self.subTest(name):
                data = self.files[name]
                data.decode("gbk")
                self.assertNotIn(b"\n", data.replace(b"\r\n", b""))
                self.assertTrue(data.endswith(b"\r\n"))


if __name__ == "__main__":
    unittest.main(verbosity=2)
