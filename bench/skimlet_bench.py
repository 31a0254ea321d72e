#!/usr/bin/python3
"""EPG events scanned per second by skimlet over an 80,000-event SmartEPG version-13 database
and a 20,000-event "PVR.epg", with 10 definitions of 3 patterns each, side by side with
pcre2grep running the same 30 expressions (caseless) over the same texts written one event
per line. The weights never add up to a claim, so every pattern meets every event.

usage: bench/skimlet_bench.py BUILD_DIR [--runs N]"""
import argparse
import datetime
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(SOURCE, "tests", "integration"))
import skimlet_fixtures as fx  # noqa: E402

WORDS = ("the of and news sport film drama comedy weather report live match final league story family "
         "science nature history music concert quiz show talk kitchen garden travel island city night "
         "morning evening detective police doctor hospital school war love ocean mountain river animal "
         "world europe british german french classic series episode season documentary interview "
         "election market money car motor race cup champion player coach team goal win lose").split()

# Ten definitions of three patterns: words, wildcards and regular expressions that rarely or
# never meet, so no search stops early.
PATTERNS = [
    ["zebra*crossing", "/\\bquasar\\b/", "xylophone"],
    ["*nebula*", "/foot(ball|golf)er/", "marzipan"],
    ["/^breaking: /", "glacier?melt", "/\\d{4}-\\d{2}-\\d{2}/"],
    ["/(pirate|viking)s? ship/", "*wombat*", "trombone"],
    ["/opera (house|ball)/", "saxophone", "*kangaroo*"],
    ["/\\b[0-9]{3}[a-z]{2}\\b/", "jellyfish", "/live from [0-9]+/"],
    ["tornado", "/snow(board|shoe)ing/", "*lighthouse*"],
    ["/cook(ing|ery) with /", "volcano", "/\\(repeat\\)/"],
    ["/rugby (union|league) final/", "chess?mate", "*harpsichord*"],
    ["/episode [0-9]+ of [0-9]+ zz/", "origami", "/^the end$/"],
]


def regex(pattern):
    """The expression skimlet makes of a pattern."""
    if len(pattern) > 3 and pattern[0] == "/" and pattern[-1] == "/" and pattern[1] != "/" and pattern[-2] != "/":
        return pattern[1:-1]
    out, i = [], 0
    while i < len(pattern):
        c = pattern[i]
        if c == "\\":
            out.append(pattern[i:i + 2])
            i += 2
            continue
        out.append({".": "\\.", "?": ".", "*": ".*"}.get(c, c))
        i += 1
    return "".join(out)


def sentence(rng, n):
    return " ".join(rng.choice(WORDS) for _ in range(n)).capitalize()


def make_events(rng, count):
    start = datetime.datetime(2024, 5, 1, 6, 0)
    events = []
    for i in range(count):
        events.append(fx.Event(
            channel=0x00c0000100010000 + rng.randrange(60),
            start=start + datetime.timedelta(minutes=15 * (i // 60)), duration=rng.choice((15, 30, 45, 60, 90)),
            name=sentence(rng, rng.randint(2, 6)).encode(), description=sentence(rng, rng.randint(8, 20)).encode(),
            text=sentence(rng, rng.randint(30, 90)).encode(), eventid=i & 0xFFFF, content=rng.choice((0x10, 0x20, 0x41))))
    return events


def best_time(command, runs, env=None):
    best = None
    for _ in range(runs):
        began = time.perf_counter()
        subprocess.run(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
        took = time.perf_counter() - began
        best = took if best is None else min(best, took)
    return best


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    skimlet = os.path.join(args.build, "search", "skimlet")
    pcre2grep = shutil.which("pcre2grep")
    if not os.path.exists(skimlet) or not pcre2grep:
        print("skimlet bench: needs %s and pcre2grep (Debian's pcre2-utils)" % skimlet)
        return 0

    rng = random.Random(5)
    work = tempfile.mkdtemp(prefix="skimlet-bench-")
    try:
        root = os.path.join(work, "pvr")
        os.makedirs(os.path.join(root, fx.ROOT_FOLDER))
        fx.write_dumps(root)
        definitions = [fx.definition_lines("Def %d" % i, [("B", p, 16) for p in patterns])
                       for i, patterns in enumerate(PATTERNS)]
        search = fx.write_definitions(root, definitions)
        expressions = []
        for patterns in PATTERNS:
            for p in patterns:
                expressions += ["-e", regex(p)]
        env = fx.skimlet_env(root)

        print("EPG search: events scanned per second (10 definitions x 3 patterns, best of %d runs)" % args.runs)
        print("%-28s %10s %12s %12s %12s %8s" % ("source", "events", "skimlet s", "pcre2grep s", "skimlet ev/s",
                                                 "ratio"))
        for label, source, count in (("SmartEPG v13 database", "smartepg13", 80000), ('"PVR.epg"', "pvr", 20000)):
            events = make_events(rng, count)
            if source == "pvr":
                fx.write_pvr_epg(root, events)
            else:
                fx.write_se_v13(root, events)
            lines = os.path.join(work, source + ".txt")
            with open(lines, "wb") as f:
                for e in events:
                    f.write(e.name + b" " + e.description + b" " + e.text + b"\n")
            ours = best_time([skimlet, "-d", search, "-s", source, "-r", "/%s/results.epg" % fx.ROOT_FOLDER],
                             args.runs, env)
            theirs = best_time([pcre2grep, "-i", "-c", *expressions, lines], args.runs)
            print("%-28s %10d %12.3f %12.3f %12.0f %7.2fx" % (label, count, ours, theirs, count / ours,
                                                              ours / theirs))
        print("(ratio = skimlet time / pcre2grep time; goal: at most 2x)")
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
