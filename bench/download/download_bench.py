"""Download benchmark: wpfetch (5 connections) against aria2c -x5 -s5 and curl.

usage: download_bench.py WPFETCH [--size-mib N] [--small-files N] [--runs N] [--baseline WPFETCH]
nginx on 127.0.0.1 serves files from tmpfs; every output goes to tmpfs too. Prints the
throughput, peak RSS and peak anonymous memory (RssAnon) of each tool, our ratio to aria2c,
and the per-file time of many small files one after another against curl's.
"""
import argparse
import hashlib
import os
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def start_nginx(root, www):
    port = free_port()
    conf = os.path.join(root, "nginx.conf")
    with open(conf, "w") as f:
        f.write(f"""daemon off; master_process off; worker_processes 1;
error_log {root}/error.log; pid {root}/nginx.pid;
events {{ worker_connections 1024; }}
http {{ access_log off; sendfile on; tcp_nopush on;
  client_body_temp_path {root}/t1; proxy_temp_path {root}/t2; fastcgi_temp_path {root}/t3;
  uwsgi_temp_path {root}/t4; scgi_temp_path {root}/t5;
  server {{ listen 127.0.0.1:{port}; root {www}; }} }}
""")
    proc = subprocess.Popen(["/usr/sbin/nginx", "-c", conf, "-p", root])
    for _ in range(200):
        try:
            socket.create_connection(("127.0.0.1", port), 0.2).close()
            return proc, port
        except OSError:
            time.sleep(0.02)
    proc.kill()
    sys.exit("nginx did not start")


def stop_nginx(proc):
    if proc:
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(5)
        except subprocess.TimeoutExpired:
            proc.kill()


def status_kib(pid, key):
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith(key + ":"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def measure(argv):
    """Runs argv; returns (seconds, peak RSS KiB, peak RssAnon KiB, exit code)."""
    start = time.perf_counter()
    proc = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    peak_anon = [0]
    done = threading.Event()

    def sample():
        # RssAnon has no high-water mark of its own: sample it while the process runs.
        while not done.is_set():
            peak_anon[0] = max(peak_anon[0], status_kib(proc.pid, "RssAnon"))
            time.sleep(0.002)

    t = threading.Thread(target=sample)
    t.start()
    _, status, usage = os.wait4(proc.pid, 0)
    elapsed = time.perf_counter() - start
    done.set()
    t.join()
    proc.returncode = os.waitstatus_to_exitcode(status)
    return elapsed, usage.ru_maxrss, peak_anon[0], proc.returncode


def digest(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        while True:
            b = f.read(1 << 20)
            if not b:
                return h.hexdigest()
            h.update(b)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("wpfetch")
    ap.add_argument("--size-mib", type=int, default=256)
    ap.add_argument("--small-files", type=int, default=200)
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--baseline", help="a second wpfetch to compare with, e.g. an older build")
    args = ap.parse_args()
    for tool in ("/usr/bin/aria2c", "/usr/bin/curl", "/usr/sbin/nginx"):
        if not os.path.exists(tool):
            sys.exit(f"missing {tool}: run scripts/setup.sh")

    root = tempfile.mkdtemp(prefix="miaolan-bench-", dir="/dev/shm")
    www = os.path.join(root, "www")
    out = os.path.join(root, "out")
    os.makedirs(www)
    os.makedirs(out)
    nginx = None
    try:
        big = os.path.join(www, "big.bin")
        with open(big, "wb") as f:
            for _ in range(args.size_mib):
                f.write(os.urandom(1 << 20))
        want = digest(big)
        size = os.path.getsize(big)
        nginx, port = start_nginx(root, www)
        url = f"http://127.0.0.1:{port}/big.bin"

        def target(name):
            path = os.path.join(out, name)
            if os.path.exists(path):
                os.unlink(path)
            return path

        tools = {
            "wpfetch -5": lambda: [args.wpfetch, url, target("w.bin"), "5"],
            "aria2c -x5 -s5": lambda: ["/usr/bin/aria2c", "-q", "-x5", "-s5", "--allow-overwrite=true",
                                       "--file-allocation=none", "-d", out, "-o", "a.bin", url],
            "curl": lambda: ["/usr/bin/curl", "-s", "-o", target("c.bin"), url],
        }
        outputs = {"wpfetch -5": "w.bin", "aria2c -x5 -s5": "a.bin", "curl": "c.bin"}
        if args.baseline:
            tools["baseline -5"] = lambda: [args.baseline, url, target("b.bin"), "5"]
            outputs["baseline -5"] = "b.bin"
        # The tools take turns, round by round, so a noisy moment of the shared machine falls on
        # all of them; each round's ratios compare runs made side by side.
        runs = {name: [] for name in tools}
        for _ in range(args.runs):
            for name, argv in tools.items():
                if name.startswith("aria2c"):
                    target("a.bin")
                secs, rss, anon, rc = measure(argv())
                ok = rc == 0 and digest(os.path.join(out, outputs[name])) == want
                runs[name].append((size / secs / 1e6, rss, anon, ok))
                os.unlink(os.path.join(out, outputs[name]))

        def spread(values):
            return f"{statistics.median(values):7.0f} {min(values):6.0f}-{max(values):<6.0f}"

        print(f"{args.size_mib} MiB from nginx on 127.0.0.1 (tmpfs), {args.runs} rounds")
        print(f"{'tool':16} {'MB/s median':>11} {'range':>12} {'peak RSS MiB':>13} {'peak RssAnon MiB':>17}")
        for name, results in runs.items():
            mbps = [r[0] for r in results]
            rss = max(r[1] for r in results)
            anon = max(r[2] for r in results)
            ok = all(r[3] for r in results)
            print(f"{name:16} {spread(mbps)} {rss / 1024:13.1f} {anon / 1024:17.1f}{'' if ok else '  WRONG OUTPUT'}")

        def ratios(a, b):
            values = [x[0] / y[0] for x, y in zip(runs[a], runs[b])]
            return f"median {statistics.median(values):.2f}, range {min(values):.2f}-{max(values):.2f}"

        print(f"wpfetch / aria2c per round: {ratios('wpfetch -5', 'aria2c -x5 -s5')} (target >= 1.2)")
        print(f"wpfetch / curl per round:   {ratios('wpfetch -5', 'curl')} (target >= 1.0)")
        if args.baseline:
            print(f"wpfetch / baseline per round: {ratios('wpfetch -5', 'baseline -5')}")
        ours_rss = max(r[1] for r in runs["wpfetch -5"])
        aria_rss = max(r[1] for r in runs["aria2c -x5 -s5"])
        print(f"wpfetch peak RSS {ours_rss / 1024:.1f} MiB vs aria2c {aria_rss / 1024:.1f} MiB "
              f"({'below' if ours_rss < aria_rss else 'NOT below'})")

        n = args.small_files
        for i in range(n):
            with open(os.path.join(www, f"s{i}.bin"), "wb") as f:
                f.write(os.urandom(16384))
        per = {}
        for name in ("wpfetch", "curl"):
            start = time.perf_counter()
            for i in range(n):
                u = f"http://127.0.0.1:{port}/s{i}.bin"
                dest = target(f"s{i}.bin")
                argv = [args.wpfetch, u, dest, "5"] if name == "wpfetch" else ["/usr/bin/curl", "-s", "-o", dest, u]
                subprocess.run(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
            per[name] = (time.perf_counter() - start) / n
        print(f"{n} files of 16 KiB one after another: wpfetch {per['wpfetch'] * 1e3:.2f} ms/file, "
              f"curl {per['curl'] * 1e3:.2f} ms/file, ratio {per['wpfetch'] / per['curl']:.2f}")
    finally:
        stop_nginx(nginx)
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
