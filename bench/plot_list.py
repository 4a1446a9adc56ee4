#!/usr/bin/env python3
"""Plots rows vs time and rows vs memory for the record list as one SVG (no libraries).

    python3 bench/plot_list.py list.json first_paint.json list.svg

list.json is main_list_bench --benchmark_out=list.json; first_paint.json comes from
first_paint.py --json. Axes are logarithmic in the row count.
"""
import json
import math
import sys

W, H, PAD = 420, 300, 55
COLOURS = ["#1f77b4", "#d62728", "#2ca02c", "#ff7f0e", "#9467bd", "#8c564b"]


def bench_series(path):
    series = {}
    for b in json.load(open(path))["benchmarks"]:
        name, _, arg = b["name"].partition("/")
        if b.get("run_type") == "aggregate" or not arg.isdigit():
            continue
        if name in ("LoadAndFirstPaint", "PlainQtFirstPaint", "ScrollToEnd"):
            ms = b["real_time"] * {"ms": 1, "us": 1e-3, "ns": 1e-6, "s": 1e3}[b["time_unit"]]
            series.setdefault(name + " (ms)", []).append((int(arg), ms))
    return series


def panel(x0, title, ylabel, series):
    pts = [p for s in series.values() for p in s if p[0] > 0]
    xs = [math.log10(p[0]) for p in pts]
    ymax = max(p[1] for p in pts) * 1.1
    xmin, xmax = math.floor(min(xs)), math.ceil(max(xs))
    sx = lambda x: x0 + PAD + (math.log10(x) - xmin) / max(xmax - xmin, 1) * (W - 2 * PAD)
    sy = lambda y: H - PAD + 20 - y / ymax * (H - 2 * PAD)
    out = [f'<text x="{x0 + W / 2}" y="18" text-anchor="middle" font-weight="bold">{title}</text>',
           f'<line x1="{x0 + PAD}" y1="{sy(0)}" x2="{x0 + W - PAD}" y2="{sy(0)}" stroke="black"/>',
           f'<line x1="{x0 + PAD}" y1="{sy(0)}" x2="{x0 + PAD}" y2="{sy(ymax)}" stroke="black"/>',
           f'<text x="{x0 + 12}" y="{H / 2}" transform="rotate(-90 {x0 + 12} {H / 2})"'
           f' text-anchor="middle">{ylabel}</text>']
    for e in range(xmin, xmax + 1):
        out.append(f'<text x="{sx(10 ** e)}" y="{sy(0) + 16}" text-anchor="middle">1e{e}</text>')
    for k in range(5):
        y = ymax * k / 4
        out.append(f'<text x="{x0 + PAD - 4}" y="{sy(y) + 4}" text-anchor="end">{y:.0f}</text>')
    for i, (name, s) in enumerate(sorted(series.items())):
        c = COLOURS[i % len(COLOURS)]
        s = sorted(p for p in s if p[0] > 0)
        out.append(f'<polyline fill="none" stroke="{c}" stroke-width="2" points="'
                   + " ".join(f"{sx(x):.1f},{sy(y):.1f}" for x, y in s) + '"/>')
        out.append(f'<text x="{x0 + PAD + 8}" y="{40 + 14 * i}" fill="{c}">{name}</text>')
    return out


def main():
    bench, whole, target = sys.argv[1], sys.argv[2], sys.argv[3]
    times = bench_series(bench)
    rows = json.load(open(whole))
    times["program start→paint (ms)"] = [(r["records"], r["app_s"] * 1000) for r in rows]
    times["plain Qt start→paint (ms)"] = [(r["records"], r["plain_s"] * 1000) for r in rows]
    memory = {"program peak (MiB)": [(r["records"], r["app_mib"]) for r in rows],
              "plain Qt peak (MiB)": [(r["records"], r["plain_mib"]) for r in rows]}
    parts = panel(0, "rows vs time", "ms", times) + panel(W, "rows vs memory", "MiB", memory)
    with open(target, "w") as f:
        f.write(f'<svg xmlns="http://www.w3.org/2000/svg" width="{2 * W}" height="{H + 20}"'
                f' font-family="sans-serif" font-size="11">\n<rect width="100%" height="100%"'
                f' fill="white"/>\n' + "\n".join(parts) + "\n</svg>\n")


if __name__ == "__main__":
    main()
