#!/usr/bin/python3
"""Prints the entry benchmark's figures from the lines scripts/entry-bench.sh collected.

Each line: build, "ENTRY", application, first entry ms, median ms, then the median ms of each
stage (the names below). Per application and build: the median of the runs' medians, the slowest
first entry and its ratio to the median, and each stage's share of the median entry.
"""
import statistics
import sys
from collections import defaultdict

STAGES = ["chord to mode", "greeting", "window match", "walk", "interfaces", "details",
          "covering", "extras", "rest", "overlay paint"]


def main():
    runs = defaultdict(list)
    order = []
    builds = []
    with open(sys.argv[1], encoding="utf-8") as results:
        for line in results:
            fields = line.rstrip("\n").split("\t")
            if len(fields) < 5 or fields[1] != "ENTRY":
                continue
            build, app = fields[0], fields[2]
            numbers = [float(value) for value in fields[3:]]
            runs[(app, build)].append(numbers)
            if app not in order:
                order.append(app)
            if build not in builds:
                builds.append(build)
    print(f"{'application':<20} {'build':<12} {'median ms':>10} {'first ms':>9} "
          f"{'first/median':>12} {'vs ' + builds[0] if builds else '':>10}")
    for app in order:
        base = None
        for build in builds:
            figures = runs.get((app, build))
            if not figures:
                continue
            median = statistics.median(run[1] for run in figures)
            first = max(run[0] for run in figures)
            if base is None:
                base = median
            ratio = median / base if base else 0
            print(f"{app:<20} {build:<12} {median:>10.0f} {first:>9.0f} "
                  f"{first / median if median else 0:>12.1f} {ratio:>9.2f}x")
    print("\nshare of the median entry per stage (%), by build:")
    print(f"{'application':<20} {'build':<12} " + " ".join(f"{s[:9]:>9}" for s in STAGES))
    for app in order:
        for build in builds:
            figures = runs.get((app, build))
            if not figures:
                continue
            stages = [statistics.median(run[2 + i] for run in figures if len(run) > 2 + i)
                      if all(len(run) > 2 + i for run in figures) else 0
                      for i in range(len(STAGES))]
            total = sum(stages)
            print(f"{app:<20} {build:<12} " +
                  " ".join(f"{100 * s / total if total else 0:>9.0f}" for s in stages) +
                  f"   ({total:.0f} ms)")


if __name__ == "__main__":
    main()
