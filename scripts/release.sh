#!/usr/bin/env bash
# Builds the 32-bit program and lays out the folder a user copies to Windows:
# build/release/QuelvarRefresher/ (the exe, bin/, driver/) and a zip of it.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
name=QuelvarRefresher version=v1.0
out="$top/build/release"
dir="$out/$name"
log() { echo "release: $*" >&2; }

tree=$(bash "$top/scripts/build.sh" --target QuelvarRefresher devcon32 sleep hex2bin)
tree64=$(bash "$top/scripts/build.sh" win64 --target devcon64)
# The flashing tools from Debian's sources, 32-bit like the program (cached after the
# first build).
outside=$(bash "$top/scripts/build-outside-tools.sh" i686)

rm -rf "$dir" "$out/$name-$version.zip"
mkdir -p "$dir/bin/licences" "$dir/driver"
cp "$tree/$name.exe" "$dir/"
cp "$tree/tools/devcon32.exe" "$tree64/tools/devcon64.exe" "$tree/tools/sleep.exe" \
  "$tree/tools/hex2bin.exe" "$outside"/bin/* "$dir/bin/"

# Notes for Notepad on a Chinese Windows: GBK with CR LF.
note() {
  python3 -c 'import sys; sys.path.insert(0, sys.argv[1]); import embed
sys.stdout.buffer.write(embed.text_to_stored(sys.stdin.buffer.read()))' "$top/scripts" >"$1"
}

note "$dir/bin/README.txt" <<'TXT'
bin 文件夹：刷新脚本调用的刷写工具放在这里，文件名必须与下面一致。
程序每次刷新时在这里写入 Quelvar-reflash.bat，所以此文件夹必须可写。

已附带：
  devcon32.exe / devcon64.exe    查找键盘（32 位 / 64 位 Windows，本项目自带）
  sleep.exe                      等待，单位为毫秒（本项目自带）
  hex2bin.exe                    将 .hex 转为 .bin（STM32，本项目自带）
  dfu-programmer.exe             Atmel DFU 引导程序（ATmega32U4/32U2、AT90USB1286），
                                 WinUSB 驱动
  avrdude.exe、avrdude.conf      Caterina 串口引导程序
  dfu-util.exe                   STM32 DFU 引导程序
后三个由 Debian 的源码包构建，许可证和源码出处见 licences 文件夹。

需要时请自行放入：
  dfu-programmer-libusb.exe      DFU 引导程序装的是 libusb 驱动（而非 WinUSB）时
  hid_bootloader_cli.exe         HID 引导程序
  bootloadHID.exe 或 HIDBootFlash.exe   V-USB HID 引导程序
  hid-flash.exe                  STM32 HID 引导程序

bin folder: the flashing tools the reflash script calls go here, under exactly
these names. The program writes Quelvar-reflash.bat here on every flash, so this
folder must be writable.

Included:
  devcon32.exe / devcon64.exe    finds the keyboard (32-bit / 64-bit Windows; the
                                 project's own)
  sleep.exe                      waits, in milliseconds (the project's own)
  hex2bin.exe                    turns the .hex into a .bin (STM32; the project's own)
  dfu-programmer.exe             Atmel DFU bootloader (ATmega32U4/32U2, AT90USB1286),
                                 WinUSB driver
  avrdude.exe, avrdude.conf      Caterina serial bootloader
  dfu-util.exe                   STM32 DFU bootloader
The last three are built from Debian's source packages; their licences and where their
sources come from are in the licences folder.

Put these here yourself when you need them:
  dfu-programmer-libusb.exe      DFU bootloader with the libusb driver (not WinUSB)
  hid_bootloader_cli.exe         HID bootloader
  bootloadHID.exe or HIDBootFlash.exe   V-USB HID bootloader
  hid-flash.exe                  STM32 HID bootloader
TXT

# Licence texts as .txt files with CR LF, so that a double click opens them; kept in
# UTF-8 (with the mark Notepad goes by), since authors' names need not fit GBK.
licence() {
  python3 -c 'import sys; t = sys.stdin.buffer.read().decode("utf-8").replace("\r\n", "\n")
sys.stdout.buffer.write(b"\xef\xbb\xbf" + t.replace("\n", "\r\n").encode("utf-8"))' >"$1"
}
for folder in "$outside"/licences/*/; do
  pkg=$(basename "$folder")
  mkdir -p "$dir/bin/licences/$pkg"
  for f in "$folder"*; do licence "$dir/bin/licences/$pkg/$(basename "$f").txt" <"$f"; done
done
# Where each tool's source comes from, read from the versions file of the build.
python3 - "$outside/versions" <<'PY' | note "$dir/bin/licences/SOURCES.txt"
import sys
rows = [line.split() for line in open(sys.argv[1], encoding="utf-8").read().splitlines()]
tools = {"libusb-1.0": "linked into dfu-util.exe, dfu-programmer.exe, avrdude.exe",
         "dfu-util": "dfu-util.exe", "dfu-programmer": "dfu-programmer.exe",
         "avrdude": "avrdude.exe, avrdude.conf"}
print("""These tools are built from Debian's source packages, fetched with "apt-get
source" from the Debian archive, and cross-compiled for Windows with mingw-w64.
Their licences are in the folders beside this file; their sources are in the
Debian archive under the names and versions below. libusb-1.0 (LGPL) is linked
statically: build-outside-tools.sh beside this file makes the tools anew from
those sources (with a changed libusb, too).
这些工具由 Debian 源码包交叉编译而成；许可证见同目录下各文件夹，源码出处见下。
""")
for pkg, ver, suite, kind in rows:
    how = ("with Debian's patches" if kind == "debian"
           else "upstream tarball only: Debian's patch file could not be fetched")
    print(f"{pkg} {ver} (Debian {suite}, {how})")
    print(f"    {tools.get(pkg, '')}")
PY
cp "$top/scripts/build-outside-tools.sh" "$dir/bin/licences/"

note "$dir/driver/README.txt" <<'TXT'
driver 文件夹：USB 驱动安装程序放在这里，文件名为 zadig.exe。
主窗口的驱动按钮会打开图片指南并启动 driver\zadig.exe，为 DFU 引导程序安装驱动。

driver folder: put the USB driver installer here, named zadig.exe.
The main window's driver button opens the picture guide and starts
driver\zadig.exe to install the driver for the DFU bootloader.
TXT

(cd "$out" && zip -qr -X "$name-$version.zip" "$name")
log "$(du -h "$out/$name-$version.zip" | cut -f1) $out/$name-$version.zip"
echo "$dir"
