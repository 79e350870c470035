#!/usr/bin/env bash
# `cmake --install` puts the program, its desktop entry and its icons where the desktop looks for them,
# and the entry names the program in the four languages and offers it for folders; the desktop's caches
# are brought up to date so that a fresh account opens folders with it at once. Into a staging folder
# (DESTDIR) the caches are left to the package.
set -u
build=$(cd "$1" && pwd)
src=$(cd "$(dirname "$0")/.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp" "$build/installs$tmp"' EXIT
cmake --install "$build" --prefix "$tmp/usr" >/dev/null || { echo "install failed"; exit 1; }
fail=0
share="$tmp/usr/share"
for f in bin/kestrin share/applications/kestrin.desktop share/icons/hicolor/scalable/apps/kestrin.svg \
         share/icons/hicolor/48x48/apps/kestrin.png; do
  [ -s "$tmp/usr/$f" ] || { echo "missing: $f"; fail=1; }
done
[ -x "$tmp/usr/bin/kestrin" ] || { echo "bin/kestrin is not executable"; fail=1; }
entry="$share/applications/kestrin.desktop"
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
grep -q '<svg' "$share/icons/hicolor/scalable/apps/kestrin.svg" || { echo "icon is no SVG"; fail=1; }

# A PNG of 48 by 48 pixels: the signature, then the width and height of its header.
png="$share/icons/hicolor/48x48/apps/kestrin.png"
head=$(od -An -tx1 -N24 "$png" 2>/dev/null | tr -d ' \n')
[ "${head:0:16}" = 89504e470d0a1a0a ] || { echo "48×48 icon is no PNG"; fail=1; }
[ "${head:32:16}" = 0000003000000030 ] || { echo "48×48 icon is not 48 by 48: ${head:32:16}"; fail=1; }

# The tools of the set-up must be there: a missing one would pass everything below unseen.
for tool in desktop-file-validate update-desktop-database gio; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (make deps installs it)"; exit 1; }
done
desktop-file-validate "$entry" || { echo "desktop-file-validate refuses the entry"; fail=1; }

# The install ran the desktop's cache tools on its prefix: GIO offers Kestrin for folders to an account
# that sees nothing but this prefix (with its bin on PATH: GIO passes over an entry whose program it
# cannot find).
grep -q '^inode/directory=.*kestrin\.desktop' "$share/applications/mimeinfo.cache" 2>/dev/null ||
  { echo "mimeinfo.cache does not list kestrin.desktop for inode/directory"; fail=1; }
mkdir -p "$tmp/config"
handlers=$(PATH="$tmp/usr/bin:$PATH" XDG_DATA_HOME="$share" XDG_DATA_DIRS="$tmp/none" XDG_CONFIG_HOME="$tmp/config" \
           XDG_CONFIG_DIRS="$tmp/none" gio mime inode/directory 2>&1)
grep -q 'kestrin\.desktop' <<<"$handlers" || { echo "GIO offers no Kestrin for folders: $handlers"; fail=1; }
if command -v gtk-update-icon-cache >/dev/null; then
  [ -s "$share/icons/hicolor/icon-theme.cache" ] || { echo "no icon-theme.cache in the prefix"; fail=1; }
fi

# With DESTDIR the install touches no cache: the package's own scripts make them on the target system.
DESTDIR="$tmp/stage" cmake --install "$build" --prefix /usr >/dev/null || { echo "DESTDIR install failed"; exit 1; }
[ -s "$tmp/stage/usr/share/applications/kestrin.desktop" ] || { echo "DESTDIR install lacks the entry"; fail=1; }
for cache in applications/mimeinfo.cache icons/hicolor/icon-theme.cache; do
  [ ! -e "$tmp/stage/usr/share/$cache" ] || { echo "DESTDIR install wrote $cache"; fail=1; }
done

# `make uninstall` takes away what the install put into the prefix: a fresh one is left without a trace,
# and one shared with another program keeps that program's files, its entries in the caches and none of
# ours.
uninstall() { make -s -C "$src" uninstall BUILD="$build" PREFIX="$1" >/dev/null || { echo "uninstall from $1 failed"; fail=1; }; }
uninstall "$tmp/usr"
[ ! -e "$tmp/usr" ] || { echo "left in a fresh prefix:"; find "$tmp/usr"; fail=1; }
[ ! -e "$build/installs$tmp" ] || { echo "the record of the uninstalled prefix stays"; fail=1; }
# A folder the install made that now holds a user's hidden file or folder stays, with it.
cmake --install "$build" --prefix "$tmp/usr" >/dev/null || { echo "install failed"; exit 1; }
touch "$tmp/usr/bin/.notes"
mkdir "$tmp/usr/share/.thumbnails"
uninstall "$tmp/usr"
left=$(cd "$tmp/usr" 2>/dev/null && find . -mindepth 1 | sort | tr '\n' ' ')
[ "$left" = "./bin ./bin/.notes ./share ./share/.thumbnails " ] ||
  { echo "a prefix holding a user's hidden items keeps: $left"; fail=1; }
rm -rf "$tmp/usr"
shared="$tmp/shared"
mkdir -p "$shared/share/applications" "$shared/share/icons/hicolor/48x48/apps"
printf '[Desktop Entry]\nType=Application\nName=Other\nExec=other\nMimeType=inode/directory;\n' \
  >"$shared/share/applications/other.desktop"
cp "$build/icons/48/kestrin.png" "$shared/share/icons/hicolor/48x48/apps/other.png"
cmake --install "$build" --prefix "$shared" >/dev/null || { echo "install into a shared prefix failed"; exit 1; }
grep -q 'kestrin' "$shared/share/applications/mimeinfo.cache" || { echo "no Kestrin in the shared cache"; fail=1; }
uninstall "$shared"
left=$(cd "$shared" && find . -type f | sort | tr '\n' ' ')
want="./share/applications/mimeinfo.cache ./share/applications/other.desktop ./share/icons/hicolor/48x48/apps/other.png "
command -v gtk-update-icon-cache >/dev/null && want="$want./share/icons/hicolor/icon-theme.cache "
[ "$left" = "$want" ] || { echo "left in a shared prefix: $left"; fail=1; }
grep -rl 'kestrin' "$shared" && { echo "a cache still names Kestrin"; fail=1; }
grep -q 'other\.desktop' "$shared/share/applications/mimeinfo.cache" || { echo "the other program left the cache"; fail=1; }
exit $fail
