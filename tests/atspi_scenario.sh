#!/usr/bin/env bash
# The AT-SPI scenario in its own D-Bus session and X server; skipped (77) where the tools are missing.
set -u
app="$1"
here="$(cd "$(dirname "$0")" && pwd)"
for tool in dbus-run-session xvfb-run /usr/libexec/at-spi-bus-launcher; do
    command -v "$tool" >/dev/null 2>&1 || { echo "skipped: $tool is missing"; exit 77; }
done
/usr/bin/python3 -c 'import gi; gi.require_version("Atspi", "2.0"); from gi.repository import Atspi' 2>/dev/null ||
    { echo "skipped: the AT-SPI Python bindings (gir1.2-atspi-2.0) are missing"; exit 77; }
# The app's home, and every temporary file of the tools and the app, in one folder that goes at the end,
# also when the run is killed for taking too long.
home="$(mktemp -d)" || exit 1
trap 'rm -rf "$home"' EXIT
# The tools' home too (D-Bus, the accessibility bus, dconf and GIO keep caches and sockets there), so that
# nothing is left in the home the tests run under.
mkdir -m 700 "$home/.run" || exit 1
export HOME="$home" XDG_CACHE_HOME="$home/.cache" XDG_CONFIG_HOME="$home/.config" \
    XDG_DATA_HOME="$home/.local/share" XDG_STATE_HOME="$home/.local/state" XDG_RUNTIME_DIR="$home/.run"
TMPDIR="$home" timeout -s KILL 120 dbus-run-session -- xvfb-run -a -s "-screen 0 1600x1000x24" \
    /usr/bin/python3 "$here/atspi_scenario.py" "$app" "${2:-list}" "$home"
