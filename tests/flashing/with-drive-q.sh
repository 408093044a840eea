#!/usr/bin/env bash
# Maps the prefix's drive Q: to an empty folder while the command runs.
set -u
folder=$1; shift
top=$(cd "$(dirname "$0")/../.." && pwd)
link="${WINEPREFIX:-$top/build/deps/wineprefix}/dosdevices/q:"
rm -rf "$folder" && mkdir -p "$folder"
ln -sfn "$folder" "$link"
"$@"
code=$?
rm -f "$link"
exit $code
