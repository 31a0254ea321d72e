"""Sanitizer reports in what the programs under test print. In the sanitizer build the
integration tests run the sanitized pvrsim, TAPs and skimlet: any report fails the test.

A TAP that pvrsim has unloaded (dlclose) is gone when the leak check runs at exit, so the
frames of its code show as "<unknown module>". The TAPs' load addresses are noted while
they run (taps_loaded) so that such frames can be named with addr2line afterwards.
"""
import os
import re
import subprocess
import sys

MARKERS = ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:",
           "ERROR: UndefinedBehaviorSanitizer")

# Stop at the first error, check for leaks at exit, and let an allocation that cannot be
# served fail as it would on the PVR (product code checks for null).
DEFAULT_OPTIONS = {
    "ASAN_OPTIONS": "halt_on_error=1:detect_leaks=1:allocator_may_return_null=1:check_initialization_order=1",
    "UBSAN_OPTIONS": "halt_on_error=1:print_stacktrace=1",
}


def set_default_options(probe, environ=os.environ):
    """Sets the options unless given. The leak check is left off where LeakSanitizer cannot
    work (under ptrace, for one), as a run of the program probe ("-h") shows."""
    for name, value in DEFAULT_OPTIONS.items():
        environ.setdefault(name, value)
    if "detect_leaks=1" in environ["ASAN_OPTIONS"] and os.path.exists(probe):
        run = subprocess.run([probe, "-h"], env=environ, capture_output=True, timeout=60)
        if b"LeakSanitizer has encountered a fatal error" in run.stdout + run.stderr:
            environ["ASAN_OPTIONS"] = environ["ASAN_OPTIONS"].replace("detect_leaks=1", "detect_leaks=0")
            print("sanitizers: LeakSanitizer does not work here; leaks are not checked", file=sys.stderr)


def report(text):
    """The part of text from the first sanitizer report on, or an empty string."""
    starts = [text.find(m) for m in MARKERS if m in text]
    if not starts:
        return ""
    begin = text.rfind("\n", 0, min(starts)) + 1
    return text[begin:]


def taps_loaded(pid):
    """(path, start, end) of every TAP file mapped into process pid."""
    spans = {}
    try:
        with open(f"/proc/{pid}/maps") as maps:
            for line in maps:
                fields = line.split()
                if len(fields) < 6 or not fields[5].endswith(".tap"):
                    continue
                start, end = (int(x, 16) for x in fields[0].split("-"))
                low, high = spans.get(fields[5], (start, end))
                spans[fields[5]] = (min(low, start), max(high, end))
    except OSError:
        pass
    return [(path, low, high) for path, (low, high) in spans.items()]


_UNKNOWN_FRAME = re.compile(r"^(\s*#\d+ )0x([0-9a-f]+)\s+\(<unknown module>\)", re.M)


def name_unloaded_frames(text, taps):
    """Replaces "<unknown module>" frames that lie in one of taps by function and line."""
    def name(m):
        pc = int(m.group(2), 16)
        for path, low, high in taps:
            if low <= pc < high and os.path.exists(path):
                out = subprocess.run(["addr2line", "-f", "-C", "-e", path, hex(pc - low)],
                                     capture_output=True, text=True, timeout=30).stdout.split("\n")
                if len(out) >= 2:
                    return f"{m.group(1)}0x{m.group(2)} in {out[0]} {out[1]} ({os.path.basename(path)}, unloaded)"
        return m.group(0)
    return _UNKNOWN_FRAME.sub(name, text)


def check(text, program, taps=()):
    """Fails with the report when text holds one."""
    found = report(text)
    if found:
        raise AssertionError(f"sanitizer report from {program}:\n{name_unloaded_frames(found, taps)}")
