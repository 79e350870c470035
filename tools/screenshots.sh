#!/usr/bin/env bash
# Screenshots of the main window under Xvfb: two panes and one pane, German and Thai, and a copy with the
# progress banner. Usage: tools/screenshots.sh [OUTDIR]   (after `make build`)
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-build/screens}"
exec xvfb-run -a -s "-screen 0 1600x1000x24" ./build/kestrin-screens "$out"
