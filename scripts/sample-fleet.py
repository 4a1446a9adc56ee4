#!/usr/bin/env python3
"""Adds a year of driving, refuelling, maintenance and expense records for the two sample
vehicles to a folder written by sample-data.py, and maintenance cycles in QuilExt.db, so the
analysis windows (燃費・費用, グラフ, 点検・整備予定, 走行距離チェック) have something to show.

Usage: scripts/sample-fleet.py FOLDER   (after scripts/sample-data.py FOLDER)
"""
import os
import runpy
import sqlite3
import struct
import sys

here = os.path.dirname(os.path.abspath(__file__))
sample = runpy.run_path(os.path.join(here, "sample-data.py"))
day, record = sample["day"], sample["record"]


def main():
    folder = sys.argv[1]
    recs = []
    odo = {0: 12400.0, 1: 8042.3}
    for month in range(5, 13):
        for v, (user, per_trip, litres_per_km) in {0: (2, 95.0, 1 / 14.5),
                                                   1: (3, 40.0, 1 / 11.0)}.items():
            since_fill = 0.0
            for d in (3, 8, 13, 18, 23, 27):
                start = odo[v]
                trip = per_trip + (d % 5) * 7
                odo[v] += trip
                since_fill += trip
                recs.append(record(0, day(2004, month, d, 8, 30), v, user, start, odo[v], it=4,
                                   back=day(2004, month, d, 17, 0), dest="取引先"))
                if d in (13, 27):
                    partial = v == 0 and d == 13 and month % 3 == 0
                    litres = round(since_fill * litres_per_km * (0.5 if partial else 1.0), 1)
                    recs.append(record(1, day(2004, month, d + 1), v, user, d2=litres,
                                       price=int(litres * 110), tax=int(litres * 5.5), place=6,
                                       remarks="部分給油" if partial else "満タン"))
                    since_fill = since_fill * 0.5 if partial else 0.0
        if month in (6, 10):
            recs.append(record(2, day(2004, month, 28), 0, 2, d1=odo[0], price=4800, tax=240,
                               it=7, place=11))
        recs.append(record(3, day(2004, month, 25), 0, 2, price=2400, tax=120, it=9,
                           remarks="高速"))
    # One reading typed wrong: the departure lies below the previous return.
    recs.append(record(0, day(2004, 12, 29, 9, 0), 1, 3, odo[1] - 200, odo[1] - 150, it=4,
                       back=day(2004, 12, 29, 12, 0), dest="本社"))
    recs.sort(key=lambda r: struct.unpack_from("<dhh", r, 20))
    with open(os.path.join(folder, "Quil.qud"), "ab") as f:
        for r in recs:
            f.write(r)
    db = sqlite3.connect(os.path.join(folder, "QuilExt.db"))
    db.executescript(
        "CREATE TABLE IF NOT EXISTS schema_version (component TEXT PRIMARY KEY NOT NULL,"
        " version INTEGER NOT NULL);"
        "CREATE TABLE analysis_cycle (item INTEGER PRIMARY KEY NOT NULL,"
        " months INTEGER NOT NULL DEFAULT 0, km INTEGER NOT NULL DEFAULT 0,"
        " first_months INTEGER NOT NULL DEFAULT 0);"
        "CREATE TABLE analysis_setting (key TEXT PRIMARY KEY NOT NULL, value TEXT NOT NULL);"
        "INSERT INTO schema_version VALUES ('analysis', 2);"
        "INSERT INTO analysis_cycle VALUES (7, 6, 5000, 0), (8, 0, 40000, 0);")
    db.commit()
    db.close()


if __name__ == "__main__":
    main()
