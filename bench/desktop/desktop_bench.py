"""From the download reply to the desktop call, under Wine, against curl + ImageMagick.

usage: desktop_bench.py DESKTOP_BENCH_EXE [--runs N]
A 3840x2160 JPEG is served by nginx on 127.0.0.1 from tmpfs. desktop_bench.exe (built in the
Windows tree) runs the visible download slot N times in one process: five connections, GDI+
re-encoding to the desktop bitmap, the desktop call. The anchor, in the same run: curl fetching
the file and `convert` writing it as a BMP, N times. Prints medians, ranges and the ratio.
"""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "download"))
from download_bench import start_nginx, stop_nginx  # noqa: E402

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))


def wine_env():
    wine_root = os.path.join(ROOT, "build", "win", "wine")
    env = dict(os.environ)
    env.update(WINEPREFIX=os.path.join(wine_root, "prefix"), HOME=os.path.join(wine_root, "home"),
               WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d",
               LC_ALL="zh_CN.UTF-8")
    return env


def summary(values):
    return f"median {statistics.median(values):7.1f} ms  range {min(values):7.1f}-{max(values):7.1f}"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("exe")
    ap.add_argument("--runs", type=int, default=7)
    args = ap.parse_args()
    for tool in ("/usr/bin/curl", "/usr/sbin/nginx", "/usr/lib/wine/wine64"):
        if not os.path.exists(tool):
            sys.exit(f"missing {tool}: run scripts/setup.sh")
    convert = shutil.which("convert") or sys.exit("missing ImageMagick convert")

    root = tempfile.mkdtemp(prefix="miaolan-desktop-bench-", dir="/dev/shm")
    www = os.path.join(root, "www")
    os.makedirs(www)
    nginx = None
    env = wine_env()
    # One persistent server, warmed up with its stdio on /dev/null: Wine's background processes
    # would otherwise hold a pipe of ours open long after the bench exe has ended.
    quiet = dict(env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(["/usr/lib/wine/wineserver", "-p"], **quiet)
    subprocess.run(["/usr/lib/wine/wine64", "wineboot"], **quiet)
    try:
        picture = os.path.join(www, "4k.jpg")
        # A photograph-like picture: smooth fractal colour with fine noise, as a camera gives.
        subprocess.run([convert, "-size", "960x540", "plasma:fractal", "-resize", "3840x2160!",
                        "-attenuate", "0.3", "+noise", "Gaussian", "-quality", "92", picture], check=True)
        size = os.path.getsize(picture)
        nginx, port = start_nginx(root, www)
        url = f"http://127.0.0.1:{port}/4k.jpg"
        print(f"3840x2160 JPEG of {size / 1e6:.2f} MB from nginx on 127.0.0.1, {args.runs} runs each")

        report = os.path.join(root, "ours.txt")
        with open(report, "w") as f:
            rc = subprocess.run(["/usr/lib/wine/wine64", args.exe, url, str(args.runs)], env=env,
                                stdin=subprocess.DEVNULL, stdout=f, stderr=subprocess.STDOUT, timeout=600).returncode
        with open(report) as f:
            printed = f.read()
        if rc != 0:
            sys.exit(f"desktop_bench failed: {printed.strip()}")
        totals, downloads, encodes, calls = [], [], [], []
        for line in printed.splitlines():
            m = re.match(r"run \d+: ([\d.]+) ms to the desktop call, ([\d.]+) ms downloading "
                         r"\(encoding ([\d.]+) ms, desktop call ([\d.]+) ms\)", line)
            if m:
                for values, text in zip((totals, downloads, encodes, calls), m.groups()):
                    values.append(float(text))
        if not totals:
            sys.exit(f"desktop_bench printed no runs: {printed!r}")

        anchor, fetch = [], []
        out = os.path.join(root, "c.jpg")
        bmp = os.path.join(root, "c.bmp")
        for _ in range(args.runs):
            start = time.perf_counter()
            subprocess.run(["/usr/bin/curl", "-s", "-o", out, url], check=True)
            fetched = time.perf_counter()
            subprocess.run([convert, out, bmp], check=True)
            anchor.append((time.perf_counter() - start) * 1e3)
            fetch.append((fetched - start) * 1e3)
            os.unlink(out)
            os.unlink(bmp)

        print(f"ours (Wine): reply to desktop call   {summary(totals)}")
        print(f"             of which downloading    {summary(downloads)}")
        print(f"             GDI+ decode + encode    {summary(encodes)}")
        print(f"             desktop call + redraw   {summary(calls)}")
        print(f"curl + convert to BMP               {summary(anchor)}")
        print(f"             of which curl           {summary(fetch)}")
        print(f"ratio ours / (curl + convert), medians: "
              f"{statistics.median(totals) / statistics.median(anchor):.2f} (goal <= 1.0)")
    finally:
        stop_nginx(nginx)
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
