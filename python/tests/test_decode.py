"""Decodes from Python match kestrava-decode item for item, and an array of a file's samples
decodes as the file does."""
import numpy as np

import os

from support import LISTS, SAMPLES, capture, command_line, kestrava, lines, run


def option_args(options):
    args = []
    for key, value in options.items():
        flag = "--" + key.replace("_", "-")
        args += [flag] if value is True else [flag, str(value)]
    return args


def same_as_command_line(path, options):
    decoded = kestrava.decode(path, **options)
    args = option_args(options)
    for name in LISTS:
        code, out, err = command_line(args + ["--list", name, path])
        assert code == 0, err
        items = [(item.tag, item.text) for item in decoded.list(name)]
        assert items == lines(out), name + " differs"
        assert decoded.list(name).text() == out
    code, out, err = command_line(args + ["--report", "--status", path])
    assert code == 0, err
    assert decoded.report == out, "report differs"
    assert decoded.status == err, "status differs"
    assert len(decoded.characters) > 0


def rows_describe_lines(path):
    decoded = kestrava.decode(path)
    for name in LISTS:
        rows = decoded.list(name).to_numpy()
        items = decoded.list(name)
        assert len(rows) == len(items)
        assert [str(t) for t in rows["text"]] == [item.text.rstrip("\0") for item in items]
        assert np.allclose(rows["time"], rows["position"] * decoded.sample_interval)
    chars = decoded.characters.to_numpy()
    marked = np.array(["[rd error]" in str(t) for t in chars["text"]])
    assert np.array_equal(marked, (chars["flags"] & kestrava.FLAG_RD_ERROR) != 0)
    marked = np.array(["[mw rd error]" in str(t) for t in chars["text"]])
    assert np.array_equal(marked, (chars["flags"] & kestrava.FLAG_MW_RD_ERROR) != 0)
    # A FIS line comes from a frame's data word (or its start primitive when it is empty);
    # an invalid code has no value.
    starts = set(chars["position"][np.isin(chars["kind"], ["data", "primitive"])])
    assert set(decoded.fis.to_numpy()["position"]) <= starts
    assert (chars["value"][chars["kind"] == "invalid"] == -1).all()
    assert (chars["kind"] == "invalid").any() and (chars["kind"] == "shift").any()


def array_same_as_file(path, form, options):
    from_file = kestrava.decode(path, **options)
    waveform = kestrava.read_waveform(path)
    if form == "volts64":
        waveform["samples"] = waveform["samples"] * waveform["scale"] + waveform["offset"]
        waveform["scale"], waveform["offset"] = 1.0, 0.0
    if form == "strided":  # a view every other sample of a longer array
        doubled = np.repeat(waveform["samples"], 2)
        waveform["samples"] = doubled[::2]
    if form == "big-endian":
        waveform["samples"] = waveform["samples"].astype(waveform["samples"].dtype.newbyteorder(">"))
    from_array = kestrava.decode_samples(title=path, **waveform, **options)
    for name in LISTS:
        assert from_array.list(name).text() == from_file.list(name).text(), name + " differs"
    assert from_array.report == from_file.report
    assert np.array_equal(from_array.characters.to_numpy(), from_file.characters.to_numpy())


def pandas_frame(path):
    try:
        import pandas  # noqa: F401
    except ImportError:
        print("       (pandas missing: to_pandas left out)")
        return
    decoded = kestrava.decode(path)
    frame = decoded.to_pandas("fis")
    assert list(frame.columns) == ["position", "time", "kind", "text", "value", "flags", "tag"]
    assert len(frame) == len(decoded.fis)


shipped = [os.path.join(SAMPLES, name)
           for name in ("sata-session.wfm", "long-data.wfm", "noisy-13p333.wfm")]
int16 = capture("int16-faults", "--format", "int16", "--scenario", "faults")
floats = capture("float-fis", "--format", "float", "--scenario", "fis", "--version", "1")
inverted = capture("inverted-primitives", "--invert", "--scenario", "primitives",
                   "--byte-order", "big", "--samples-per-bit", "10")
noisy = capture("noisy-session", "--noise", "0.02", "--jitter", "1e-11", "--rise-time", "5e-11",
                "--samples-per-bit", "13.333", "--scenario", "session", "--lane", "device")

cases = [("same as the command line: " + os.path.basename(p), same_as_command_line, p, {})
         for p in shipped + [int16, floats, noisy]]
cases += [
    ("same as the command line: inverted", same_as_command_line, inverted, {"invert": True}),
    ("same as the command line: sync pattern", same_as_command_line, shipped[0],
     {"sync_pattern": "ALIGN"}),
    ("same as the command line: percent thresholds", same_as_command_line, noisy,
     {"ref_level": 45, "hysteresis": 10, "lock_sampler": True}),
    ("same as the command line: volt thresholds", same_as_command_line, int16,
     {"abs_ref_level": 0.01, "abs_hysteresis": 0.05}),
    ("same as the command line: one worker", same_as_command_line, noisy, {"threads": 1}),
    ("rows describe the lines", rows_describe_lines, int16),
    ("pandas frame", pandas_frame, shipped[0]),
]
for path, form, options in [(shipped[0], "raw", {}), (shipped[1], "raw", {}),
                            (shipped[2], "raw", {}), (int16, "raw", {}), (floats, "raw", {}),
                            (inverted, "raw", {"invert": True}), (noisy, "volts64", {}),
                            (int16, "volts64", {}), (shipped[1], "strided", {}),
                            (shipped[1], "big-endian", {})]:
    cases.append(("array as the file: %s %s" % (os.path.basename(path), form),
                  array_same_as_file, path, form, options))
run(cases)
