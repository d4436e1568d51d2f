#!/usr/bin/python3
"""A plain libatspi walk of an application's active window, for comparison with Tovrel's own.

Usage: atspi_walk.py PID [ROUNDS]. Reads what Tovrel's walk reads of every showing node (role,
states, screen extents, children; name and action names) as libatspi answers them, with its own
cache of what the toolkit pushes, and prints "nodes N median_ms T" for the median of ROUNDS walks.
"""
import statistics
import sys
import time
import warnings

import pyatspi
from gi.repository import Atspi


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


def walk(window):
    visited = 0
    stack = [window]
    while stack:
        node = stack.pop()
        states = node.getState()
        if not states.contains(pyatspi.STATE_SHOWING):
            continue
        visited += 1
        node.getRole()
        node.get_extents(Atspi.CoordType.SCREEN)
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
    times = []
    nodes = 0
    for _ in range(rounds):
        start = time.monotonic()
        nodes = walk(window)
        times.append((time.monotonic() - start) * 1000)
    print(f"nodes {nodes} median_ms {statistics.median(times):.2f}")


if __name__ == "__main__":
    main()
