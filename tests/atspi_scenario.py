#!/usr/bin/python3
"""A screen reader's walk through the main window over AT-SPI: find both panes, select a file through
the list's accessible selection (the left pane as a list or in columns, by the second argument), press
the copy button, see the file arrive and the toast announced.
Run by atspi_scenario.sh inside its own D-Bus session and X server, in an empty folder it gives (the third
argument) and removes."""
import os
import plistlib
import subprocess
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

COPY_RIGHT = "Auswahl links in den rechten Ordner kopieren"


def pump(seconds):
    end = time.time() + seconds
    ctx = GLib.MainContext.default()
    while time.time() < end:
        while ctx.iteration(False):
            pass
        time.sleep(0.02)


def walk(node, depth=0):
    if node is None or depth > 40:
        return
    yield node
    for i in range(node.get_child_count()):
        try:
            yield from walk(node.get_child_at_index(i), depth + 1)
        except GLib.Error:
            pass


def wait_for(what, find, seconds=20):
    end = time.time() + seconds
    while time.time() < end:
        found = find()
        if found:
            return found
        pump(0.2)
    sys.exit(f"not found: {what}")


def main():
    app_path = sys.argv[1]
    # The left pane's view: in columns the current folder's column is the pane's last list.
    view = sys.argv[2] if len(sys.argv) > 2 else "list"
    home = sys.argv[3]
    left, right = os.path.join(home, "Links"), os.path.join(home, "Rechts")
    os.makedirs(left)
    os.makedirs(right)
    with open(os.path.join(left, "bericht.txt"), "w") as f:
        f.write("x")
    config = os.path.join(home, ".config")
    os.makedirs(os.path.join(config, "kestrin"))
    with open(os.path.join(config, "kestrin", "settings.plist"), "wb") as f:
        plistlib.dump({"lastPath.left": left, "lastPath.right": right, "language": "de", "view.left": view},
                      f, fmt=plistlib.FMT_BINARY)
    runtime = os.path.join(home, "runtime")
    os.makedirs(runtime, mode=0o700)
    env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=config,
               XDG_DATA_HOME=os.path.join(home, ".local/share"), XDG_CACHE_HOME=os.path.join(home, ".cache"),
               XDG_STATE_HOME=os.path.join(home, ".local/state"), XDG_RUNTIME_DIR=runtime,
               QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1")

    alerts = []

    def on_event(event):
        try:
            source = event.source
            if source.get_role() in (Atspi.Role.ALERT, Atspi.Role.NOTIFICATION):
                alerts.append((event.type, source.get_name()))
        except GLib.Error:
            pass

    listener = Atspi.EventListener.new(on_event)
    for kind in ("object:state-changed:showing", "object:property-change:accessible-name", "window:create",
                 "object:children-changed"):
        listener.register(kind)

    proc = subprocess.Popen([app_path], env=env)
    try:
        desktop = Atspi.get_desktop(0)
        app = wait_for("the application", lambda: next(
            (desktop.get_child_at_index(i) for i in range(desktop.get_child_count())
             if desktop.get_child_at_index(i) and desktop.get_child_at_index(i).get_name().lower() == "kestrin"),
            None))

        def lists():
            found = [n for n in walk(app) if n.get_role() in (Atspi.Role.LIST, Atspi.Role.TABLE, Atspi.Role.TREE)
                     and "Table" in n.get_interfaces()]
            return found if len(found) >= 2 else None

        panes = wait_for("both panes' lists", lists)
        print("lists:", [(p.get_name(), p.get_child_count()) for p in panes])

        def row_in_left():
            for pane in panes:
                for i in range(pane.get_child_count()):
                    child = pane.get_child_at_index(i)
                    if child and child.get_name() == "bericht.txt":
                        return pane, i
            return None

        pane, row = wait_for("the file's row", row_in_left)
        if "Selection" in pane.get_interfaces():
            ok = Atspi.Selection.select_child(pane, row)
        else:
            ok = Atspi.Table.add_row_selection(pane, row)
        if not ok:
            sys.exit("the list refused the selection")
        pump(0.5)
        cell = pane.get_child_at_index(row)
        if not cell.get_state_set().contains(Atspi.StateType.SELECTED):
            sys.exit("the row does not report itself selected")

        button = wait_for("the copy button", lambda: next(
            (n for n in walk(app) if n.get_role() == Atspi.Role.PUSH_BUTTON and n.get_name() == COPY_RIGHT
             and n.get_state_set().contains(Atspi.StateType.ENABLED)), None))
        Atspi.Action.do_action(button, 0)

        target = os.path.join(right, "bericht.txt")
        wait_for("the copied file", lambda: os.path.exists(target))
        wait_for("the toast's alert", lambda: any("kopiert" in (name or "") for _, name in alerts), 10)
        print("alerts:", alerts)
        print("AT-SPI scenario passed")
    finally:
        proc.terminate()
        try:
            proc.wait(5)
        except subprocess.TimeoutExpired:
            proc.kill()


if __name__ == "__main__":
    main()
