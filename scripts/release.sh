#!/usr/bin/env bash
# Builds the 32-bit program and lays out the folder a user copies to Windows:
# build/release/QuelvarRefresher/ (the exe, bin/, driver/) and a zip of it.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
name=QuelvarRefresher version=v1.0
out="$top/build/release"
dir="$out/$name"
log() { echo "release: $*" >&2; }

# The project's own tools that go into bin: build target, then the files it makes.
own_targets=(devcon32 sleep hex2bin)
own_files=(devcon32.exe devcon64.exe sleep.exe hex2bin.exe)

tree=$(bash "$top/scripts/build.sh" --target QuelvarRefresher "${own_targets[@]}")

# dfu-util comes from Debian's sources; the script caches it. Without it, bin only
# lists it.
dfu_util=
if outside=$(bash "$top/scripts/build-outside-tools.sh"); then
  dfu_util="$outside/dfu-util.exe"
else
  log "dfu-util.exe could not be built; bin/README.txt still names it"
fi

rm -rf "$dir" "$out/$name-$version.zip"
mkdir -p "$dir/bin" "$dir/driver"
cp "$tree/$name.exe" "$dir/"
for f in "${own_files[@]}"; do cp "$tree/tools/$f" "$dir/bin/"; done
[ -n "$dfu_util" ] && [ -f "$dfu_util" ] && cp "$dfu_util" "$dir/bin/"

# Notes for Notepad on a Chinese Windows: GBK with CR LF.
note() {
  python3 -c 'import sys; sys.path.insert(0, sys.argv[1]); import embed
sys.stdout.buffer.write(embed.text_to_stored(sys.stdin.buffer.read()))' "$top/scripts" >"$1"
}

note "$dir/bin/README.txt" <<'TXT'
bin 文件夹：刷新脚本调用的刷写工具放在这里，文件名必须与下面一致。
程序每次刷新时在这里写入 Quelvar-reflash.bat，所以此文件夹必须可写。

已附带：devcon32.exe、devcon64.exe、sleep.exe、hex2bin.exe（本项目自带），
以及 dfu-util.exe（若打包时已构建）。
其余工具请自行放入：

  devcon32.exe / devcon64.exe    查找键盘（32 位 / 64 位 Windows）
  sleep.exe                      等待
  dfu-programmer.exe             Atmel DFU 引导程序（ATmega32U4/32U2、AT90USB1286）
  dfu-programmer-libusb.exe      同上，libusb 驱动版本
  avrdude.exe                    Caterina 串口引导程序
  hid_bootloader_cli.exe         HID 引导程序
  bootloadHID.exe 或 HIDBootFlash.exe   V-USB HID 引导程序
  hex2bin.exe                    将 .hex 转为 .bin（STM32）
  dfu-util.exe                   STM32 DFU 引导程序
  hid-flash.exe                  STM32 HID 引导程序

bin folder: the flashing tools the reflash script calls go here, under exactly
these names. The program writes Quelvar-reflash.bat here on every flash, so this
folder must be writable.

Included: devcon32.exe, devcon64.exe, sleep.exe, hex2bin.exe (the project's own),
and dfu-util.exe (when it was built for the release).
Put the others here yourself:

  devcon32.exe / devcon64.exe    finds the keyboard (32-bit / 64-bit Windows)
  sleep.exe                      waits
  dfu-programmer.exe             Atmel DFU bootloader (ATmega32U4/32U2, AT90USB1286)
  dfu-programmer-libusb.exe      the same, libusb driver build
  avrdude.exe                    Caterina serial bootloader
  hid_bootloader_cli.exe         HID bootloader
  bootloadHID.exe or HIDBootFlash.exe   V-USB HID bootloader
  hex2bin.exe                    turns the .hex into a .bin (STM32)
  dfu-util.exe                   STM32 DFU bootloader
  hid-flash.exe                  STM32 HID bootloader
TXT

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
