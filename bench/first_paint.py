#!/usr/bin/env python3
"""Start to first paint of the record list, whole process, against the plain-Qt baseline.

Runs build/bench/quil_first_paint (the program's windows) and build/bench/plain_first_paint
(QMainWindow + QTableView over the same file, Qt Widgets alone) for each data-set size,
alternating, and prints the medians with their ratios, the fastest run of each (which a busy
machine disturbs least) with theirs, and the median of the paired ratios (each program run
against the baseline run right after it); --json writes them for plot_list.py.

    python3 bench/first_paint.py [--build build] [--runs 5] [--json first_paint.json]
"""
import argparse
import json
import os
import statistics
import subprocess
import tempfile
import time

SIZES = [0, 10_000, 100_000, 1_000_000]


def run(command, folder):
    # Exit status 3: another copy of the program holds the per-user single-instance lock
    # (another user of this machine measuring at the same time); wait and try again.
    for _ in range(100):
        start = time.perf_counter()
        out = subprocess.run(command + [folder], capture_output=True, text=True,
                             env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
        seconds = time.perf_counter() - start
        if out.returncode != 3:
            break
        time.sleep(0.3)
    out.check_returncode()
    return seconds, json.loads(out.stdout.strip().splitlines()[-1])["peak_kib"] / 1024


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default="build")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--json")
    args = ap.parse_args()
    harness = os.path.join(args.build, "bench", "quil_first_paint")
    program = [harness, "app"]
    baseline = [os.path.join(args.build, "bench", "plain_first_paint")]
    results = []
    print(f"{'records':>9} {'program s':>10} {'plain s':>8} {'ratio':>6} {'fastest':>8} {'paired':>7}"
          f" {'program MiB':>12} {'plain MiB':>10} {'B/row':>6}")
    empty_mib = None
    for n in SIZES:
        with tempfile.TemporaryDirectory() as app_dir, tempfile.TemporaryDirectory() as plain_dir:
            subprocess.run([harness, "make", app_dir, str(n)], check=True)
            subprocess.run([harness, "make", plain_dir, str(n)], check=True)
            app, plain = [], []
            run(program, app_dir)  # warm the page cache and the loader
            run(baseline, plain_dir)
            for _ in range(args.runs):
                app.append(run(program, app_dir))
                plain.append(run(baseline, plain_dir))
        row = {
            "records": n,
            "app_s": statistics.median(a[0] for a in app),
            "plain_s": statistics.median(p[0] for p in plain),
            "app_min_s": min(a[0] for a in app),
            "plain_min_s": min(p[0] for p in plain),
            # Each run of the program against the baseline's run right after it: a slow spell
            # of the machine then lands on both sides of a ratio, not on one median alone.
            "paired_ratio": statistics.median(a[0] / p[0] for a, p in zip(app, plain)),
            "app_mib": max(a[1] for a in app),
            "plain_mib": max(p[1] for p in plain),
        }
        if empty_mib is None:
            empty_mib = row["app_mib"]
        per_row = (row["app_mib"] - empty_mib) * 1048576 / n if n else 0
        results.append(row)
        print(f"{n:>9} {row['app_s']:>10.3f} {row['plain_s']:>8.3f}"
              f" {row['app_s'] / row['plain_s']:>6.2f}"
              f" {row['app_min_s'] / row['plain_min_s']:>8.2f} {row['paired_ratio']:>7.2f}"
              f" {row['app_mib']:>12.1f}"
              f" {row['plain_mib']:>10.1f} {per_row:>6.1f}")
    if args.json:
        with open(args.json, "w") as f:
            json.dump(results, f, indent=1)


if __name__ == "__main__":
    main()
