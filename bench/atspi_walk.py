#!/usr/bin/python3
"""A plain libatspi walk of an application's active window, for comparison with Tovrel's own.

Usage: atspi_walk.py PID [ROUNDS]. Reads what Tovrel's walk reads of every showing node (role,
states, screen extents, children; name and action names) as libatspi answers them, with its own
cache of what the toolkit pushes, and prints "nodes N median_ms T" for the median of ROUNDS walks.
A GTK 4 application is read by its own conventions, as Tovrel reads it: inside the window, visible
nodes are showing, and extents are asked relative to the window.
"""
import statistics
import sys
import time
import warnings

import pyatspi
from gi.repository import Atspi, GLib


def application(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for index in range(desktop.childCount):
        app = desktop.getChildAtIndex(index)
        if app is not None and app.get_process_id() == pid:
            return app
    return None


def active_window(app):
    for index in range(app.childCount):
        window = app.getChildAtIndex(index)
        if window is not None and window.getState().contains(pyatspi.STATE_ACTIVE):
            return window
    return app.getChildAtIndex(0) if app.childCount else None


def window_relative(app):
    if app.get_toolkit_name() not in ("GTK", "gtk"):
        return False
    try:
        return int(app.get_toolkit_version().split(".")[0]) >= 4
    except ValueError:
        return False


def walk(window, relative):
    visited = 0
    stack = [window]
    shown = pyatspi.STATE_VISIBLE if relative else pyatspi.STATE_SHOWING
    coordinates = Atspi.CoordType.WINDOW if relative else Atspi.CoordType.SCREEN
    while stack:
        node = stack.pop()
        states = node.getState()
        if not states.contains(pyatspi.STATE_SHOWING if node == window else shown):
            continue
        visited += 1
        node.getRole()
        try:
            node.get_extents(coordinates)
        except GLib.GError:  # a node without a frame (GTK 4's stack pages)
            pass
        node.name
        action = node.get_action_iface()
        if action is not None:
            for index in range(action.get_n_actions()):
                action.get_action_name(index)
        for index in range(node.childCount):
            child = node.getChildAtIndex(index)
            if child is not None:
                stack.append(child)
    return visited


def main():
    warnings.simplefilter("ignore", DeprecationWarning)
    if len(sys.argv) < 2:
        sys.exit("usage: atspi_walk.py PID [ROUNDS]")
    pid = int(sys.argv[1])
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 10
    app = application(pid)
    if app is None:
        sys.exit(f"no accessible application with process id {pid}")
    window = active_window(app)
    if window is None:
        sys.exit(f"application {pid} shows no window")
    relative = window_relative(app)
    times = []
    nodes = 0
    for _ in range(rounds):
        start = time.monotonic()
        nodes = walk(window, relative)
        times.append((time.monotonic() - start) * 1000)
    print(f"nodes {nodes} median_ms {statistics.median(times):.2f}")


if __name__ == "__main__":
    main()
