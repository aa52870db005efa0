#!/usr/bin/env python3
"""Resizing camera photos to the pixels a slide shows them at: libvips against libjpeg-turbo's
scaled decode, the JPEG quality, and Slidemill's picture maker beside vipsthumbnail.

    bench/bench_resize.py [BUILD_DIR] [COUNT]

BUILD_DIR (default build/bench) holds bench/bench_resize; COUNT (default 20) camera-like photos of
4000 x 3000 (12 MP, every tenth with EXIF orientation 6) are made by bench/make_photos.py into
~/.cache/slidemill-bench/resize and kept. One photo per slide shows a 4:3 photo at 500 x 375
points: 1528 x 1146 pixels at 220 ppi, 1042 x 782 at 150 ppi.

Every picture is compared with ImageMagick's `-filter Lanczos -resize` of the upright original to
the same pixel size, written losslessly (the reference). For each way of resizing it prints the
PSNR of its lossless result against the reference (the resize alone), and at each JPEG quality
the PSNR of its JPEG against the reference beside that of the reference itself encoded by the
same encoder at the same quality (what the encoder alone costs): a pipeline is within 1 dB of the
lossless reference resize when the two stay within 1 dB. Bytes are the pictures' sum against the
originals' (the byte-for-byte deck's pictures). Times are the best of two runs, one photo at a
time (-j 1) and two at once (-j 2, as the package writer makes them), with the processor time
a photo takes (which other work on the machine does not change); peak is the process's maximum
resident set with two at once.
"""
import concurrent.futures
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
CACHE = os.path.join(os.environ.get("XDG_CACHE_HOME", os.path.expanduser("~/.cache")),
                     "slidemill-bench", "resize")
SLIDE = {220: (1528, 1146), 150: (1042, 782)}
MODES = ["vips", "vips-fit", "turbo", "turbo-2x"]
QUALITIES = [75, 80, 85, 90, 92, 95]


def fitted(w, h, sw, sh):
    """pictures::fittedPixels: the bound side exactly, the other rounded halves up."""
    if w <= sw and h <= sh:
        return w, h
    if w * sh >= h * sw:
        return sw, max(1, min(sh, (2 * h * sw + w) // (2 * w)))
    return max(1, min(sw, (2 * w * sh + h) // (2 * h))), sh


def photos(count):
    subprocess.run([sys.executable, os.path.join(HERE, "make_photos.py"), CACHE, str(count),
                    "4000x3000"], check=True)
    names = sorted(n for n in os.listdir(CACHE) if n.startswith("IMG_"))[:count]
    # make_photos.py turns every tenth (orientation 6): shown 3000 x 4000.
    return [(os.path.join(CACHE, n), (3000, 4000) if i % 10 == 9 else (4000, 3000))
            for i, n in enumerate(names)]


def references(shots, ppi):
    folder = os.path.join(CACHE, "reference%d" % ppi)
    os.makedirs(folder, exist_ok=True)
    out = {}
    jobs = []
    for path, (w, h) in shots:
        size = fitted(w, h, *SLIDE[ppi])
        ref = os.path.join(folder, os.path.basename(path)[:-4] + ".png")
        out[path] = ref
        if not os.path.exists(ref):
            jobs.append(["convert", path, "-auto-orient", "-filter", "Lanczos", "-resize",
                         "%dx%d!" % size, ref])
    with concurrent.futures.ThreadPoolExecutor(2) as pool:
        list(pool.map(lambda cmd: subprocess.run(cmd, check=True), jobs))
    return out


def psnr(a, b):
    r = subprocess.run(["compare", "-metric", "PSNR", a, b, "null:"], capture_output=True,
                       text=True)
    text = r.stderr.strip().split()[0] if r.stderr.strip() else "0"
    return 99.0 if text == "inf" else float(text)


def psnrs(pairs):
    with concurrent.futures.ThreadPoolExecutor(2) as pool:
        return list(pool.map(lambda p: psnr(*p), pairs))


def run(tool, mode, ppi, quality, out, shots, jobs):
    """bench_resize's figures: seconds, peak MiB, bytes in, bytes out, processor s a photo."""
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    size = "%dx%d" % SLIDE[ppi]
    r = subprocess.run([tool, mode, size, str(quality), out, "-j", str(jobs)] +
                       [p for p, _ in shots], capture_output=True, text=True, check=True)
    f = r.stdout.split()
    return float(f[2]), float(f[4]), int(f[6]), int(f[7]), float(f[9])


def best_of(n, fn):
    runs = [fn() for _ in range(n)]
    return min(runs, key=lambda r: r[0])


def made(out, path, lossless=False):
    return os.path.join(out, os.path.basename(path)[:-4] + (".ppm" if lossless else ".jpg"))


def mean(xs):
    return sum(xs) / len(xs)


def reference_encoded(refs, quality, chroma, out):
    """The reference pictures through libvips' JPEG encoder at `quality`: the encoder's own loss."""
    os.makedirs(out, exist_ok=True)
    pairs = []
    mode = {"444": "off", "420": "on"}.get(chroma, "auto")
    cmds = []
    for ref in refs.values():
        jpg = os.path.join(out, os.path.basename(ref)[:-4] + ".jpg")
        cmds.append(["vips", "copy", ref, "%s[Q=%d,optimize_coding,strip,subsample_mode=%s]"
                     % (jpg, quality, mode)])
        pairs.append((jpg, ref))
    with concurrent.futures.ThreadPoolExecutor(2) as pool:
        list(pool.map(lambda cmd: subprocess.run(cmd, check=True), cmds))
    return mean(psnrs(pairs))


def vipsthumbnail(shots, ppi, quality, out, parallel):
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    size = "%dx%d" % SLIDE[ppi]
    target = os.path.join(out, "%%s.jpg[Q=%d,optimize_coding,strip]" % quality)
    files = [p for p, _ in shots]
    timing = os.path.join(out, "time.txt")
    if parallel:
        cmd = ["sh", "-c", 'printf "%s\\n" "$@" | xargs -P 2 -n 10 vipsthumbnail --size '
               + size + " -o '" + target + "'", "sh"] + files
    else:
        cmd = ["vipsthumbnail", "--size", size, "-o", target] + files
    subprocess.run(["/usr/bin/time", "-f", "%e %M", "-o", timing] + cmd, check=True)
    seconds, kib = open(timing).read().split()[-2:]
    total = sum(os.path.getsize(os.path.join(out, n)) for n in os.listdir(out)
                if n.endswith(".jpg"))
    return float(seconds), int(kib) / 1024, total


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build/bench"
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 20
    tool = os.path.join(build, "bench", "bench_resize")
    if not os.access(tool, os.X_OK):
        sys.exit("bench_resize.py: no %s; build the bench_resize target" % tool)
    shots = photos(count)
    originals = sum(os.path.getsize(p) for p, _ in shots)
    print("%d photos of 4000 x 3000, %.1f MB (%.2f MB each)\n"
          % (len(shots), originals / 1e6, originals / 1e6 / len(shots)))
    work = tempfile.mkdtemp(prefix="bench_resize.")
    try:
        for ppi in (220, 150):
            refs = references(shots, ppi)
            print("## %d ppi: fits %d x %d\n" % ((ppi,) + SLIDE[ppi]))
            print("| way | resize alone: PSNR (dB) | s a photo, one at a time | processor s a "
                  "photo | s a photo, two at once | peak MiB, two at once | bytes at Q85 |")
            print("|---|---|---|---|---|---|---|")
            for mode in MODES + ["maker"]:
                out = os.path.join(work, mode)
                lossless = "-"
                if mode != "maker":
                    run(tool, mode, ppi, 0, out, shots, 2)
                    lossless = "%.1f" % mean(psnrs([(made(out, p, True), refs[p])
                                                    for p, _ in shots]))
                quality = 0 if mode == "maker" else 85
                one = best_of(2, lambda: run(tool, mode, ppi, quality, out, shots, 1))
                two = best_of(2, lambda: run(tool, mode, ppi, quality, out, shots, 2))
                print("| %s | %s | %.3f | %.3f | %.3f | %.1f | %.3fx |"
                      % (mode, lossless, one[0] / len(shots), one[4], two[0] / len(shots),
                         two[1], two[3] / originals))
            print()
            print("| way, Q | PSNR (dB), mean / min | reference at the same Q | bytes |")
            print("|---|---|---|---|")
            for mode in ("vips", "vips-fit", "turbo"):
                for quality in QUALITIES:
                    out = os.path.join(work, "%s%d" % (mode, quality))
                    figures = run(tool, mode, ppi, quality, out, shots, 2)
                    values = psnrs([(made(out, p), refs[p]) for p, _ in shots])
                    chroma = "420" if mode.startswith("turbo") else ""
                    reference = reference_encoded(refs, quality, chroma,
                                                  os.path.join(work, "ref%d" % quality))
                    print("| %s, %d | %.2f / %.2f | %.2f | %.3fx |"
                          % (mode, quality, mean(values), min(values), reference,
                             figures[3] / originals))
            out = os.path.join(work, "maker")
            run(tool, "maker", ppi, 0, out, shots, 2)
            values = psnrs([(made(out, p), refs[p]) for p, _ in shots])
            print("| maker | %.2f / %.2f | | |\n" % (mean(values), min(values)))
            for parallel in (False, True):
                out = os.path.join(work, "vipsthumbnail")
                seconds, peak, total = min(
                    (vipsthumbnail(shots, ppi, 85, out, parallel) for _ in range(2)),
                    key=lambda r: r[0])
                print("vipsthumbnail Q85%s: %.3f s a photo, peak %.1f MiB, %.3fx"
                      % (", two at once (xargs -P 2)" if parallel else "", seconds / len(shots),
                         peak, total / originals))
            print()
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
