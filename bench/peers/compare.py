#!/usr/bin/env python3
"""Start-up time, memory and idle CPU of Kavetta beside two other serial terminals.

Runs under Xvfb (re-starts itself under xvfb-run when no DISPLAY is set). Each round starts
Kavetta, the two yardsticks (bench_bare_window: a bare Qt window, and the same showing one
caption, "Captioned"), CuteCom and GTKTerm one after another, in an order that rotates from
round to round, and measures for each:

  map ms     time from starting the process to the X server mapping its first top-level
             window (a MapNotify on the root window, whose _NET_WM_PID is the process)
  RSS MiB    VmRSS from /proc/PID/status, SETTLE seconds after the window was mapped
  PSS MiB    the proportional share of that (shared libraries split among their users)
  idle ms    CPU time (utime + stime) spent over the IDLE seconds that follow

Each program gets private HOME and XDG folders, created for this run and removed afterwards,
so nothing of the user's settings is read or written; the runtime folders (XDG_RUNTIME_DIR)
are on the tmpfs at /dev/shm where there is one, as a desktop session's /run/user/UID is, and
the rest where the temporary folder is. One untimed warm-up start per program
fills the page cache first. Medians over the rounds are printed as a Markdown table.

Needs: xvfb (xvfb-run), x11-utils (xev, xprop), the programs under test (cutecom, gtkterm).
Python 3 standard library only.

  python3 bench/peers/compare.py [--kavetta build/app/kavetta] [--bare PATH] [--rounds 5]
"""

import argparse
import datetime
import os
import platform
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time

CLOCK_TICKS = os.sysconf("SC_CLK_TCK")


def parse_args():
    here = os.path.dirname(os.path.abspath(__file__))
    default_kavetta = os.path.normpath(os.path.join(here, "..", "..", "build", "app", "kavetta"))
    default_bare = os.path.normpath(os.path.join(here, "..", "..", "build", "bench",
                                                 "bench_bare_window"))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--kavetta", default=default_kavetta, help="path of the kavetta binary")
    parser.add_argument("--bare", default=default_bare,
                        help="path of the bare Qt window the others are measured against")
    parser.add_argument("--cutecom", default="cutecom")
    parser.add_argument("--gtkterm", default="gtkterm")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--settle", type=float, default=2.0,
                        help="seconds after mapping before memory is read")
    parser.add_argument("--idle", type=float, default=5.0,
                        help="seconds of idle over which CPU time is summed")
    parser.add_argument("--timeout", type=float, default=30.0,
                        help="seconds to wait for a window before giving up")
    parser.add_argument("--only", action="append", help="measure only this program (repeatable)")
    return parser.parse_args()


def rerun_under_xvfb():
    if os.environ.get("DISPLAY"):
        return
    if not shutil.which("xvfb-run"):
        sys.exit("compare.py: no DISPLAY and no xvfb-run (Debian package xvfb)")
    argv = ["xvfb-run", "-a", "-s", "-screen 0 1280x1024x24 -dpi 96",
            sys.executable, os.path.abspath(__file__)] + sys.argv[1:]
    os.execvp(argv[0], argv)


class MapWatcher:
    """Follows MapNotify events on the root window through one long-running xev."""

    def __init__(self):
        # xev writes through stdio; line buffering makes each event arrive as it happens.
        self.proc = subprocess.Popen(
            ["stdbuf", "-oL", "xev", "-root", "-event", "substructure"],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, bufsize=1)
        self.lock = threading.Lock()
        self.maps = []  # (monotonic time, window id)
        self.changed = threading.Condition(self.lock)
        threading.Thread(target=self._read, daemon=True).start()
        time.sleep(0.3)  # let xev select its events before anything is started

    def _read(self):
        in_map = False
        for line in self.proc.stdout:
            now = time.monotonic()
            if line.startswith("MapNotify event"):
                in_map = True
                continue
            if in_map:
                in_map = False
                match = re.search(r"window (0x[0-9a-f]+), override (YES|NO)", line)
                if match and match.group(2) == "NO":
                    with self.changed:
                        self.maps.append((now, match.group(1)))
                        self.changed.notify_all()

    def mark(self):
        with self.lock:
            return len(self.maps)

    def wait_for(self, pid, since, deadline):
        """First window mapped after event number `since` that belongs to `pid`."""
        checked = since
        while True:
            with self.changed:
                while len(self.maps) <= checked:
                    left = deadline - time.monotonic()
                    if left <= 0 or not self.changed.wait(left):
                        return None
                pending = self.maps[checked:]
            for when, window in pending:
                checked += 1
                if window_pid(window) == pid:
                    return when

    def close(self):
        self.proc.terminate()
        self.proc.wait()


def window_pid(window):
    out = subprocess.run(["xprop", "-id", window, "_NET_WM_PID"],
                         capture_output=True, text=True).stdout
    match = re.search(r"= (\d+)", out)
    return int(match.group(1)) if match else None


def read_status(pid):
    values = {}
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            key, _, rest = line.partition(":")
            values[key] = rest.strip()
    return values


def rss_kib(pid):
    return int(read_status(pid)["VmRSS"].split()[0])


def pss_kib(pid):
    try:
        with open(f"/proc/{pid}/smaps_rollup") as rollup:
            for line in rollup:
                if line.startswith("Pss:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return None


def cpu_ticks(pid):
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    # Fields after the command name start at field 3 (state); utime and stime are 14 and 15.
    return int(fields[11]) + int(fields[12])


def tmpfs_folder():
    """A folder for the runtime folders on a tmpfs, as a desktop's /run/user/UID is, or None."""
    try:
        with open("/proc/mounts", encoding="utf-8") as mounts:
            if any(line.split()[1:3] == ["/dev/shm", "tmpfs"] for line in mounts):
                return "/dev/shm"
    except OSError:
        pass
    return None


def private_environment(root, runtime_root):
    dirs = {name: os.path.join(root, name) for name in
            ("home", "config", "cache", "data", "state")}
    # Where the runtime folder lies decides what a lock file in it costs: fdatasync is free on a
    # tmpfs and a disk flush elsewhere.
    dirs["runtime"] = os.path.join(runtime_root, os.path.basename(root))
    for path in dirs.values():
        os.makedirs(path, exist_ok=True)
    os.chmod(dirs["runtime"], 0o700)
    env = {
        "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
        "DISPLAY": os.environ["DISPLAY"],
        "LANG": "C.UTF-8",
        "HOME": dirs["home"],
        "XDG_CONFIG_HOME": dirs["config"],
        "XDG_CACHE_HOME": dirs["cache"],
        "XDG_DATA_HOME": dirs["data"],
        "XDG_STATE_HOME": dirs["state"],
        "XDG_RUNTIME_DIR": dirs["runtime"],
    }
    if "XAUTHORITY" in os.environ:
        env["XAUTHORITY"] = os.environ["XAUTHORITY"]
    return env


def stop(proc):
    if proc.poll() is None:
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(timeout=5)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


def measure(watcher, command, env, args):
    since = watcher.mark()
    start = time.monotonic()
    proc = subprocess.Popen(command, env=env, stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        mapped = watcher.wait_for(proc.pid, since, start + args.timeout)
        if mapped is None:
            raise RuntimeError(f"{command[0]}: no window within {args.timeout} s "
                               f"(exit status {proc.poll()})")
        time.sleep(max(0.0, mapped + args.settle - time.monotonic()))
        rss = rss_kib(proc.pid)
        pss = pss_kib(proc.pid)
        before = cpu_ticks(proc.pid)
        time.sleep(args.idle)
        after = cpu_ticks(proc.pid)
        return {
            "map_ms": (mapped - start) * 1000.0,
            "rss_mib": rss / 1024.0,
            "pss_mib": pss / 1024.0 if pss is not None else float("nan"),
            "idle_ms": (after - before) * 1000.0 / CLOCK_TICKS,
        }
    finally:
        stop(proc)


def version_of(package):
    out = subprocess.run(["dpkg-query", "-W", "-f=${Version}", package],
                         capture_output=True, text=True)
    return out.stdout.strip() if out.returncode == 0 else "?"


def project_version():
    """The version of the project() line, the one place it is set."""
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    with open(os.path.join(root, "CMakeLists.txt")) as lists:
        found = re.search(r"project\(Kavetta VERSION ([0-9.]+)", lists.read())
    return found.group(1) if found else "?"


def machine():
    cores = os.cpu_count()
    model = "?"
    try:
        with open("/proc/cpuinfo") as info:
            for line in info:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    system = platform.system()
    try:
        with open("/etc/os-release") as release:
            for line in release:
                if line.startswith("PRETTY_NAME="):
                    system = line.split("=", 1)[1].strip().strip('"')
    except OSError:
        pass
    return f"{cores} cores ({model}), {system}, kernel {platform.release()}"


def main():
    rerun_under_xvfb()
    args = parse_args()
    programs = [
        ("Kavetta", [args.kavetta]),
        ("Bare Qt", [args.bare]),
        # The same with one caption in Japanese: the fonts every window with text loads.
        ("Captioned", [args.bare, "ポート"]),
        ("CuteCom", [args.cutecom]),
        ("GTKTerm", [args.gtkterm]),
    ]
    if args.only:
        programs = [p for p in programs if p[0].lower() in {o.lower() for o in args.only}]
    for name, command in programs:
        if not shutil.which(command[0]):
            sys.exit(f"compare.py: {name} not found ({command[0]})")

    load_before = os.getloadavg()[0]
    scratch = tempfile.mkdtemp(prefix="kavetta-peers-")
    tmpfs = tmpfs_folder()
    runtime_root = tempfile.mkdtemp(prefix="kavetta-peers-", dir=tmpfs or scratch)
    watcher = MapWatcher()
    results = {name: [] for name, _ in programs}
    try:
        envs = {name: private_environment(os.path.join(scratch, name.lower()), runtime_root)
                for name, _ in programs}
        for name, command in programs:  # warm-up, not counted
            measure(watcher, command, envs[name],
                    argparse.Namespace(**{**vars(args), "settle": 0.5, "idle": 0.0}))
        for round_number in range(args.rounds):
            shift = round_number % len(programs)
            order = programs[shift:] + programs[:shift]
            for name, command in order:
                sample = measure(watcher, command, envs[name], args)
                results[name].append(sample)
                print(f"round {round_number + 1} {name:8} map {sample['map_ms']:7.1f} ms  "
                      f"RSS {sample['rss_mib']:6.1f} MiB  PSS {sample['pss_mib']:6.1f} MiB  "
                      f"idle CPU {sample['idle_ms']:5.0f} ms", file=sys.stderr, flush=True)
    finally:
        watcher.close()
        shutil.rmtree(runtime_root, ignore_errors=True)
        shutil.rmtree(scratch, ignore_errors=True)

    versions = {"Kavetta": f"{project_version()} (this build)",
                "Bare Qt": f"Qt {version_of('libqt6widgets6')}",
                "Captioned": f"Qt {version_of('libqt6widgets6')}", "CuteCom": version_of("cutecom"),
                "GTKTerm": version_of("gtkterm")}
    print(f"{datetime.date.today().isoformat()}, {machine()}, Xvfb 1280x1024x24, "
          f"medians of {args.rounds} rounds; memory {args.settle:g} s after the window was "
          f"mapped, CPU over the {args.idle:g} s after that; load average "
          f"{load_before:.1f} before, {os.getloadavg()[0]:.1f} after; runtime folders "
          f"{'on a tmpfs' if tmpfs else 'in the temporary folder (no tmpfs at /dev/shm)'}.")
    print()
    print("| program | version | window mapped (ms) | × bare Qt | × captioned | RSS (MiB) "
          f"| PSS (MiB) | CPU over {args.idle:g} s idle (ms) |")
    print("|---|---|---:|---:|---:|---:|---:|---:|")

    def yardstick(name):
        return (statistics.median(s["map_ms"] for s in results[name])
                if results.get(name) else float("nan"))

    bare, captioned = yardstick("Bare Qt"), yardstick("Captioned")
    for name, _ in programs:
        samples = results[name]

        def median(key):
            return statistics.median(s[key] for s in samples)

        print(f"| {name} | {versions[name]} | {median('map_ms'):.0f} "
              f"| {median('map_ms') / bare:.2f} | {median('map_ms') / captioned:.2f} "
              f"| {median('rss_mib'):.1f} "
              f"| {median('pss_mib'):.1f} | {median('idle_ms'):.0f} |")


if __name__ == "__main__":
    main()
