#!/usr/bin/env python3
"""Runs every case of the adversarial corpus through each converter binary and scores the runs.

Called by run.sh once the corpus is made; see run.sh for what is counted. Every run gets a folder
of its own under WORK/runs/LABEL/, so whatever a run leaves behind can be told apart; the clip is
deleted from there once it is scored. Nothing outside WORK is written or deleted.
"""
import argparse
import hashlib
import json
import math
import os
import shutil
import signal
import subprocess
import sys
import time

FPS = 25

# name: (length of the pictures in seconds, a keyframe time past 0, extra copy containers)
SOURCES = {
    "h264.mp4": (8, 1.92, []),
    "bframes.mp4": (8, 1.92, []),
    "bframes.mov": (8, 1.92, ["mp4"]),
    "bframes.mkv": (8, 1.92, ["mp4"]),
    "hevc.mkv": (8, 2.0, ["mp4"]),
    "mpeg2.mpg": (12, 1.8, []),
    "mpeg2.vob": (8, 1.8, []),
    "packed.avi": (6, 1.96, ["mp4"]),
    "wmv2.wmv": (6, 1.92, []),
    "mjpeg.avi": (6, 2.0, ["mkv"]),
    "pcm.mov": (6, 2.0, ["mp4"]),
    "rotated.mp4": (6, 2.0, []),
    "joined.ts": (6, 2.0, ["mp4"]),
    "late.ts": (6, 2.0, ["mp4"]),
    "truncated.mp4": (8, 1.92, []),
    "truncated.mkv": (8, 1.92, []),
    "flipped.mpg": (12, 1.8, []),
}
DAMAGED = {"truncated.mp4", "truncated.mkv", "flipped.mpg"}
SCRAMBLED = {"flipped.mpg"}  # many of its painted numbers cannot be read

MODES = {
    "encode": ["-vcodec", "libx264", "-acodec", "aac"],
    "copy": ["-c", "copy"],
    "exact": ["-c", "copy", "-cut", "exact"],
}


def points(length, keyframe):
    """(name, START, LENGTH or None for to the end) of the cut points tried on every source."""
    return [
        ("mid-group", 1.3, 2),
        ("on-keyframe", keyframe, 2),
        ("to-end", 2.5, None),
        ("past-end", length + 5, 2),
        ("one-frame", 1.5, 0.04),
        ("under-a-frame", 1.5, 0.01),
        ("over-end", length - 0.5, 5),
    ]


def cut_args(start, length):
    return ["-ss", f"{start:g}"] + ([] if length is None else ["-t", f"{length:g}"])


def make_cases():
    """Each case: id, source, argument list (OUT stands for the output), output name, the
    first-frame rule ("exact", "keyframe" or None) and the names a run folder holds beforehand."""
    cases = []

    def add(cid, source, args, out, check, start=None, setup=None):
        cases.append(dict(id=cid, source=source, args=args, out=out, check=check, start=start,
                          setup=setup or []))

    for source, (length, keyframe, extra) in SOURCES.items():
        stem, ext = source.rsplit(".", 1)
        for pname, start, length_arg in points(length, keyframe):
            for mode, margs in MODES.items():
                out_ext = "mp4" if mode == "encode" else ext
                check = "keyframe" if mode == "copy" else "exact"
                add(f"{source}/{mode}/{pname}", source, cut_args(start, length_arg) + margs,
                    f"clip.{out_ext}", check, start)
            if pname in ("mid-group", "to-end", "over-end"):
                for out_ext in extra:
                    for mode in ("copy", "exact"):
                        add(f"{source}/{mode}-to-{out_ext}/{pname}", source,
                            cut_args(start, length_arg) + MODES[mode], f"clip.{out_ext}",
                            "keyframe" if mode == "copy" else "exact", start)

    # Pictures as outputs.
    for source in ("h264.mp4", "bframes.mkv"):
        for ext in ("png", "jpg", "bmp", "tiff"):
            add(f"{source}/picture-{ext}", source, ["-ss", "2", "-t", "0.04"], f"frame.{ext}",
                "exact", 2)
        add(f"{source}/picture-image2", source, ["-ss", "2", "-t", "0.04", "-f", "image2"],
            "frame.png", "exact", 2)
        add(f"{source}/picture-no-length", source, ["-ss", "2"], "frame.png", "exact", 2)

    # OUTPUT the same file as SOURCE: straight, through another path, through a link. The source
    # is a copy inside the run's own folder.
    for mode in ("copy", "encode"):
        for how, out in (("same-name", "own.mp4"), ("other-path", "./sub/../own.mp4"),
                         ("link", "link.mp4")):
            add(f"h264.mp4/{mode}/output-is-source-{how}", "own.mp4",
                ["-ss", "1", "-t", "2"] + MODES[mode], out, None,
                setup=["own.mp4", "sub/", "link.mp4->own.mp4"])

    # Odd numbers.
    for mode in ("copy", "encode"):
        for name, args, start in (
            ("t-1e15", ["-ss", "1", "-t", "1e15"], 1),
            ("t-1e300", ["-ss", "1", "-t", "1e300"], 1),
            ("ss-1e15", ["-ss", "1e15", "-t", "1"], None),
            ("t-zero", ["-ss", "1", "-t", "0"], None),
            ("t-negative", ["-ss", "1", "-t", "-1"], None),
            ("ss-negative", ["-ss", "-1", "-t", "1"], None),
            ("ss-nan", ["-ss", "nan", "-t", "1"], None),
            ("ss-inf", ["-ss", "inf"], None),
        ):
            for source in ("h264.mp4", "late.ts"):
                add(f"{source}/{mode}/{name}", source, args + MODES[mode], "clip.mp4",
                    "exact" if mode == "encode" and start is not None else None, start)

    # A long clip name: the part file beside it must still fit.
    for n in (246, 251):
        add(f"h264.mp4/copy/name-{n}-chars", "h264.mp4", ["-ss", "1", "-t", "1", "-c", "copy"],
            "a" * (n - 4) + ".mp4", None)
    # Settings that cannot work, and containers that cannot take the streams.
    for name, args, out in (
        ("preset-nosuch", ["-vcodec", "libx264", "-preset", "nosuch"], "clip.mp4"),
        ("pix-fmt-rgb48be", ["-vcodec", "libx264", "-pix_fmt", "rgb48be"], "clip.mp4"),
        ("size-1x1", ["-vcodec", "libx264", "-s", "1x1"], "clip.mp4"),
        ("filter-typo", ["-vcodec", "libx264", "-vf", "scale=w=32:h"], "clip.mp4"),
        ("format-null", ["-f", "null"], "clip.nul"),
        ("copy-into-mp3", ["-c", "copy"], "clip.mp3"),
        ("copy-into-mpg", ["-c", "copy"], "clip.mpg"),
        ("copy-into-wav", ["-c", "copy"], "clip.wav"),
    ):
        add(f"h264.mp4/{name}", "h264.mp4", ["-ss", "1", "-t", "1"] + args, out, None)
    return cases


def run(cmd, timeout, **kw):
    """Runs a helper tool; returns (stdout, stderr), both empty when it timed out."""
    try:
        p = subprocess.run(cmd, capture_output=True, timeout=timeout, stdin=subprocess.DEVNULL,
                           **kw)
        return p.stdout, p.stderr
    except subprocess.TimeoutExpired:
        return b"", b"timed out"


def painted_numbers(path, start=None):
    """The number painted into the first picture decoded from PATH (from START if given)."""
    cmd = ["nice", "ffmpeg", "-v", "error", "-nostdin"]
    if start is not None:
        cmd += ["-ss", f"{start:g}"]
    cmd += ["-noautorotate", "-i", path, "-an", "-sn", "-dn", "-map", "0:v:0?", "-vsync",
            "passthrough", "-frames:v", "1", "-f", "image2pipe", "-c:v", "pgm", "-"]
    data, _ = run(cmd, 120)
    return read_pgms(data)


def read_pgms(data):
    """The painted numbers of a run of PGM pictures: an int, -1 for a picture too damaged to
    read, or "WxH" for a picture of another size."""
    numbers = []
    while data.startswith(b"P5"):
        head = data.split(b"\n", 3)
        w, h = map(int, head[1].split())
        pix, data = head[3][: w * h], head[3][w * h:]
        if (w, h) != (96, 64):
            numbers.append(f"{w}x{h}")
            continue
        v = 0
        for b in range(12):
            g = pix[(b // 6 * 32 + 16) * 96 + b % 6 * 16 + 8]
            if g > 170:
                v |= 1 << b
            elif g > 80:
                v = -1
                break
        numbers.append(v)
    return numbers


class Reference:
    """Which picture each source shows when. Every source is made at a constant 25 fps with each
    picture painting its own index, so picture N is on screen from N/25 s after the source's
    first picture until the next one; the ffmpeg tool's decoding from the start, without seeking, gives
    the same times for every source but the AVI with packed B-frames, whose timestamps it puts
    0.12 s late. That decoding tells which pictures the source holds (a truncated source fewer)
    and which are keyframes: a keyframe copy starts with the last keyframe at or before the
    picture on screen at START. Also kept: the first picture of the ffmpeg tool's own cut,
    `ffmpeg -ss START -i SOURCE`, which seeks and takes the first picture starting at or after
    START."""

    def __init__(self, corpus):
        self.corpus = corpus
        self.decoded = {}
        self.cuts = {}
        self.delays = {}

    def pictures(self, source):
        """The readable painted numbers of SOURCE's pictures and those of its keyframes."""
        if source not in self.decoded:
            cmd = ["nice", "ffmpeg", "-v", "info", "-nostdin", "-noautorotate", "-i",
                   os.path.join(self.corpus, source), "-an", "-sn", "-dn", "-map", "0:v:0",
                   "-vf", "showinfo", "-vsync", "passthrough", "-f", "image2pipe", "-c:v",
                   "pgm", "-"]
            data, log = run(cmd, 300)
            keys = [" iskey:1 " in line for line in
                    log.decode("utf-8", "replace").replace("\r", "\n").split("\n")
                    if "pts_time:" in line]
            numbers = read_pgms(data)
            readable = [(n, key) for n, key in zip(numbers, keys) if isinstance(n, int) and n >= 0]
            self.decoded[source] = ({n for n, _ in readable}, {n for n, key in readable if key})
        return self.decoded[source]

    def video_delay(self, source):
        """How long after the source's start its first picture comes (a few milliseconds in
        program and transport streams, whose sound starts first)."""
        if source not in self.delays:
            out, _ = run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                          "stream=start_time:format=start_time", "-of", "json",
                          os.path.join(self.corpus, source)], 60)
            try:
                info = json.loads(out)
                self.delays[source] = max(0.0, float(info["streams"][0]["start_time"])
                                          - float(info["format"]["start_time"]))
            except (ValueError, KeyError, IndexError):
                self.delays[source] = 0.0
        return self.delays[source]

    def frame_at(self, source, start):
        """The number painted into the picture on screen at START, None past the last one."""
        held, _ = self.pictures(source)
        n = max(0, math.floor((start - self.video_delay(source)) * FPS + 1e-6))
        if n in held:
            return n
        # Past the last picture, or a picture the flipped bits made unreadable (not compared).
        return -1 if source in SCRAMBLED and n < SOURCES[source][0] * FPS else None

    def keyframe_before(self, source, start):
        at = self.frame_at(source, start)
        if at is None or at < 0:
            return at
        keys = [k for k in self.pictures(source)[1] if k <= at]
        return max(keys) if keys else at

    def ffmpeg_cut(self, source, start):
        key = (source, start)
        if key not in self.cuts:
            got = painted_numbers(os.path.join(self.corpus, source), start)
            self.cuts[key] = got[0] if got else None
        return self.cuts[key]


def prepare(folder, case, corpus):
    os.makedirs(folder)
    for item in case["setup"]:
        if "->" in item:
            link, target = item.split("->")
            os.symlink(target, os.path.join(folder, link))
        elif item.endswith("/"):
            os.makedirs(os.path.join(folder, item))
        else:
            shutil.copyfile(os.path.join(corpus, "h264.mp4"), os.path.join(folder, item))


def listing(folder):
    names = set()
    for root, dirs, files in os.walk(folder):
        rel = os.path.relpath(root, folder)
        for name in dirs + files:
            p = os.path.normpath(os.path.join(rel, name))
            names.add(p + ("/" if name in dirs and not os.path.islink(os.path.join(root, name))
                           else ""))
    return names


def checkable(*numbers):
    """Whether the pictures compared were readable (None: no picture at all, which counts)."""
    return all(v is None or (isinstance(v, int) and v >= 0) for v in numbers)


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def score_run(label, vorkast, case, work, corpus, limit, ref):
    folder = os.path.join(work, "runs", label, case["n"])
    if os.path.exists(folder):
        shutil.rmtree(folder)
    prepare(folder, case, corpus)
    before = listing(folder)
    own = os.path.join(folder, "own.mp4")
    own_digest = digest(own) if os.path.exists(own) else None
    source = own if case["source"] == "own.mp4" else os.path.join(corpus, case["source"])
    argv = [vorkast, "-y", "-i", source] + case["args"] + [case["out"]]
    log_path = os.path.join(work, "logs", label, case["n"] + ".err")
    os.makedirs(os.path.dirname(log_path), exist_ok=True)
    t0 = time.monotonic()
    hang = False
    with open(log_path, "wb") as log:
        p = subprocess.Popen(["nice", "-n", "10"] + argv, cwd=folder, stdin=subprocess.DEVNULL,
                             stdout=log, stderr=log, start_new_session=True)
        try:
            rc = p.wait(timeout=limit)
        except subprocess.TimeoutExpired:
            hang = True
            os.killpg(p.pid, signal.SIGTERM)  # lets it clean up as on any interruption
            try:
                rc = p.wait(timeout=5)
            except subprocess.TimeoutExpired:
                os.killpg(p.pid, signal.SIGKILL)
                rc = p.wait()
    wall = time.monotonic() - t0
    with open(log_path, "rb") as log:
        tail = log.read()[-400:].decode("utf-8", "replace").strip().splitlines()
    r = dict(id=case["id"], rc=rc, wall=round(wall, 2), hang=hang, crash=(rc < 0 and not hang),
             last=tail[-1] if tail else "", cmd=argv, faults=[])
    out = os.path.normpath(os.path.join(folder, case["out"]))
    wrote = rc in (0, 3) and os.path.isfile(out)
    expected = set(before)
    if wrote:
        expected.add(os.path.relpath(os.path.realpath(out), os.path.realpath(folder)))
    stray = sorted(listing(folder) - expected)
    r["stray"] = stray
    if own_digest is not None:
        r["source_replaced"] = not os.path.exists(own) or digest(own) != own_digest
    if wrote:
        r["size"] = os.path.getsize(out)
        _, errors = run(["nice", "ffmpeg", "-v", "error", "-nostdin", "-i", out, "-f", "null",
                         "-"], 300)
        r["decoder_errors"] = errors.decode("utf-8", "replace").strip().splitlines()[:3]
        if case["check"] and case["start"] is not None and math.isfinite(case["start"]):
            first = painted_numbers(out)
            r["first"] = dict(got=first[0] if first else None)
            judge(r, case, ref)
        # The clip is scored: its space goes back.
        if not os.path.islink(out):
            os.remove(out)
    list_faults(r)
    return r


def judge(r, case, ref):
    """Compares the clip's first picture with the one on screen at START (see Reference)."""
    got = r["first"]["got"]
    want = (ref.keyframe_before if case["check"] == "keyframe" else ref.frame_at)(
        case["source"], case["start"])
    r["first"].update(want=want)
    r.pop("inexact", None)
    r.pop("unlike_ffmpeg_cut", None)
    if checkable(got, want):
        r["inexact"] = got != want
    if case["check"] == "keyframe" and r.get("inexact"):
        # A container with edit lists may hide the lead-in from the keyframe, so the clip shows
        # the very picture on screen at START: as good as it gets.
        at = ref.frame_at(case["source"], case["start"])
        r["first"]["at"] = at
        r["inexact"] = got != at
    if case["check"] == "exact":
        tool = ref.ffmpeg_cut(case["source"], case["start"])
        r["first"]["ffmpeg_cut"] = tool
        if checkable(got, tool):
            r["unlike_ffmpeg_cut"] = got != tool


def overlong(r):
    """Whether the last progress report of a clip passes the whole length of its source."""
    source = r["id"].split("/")[0]
    last = r["last"]
    if source not in SOURCES or not last.startswith("time="):
        return False
    try:
        return float(last[5:]) > SOURCES[source][0] + 0.5
    except ValueError:
        return False


def list_faults(r):
    r["faults"] = []
    if r["hang"]:
        r["faults"].append("hang")
    if r["crash"]:
        r["faults"].append(f"crash (signal {-r['rc']})")
    if r["stray"]:
        r["faults"].append("stray " + " ".join(r["stray"]))
    if r.get("decoder_errors"):
        r["faults"].append("decoder errors: " + r["decoder_errors"][0])
    if r.get("inexact"):
        r["faults"].append(f"first frame {r['first']['got']} instead of {r['first']['want']}"
                           + (f" or {r['first']['at']}" if "at" in r["first"] else ""))
    if r.get("source_replaced"):
        r["faults"].append("source replaced")
    if r["rc"] in (0, 3) and overlong(r):
        r["faults"].append("claims " + r["last"])


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--corpus", required=True)
    ap.add_argument("--work", required=True)
    ap.add_argument("--limit", type=float, default=30)
    ap.add_argument("--only", default="", help="run only the cases whose id holds this text")
    ap.add_argument("--report", action="store_true",
                    help="print the tables again from WORK/results.json without running")
    ap.add_argument("binaries", nargs="*", help="LABEL=PATH")
    a = ap.parse_args()
    started = time.monotonic()
    if a.report:
        with open(os.path.join(a.work, "results.json")) as f:
            results = json.load(f)
        # The first pictures are judged again, so a mended rule needs no new run.
        cases = {c["id"]: c for c in make_cases()}
        ref = Reference(a.corpus)
        for rs in results.values():
            for r in rs:
                if "first" in r:
                    judge(r, cases[r["id"]], ref)
                list_faults(r)
        report(results, a)
        return
    binaries = [b.split("=", 1) for b in a.binaries]
    binaries = [(label, os.path.abspath(path)) for label, path in binaries]
    cases = [c for c in make_cases() if a.only in c["id"]]
    for i, c in enumerate(cases):
        c["n"] = f"{i:03d}"
    ref = Reference(a.corpus)
    results = {label: [] for label, _ in binaries}
    for i, case in enumerate(cases):
        for label, path in binaries:
            r = score_run(label, path, case, a.work, a.corpus, a.limit, ref)
            results[label].append(r)
            if r["faults"]:
                print(f"[{i + 1}/{len(cases)}] {label} {case['id']}: rc {r['rc']}, "
                      + "; ".join(r["faults"]), file=sys.stderr, flush=True)
    with open(os.path.join(a.work, "results.json"), "w") as f:
        json.dump(results, f, indent=1)
    report(results, a)
    print(f"\nwall time of the whole run: {time.monotonic() - started:.0f} s", file=sys.stderr)


def report(results, a):
    """Prints the counts per binary as a Markdown table, then every faulty run."""

    def count(rs, key):
        return sum(1 for r in rs if r.get(key))

    rows = [
        ("runs", lambda rs: len(rs)),
        ("crashes (death by signal)", lambda rs: count(rs, "crash")),
        (f"hangs (killed after {a.limit:g} s)", lambda rs: count(rs, "hang")),
        ("runs leaving stray files", lambda rs: count(rs, "stray")),
        ("clips with decoder errors", lambda rs: count(rs, "decoder_errors")),
        ("  of which from undamaged sources",
         lambda rs: sum(1 for r in rs if r.get("decoder_errors")
                        and r["id"].split("/")[0] not in DAMAGED)),
        ("inexact first frames", lambda rs: count(rs, "inexact")),
        ("first frames checked", lambda rs: sum(1 for r in rs if "inexact" in r)),
        ("first frame unlike the ffmpeg tool's -ss cut (re-encode, exact copy, pictures)",
         lambda rs: count(rs, "unlike_ffmpeg_cut")),
        ("sources replaced by the clip", lambda rs: count(rs, "source_replaced")),
        ("clips claiming more than the source's length (last report)",
         lambda rs: sum(1 for r in rs if r["rc"] in (0, 3) and overlong(r))),
        ("clips written (exit 0 or 3)", lambda rs: sum(1 for r in rs if r["rc"] in (0, 3))),
        ("  of which cut short (exit 3)", lambda rs: sum(1 for r in rs if r["rc"] == 3)),
        ("failed with a message (exit 1)", lambda rs: sum(1 for r in rs if r["rc"] == 1)),
        ("total wall time (s)", lambda rs: round(sum(r["wall"] for r in rs))),
    ]
    labels = list(results)
    # The same cases for every binary: an older converter refuses some cases outright.
    everywhere = set.intersection(*({r["id"] for r in rs if "inexact" in r}
                                    for rs in results.values()))
    rows.insert(8, ("  of which in the cases checked for every binary",
                    lambda rs: sum(1 for r in rs if r.get("inexact") and r["id"] in everywhere)))
    rows.insert(9, ("  cases checked for every binary", lambda rs: len(everywhere)))
    print("| | " + " | ".join(labels) + " |")
    print("|---|" + "---:|" * len(labels))
    for name, f in rows:
        print(f"| {name} | " + " | ".join(str(f(results[l])) for l in labels) + " |")
    for label in labels:
        print(f"\n### Faults of {label}\n")
        for r in results[label]:
            if r["faults"]:
                cmd = " ".join(r["cmd"]).replace(a.corpus + "/", "CORPUS/").replace(
                    r["cmd"][0], "vorkast")
                print(f"- `{r['id']}` ({'; '.join(r['faults'])}; exit {r['rc']}, "
                      f"last line: {r['last'][:120]!r}): `{cmd}`")


if __name__ == "__main__":
    main()
