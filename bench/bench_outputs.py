#!/usr/bin/env python3
"""The show as a video and the deck as a PDF, each against what people use today.

    bench/bench_outputs.py video TOOL PHOTOS [--count 40] [--rounds 3] [--keep DIR]
    bench/bench_outputs.py pdf   TOOL PHOTOS [--count 40] [--rounds 3]

PHOTOS is a folder of IMG_*.jpg as bench/make_photos.py makes them (4032x3024 for 12 MP);
the first COUNT are used.

video: a 16:9 show, one photo a slide fitted (--wide --fit), 5 seconds a slide with a fade:
COUNT x 5 seconds of video. Contenders, one after the other in each round:

  slidemill-build    -o show.mp4
  ffmpeg route       what people write by hand: every photo scaled to 1920x1080 by ffmpeg
                     (one run a photo), then one ffmpeg run that shows each for 5 seconds,
                     cross-fades into the next over 1 second (xfade) and encodes with the same
                     x264 preset and quality (veryfast, crf 20) at 30 frames a second

Prints the median wall time, processor time and peak resident memory of each (the ffmpeg
route's peak is its largest run's), how many times faster than real time each is, and the
median of the paired ratios. Then checks slidemill's video: ffprobe's codecs, size, duration
against the show's and frame count, and that `ffmpeg -v error -i show.mp4 -f null -` prints
nothing; with chromium installed, a headless screenshot of a <video> element at 1 second.

pdf: the same photos, four a slide with names, as .pptx and as .pdf at the default ppi:
median times and sizes, their ratios, and `pdfimages -list`'s pictures and resolutions.
"""
import argparse
import glob
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

PRESET, CRF, FPS = "veryfast", 20, 30


def run(args, **kw):
    """Wall seconds, processor seconds and peak resident MiB of one command."""
    start = time.monotonic()
    proc = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, **kw)
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.monotonic() - start
    err = proc.stderr.read().decode(errors="replace")
    proc.stderr.close()
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"{args[0]} failed: {err}")
    return wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024


def slidemill_video(tool, photos, out):
    return run([tool, "--quiet", "--wide", "--fit", "--advance", "5", "--transition", "fade",
                "--ppi", "original", "-o", out] + photos)


def ffmpeg_route(photos, work, out):
    """Scaled copies, then the show; the times add up, the peak is the largest run's."""
    wall = cpu = peak = 0.0
    scaled = []
    for i, photo in enumerate(photos):
        copy = os.path.join(work, f"scaled{i:03}.jpg")
        w, c, p = run(["ffmpeg", "-v", "error", "-y", "-i", photo, "-vf",
                       "scale=1920:1080:force_original_aspect_ratio=decrease", "-q:v", "2", copy])
        wall, cpu, peak = wall + w, cpu + c, max(peak, p)
        scaled.append(copy)
    args = ["ffmpeg", "-v", "error", "-y"]
    n = len(scaled)
    for i, copy in enumerate(scaled):
        # Each but the last runs a second into the next slide's time, where the fade is.
        args += ["-loop", "1", "-framerate", str(FPS), "-t", "6" if i < n - 1 else "5", "-i", copy]
    chains = [f"[{i}:v]scale=1920:1080:force_original_aspect_ratio=decrease,"
              f"pad=1920:1080:(ow-iw)/2:(oh-ih)/2:white,setsar=1,format=yuv420p[s{i}]"
              for i in range(n)]
    last = "s0"
    for i in range(1, n):
        chains.append(f"[{last}][s{i}]xfade=transition=fade:duration=1:offset={5 * i}[x{i}]")
        last = f"x{i}"
    args += ["-filter_complex", ";".join(chains), "-map", f"[{last}]", "-c:v", "libx264",
             "-preset", PRESET, "-crf", str(CRF), "-pix_fmt", "yuv420p", "-r", str(FPS),
             "-movflags", "+faststart", out]
    w, c, p = run(args)
    return wall + w, cpu + c, max(peak, p)


def probe(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-count_packets", "-show_streams",
                          "-show_format", "-of", "json", path], capture_output=True, check=True)
    return json.loads(out.stdout)


def screenshot(video, png):
    """Chromium headless, a page whose <video> is at 1 second: what it draws there."""
    chromium = shutil.which("chromium")
    if not chromium:
        return "chromium is not installed: no screenshot"
    page = os.path.join(os.path.dirname(video), "play.html")
    with open(page, "w") as f:
        f.write("<html><body style='margin:0;background:#888'>"
                f"<video id=v muted src='{os.path.basename(video)}' width=960 height=540></video>"
                "<script>const v=document.getElementById('v');"
                "v.addEventListener('loadeddata',()=>{v.currentTime=1;});"
                "</script></body></html>")
    subprocess.run([chromium, "--headless", "--no-sandbox", "--disable-gpu",
                    "--autoplay-policy=no-user-gesture-required", "--allow-file-access-from-files",
                    "--virtual-time-budget=5000", "--window-size=960,540",
                    f"--screenshot={png}", "file://" + page],
                   capture_output=True, timeout=120)
    return png if os.path.exists(png) else "chromium made no screenshot"


def video(args, photos):
    work = tempfile.mkdtemp(prefix="bench-video-")
    show_seconds = 5 * len(photos)
    results = {"slidemill-build": [], "ffmpeg route": []}
    for _ in range(args.rounds):
        ours = os.path.join(work, "show.mp4")
        theirs = os.path.join(work, "route.mp4")
        results["slidemill-build"].append(slidemill_video(args.tool, photos, ours))
        results["ffmpeg route"].append(ffmpeg_route(photos, work, theirs))
    print(f"{len(photos)} photos, {show_seconds} s of video, {args.rounds} rounds, "
          f"{os.cpu_count()} cores")
    for name, rows in results.items():
        wall = statistics.median(r[0] for r in rows)
        cpu = statistics.median(r[1] for r in rows)
        peak = max(r[2] for r in rows)
        print(f"  {name:16} wall {wall:6.1f} s ({min(r[0] for r in rows):.1f}-"
              f"{max(r[0] for r in rows):.1f}), processor {cpu:6.1f} s, peak {peak:6.1f} MiB, "
              f"{show_seconds / wall:5.1f}x real time")
    ratios = [t[0] / o[0] for o, t in zip(results["slidemill-build"], results["ffmpeg route"])]
    print(f"  the ffmpeg route takes {statistics.median(ratios):.2f} times slidemill's wall time "
          f"(paired, {min(ratios):.2f}-{max(ratios):.2f})")

    info = probe(ours)
    streams = {s["codec_type"]: s for s in info["streams"]}
    v = streams["video"]
    print(f"  video: {v['codec_name']} {v['width']}x{v['height']} {v['pix_fmt']}, "
          f"{v.get('nb_read_packets')} frames stored, duration {float(info['format']['duration']):.3f} s "
          f"(show {show_seconds} s), size {int(info['format']['size']) / 1e6:.1f} MB; "
          f"route's {os.path.getsize(theirs) / 1e6:.1f} MB")
    errors = subprocess.run(["ffmpeg", "-v", "error", "-i", ours, "-f", "null", "-"],
                            capture_output=True, text=True).stderr
    print(f"  ffmpeg -v error: {'nothing' if not errors else errors.strip()}")
    print(f"  browser: {screenshot(ours, os.path.join(work, 'browser.png'))}")
    if args.keep:
        os.makedirs(args.keep, exist_ok=True)
        for name in ("show.mp4", "browser.png"):
            if os.path.exists(os.path.join(work, name)):
                shutil.copy(os.path.join(work, name), args.keep)
    shutil.rmtree(work)


def pdf(args, photos):
    work = tempfile.mkdtemp(prefix="bench-pdf-")
    rows = {"pptx": [], "pdf": []}
    for _ in range(args.rounds):
        for kind in rows:
            out = os.path.join(work, f"deck.{kind}")
            rows[kind].append(run([args.tool, "--quiet", "--four", "--caption", "name", "-o", out]
                                  + photos) + (os.path.getsize(out),))
    print(f"{len(photos)} photos, four a slide with names, at the default ppi, {args.rounds} rounds")
    for kind, r in rows.items():
        print(f"  {kind:5} wall {statistics.median(x[0] for x in r):6.2f} s, processor "
              f"{statistics.median(x[1] for x in r):6.2f} s, peak {max(x[2] for x in r):6.1f} MiB, "
              f"size {r[0][3] / 1e6:6.2f} MB")
    time_ratio = statistics.median(b[0] / a[0] for a, b in zip(rows["pptx"], rows["pdf"]))
    print(f"  pdf/pptx: time {time_ratio:.2f}, size {rows['pdf'][0][3] / rows['pptx'][0][3]:.3f}")
    listing = subprocess.run(["pdfimages", "-list", os.path.join(work, "deck.pdf")],
                             capture_output=True, text=True).stdout.splitlines()
    print("  pdfimages -list (first 3 of %d):" % (len(listing) - 2))
    for line in listing[:5]:
        print("    " + line)
    shutil.rmtree(work)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("what", choices=["video", "pdf"])
    parser.add_argument("tool")
    parser.add_argument("photos")
    parser.add_argument("--count", type=int, default=40)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--keep")
    args = parser.parse_args()
    photos = sorted(glob.glob(os.path.join(args.photos, "IMG_*.jpg")))[: args.count]
    if len(photos) < args.count:
        sys.exit(f"{args.photos} holds {len(photos)} photos; make more with bench/make_photos.py")
    (video if args.what == "video" else pdf)(args, photos)


if __name__ == "__main__":
    main()
