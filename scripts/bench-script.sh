#!/usr/bin/env bash
# Prints how long one detection pass of the reflash script takes under Wine 10's cmd with
# the stand-in tools and no device, beside baselines measured in the same run: the start
# of the command processor alone, and a pass of the same number of process starts (sleep,
# the child processor of "for /f" and mode, nine devcon queries) of a trivial program and
# of the stand-in itself.
# A pass is timed as the difference between runs of 1 and 1+N passes, divided by N.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
passes=${PASSES:-5}
repeats=${REPEATS:-3}
tree=$(bash "$top/scripts/build.sh" tests --target standin 2>/dev/null | tail -n 1)
standin=$(find "$tree/tests" -name standin.exe -print -quit)
[ -n "$standin" ] || { echo "stand-in not built" >&2; exit 1; }
work="$tree/bench-script"
rm -rf "$work" && mkdir -p "$work/bin" "$work/fw"
case "$(cat "$top/build/deps/test-arch")" in x86_64) cc=x86_64-w64-mingw32-gcc ;; *) cc=i686-w64-mingw32-gcc ;; esac
printf 'int main(void){return 0;}\n' >"$work/noop.c"
"$cc" -O2 -s -o "$work/bin/noop.exe" "$work/noop.c"
export WINEPREFIX="$top/build/deps/wineprefix"
"$top/scripts/wine-run" wineboot >/dev/null 2>&1 || true # one wineserver for all runs

python3 - "$top" "$standin" "$work" "$passes" "$repeats" <<'PY'
import os, shutil, statistics, subprocess, sys, time
from pathlib import Path
top, standin, work = Path(sys.argv[1]), Path(sys.argv[2]), Path(sys.argv[3])
passes, repeats = int(sys.argv[4]), int(sys.argv[5])
sys.path.insert(0, str(top / "scripts"))
import embed
wine_run, cmd = top / "scripts/wine-run", top / "build/deps/cmd10/cmd10.exe"
binf = work / "bin"
def win(p): return "Z:" + str(p).replace("/", "\\")
for tool in ["devcon32", "devcon64", "mode", "sleep", "idle"]:
    shutil.copyfile(standin, binf / f"{tool}.exe")
fw = work / "fw" / "bench.hex"
fw.write_bytes(b":00000001FF\r\n")
template = embed.text_to_stored((top / "resources/reflash.bat.txt").read_bytes())
(binf / "Quelvar-reflash.bat").write_bytes(template.replace(b"%~1", win(fw).encode("gbk")))
# The same process starts as a pass, without the script's own work.
(binf / "starts.bat").write_bytes(("@echo off\r\ncd /d \"%~dp0\"\r\nfor /l %%i in (1,1,%1) do (\r\n"
    "  \"%~dp0%2.exe\"\r\n  for /f %%a in ('%2.exe') do rem\r\n"
    + "  \"%~dp0%2.exe\"\r\n" * 9 + ")\r\n").encode("ascii"))

def timed(args):
    t = time.monotonic()
    subprocess.run([str(wine_run), str(cmd), "/c", *args], cwd=binf, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.monotonic() - t

def script(stop):
    for f in ("standin-log.txt", "standin-state.txt"):
        (binf / f).unlink(missing_ok=True)
    (binf / "standin-scenario.txt").write_text(f"stop pass={stop}\n")
    return timed([win(binf / "Quelvar-reflash.bat")])

def median(f):
    return statistics.median(f() for _ in range(repeats))

start = median(lambda: timed(["exit"]))
one, more = median(lambda: script(1)), median(lambda: script(1 + passes))
def starts(exe):
    one = median(lambda: timed([win(binf / "starts.bat"), "1", exe]))
    return (median(lambda: timed([win(binf / "starts.bat"), str(1 + passes), exe])) - one) / passes
print(f"command processor start (cmd /c exit):        {start * 1000:8.0f} ms")
print(f"one detection pass, stand-ins, no device:     {(more - one) / passes * 1000:8.0f} ms")
print(f"baseline: 12 process starts of a trivial exe: {starts('noop') * 1000:8.0f} ms")
print(f"baseline: 12 process starts of the stand-in:  {starts('idle') * 1000:8.0f} ms")
print(f"(medians of {repeats} runs; a pass = difference of 1 and {1 + passes} passes / {passes})")
PY
