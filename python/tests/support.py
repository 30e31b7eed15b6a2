"""What the Python module's tests share: a private data folder, the build's programs,
and kestrava-decode run the way a user runs it."""
import os
import subprocess
import sys
import tempfile

# The core keeps its data under XDG_DATA_HOME and its log and temporary files under TMPDIR:
# never the user's. Set before the module is imported, and inherited by the programs.
_private = tempfile.mkdtemp(prefix="kestrava-python-")
os.environ["XDG_DATA_HOME"] = os.path.join(_private, "data")
os.environ["TMPDIR"] = _private

import kestrava  # noqa: E402  (after the environment above)

BUILD = os.environ["KESTRAVA_BUILD_DIR"]
SOURCE = os.environ["KESTRAVA_SOURCE_DIR"]
DECODE = os.path.join(BUILD, "bin", "kestrava-decode")
CAPGEN = os.path.join(BUILD, "bin", "kestrava-capgen")
SAMPLES = os.path.join(SOURCE, "data", "Waveforms")
LISTS = ("characters", "primitives", "fis", "atapi")


def scratch(name):
    return os.path.join(_private, name)


def command_line(args):
    """kestrava-decode's exit code, standard output and standard error."""
    done = subprocess.run([DECODE] + list(args), capture_output=True, timeout=120)
    # Bytes as written: the report's lines end in CR LF.
    return done.returncode, done.stdout.decode("latin-1"), done.stderr.decode("latin-1")


def capture(name, *args):
    """A capture from kestrava-capgen, made once per test run."""
    path = scratch(name + ".wfm")
    if not os.path.exists(path):
        subprocess.run([CAPGEN, "--manifest", "-", "-o", path] + list(args), check=True,
                       capture_output=True, timeout=120)
    return path


def lines(text):
    """A listing's lines as (tag, text) pairs, as kestrava-decode prints them."""
    return [(int(line[2:10], 16), line[13:]) for line in text.splitlines()]


def run(cases):
    """Runs each case (name, function, arguments...) and reports every failure."""
    failures = 0
    for name, check, *args in cases:
        try:
            check(*args)
            print("ok     " + name)
        except Exception as problem:  # a failing case must not hide the ones after it
            failures += 1
            print("FAILED " + name + ": " + repr(problem))
    print("%d of %d failed" % (failures, len(cases)))
    sys.exit(1 if failures else 0)
