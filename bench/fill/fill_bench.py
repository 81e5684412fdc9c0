"""From a list reply to the last item shown: 30 previews, natively and under Wine.

usage: fill_bench.py [--runs N] [--repeat K] [--native EXE] [--wine EXE]
Makes 30 previews once as the node makes them (296x156 JPEG, quality 85, centre crop, from the
system's wallpapers, the 30 largest), then starts each fill_bench K times; each start measures N runs after one
warm-up round: cached, uncached from a loopback server that answers each after 100 ms, and the
same 30 fetched one at a time (the anchor). The Wine runs fetch from a native server (the
native fill_bench --serve), as the program fetches from a node outside Wine. Prints each start's figures, then the median and
range of all runs together and the goals met or missed.
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

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
PREVIEWS = 30
RUN = re.compile(r"run \d+: uncached\s+([\d.]+) ms, cached\s+([\d.]+) ms, one at a time\s+([\d.]+) ms")


def make_previews(folder):
    """The 30 largest of the system's wallpapers as previews, as the node makes them: flat
    pictures give previews of a few hundred bytes, which would flatter the decoder."""
    sources = sorted(f for f in glob.glob("/usr/share/backgrounds/**/*", recursive=True)
                     if f.lower().endswith((".jpg", ".jpeg", ".png", ".webp")) and os.path.isfile(f))
    vips = shutil.which("vips")
    made = []
    if vips and len(sources) >= PREVIEWS:
        for i, src in enumerate(sources):
            out = os.path.join(folder, f"s{i}.jpg")
            # Thumbnail with a centre crop, flattened on white, JPEG quality 85.
            subprocess.run([vips, "thumbnail", src, out + "[Q=85,strip,optimize-coding,background=255]",
                            "296", "--height", "156", "--crop", "centre"], check=True,
                           stdout=subprocess.DEVNULL)
            made.append(out)
        made.sort(key=os.path.getsize, reverse=True)
        for i, out in enumerate(made):
            if i < PREVIEWS:
                os.rename(out, os.path.join(folder, f"p{i + 1:02d}.jpg"))
            else:
                os.unlink(out)
    else:
        convert = shutil.which("convert") or sys.exit("need vips and /usr/share/backgrounds, or convert")
        for i in range(PREVIEWS):
            subprocess.run([convert, "-seed", str(i + 1), "-size", "296x156", "plasma:fractal",
                            "-attenuate", "0.3", "+noise", "Gaussian", "-quality", "85",
                            os.path.join(folder, f"p{i + 1:02d}.jpg")], check=True)
    return [os.path.getsize(os.path.join(folder, f"p{i + 1:02d}.jpg")) for i in range(PREVIEWS)]


def summary(values):
    return (f"median {statistics.median(values):8.1f} ms  range {min(values):8.1f}-{max(values):8.1f}"
            f"  ({len(values)} runs)")


def run(label, command, env, log):
    uncached, cached, anchor = [], [], []
    medians = []
    for start in range(args.repeat):
        with open(log, "w") as f:
            rc = subprocess.run(command, env=env, stdin=subprocess.DEVNULL, stdout=f,
                                stderr=subprocess.STDOUT, timeout=900).returncode
        with open(log) as f:
            printed = f.read()
        found = [tuple(float(x) for x in m.groups()) for m in RUN.finditer(printed)]
        if rc != 0 or not found:
            sys.exit(f"{label}: fill_bench failed (exit {rc}): {printed.strip()}")
        b, a, one = zip(*found)
        uncached += b
        cached += a
        anchor += one
        medians.append((statistics.median(b), statistics.median(a), statistics.median(one)))
        print(f"{label} start {start + 1}: medians uncached {medians[-1][0]:.1f} ms, cached "
              f"{medians[-1][1]:.1f} ms, one at a time {medians[-1][2]:.1f} ms, "
              f"ratio {medians[-1][0] / medians[-1][2]:.3f}", flush=True)
    ratios = [m[0] / m[2] for m in medians]
    a_ok = statistics.median(cached) < 50
    b_ok = statistics.median(uncached) < 600
    print(f"{label}:")
    print(f"  A cached          {summary(cached)}  goal < 50 ms: {'met' if a_ok else 'MISSED'}")
    print(f"  B uncached        {summary(uncached)}  goal < 600 ms: {'met' if b_ok else 'MISSED'}")
    print(f"  one at a time     {summary(anchor)}")
    print(f"  ratio B / one at a time per start: median {statistics.median(ratios):.3f} "
          f"range {min(ratios):.3f}-{max(ratios):.3f}", flush=True)


def main():
    global args
    ap = argparse.ArgumentParser()
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--repeat", type=int, default=3)
    ap.add_argument("--native", default=os.path.join(ROOT, "build/native/bench/fill/fill_bench"))
    ap.add_argument("--wine", default=os.path.join(ROOT, "build/win/bench/fill/fill_bench.exe"))
    ap.add_argument("--only", choices=("native", "wine"))
    args = ap.parse_args()

    root = tempfile.mkdtemp(prefix="miaolan-fill-bench-", dir="/dev/shm")
    try:
        sizes = make_previews(root)
        print(f"{PREVIEWS} previews 296x156 JPEG, {min(sizes) // 1024}-{max(sizes) // 1024} KiB "
              f"(median {statistics.median(sizes) / 1024:.0f} KiB); {args.runs} runs per start, "
              f"{args.repeat} starts", flush=True)
        log = os.path.join(root, "out.txt")
        if args.only != "wine":
            run("native, headless engine", [args.native, root, str(args.runs)], dict(os.environ), log)
        if args.only != "native":
            # The previews come from a native server, as a node's would.
            server = subprocess.Popen([args.native, "--serve", root], stdin=subprocess.PIPE,
                                      stdout=subprocess.PIPE, text=True)
            try:
                port = int(server.stdout.readline())
                env = dict(os.environ, MIAOLAN_WINE_ROOT=os.path.join(ROOT, "build/win/wine"),
                           MIAOLAN_NEEDS_DISPLAY="1")
                run("Wine, Win32 engine", [os.path.join(ROOT, "scripts/wine-run.sh"), args.wine, "Z:" + root,
                                           str(args.runs), f"http://127.0.0.1:{port}/p"], env, log)
            finally:
                server.stdin.close()
                try:
                    server.wait(10)
                except subprocess.TimeoutExpired:
                    server.kill()
    finally:
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
