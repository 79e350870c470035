#!/usr/bin/env bash
# `cmake --install` puts the program, its desktop entry and its icon where the desktop looks for them,
# and the entry names the program in the four languages and offers it for folders.
set -u
build="$1"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cmake --install "$build" --prefix "$tmp/usr" >/dev/null || { echo "install failed"; exit 1; }
fail=0
for f in bin/kestrin share/applications/kestrin.desktop share/icons/hicolor/scalable/apps/kestrin.svg; do
  [ -s "$tmp/usr/$f" ] || { echo "missing: $f"; fail=1; }
done
[ -x "$tmp/usr/bin/kestrin" ] || { echo "bin/kestrin is not executable"; fail=1; }
entry="$tmp/usr/share/applications/kestrin.desktop"
for line in 'Type=Application' 'Name=Kestrin' 'Icon=kestrin' 'Categories=System;FileTools;FileManager;' \
            'MimeType=inode/directory;'; do
  grep -qxF "$line" "$entry" || { echo "desktop entry lacks: $line"; fail=1; }
done
grep -q '^Exec=kestrin' "$entry" || { echo "desktop entry does not start kestrin"; fail=1; }
for lang in de pl th; do
  for key in Name GenericName Comment; do
    grep -q "^$key\[$lang\]=" "$entry" || { echo "desktop entry lacks $key[$lang]"; fail=1; }
  done
done
grep -q '^Comment=' "$entry" || { echo "desktop entry lacks an English comment"; fail=1; }
if command -v desktop-file-validate >/dev/null; then desktop-file-validate "$entry" || fail=1; fi
grep -q '<svg' "$tmp/usr/share/icons/hicolor/scalable/apps/kestrin.svg" || { echo "icon is no SVG"; fail=1; }
exit $fail
