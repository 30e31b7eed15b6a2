"""A bad option or a bad waveform raises kestrava.DecodeError with the message kestrava-decode
prints; a value of the wrong Python type raises TypeError."""
import os

import numpy as np

from support import LISTS, SAMPLES, SOURCE, command_line, kestrava, run, scratch

GOOD = os.path.join(SAMPLES, "sata-session.wfm")
SAMPLES_OF_GOOD = kestrava.read_waveform(GOOD)


def raises(kind, call, message=None):
    try:
        call()
    except kind as problem:
        assert message is None or str(problem) == message, str(problem)
        return
    raise AssertionError("no " + kind.__name__)


def as_command_line(call, args):
    """The call raises DecodeError with kestrava-decode's complaint (a line, and the reader's
    reason when it gave one)."""
    code, _, err = command_line(args)
    assert code != 0 and 1 <= err.count("\n") <= 2, err
    raises(kestrava.DecodeError, call, err.rstrip("\n"))


def samples(**changes):
    waveform = dict(SAMPLES_OF_GOOD, **changes)
    return lambda: kestrava.decode_samples(**waveform)


def flat_line_decodes_to_nothing():
    decoded = kestrava.decode_samples(np.zeros(4096, np.int16), 1e-10)
    assert [len(decoded.list(name)) for name in LISTS] == [0, 0, 0, 0]


empty = scratch("empty.wfm")
open(empty, "wb").close()
missing = scratch("missing.wfm")

cases = [
    ("missing file", as_command_line, lambda: kestrava.decode(missing), [missing]),
    ("empty file", as_command_line, lambda: kestrava.decode(empty), [empty]),
    ("not a waveform", as_command_line, lambda: kestrava.decode(os.path.join(SOURCE, "README.md")),
     [os.path.join(SOURCE, "README.md")]),
    ("no file name", as_command_line, lambda: kestrava.decode(""), [""]),
    ("read a missing file", as_command_line, lambda: kestrava.read_waveform(missing), [missing]),
    ("unknown option", as_command_line, lambda: kestrava.decode(GOOD, lock_samplers=True),
     ["--lock-samplers", "True", GOOD]),
    ("threshold not a number", as_command_line, lambda: kestrava.decode(GOOD, ref_level="half"),
     ["--ref-level", "half", GOOD]),
    ("volts not a number", as_command_line,
     lambda: kestrava.decode(GOOD, abs_hysteresis="0.1V"), ["--abs-hysteresis", "0.1V", GOOD]),
    ("unknown standard", as_command_line, lambda: kestrava.decode(GOOD, standard="Nope"),
     ["--standard", "Nope", GOOD]),
    ("missing setup", as_command_line, lambda: kestrava.decode(GOOD, setup=missing),
     ["--setup", missing, GOOD]),
    ("array with a bad option", as_command_line, samples(ref_level="x"),
     ["--ref-level", "x", GOOD]),
    ("flag not a bool", raises, TypeError, lambda: kestrava.decode(GOOD, invert="yes")),
    ("value a bool", raises, TypeError, lambda: kestrava.decode(GOOD, ref_level=True)),
    ("an output option", raises, TypeError, lambda: kestrava.decode(GOOD, report=True)),
    ("unsigned samples", raises, TypeError,
     samples(samples=SAMPLES_OF_GOOD["samples"].astype(np.uint8))),
    ("two-dimensional samples", raises, ValueError,
     samples(samples=SAMPLES_OF_GOOD["samples"].reshape(2, -1))),
    ("no samples", raises, kestrava.DecodeError, samples(samples=np.zeros(0, np.int8))),
    ("no sample interval", raises, kestrava.DecodeError, samples(sample_interval=0.0)),
    ("interval not a number", raises, kestrava.DecodeError,
     samples(sample_interval=float("nan"))),
    ("zero scale", raises, kestrava.DecodeError, samples(scale=0.0)),
    ("a flat line is no error", flat_line_decodes_to_nothing),
    ("no such list", raises, KeyError, lambda: kestrava.decode(GOOD).list("frames")),
]
run(cases)
