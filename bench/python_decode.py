#!/usr/bin/env python3
"""Decode time of a 10-million-sample capture from Python against kestrava-decode's.

    PYTHONPATH=build/python python3 bench/python_decode.py [BUILD_DIR]

Writes an 8-bit and a float capture with kestrava-capgen, then takes the best of several
runs of each: kestrava-decode FILE > /dev/null (a whole process: start, file read, decode,
listing), kestrava.decode(FILE), and kestrava.decode_samples on the file's samples already
in a numpy array (as stored, and for the float file as volts)."""
import os
import subprocess
import sys
import tempfile
import time

RUNS = 7


def best(call):
    times = []
    for _ in range(RUNS):
        start = time.perf_counter()
        call()
        times.append(time.perf_counter() - start)
    return min(times)


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
    private = tempfile.mkdtemp(prefix="kestrava-bench-")
    os.environ.setdefault("XDG_DATA_HOME", os.path.join(private, "data"))
    os.environ["TMPDIR"] = private
    sys.path.insert(0, os.path.join(build, "python"))
    import numpy as np
    import kestrava

    decode = os.path.join(build, "bin", "kestrava-decode")
    for form in ("int8", "float"):
        capture = os.path.join(private, form + ".wfm")
        # 583 200 samples per session at 20 samples per bit: 18 of them pass 10 M.
        subprocess.run([os.path.join(build, "bin", "kestrava-capgen"), "--manifest", "-",
                        "--format", form, "--repeat", "18", "-o", capture],
                       check=True, capture_output=True)
        waveform = kestrava.read_waveform(capture)
        count = len(waveform["samples"])
        with open(os.devnull, "wb") as null:
            command_line = best(
                lambda: subprocess.run([decode, capture], stdout=null, check=True))
        figures = [("kestrava-decode FILE > /dev/null", command_line),
                   ("kestrava.decode(FILE)", best(lambda: kestrava.decode(capture))),
                   ("kestrava.decode_samples(%s array)" % waveform["samples"].dtype,
                    best(lambda: kestrava.decode_samples(**waveform)))]
        if form == "float":
            volts = (waveform["samples"] * waveform["scale"] + waveform["offset"])
            for dtype in (np.float32, np.float64):
                array = volts.astype(dtype)
                figures.append(("kestrava.decode_samples(%s volts)" % array.dtype,
                                best(lambda: kestrava.decode_samples(
                                    array, waveform["sample_interval"]))))
        lines = len(kestrava.decode(capture).characters)
        print("%s file: %d samples, %d characters-list lines, best of %d runs" %
              (form, count, lines, RUNS))
        for name, seconds in figures:
            print("  %-40s %6.3f s  %5.0f M samples/s  %+6.1f %%" %
                  (name, seconds, count / seconds / 1e6, (seconds / command_line - 1) * 100))

if __name__ == "__main__":
    main()
