#!/usr/bin/env python3
"""Makes a corpus of camera-like JPEGs for the writer benchmark.

    bench/make_photos.py DIR [COUNT] [WxH]

COUNT (default 1000) files of about 2.4 MB, 9 to 10 megapixels (or WxH, all alike), each with
an Exif block as a camera writes one; every tenth says orientation 6 or 8 (held upright), so the
stored copy is turned. ImageMagick draws 100 different scenes; each file is a scene under its own
name and inode, which is all a copying benchmark can tell apart. Files already there are kept.
"""
import os
import random
import struct
import subprocess
import sys


def exif(orientation, index):
    """An APP1 Exif segment: little-endian TIFF with Make, Model, Orientation, DateTime, and an
    Exif IFD with DateTimeOriginal, as cameras write it."""
    make, model = b"Bench\0", b"Camera 1\0"
    stamp = b"2024:05:01 12:%02d:%02d\0" % (index // 60 % 60, index % 60)
    # IFD0 (4 entries and the Exif IFD's pointer), then the Exif IFD (one entry), then the data.
    entries = [(0x010F, 2, make), (0x0110, 2, model), (0x0112, 3, orientation),
               (0x0132, 2, stamp), (0x8769, 4, None)]
    exif_ifd = 8 + 2 + 12 * len(entries) + 4
    data_at = exif_ifd + 2 + 12 + 4
    body, data = b"", b""
    for tag, kind, value in entries:
        if kind == 3:
            body += struct.pack("<HHIHH", tag, kind, 1, value, 0)
        elif kind == 4:
            body += struct.pack("<HHII", tag, kind, 1, exif_ifd)
        else:
            body += struct.pack("<HHII", tag, kind, len(value), data_at + len(data))
            data += value + (b"\0" if len(value) % 2 else b"")
    original = struct.pack("<HHII", 0x9003, 2, len(stamp), data_at + len(data))
    data += stamp + (b"\0" if len(stamp) % 2 else b"")
    tiff = b"II*\0" + struct.pack("<I", 8) + struct.pack("<H", len(entries)) + body + \
        struct.pack("<I", 0) + struct.pack("<H", 1) + original + struct.pack("<I", 0) + data
    payload = b"Exif\0\0" + tiff
    return b"\xff\xe1" + struct.pack(">H", len(payload) + 2) + payload


def main():
    out = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 1000
    size = tuple(int(n) for n in sys.argv[3].split("x")) if len(sys.argv) > 3 else None
    os.makedirs(os.path.join(out, "scenes"), exist_ok=True)
    rng = random.Random(20240501)
    scenes = []
    for k in range(min(100, count)):
        path = os.path.join(out, "scenes", "scene%03d.jpg" % k)
        w, h = rng.choice([(3648, 2736), (3648, 2736), (3840, 2560), (3456, 2592)])
        if size:
            w, h = size
        quality = rng.choice([88, 89, 90, 91])
        if not os.path.exists(path):
            subprocess.run(["convert", "-seed", str(k + 1), "-size", "%dx%d" % (w, h),
                            "plasma:fractal", "-quality", str(quality), "jpg:" + path + ".part"],
                           check=True)
            os.replace(path + ".part", path)
        with open(path, "rb") as f:
            scenes.append(f.read())
    for i in range(count):
        path = os.path.join(out, "IMG_%05d.jpg" % i)
        if os.path.exists(path):
            continue
        scene = scenes[i % len(scenes)]
        assert scene[:2] == b"\xff\xd8"
        with open(path + ".part", "wb") as f:
            f.write(scene[:2] + exif((6, 8)[i // 10 % 2] if i % 10 == 9 else 1, i) + scene[2:])
        os.replace(path + ".part", path)


if __name__ == "__main__":
    main()
