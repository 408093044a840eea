#!/usr/bin/env bash
# Cross-builds the flashing tools the reflash script calls (dfu-util, dfu-programmer and
# avrdude, with the static libusb-1.0 they use) for Windows from Debian's source packages,
# once: the result is cached in build/deps/outside-tools/ARCH/ and reused.
#
#   build-outside-tools.sh [--force] [i686|x86_64]      (default i686, the release's)
#
# Prints the cache folder, which holds:
#   bin/       dfu-util.exe, dfu-programmer.exe, avrdude.exe and avrdude.conf (static
#              exes: no DLL beside them)
#   licences/  each package's licence texts, a folder a package
#   versions   one line per package: name, Debian version, suite, "debian" or "upstream"
#              (whether Debian's patches were applied)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
force=
[ "${1:-}" = --force ] && { force=1; shift; }
arch=${1:-i686}
case $arch in i686 | x86_64) ;; *) echo "usage: $0 [--force] [i686|x86_64]" >&2; exit 2 ;; esac
host=$arch-w64-mingw32
out="$top/build/deps/outside-tools/$arch"
tools=(dfu-util.exe dfu-programmer.exe avrdude.exe avrdude.conf)
jobs=$(nproc)
log() { echo "build-outside-tools ($arch): $*" >&2; }
# Compiler output goes to a log; its end is shown when a step fails.
run() { "$@" >>"$out/build.log" 2>&1 || { tail -n 30 "$out/build.log" >&2; log "failed: $*"; exit 1; }; }

complete() { local t; for t in "${tools[@]}"; do [ -f "$out/bin/$t" ] || return 1; done; [ -f "$out/versions" ]; }
if [ -z "$force" ] && complete; then
  echo "$out"
  exit 0
fi
for cmd in "$host-gcc" dpkg-source aclocal automake autoconf flex bison cmake; do
  command -v "$cmd" >/dev/null || { log "$cmd is missing (run scripts/setup.sh)"; exit 1; }
done

work="$out/work"
rm -rf "$out" && mkdir -p "$work" "$out/bin" "$out/licences" && : >"$out/build.log" && : >"$out/versions"
start=$(date +%s)

# bookworm's source list is the machine's (scripts/setup.sh adds it). dfu-programmer's
# files are only to be had from unstable, through apt lists of this script's own.
source "$top/scripts/private-apt.sh"
apt_opts=()

# Fetches and unpacks one source package into $work/NAME; sets $src to its folder. Apt
# checks every file against the signed archive index. Where the archive serves only the
# upstream tarball, that is built without Debian's patches, and the versions file says so.
fetch() { # package suite
  local pkg=$1 suite=$2 opts=() dir="$work/$1" ver
  if [ "$suite" = sid ]; then
    [ ${#apt_opts[@]} -gt 0 ] || run private_apt "$work/apt-sid" deb-src sid
    opts=("${apt_opts[@]}")
  fi
  mkdir -p "$dir"
  ver=$(apt-cache "${opts[@]}" showsrc "$pkg" 2>/dev/null | sed -n 's/^Version: //p' | sort -V | tail -n 1)
  [ -n "$ver" ] || { log "no source package $pkg in $suite (is deb-src for it configured?)"; exit 1; }
  local kind=debian
  if ! (cd "$dir" && apt-get "${opts[@]}" source --download-only -qq "$pkg=$ver" >>"$out/build.log" 2>&1); then
    kind=upstream
    rm -f "$dir"/*
    (cd "$dir" && apt-get "${opts[@]}" source --download-only --tar-only -qq "$pkg=$ver" >>"$out/build.log" 2>&1) ||
      { log "apt-get source $pkg failed"; exit 1; }
  fi
  if [ $kind = debian ]; then
    # dpkg-source has no keyring here: it can only say it cannot check the signature again.
    (cd "$dir" && run dpkg-source -x ./*.dsc unpacked)
  else
    mkdir -p "$dir/unpacked" && run tar -xf "$dir"/*.orig.tar.* -C "$dir/unpacked" --strip-components=1
  fi
  src="$dir/unpacked"
  echo "$pkg $ver $suite $kind" >>"$out/versions"
  mkdir -p "$out/licences/$pkg"
  for f in COPYING COPYING.LIB LICENSE debian/copyright; do
    [ -f "$src/$f" ] && cp "$src/$f" "$out/licences/$pkg/$(basename "$f")"
  done
  return 0
}

log "libusb-1.0"
fetch libusb-1.0 bookworm
usb="$work/libusb-prefix"
cd "$src"
run ./configure --host="$host" --prefix="$usb" --disable-shared --enable-static
run make -j"$jobs"
run make install
usb_cflags="-I$usb/include/libusb-1.0"

log "dfu-util"
fetch dfu-util bookworm
cd "$src"
# The cross-built libusb is named directly, so no host pkg-config files can leak in.
run ./configure --host="$host" USB_CFLAGS="$usb_cflags" USB_LIBS="-L$usb/lib -lusb-1.0" \
  LDFLAGS="-static -static-libgcc"
run make -j"$jobs"
cp src/dfu-util.exe "$out/bin/"

log "dfu-programmer"
fetch dfu-programmer sid
cd "$src"
run sh ./bootstrap.sh # its own autotools steps (automake --foreign)
# Its library check declares libusb_init as a plain C function, a name that 32-bit Windows
# libusb (stdcall) does not have; the library is named here instead.
run ./configure --host="$host" CPPFLAGS="$usb_cflags -I$usb/include" LDFLAGS="-L$usb/lib -static -static-libgcc" \
  ac_cv_search_libusb_init=-lusb-1.0
run make -j"$jobs"
cp src/dfu-programmer.exe "$out/bin/"

log "avrdude"
fetch avrdude bookworm
cat >"$work/toolchain.cmake" <<EOF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER $host-gcc)
set(CMAKE_RC_COMPILER $host-windres)
set(CMAKE_FIND_ROOT_PATH /usr/$host $usb)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
EOF
# Serial (the Caterina bootloader), libusb-1.0 and Windows HID programmers; no ELF input,
# no FTDI, no readline. Git is kept out: it would read this project's history (the build
# folder lies inside its work tree) into avrdude's version string.
run cmake -S "$src" -B "$work/avrdude-build" -DCMAKE_TOOLCHAIN_FILE="$work/toolchain.cmake" \
  -DCMAKE_DISABLE_FIND_PACKAGE_Git=TRUE \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS="$usb_cflags" \
  -DCMAKE_EXE_LINKER_FLAGS="-static -static-libgcc"
run cmake --build "$work/avrdude-build" -j"$jobs"
cp "$work/avrdude-build/src/avrdude.exe" "$work/avrdude-build/src/avrdude.conf" "$out/bin/"

cd "$top"
for exe in "$out"/bin/*.exe; do "$host-strip" "$exe"; done
rm -rf "$work"
log "done in $(($(date +%s) - start)) s"
echo "$out"
