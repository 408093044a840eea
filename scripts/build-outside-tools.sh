#!/usr/bin/env bash
# Cross-builds dfu-util, with the libusb-1.0 it needs, for 32-bit Windows from Debian's
# source packages (deb-src for bookworm must be configured), once: the result is cached in
# build/deps/outside-tools/bin/dfu-util.exe, a static exe that needs no DLL. Prints the
# folder of the exe. Give "--force" to build again.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out="$top/build/deps/outside-tools"
host=i686-w64-mingw32
jobs=2
log() { echo "build-outside-tools: $*" >&2; }
# Compiler output goes to a log; its end is shown when a step fails.
run() { "$@" >>"$out/build.log" 2>&1 || { tail -n 30 "$out/build.log" >&2; log "failed: $*"; exit 1; }; }

if [ "${1:-}" != --force ] && [ -f "$out/bin/dfu-util.exe" ]; then
  echo "$out/bin"
  exit 0
fi
command -v "$host-gcc" >/dev/null || { log "$host-gcc is missing (g++-mingw-w64-i686)"; exit 1; }
command -v dpkg-source >/dev/null || { log "dpkg-source is missing (dpkg-dev)"; exit 1; }

work="$out/work"
rm -rf "$work" && mkdir -p "$work" "$out/bin" && : >"$out/build.log"
start=$(date +%s)

log "fetching the source packages"
(cd "$work" && apt-get source --download-only -qq dfu-util libusb-1.0 >/dev/null 2>&1) ||
  { log "apt-get source failed: is deb-src for bookworm configured?"; exit 1; }
# dpkg-source unpacks the upstream release and applies Debian's patches.
# Apt has checked the files against the signed archive index; dpkg-source, which has no
# keyring here, only reports that it cannot check the signatures again.
cd "$work"
for dsc in *.dsc; do run dpkg-source -x "$dsc"; done
libusb_src=$(find "$work" -maxdepth 1 -type d -name 'libusb-1.0-*' | head -n 1)
dfu_src=$(find "$work" -maxdepth 1 -type d -name 'dfu-util-*' | head -n 1)
[ -n "$libusb_src" ] && [ -n "$dfu_src" ] || { log "unpacking the sources failed"; exit 1; }

log "building libusb ($(basename "$libusb_src"))"
usb="$work/libusb-prefix"
cd "$libusb_src"
run ./configure --host=$host --prefix="$usb" --disable-shared --enable-static
run make -j$jobs
run make install

log "building dfu-util ($(basename "$dfu_src"))"
# The cross-built libusb is named directly, so no host pkg-config files can leak in.
cd "$dfu_src"
run ./configure --host=$host USB_CFLAGS="-I$usb/include/libusb-1.0" USB_LIBS="-L$usb/lib -lusb-1.0" \
  LDFLAGS="-static -static-libgcc"
run make -j$jobs
cd "$top"
cp "$dfu_src/src/dfu-util.exe" "$out/bin/dfu-util.exe"
"$host-strip" "$out/bin/dfu-util.exe"
rm -rf "$work"
log "done in $(($(date +%s) - start)) s"
echo "$out/bin"
