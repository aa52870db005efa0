#!/usr/bin/env python3
"""Times slidemill-build writing a deck of camera photos against copying the same bytes.

    bench/bench_writer.py times  TOOL PHOTOS [--before OLD_TOOL] [--rounds N] [--cache warm|cold|both]
    bench/bench_writer.py strace TOOL PHOTOS [--mb 700]
    bench/bench_writer.py zip64  TOOL PHOTOS
    bench/bench_writer.py captions TOOL PHOTOS [--rounds N]
    bench/bench_writer.py show TOOL PHOTOS [--rounds N]
    bench/bench_writer.py music TOOL PHOTOS [--rounds N]
    bench/bench_writer.py cores TOOL PHOTOS --ppi 220 [--count N] [--rounds N]

PHOTOS is a folder of IMG_*.jpg as bench/make_photos.py makes them. TOOL runs with
--ppi original, storing the photos as they are, unless --ppi says otherwise: this measures the
writer. Every contender runs in each round, one after the other on the same photos, so the
ratios are paired:

  slidemill-build       the deck, fsync before the rename as always
  ... without fsync     the same with fsync made a no-op by an LD_PRELOAD shim (the benchmark's
                        only switch; the program has none)
  before                OLD_TOOL, the previous writer, when given
  cat                   the photos concatenated into one file
  python zipfile        a stored zip of the same files, copied 1 MiB at a time
  zip -0                a stored zip by Info-ZIP

Cold: every photo is dropped from the page cache (posix_fadvise DONTNEED) before each run.
After each run the output is synced and removed outside the timing, so that no run pays for
the one before. Prints per contender the median wall time, the range, the peak resident
memory, and the median of the per-round ratios to cat and to python zipfile.

strace: counts system calls (strace -c -f) for a deck of about --mb megabytes.
zip64: a deck over 4 GiB with an entry over 4 GiB, streamed through -o - into a pipe, and a
deck of 32,767 photos (over 65,535 entries); each checked by python zipfile's testzip,
unzip -t and zipinfo.
captions: the same deck without captions, with the same text box under every photo
(--description), with --caption date (each photo's date read and written under it), and with
a title slide whose subtitle spans those dates; warm cache, the ratios paired with the deck
without captions, processor time beside wall time.
show: the same deck as it is, with --advance 5 --loop --transition fade (a show that runs
itself), and with --fill --background black --grey (a crop, a background and an effect on every
picture); measured as captions are.
music: the same deck as it is, and with --music of a 5 MB MP3 that ffmpeg makes (a tone at
320 kbit/s) and --advance fit: the file read through once to measure it and once to store it;
measured as captions are.
cores: the same deck on one core and on every core this process may use (taskset), measured as
captions are; with --ppi 220 every camera photo is decoded, resized and encoded again, so this
shows how the picture work scales. The speed-up is the median of the paired ratios, inverted.
"""
import argparse
import glob
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import zipfile

PYZIP = r"""
import shutil, sys, zipfile
out, listfile = sys.argv[1], sys.argv[2]
with zipfile.ZipFile(out, "w", zipfile.ZIP_STORED, allowZip64=True) as z:
    for i, path in enumerate(open(listfile).read().split("\n")):
        if path:
            with open(path, "rb") as src, z.open("ppt/media/image%d.jpeg" % (i + 1), "w",
                                                 force_zip64=True) as dst:
                shutil.copyfileobj(src, dst, 1 << 20)
"""

# Durability off: no fsync, and no early writeback of what was written.
NOFSYNC = r"""
#include <sys/types.h>
int fsync(int fd) { (void)fd; return 0; }
int fdatasync(int fd) { (void)fd; return 0; }
int sync_file_range(int fd, off_t at, off_t n, unsigned flags) {
    (void)fd; (void)at; (void)n; (void)flags; return 0;
}
"""


def photos_in(folder, limit_bytes=None):
    paths = sorted(glob.glob(os.path.join(folder, "IMG_*.jpg")))
    if not paths:
        sys.exit("bench_writer: no IMG_*.jpg in %s; make them with bench/make_photos.py" % folder)
    if limit_bytes:
        chosen, total = [], 0
        for p in paths:
            if total >= limit_bytes:
                break
            chosen.append(p)
            total += os.path.getsize(p)
        paths = chosen
    return paths


def drop_from_cache(paths):
    for p in paths:
        fd = os.open(p, os.O_RDONLY)
        try:
            os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
        finally:
            os.close(fd)


def warm(paths):
    for p in paths:
        with open(p, "rb") as f:
            while f.read(1 << 20):
                pass


def run(argv, env=None):
    """Wall seconds and peak resident KiB of one command, as GNU time tells the latter: a
    child forked from here would count this interpreter's memory as its own."""
    with tempfile.NamedTemporaryFile("r") as peak:
        start = time.perf_counter()
        done = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", peak.name] + argv, env=env,
                              stdout=subprocess.DEVNULL)
        seconds = time.perf_counter() - start
        if done.returncode != 0:
            sys.exit("bench_writer: %s failed (%d)" % (argv[0], done.returncode))
        return seconds, int(peak.read().split()[-1])


def times(args):
    paths = photos_in(args.photos)
    total = sum(os.path.getsize(p) for p in paths)
    work = tempfile.mkdtemp(prefix="bench_writer.", dir=os.path.dirname(os.path.abspath(args.photos)))
    try:
        listfile = os.path.join(work, "list.txt")
        with open(listfile, "w") as f:
            f.write("\n".join(paths) + "\n")
        pyzip = os.path.join(work, "pyzip.py")
        with open(pyzip, "w") as f:
            f.write(PYZIP)
        shim = os.path.join(work, "nofsync.so")
        subprocess.run(["cc", "-shared", "-fPIC", "-O2", "-x", "c", "-o", shim, "-"],
                       input=NOFSYNC.encode(), check=True)
        out = os.path.join(work, "out")
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        nofsync = dict(env, LD_PRELOAD=shim)
        contenders = [
            ("slidemill-build", [*args.tool_argv, "-o", out, "--from", listfile], env),
            ("slidemill-build, no fsync", [*args.tool_argv, "-o", out, "--from", listfile], nofsync),
        ]
        if args.before:
            contenders.append(("before", [args.before, "-o", out, "--from", listfile], env))
            contenders.append(("before, no fsync", [args.before, "-o", out, "--from", listfile],
                               nofsync))
        contenders += [
            ("cat", ["sh", "-c", 'xargs -d "\\n" cat < "$1" > "$2"', "cat", listfile, out], env),
            ("cat, then fsync", ["sh", "-c", 'xargs -d "\\n" cat < "$1" > "$2" && sync "$2"',
                                 "cat", listfile, out], env),
            ("python zipfile", [sys.executable, pyzip, out, listfile], env),
            ("zip -0", ["sh", "-c", 'zip -0 -q -j "$2" -@ < "$1"', "zip", listfile, out + ".zip"],
             env),
        ]
        modes = ["warm", "cold"] if args.cache == "both" else [args.cache]
        print("%d photos, %.2f GB (%.1f MB each on average), %d rounds" %
              (len(paths), total / 1e9, total / len(paths) / 1e6, args.rounds))
        for mode in modes:
            results = {name: [] for name, _, _ in contenders}
            if mode == "warm":
                warm(paths)
            for r in range(args.rounds):
                for name, argv, e in contenders:
                    if mode == "cold":
                        os.sync()
                        drop_from_cache(paths)
                    results[name].append(run(argv, e))
                    os.sync()
                    for leftover in (out, out + ".zip"):
                        if os.path.exists(leftover):
                            os.unlink(leftover)
                    os.sync()
            report(mode, results, total)
    finally:
        shutil.rmtree(work, ignore_errors=True)


def report(mode, results, total):
    print("\n%s cache" % mode)
    print("| %-26s | %8s | %-13s | %6s | %8s | %9s | %9s |" %
          ("contender", "median s", "range s", "MB/s", "peak MiB", "vs cat", "vs python"))
    print("|%s|" % "|".join("-" * w for w in (28, 10, 15, 8, 10, 11, 11)))
    cat = [s for s, _ in results["cat"]]
    py = [s for s, _ in results["python zipfile"]]
    for name, runs in results.items():
        secs = [s for s, _ in runs]
        med = statistics.median(secs)
        vs_cat = statistics.median(s / c for s, c in zip(secs, cat))
        vs_py = statistics.median(s / p for s, p in zip(secs, py))
        print("| %-26s | %8.2f | %5.2f - %5.2f | %6.0f | %8.1f | %9.2f | %9.2f |" %
              (name, med, min(secs), max(secs), total / med / 1e6,
               max(k for _, k in runs) / 1024, vs_cat, vs_py))
    sys.stdout.flush()


def strace(args):
    paths = photos_in(args.photos, args.mb * 1000 * 1000)
    work = tempfile.mkdtemp(prefix="bench_writer.", dir=os.path.dirname(os.path.abspath(args.photos)))
    try:
        listfile = os.path.join(work, "list.txt")
        with open(listfile, "w") as f:
            f.write("\n".join(paths) + "\n")
        out, counts = os.path.join(work, "deck.pptx"), os.path.join(work, "strace.txt")
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        subprocess.run(["strace", "-c", "-f", "-o", counts, *args.tool_argv, "-o", out, "--from",
                        listfile], env=env, check=True)
        print("%d photos, deck %.0f MB" % (len(paths), os.path.getsize(out) / 1e6))
        with open(counts) as f:
            lines = f.read().splitlines()
        shown = ("read", "write", "pread64", "pwrite64", "openat", "close", "newfstatat",
                 "statx", "lseek", "fsync", "fadvise64", "sync_file_range", "copy_file_range",
             "futex", "total")
        print("\n".join(lines[:2] + [l for l in lines[2:] if l.split() and
                                     l.split()[-1] in shown]))
    finally:
        shutil.rmtree(work, ignore_errors=True)


def check(deck):
    started = time.perf_counter()
    with zipfile.ZipFile(deck) as z:
        bad = z.testzip()
        entries = len(z.infolist())
        largest = max(i.file_size for i in z.infolist())
    unzip = subprocess.run(["unzip", "-tqq", deck], capture_output=True, text=True)
    zipinfo = subprocess.run(["zipinfo", "-t", deck], capture_output=True, text=True)
    print("  %s: %.2f GB, %d entries, largest %.2f GB" %
          (os.path.basename(deck), os.path.getsize(deck) / 1e9, entries, largest / 1e9))
    print("    python testzip: %s" % ("ok" if bad is None else "first bad entry " + bad))
    print("    unzip -t: %s" % ("ok" if unzip.returncode == 0 else unzip.stdout + unzip.stderr))
    print("    zipinfo -t: %s" % (zipinfo.stdout.strip() if zipinfo.returncode == 0 else
                                  "exit %d %s" % (zipinfo.returncode, zipinfo.stderr.strip())))
    print("    checked in %.0f s" % (time.perf_counter() - started))
    return bad is None and unzip.returncode == 0 and zipinfo.returncode == 0


def zip64(args):
    paths = photos_in(args.photos)
    work = tempfile.mkdtemp(prefix="bench_zip64.", dir=os.path.dirname(os.path.abspath(args.photos)))
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    ok = True
    try:
        # A photo of 4.5 GiB: a real JPEG with zeros after its end, sparse on the disk.
        huge = os.path.join(work, "huge.jpg")
        shutil.copyfile(paths[0], huge)
        os.truncate(huge, int(4.5 * (1 << 30)))
        listfile = os.path.join(work, "big.txt")
        with open(listfile, "w") as f:
            f.write("\n".join([huge] + paths) + "\n")
        deck = os.path.join(work, "big.pptx")
        started = time.perf_counter()
        with open(deck, "wb") as f:
            tool = subprocess.Popen([*args.tool_argv, "-o", "-", "--from", listfile], env=env,
                                    stdout=subprocess.PIPE)
            shutil.copyfileobj(tool.stdout, f, 1 << 20)
            ok &= tool.wait() == 0
        print("deck over 4 GiB with an entry over 4 GiB, through a pipe: written in %.0f s" %
              (time.perf_counter() - started))
        ok &= check(deck)
        os.unlink(deck)
        # The same into a file: the kernel copies, and the CRCs are written back.
        started = time.perf_counter()
        ok &= subprocess.run([*args.tool_argv, "-o", deck, "--from", listfile], env=env).returncode == 0
        print("the same deck into a file: written in %.0f s" % (time.perf_counter() - started))
        ok &= check(deck)
        os.unlink(deck)

        # 32,767 photos, each its own small file: 98,315 entries.
        small = os.path.join(work, "small")
        os.mkdir(small)
        seed = os.path.join(small, "seed.png")
        subprocess.run(["convert", "-size", "32x24", "xc:tan", seed], check=True)
        names = []
        for i in range(32767):
            name = os.path.join(small, "p%05d.png" % i)
            shutil.copyfile(seed, name)
            names.append(name)
        with open(listfile, "w") as f:
            f.write("\n".join(names) + "\n")
        seconds, peak = run([*args.tool_argv, "-o", deck, "--from", listfile], env)
        print("deck of 32,767 photos: written in %.1f s, peak %.1f MiB" % (seconds, peak / 1024))
        ok &= check(deck)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    sys.exit(0 if ok else 1)


def run_cpu(argv, env):
    """Wall seconds, processor seconds (user and system) and peak resident KiB of one command:
    on a shared machine the processor time varies less than the wall time."""
    with tempfile.NamedTemporaryFile("r") as out:
        start = time.perf_counter()
        done = subprocess.run(["/usr/bin/time", "-f", "%U %S %M", "-o", out.name] + argv,
                              env=env, stdout=subprocess.DEVNULL)
        seconds = time.perf_counter() - start
        if done.returncode != 0:
            sys.exit("bench_writer: %s failed (%d)" % (argv[0], done.returncode))
        user, system, peak = out.read().split()[-3:]
        return seconds, float(user) + float(system), int(peak)


def captions(args):
    paired(args, "no captions", lambda base: [
        ("no captions", base),
        ("--description", base + ["--description"]),
        ("--caption date", base + ["--caption", "date"]),
        ("--caption date --title", base + ["--caption", "date", "--title", "Bench"]),
        ("--four --caption date", base + ["--four", "--caption", "date"]),
    ])


def show(args):
    paired(args, "as it is", lambda base: [
        ("as it is", base),
        ("--advance 5 --loop --transition fade",
         base + ["--advance", "5", "--loop", "--transition", "fade"]),
        ("--fill --background black --grey", base + ["--fill", "--background", "black", "--grey"]),
    ])


def music(args):
    work = tempfile.mkdtemp(prefix="bench_music.")
    try:
        song = os.path.join(work, "song.mp3")
        subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                        "sine=frequency=440:duration=131", "-c:a", "libmp3lame", "-b:a", "320k",
                        song], check=True)
        print("music: %.1f MB" % (os.path.getsize(song) / 1e6))
        paired(args, "as it is", lambda base: [
            ("as it is", base),
            ("--music 5 MB --advance fit", base + ["--music", song, "--advance", "fit"]),
        ])
    finally:
        shutil.rmtree(work, ignore_errors=True)


def cores(args):
    usable = sorted(os.sched_getaffinity(0))
    every = ",".join(str(c) for c in usable)
    ratios = paired(args, "1 core", lambda base: [
        ("1 core", ["taskset", "-c", str(usable[0])] + base),
        ("%d cores" % len(usable), ["taskset", "-c", every] + base),
    ])
    print("speed-up on %d cores: %.2fx" % (len(usable), 1 / ratios["%d cores" % len(usable)]))


def paired(args, first, contenders_of):
    """Every contender once a round, warm cache; ratios to `first` of the same round. Returns
    each contender's median wall-time ratio."""
    paths = photos_in(args.photos)
    if args.count:
        paths = paths[:args.count]
    work = tempfile.mkdtemp(prefix="bench_writer.", dir=os.path.dirname(os.path.abspath(args.photos)))
    try:
        listfile = os.path.join(work, "list.txt")
        with open(listfile, "w") as f:
            f.write("\n".join(paths) + "\n")
        out = os.path.join(work, "deck.pptx")
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        contenders = contenders_of([*args.tool_argv, "-o", out, "--from", listfile])
        warm(paths)
        results = {name: [] for name, _ in contenders}
        for r in range(args.rounds):
            for name, argv in contenders:
                results[name].append(run_cpu(argv, env))
                os.unlink(out)
                os.sync()
        print("%d photos, %d rounds, warm cache; medians, and of the ratios to '%s' run in "
              "the same round" % (len(paths), args.rounds, first))
        print("| %-24s | %6s | %-13s | %8s | %6s | %8s | %8s |" %
              ("build", "wall s", "range s", "vs first", "cpu s", "vs first", "peak MiB"))
        print("|%s|" % "|".join("-" * w for w in (26, 8, 15, 10, 8, 10, 10)))
        plain = results[first]
        medians = {}
        for name, runs in results.items():
            wall = [w for w, _, _ in runs]
            cpu = [c for _, c, _ in runs]
            print("| %-24s | %6.2f | %5.2f - %5.2f | %8.3f | %6.2f | %8.3f | %8.1f |" %
                  (name, statistics.median(wall), min(wall), max(wall),
                   statistics.median(w / p[0] for w, p in zip(wall, plain)),
                   statistics.median(cpu),
                   statistics.median(c / p[1] for c, p in zip(cpu, plain)),
                   max(k for _, _, k in runs) / 1024))
            medians[name] = statistics.median(w / p[0] for w, p in zip(wall, plain))
        return medians
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("what", choices=["times", "strace", "zip64", "captions", "show", "music",
                                           "cores"])
    parser.add_argument("tool")
    parser.add_argument("photos")
    parser.add_argument("--before")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--cache", choices=["warm", "cold", "both"], default="both")
    parser.add_argument("--mb", type=int, default=700)
    parser.add_argument("--count", type=int, default=0, help="only the first COUNT photos")
    parser.add_argument("--ppi", default="original",
                        help="the tool's --ppi; the writer is measured on pictures stored as they are")
    args = parser.parse_args()
    args.tool = os.path.abspath(args.tool)
    args.tool_argv = [args.tool, "--ppi", args.ppi]
    {"times": times, "strace": strace, "zip64": zip64, "captions": captions,
     "show": show, "music": music, "cores": cores}[args.what](args)


if __name__ == "__main__":
    main()
