#!/usr/bin/env bash
# Prepares a Debian machine (run as root) for building and testing: packages, locale,
# the cross-built libpng, the command processor the reflash script is tested with,
# and the Wine prefix. Safe to run again; with everything present it takes seconds.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
deps="$top/build/deps"
mkdir -p "$deps"
log() { printf '[setup] %s\n' "$*"; }

packages=(
  cmake make g++ python3 dpkg-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 libz-mingw-w64-dev binutils-mingw-w64-i686
  wine wine32:i386 wine64
  xvfb x11-utils xdotool xclip imagemagick fonts-wqy-microhei
  locales unzip zip googletest libx11-dev
  autoconf automake flex bison # the flashing tools built from Debian's sources
)

missing_packages() {
  local p
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || echo "$p"
  done
}

# --- packages -------------------------------------------------------------
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  log "adding the i386 architecture"
  dpkg --add-architecture i386
  apt_stale=1
fi
src_list=/etc/apt/sources.list.d/quelvar-deb-src.sources
if [ ! -f "$src_list" ]; then
  log "adding Debian source packages (bookworm)"
  cat >"$src_list" <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  apt_stale=1
fi
if [ -n "$(missing_packages)" ] || [ -n "${apt_stale:-}" ]; then
  log "installing packages: $(missing_packages | tr '\n' ' ')"
  apt-get update -qq
  # shellcheck disable=SC2046
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $(missing_packages) >/dev/null
fi

# --- locale: Wine maps non-ASCII Unix file names through it -----------------
if ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then
  log "generating the zh_CN.UTF-8 locale"
  sed -i 's/^# *\(zh_CN.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' >>/etc/locale.gen
  locale-gen >/dev/null
fi

# --- which Windows programs Wine can run here ------------------------------
# The program is 32-bit. Wine runs 32-bit programs through its 32-bit loader, which
# needs the kernel's IA-32 emulation; where that is off, the tests run the same
# sources built for x86-64 under Wine's 64-bit loader instead.
if /usr/lib/wine/wine --version >/dev/null 2>&1; then test_arch=i686; else test_arch=x86_64; fi
if [ "$(cat "$deps/test-arch" 2>/dev/null)" != "$test_arch" ]; then
  log "tests will run the $test_arch build"
  rm -rf "$deps/cmd10" "$deps/wineprefix" "$deps/libpng-$test_arch"
  echo "$test_arch" >"$deps/test-arch"
fi

# --- libpng, cross-built once into a prefix ---------------------------------
build_libpng() { # host triplet, prefix
  local host=$1 png_prefix=$2 work="$deps/png-build" src
  [ -f "$png_prefix/lib/libpng16.a" ] && return 0
  log "building libpng for $host"
  rm -rf "$work" && mkdir -p "$work"
  (cd "$work" && apt-get source --download-only -qq libpng1.6 >/dev/null)
  tar -xf "$work"/libpng1.6_*.orig.tar.* -C "$work"
  src=$(find "$work" -maxdepth 1 -type d -name 'libpng-*' | head -n 1)
  (cd "$src" &&
    CPPFLAGS="-I/usr/$host/include" LDFLAGS="-L/usr/$host/lib" \
      ./configure -q --host="$host" --prefix="$png_prefix" \
      --disable-shared --enable-static >/dev/null &&
    make -s -j"$(nproc)" >/dev/null 2>&1 && make -s install >/dev/null 2>&1)
  rm -rf "$work"
}
build_libpng i686-w64-mingw32 "$deps/libpng"
[ "$test_arch" = i686 ] || build_libpng x86_64-w64-mingw32 "$deps/libpng-$test_arch"

# --- the command processor of Wine 10: it runs the reflash script faithfully --
# Only this one file is taken from the newer suite; nothing from it is installed.
# Stored under another name: Wine runs its own builtin instead of any file named cmd.exe.
cmd10="$deps/cmd10/cmd10.exe"
if [ ! -f "$cmd10" ]; then
  log "fetching the Wine 10 command processor"
  alt="$deps/apt-trixie"
  mkdir -p "$deps/cmd10"
  source "$top/scripts/private-apt.sh"
  private_apt "$alt" deb trixie
  if [ "$test_arch" = i686 ]; then pkg=i386 lib=i386-linux-gnu/wine/i386-windows
  else pkg=amd64 lib=x86_64-linux-gnu/wine/x86_64-windows; fi
  (cd "$alt" && apt-get "${apt_opts[@]}" download -qq "libwine:$pkg" >/dev/null 2>&1)
  dpkg-deb -x "$alt"/libwine_*_"$pkg".deb "$alt/x"
  cp "$alt/x/usr/lib/$lib/cmd.exe" "$cmd10"
  rm -rf "$alt"
fi

# --- the Wine prefix, created under a Chinese locale (code page 936) ---------
prefix="$deps/wineprefix"
if [ ! -f "$prefix/system.reg" ]; then
  log "creating the Wine prefix"
  "$top/scripts/wine-run" wineboot -i >/dev/null 2>&1 || true
  WINEPREFIX="$prefix" wineserver -w || true
  [ -f "$prefix/system.reg" ] || { log "creating the Wine prefix failed"; exit 1; }
fi
stamp="$prefix/.quelvar-settings-2"
if [ ! -f "$stamp" ]; then
  log "configuring the Wine prefix"
  # Wine draws the window frames itself: without a window manager on the virtual display,
  # every hidden or destroyed managed window would wait for one to answer.
  "$top/scripts/wine-run" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  # Batch files started through the shell (the reflash script) run in the faithful
  # command processor, and so do the command processors it starts itself.
  "$top/scripts/wine-run" reg add 'HKLM\System\CurrentControlSet\Control\Session Manager\Environment' \
    /v ComSpec /d "Z:${cmd10//\//\\}" /f >/dev/null 2>&1
  touch "$stamp"
fi
log "ready"
