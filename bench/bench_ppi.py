#!/usr/bin/env python3
"""What the stored pictures' resolution costs and saves: whole decks of camera photos.

    bench/bench_ppi.py TOOL PHOTOS [--heic HEICS] [--rounds N] [--libreoffice N] [--before OLD]
                       [--skip-times]

PHOTOS is a folder of IMG_*.jpg, 12-megapixel camera photos as bench/make_photos.py makes them
(`make_photos.py PHOTOS 1000 4000x3000`: every tenth turned upright by its EXIF orientation).
From a warm cache, in every round, each contender runs once, one after the other:

  TOOL --ppi original, 220, 150     the whole deck measured, resized, written and fsynced
  vipsthumbnail, one process        only the resized JPEGs of the same pixel size, into a folder
  vipsthumbnail, xargs -P 2         the same, two processes at a time

and prints per contender the best and median wall time and the peak resident memory, the deck's
size against the byte-for-byte deck, and the tool's time against the better vipsthumbnail.
Then for a sample of the pictures, the PSNR of the stored picture against ImageMagick's
`-filter Lanczos -resize` of the upright original to the same size (a lossless reference),
beside that of the reference itself encoded as JPEG of the tool's quality,
and, when --libreoffice N is given, LibreOffice's time and peak memory to convert a deck of
the first N photos at each setting to PDF (two rounds, the order reversed in the second).
--heic HEICS times the three settings on a folder of HEIC photos as well; --before OLD runs
an older slidemill-build (byte for byte) in each round, for the copy speed.
"""
import argparse
import glob
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import zipfile

SLIDE_HEIGHT_PT = 375  # one photo per slide: every picture is 375 points high


def run(argv, **kwargs):
    """Runs argv to its end; returns (seconds, peak RSS in MiB of it and its children)."""
    start = time.monotonic()
    proc = subprocess.Popen(argv, **kwargs)
    _, status, usage = os.wait4(proc.pid, 0)
    seconds = time.monotonic() - start
    proc.returncode = os.waitstatus_to_exitcode(status)
    if proc.returncode != 0:
        sys.exit("%s failed with %d" % (argv[0], proc.returncode))
    return seconds, usage.ru_maxrss / 1024.0


def ppi_height(ppi):
    return -(-SLIDE_HEIGHT_PT * ppi // 72)  # rounded up, as the tool does


def warm(files):
    for path in files:
        with open(path, "rb") as f:
            while f.read(1 << 20):
                pass


def contenders(tool, listfile, files, work, quality, before):
    out = {}
    for ppi in ("original", "220", "150"):
        out["slidemill-build --ppi " + ppi] = (
            lambda ppi=ppi: [tool, "--ppi", ppi, "-o", os.path.join(work, "deck-%s.pptx" % ppi),
                             "--from", listfile], None)
    if before:
        out["before (byte for byte)"] = (
            lambda: [before, "-o", os.path.join(work, "deck-before.pptx"), "--from", listfile],
            None)
    for ppi in ("220", "150"):
        size = "100000x%d" % ppi_height(int(ppi))
        target = os.path.join(work, "thumbs-" + ppi)
        fmt = os.path.join(target, "%s.jpg[Q=" + str(quality) + "]")
        out["vipsthumbnail %s ppi" % ppi] = (
            lambda size=size, fmt=fmt: ["vipsthumbnail", "-s", size, "-o", fmt] + files, target)
        out["vipsthumbnail %s ppi, xargs -P 2" % ppi] = (
            lambda size=size, fmt=fmt: ["sh", "-c", 'printf "%s\\0" "$@" | xargs -0 -P 2 -n '
                                        + str(max(1, len(files) // 8)) + ' vipsthumbnail -s '
                                        + size + " -o '" + fmt + "'", "sh"] + files, target)
    return out


def times(args, photos, work):
    files = sorted(glob.glob(os.path.join(photos, "IMG_*.jpg")))
    listfile = os.path.join(work, "list.txt")
    with open(listfile, "w") as f:
        f.write("\n".join(files) + "\n")
    warm(files)
    runs = contenders(args.tool, listfile, files, work, args.quality, args.before)
    seconds = {name: [] for name in runs}
    memory = {name: 0.0 for name in runs}
    for _ in range(args.rounds):
        for name, (argv, target) in runs.items():
            if target:
                shutil.rmtree(target, ignore_errors=True)
                os.makedirs(target)
            s, m = run(argv())
            seconds[name].append(s)
            memory[name] = max(memory[name], m)
    sizes = {ppi: os.path.getsize(os.path.join(work, "deck-%s.pptx" % ppi))
             for ppi in ("original", "220", "150")}
    print("%d photos, %.2f GB; best and median of %d rounds, warm cache" %
          (len(files), sum(map(os.path.getsize, files)) / 1e9, args.rounds))
    print("%-40s %8s %8s %10s" % ("", "best s", "median s", "peak MiB"))
    for name in runs:
        print("%-40s %8.2f %8.2f %10.1f" % (name, min(seconds[name]),
                                             statistics.median(seconds[name]), memory[name]))
    for ppi in ("220", "150"):
        tool = min(seconds["slidemill-build --ppi " + ppi])
        vips = min(min(seconds["vipsthumbnail %s ppi" % ppi]),
                   min(seconds["vipsthumbnail %s ppi, xargs -P 2" % ppi]))
        print("%s ppi: deck %.1f MB, %.3f of the byte-for-byte deck; whole deck / vipsthumbnail "
              "%.2f" % (ppi, sizes[ppi] / 1e6, sizes[ppi] / sizes["original"], tool / vips))
    print("original: deck %.1f MB" % (sizes["original"] / 1e6))


def psnr(args, files, work):
    """Stored pictures against a lossless Lanczos resize of the upright original, beside that
    reference itself encoded as JPEG of the same quality."""
    sample = files[::max(1, len(files) // args.samples) + 1]
    listfile = os.path.join(work, "sample.txt")
    with open(listfile, "w") as f:
        f.write("\n".join(sample) + "\n")
    for ppi in ("220", "150"):
        deck = os.path.join(work, "sample-%s.pptx" % ppi)
        run([args.tool, "--ppi", ppi, "-o", deck, "--from", listfile])
        package = zipfile.ZipFile(deck)
        ours, theirs = [], []
        for i, photo in enumerate(sample):
            stored = os.path.join(work, "stored.jpg")
            with open(stored, "wb") as f:
                f.write(package.read("ppt/media/image%d.jpeg" % (i + 1)))
            size = subprocess.run(["identify", "-format", "%wx%h", stored], check=True,
                                  capture_output=True, text=True).stdout
            reference = os.path.join(work, "reference.png")
            encoded = os.path.join(work, "reference.jpg")
            subprocess.run(["convert", photo, "-auto-orient", "-filter", "Lanczos", "-resize",
                            size + "!", reference], check=True)
            subprocess.run(["convert", reference, "-quality", str(args.quality), encoded],
                           check=True)
            for picture, values in ((stored, ours), (encoded, theirs)):
                r = subprocess.run(["compare", "-metric", "PSNR", picture, reference, "null:"],
                                   capture_output=True, text=True)
                values.append(float(re.match(r"[\d.]+", r.stderr).group(0)))
        print("%s ppi, %d pictures, PSNR against ImageMagick's Lanczos of the upright original: "
              "stored %.2f dB (lowest %.2f), the reference as JPEG of quality %d %.2f dB: "
              "%.2f dB apart" % (ppi, len(sample), statistics.mean(ours), min(ours),
                                 args.quality, statistics.mean(theirs),
                                 statistics.mean(theirs) - statistics.mean(ours)))


def libreoffice(args, files, work):
    subset = files[:args.libreoffice]
    listfile = os.path.join(work, "subset.txt")
    with open(listfile, "w") as f:
        f.write("\n".join(subset) + "\n")
    decks = {}
    for ppi in ("original", "220", "150"):
        decks[ppi] = os.path.join(work, "lo-%s.pptx" % ppi)
        run([args.tool, "--ppi", ppi, "-o", decks[ppi], "--from", listfile])
    results = {ppi: [] for ppi in decks}
    for order in (list(decks), list(reversed(list(decks)))):
        for ppi in order:
            profile = tempfile.mkdtemp(prefix="lo-profile-", dir=work)
            pdfs = os.path.join(work, "pdf")
            s, m = run(["libreoffice", "-env:UserInstallation=file://" + profile, "--headless",
                        "--convert-to", "pdf", "--outdir", pdfs, decks[ppi]],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            results[ppi].append((s, m))
            shutil.rmtree(profile, ignore_errors=True)
    print("LibreOffice, %d photos to PDF, two rounds:" % len(subset))
    base = results["original"]
    for ppi, r in results.items():
        print("  %-9s deck %7.1f MB  %6.1f s %6.1f s  peak %7.0f MiB  time %.2fx  memory %.2fx" % (
            ppi, os.path.getsize(decks[ppi]) / 1e6, r[0][0], r[1][0], max(m for _, m in r),
            min(s for s, _ in r) / min(s for s, _ in base),
            max(m for _, m in r) / max(m for _, m in base)))


def heic(args, work):
    files = sorted(glob.glob(os.path.join(args.heic, "*.heic")))
    listfile = os.path.join(work, "heic.txt")
    with open(listfile, "w") as f:
        f.write("\n".join(files) + "\n")
    warm(files)
    print("%d HEIC photos:" % len(files))
    for ppi in ("original", "220", "150"):
        deck = os.path.join(work, "heic-%s.pptx" % ppi)
        s, m = run([args.tool, "--ppi", ppi, "-o", deck, "--from", listfile])
        print("  --ppi %-9s %6.2f s  peak %6.1f MiB  deck %7.1f MB" % (
            ppi, s, m, os.path.getsize(deck) / 1e6))


def main():
    p = argparse.ArgumentParser()
    p.add_argument("tool")
    p.add_argument("photos")
    p.add_argument("--heic")
    p.add_argument("--rounds", type=int, default=3)
    p.add_argument("--samples", type=int, default=20)
    p.add_argument("--libreoffice", type=int, default=0)
    p.add_argument("--before")
    p.add_argument("--quality", type=int, default=85,
                   help="the JPEG quality the tool writes at, for vipsthumbnail and the reference")
    p.add_argument("--skip-times", action="store_true")
    args = p.parse_args()
    work = tempfile.mkdtemp(prefix="bench-ppi-", dir=os.path.dirname(os.path.abspath(args.photos)))
    try:
        files = sorted(glob.glob(os.path.join(args.photos, "IMG_*.jpg")))
        if not args.skip_times:
            times(args, args.photos, work)
        psnr(args, files, work)
        if args.libreoffice:
            libreoffice(args, files, work)
        if args.heic:
            heic(args, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
