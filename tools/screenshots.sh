#!/usr/bin/env bash
# Screenshots of the main window under Xvfb: the toolbar at the smallest window, normal and compact, in
# German, English and Thai; two panes and one pane, German and Thai, a copy with the progress banner,
# the smallest window at the largest text in dark and a large screen at the smallest text; the manual at
# its start and at a chapter, and the feedback sheet, in German, English and Thai; the compare and batch
# rename sheets, German and Thai; the sidebar with a mounted volume and favourites, the places menu, the
# favourites editor, the item menu with its tag submenu and the preview window, the seven settings pages,
# German and Thai; and the other sheets and panels of tools/screens.cpp.
# First Kestrin's icon, the About panel, and the columns view with the sidebar and the Trash's trail at
# 900×460 and 2560×1440, 10 and 18 pt, light and dark, German and Thai, then the same with the sidebar,
# the inspector and a toast open ("wording" as a second argument stops after these; "header" renders
# only the latter; "focus" only where the keyboard's focus shows, German and Thai; "sheets" the sheets and
# questions at the largest text and the path bars on a deep folder; "looks" the menus, About and sheets at
# the largest text, Polish and Thai, light and dark, and the Files menu, the information sheet, the cleanup
# rules, the Put Back folder question and Go to Folder in the smallest window and on a large screen;
# "small" on a 1366×768 screen at the largest text, Polish and Thai: the settings pages, scrolled where
# taller than the screen, the inspector's Open With menu, a folder's menu, and the Files and Edit menus).
# Usage: tools/screenshots.sh [OUTDIR [wording|header|focus|sheets|looks|small]]   (after `make build`)
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-build/screens}"
screen="2600x1500x24"
if [ "${2:-}" = small ]; then screen="1366x768x24"; fi
exec xvfb-run -a -s "-screen 0 $screen" ./build/kestrin-screens "$out" "${2:-}"
