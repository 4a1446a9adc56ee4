#!/usr/bin/env python3
"""Writes a small sample data set (Quil.qui, Quil.qud) and settings (Quil.ini) into a
folder, for trying the program and for the screenshots in docs/.

Usage: scripts/sample-data.py FOLDER
"""
import datetime
import os
import struct
import sys

STAMP = 37987.5  # 2004-01-01 12:00


def day(y, m, d, hh=0, mm=0):
    base = datetime.datetime(1899, 12, 30)
    t = datetime.datetime(y, m, d, hh, mm)
    return (t - base).total_seconds() / 86400.0


def short(text, limit):
    raw = text.encode("cp932")[:limit]
    return bytes([len(raw)]) + raw + bytes(limit - len(raw))


def item(kind, name, order, car=None):
    b = bytearray(128)
    b[0:3] = short("QI", 2)
    struct.pack_into("<dh", b, 4, STAMP, 101)
    struct.pack_into("<hh", b, 16, kind, order)
    b[20:51] = short(name, 30)
    struct.pack_into("<d", b, 60, day(2004, 1, 1))
    if car:
        # Vehicle details: odometer at delivery, registration date, type, fuel, plate, remarks.
        odometer, registered, vtype, fuel, plate, remarks = car
        struct.pack_into("<dd", b, 52, odometer, registered)
        struct.pack_into("<h", b, 68, vtype)
        struct.pack_into("<h", b, 74, fuel)
        for (offset, limit), part in zip(((76, 10), (87, 3), (91, 2), (94, 2), (97, 2)), plate):
            b[offset:offset + limit + 1] = short(part, limit)
        b[100:121] = short(remarks, 20)
    return bytes(b)


def record(kind, date, vehicle, user, d1=0.0, d2=0.0, price=0, tax=0, it=-1, place=-1,
           remarks="", back=0.0, dest=""):
    b = bytearray(256)
    b[0:3] = short("QD", 2)
    struct.pack_into("<dhh", b, 4, STAMP, 101, kind)
    struct.pack_into("<dhhdd", b, 20, date, vehicle, user, d1, d2)
    struct.pack_into("<iiihhh", b, 52, price, 0, tax, it, -1, place)
    b[70:171] = short(remarks, 100)
    struct.pack_into("<d", b, 176, back)
    b[184:225] = short(dest, 40)
    b[225:256] = short("", 30)
    return bytes(b)


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    items = [(1, "営業車１号"), (1, "軽トラック"), (2, "山田太郎"), (2, "佐藤花子"),
             (6, "配達"), (6, "営業"), (3, "駅前スタンド"), (4, "オイル交換"),
             (4, "タイヤ交換"), (5, "有料道路代"), (5, "駐車場代"), (7, "田中自動車")]
    cars = {"営業車１号": (12000.0, day(2003, 10, 1), 1, 0, ("品川", "400", "あ", "12", "34"),
                         "営業部の社用車")}
    with open(os.path.join(folder, "Quil.qui"), "wb") as f:
        for i, (kind, name) in enumerate(items):
            f.write(item(kind, name, i + 1, cars.get(name)))
    recs = [
        record(0, day(2004, 4, 1, 8, 30), 0, 2, 12345.6, 12400.0, it=4, back=day(2004, 4, 1, 17, 5),
               dest="本社", remarks="定期配達"),
        record(1, day(2004, 4, 2), 0, 2, d2=32.5, price=3900, tax=195, place=6, remarks="満タン"),
        record(0, day(2004, 4, 3, 9, 0), 1, 3, 8000.0, 8042.3, it=5, back=day(2004, 4, 3, 12, 0),
               dest="取引先"),
        record(2, day(2004, 4, 5), 1, 3, d1=8042.3, price=5000, tax=250, it=7, place=11),
        record(3, day(2004, 4, 6), 0, 2, price=1200, tax=60, it=9, place=-1, remarks="高速"),
        record(3, day(2004, 4, 8), 1, 3, price=500, tax=25, it=10, place=11),
    ]
    with open(os.path.join(folder, "Quil.qud"), "wb") as f:
        for r in recs:
            f.write(r)
    ini = ("[Version]\r\nNo=0.30\r\n\r\n[Location]\r\nTop=0\r\nLeft=0\r\nWidth=800\r\n"
           "Height=500\r\n\r\n[Dir]\r\nDir={0}\r\nExeDir={0}\r\n\r\n[Item]\r\nTime=2\r\n"
           "Time2=2004\r\n\r\n[ViewItem]\r\nCar=11\r\nDriver=11\r\nPurpose=11\r\n")
    folder_path = os.path.abspath(folder) + "/"
    with open(os.path.join(folder, "Quil.ini"), "wb") as f:
        f.write(ini.format(folder_path).encode("cp932"))


if __name__ == "__main__":
    main()
