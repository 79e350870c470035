#!/usr/bin/env bash
# The app starts, shows its window and keeps running until it is stopped (a crash fails).
set -u
app="$1"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# Everything the app keeps, also its runtime files (Qt would make /tmp/runtime-$USER without one), in there.
mkdir -m 700 "$tmp/runtime"
export HOME="$tmp" XDG_CONFIG_HOME="$tmp/.config" XDG_DATA_HOME="$tmp/.local/share" XDG_CACHE_HOME="$tmp/.cache" \
       XDG_STATE_HOME="$tmp/.local/state" XDG_RUNTIME_DIR="$tmp/runtime" TMPDIR="$tmp"
# --help and --version answer on the terminal and end, with no display at all; the version is About's.
src="$(cd "$(dirname "$0")/.." && pwd)"
version=$(sed -n 's/.*version = QStringLiteral("\(.*\)");/\1/p' "$src/src/core/app/AppInfo.h")
serial=$(sed -n 's/.*serial = QStringLiteral("\(.*\)");/\1/p' "$src/src/core/app/AppInfo.h")
answer() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM LANGUAGE=en timeout -s KILL 5 "$app" "$@" 2>&1; }
out=$(answer --version); rc=$?
if [ "$rc" -ne 0 ] || [ "$out" != "kestrin $version ($serial)" ]; then
    echo "kestrin --version: exit $rc, printed: $out"; exit 1
fi
out=$(answer /tmp --help); rc=$?
if [ "$rc" -ne 0 ] || ! grep -q '^Usage: kestrin \[FOLDER\]' <<<"$out" || ! grep -q -- '--version' <<<"$out"; then
    echo "kestrin --help: exit $rc, printed: $out"; exit 1
fi
echo "--help and --version answered without a display"
export QT_QPA_PLATFORM=offscreen
timeout -s TERM 3 "$app"
rc=$?
if [ "$rc" -eq 124 ]; then echo "app ran until stopped"; exit 0; fi
echo "app exited early with $rc"; exit 1
