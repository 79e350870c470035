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
export QT_QPA_PLATFORM=offscreen
timeout -s TERM 3 "$app"
rc=$?
if [ "$rc" -eq 124 ]; then echo "app ran until stopped"; exit 0; fi
echo "app exited early with $rc"; exit 1
