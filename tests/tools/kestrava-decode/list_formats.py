#!/usr/bin/env python3
"""kestrava-decode --format csv|json read back with Python's own csv and json modules:
every record matches its line of the text list (the link list's too), and --hide-filler
drops only filler."""
import csv
import io
import json
import os
import subprocess
import sys
import tempfile

DECODE, CAPGEN = sys.argv[1], sys.argv[2]
FAILURES = []


def check(condition, what):
    if not condition:
        FAILURES.append(what)


def run(*args):
    done = subprocess.run([DECODE, *args], capture_output=True, text=True, check=False)
    if done.returncode != 0:
        sys.exit(f"kestrava-decode {' '.join(args)} failed: {done.stderr}")
    return done.stdout, done.stderr


def text_lines(out):
    """(tag, text) of each line: '0x0000003f:  text'."""
    return [(int(line[2:10], 16), line[13:]) for line in out.split("\n")[:-1]]


def check_list(wfm, name, interval):
    text, _ = run("--list", name, wfm)
    lines = text_lines(text)
    check(run("--list", name, "--format", "text", wfm)[0] == text, f"{name}: --format text")

    rows = list(csv.DictReader(io.StringIO(run("--list", name, "--format", "csv", wfm)[0])))
    json_lines = run("--list", name, "--format", "json", wfm)[0].split("\n")[:-1]
    header = json.loads(json_lines[0])
    check(header == {"schema": "kestrava-list", "version": 1, "list": name}, f"{name}: {header}")
    records = [json.loads(line) for line in json_lines[1:]]

    check(len(rows) == len(lines) == len(records),
          f"{name}: {len(lines)} lines, {len(rows)} CSV rows, {len(records)} JSON records")
    for (tag, line), row, record in zip(lines, rows, records):
        where = f"{name} line {tag:#x} {line!r}"
        check(int(row["tag"]) == tag == record["tag"], f"{where}: tag")
        check(row["text"] == line == record["text"], f"{where}: text {row['text']!r}")
        check(row["kind"] == record["kind"] != "", f"{where}: kind")
        check(row["value"] == (record["value"] or ""), f"{where}: value")
        check(row["flags"] == "|".join(record["flags"]), f"{where}: flags")
        check(row["lane"] == "" and record["lane"] is None, f"{where}: lane")
        sample = record["sample"]
        check(sample is not None and int(row["sample"]) == sample, f"{where}: sample")
        if name == "characters":
            check(sample == tag - 1, f"{where}: sample of the tag")
        # The manifest gives the interval to six digits.
        near = lambda t: abs(t - sample * interval) <= 1e-5 * (sample + 1) * interval
        check(near(float(row["time_s"])) and near(record["time_s"]), f"{where}: time")
    return lines, records


VERDICT_FLAGS = ("crc-error", "malformed", "cut-short", "held")


def link_lines(out):
    """(time in us, lane, text) of each line: '      0.6403 us  H>D  text'."""
    return [(float(line[:12]), line[17:20], line[22:]) for line in out.split("\n")[:-1]]


def check_link(host, device, *extra):
    lanes = ("--lane", "host=" + host, "--lane", "device=" + device, "--list", "link", *extra)
    lines = link_lines(run(*lanes)[0])
    rows = list(csv.DictReader(io.StringIO(run(*lanes, "--format", "csv")[0])))
    json_lines = run(*lanes, "--format", "json")[0].split("\n")[:-1]
    header = json.loads(json_lines[0])
    check(header == {"schema": "kestrava-list", "version": 1, "list": "link"}, f"link: {header}")
    records = [json.loads(line) for line in json_lines[1:]]
    check(len(rows) == len(lines) == len(records),
          f"link: {len(lines)} lines, {len(rows)} CSV rows, {len(records)} JSON records")
    for (us, lane, line), row, record in zip(lines, rows, records):
        where = f"link {us} {lane} {line!r}"
        check(row["tag"] == "" and record["tag"] is None, f"{where}: tag")
        check(row["lane"] == lane == record["lane"], f"{where}: lane")
        check(row["text"] == line == record["text"], f"{where}: text")
        check(row["kind"] == record["kind"] in ("run", "frame"), f"{where}: kind")
        check(row["value"] == (record["value"] or "") != "" or line.startswith("no FIS"),
              f"{where}: value")
        check(row["flags"] == "|".join(record["flags"]), f"{where}: flags")
        check(abs(float(row["time_s"]) * 1e6 - us) <= 5e-5 and
              abs(record["time_s"] * 1e6 - us) <= 5e-5, f"{where}: time")
        check(record["sample"] is not None and int(row["sample"]) == record["sample"],
              f"{where}: sample")
    # A frame's verdict flags are those its lane's frames list gives, frame for frame.
    for name, path in (("H>D", host), ("D>H", device)):
        frames = [json.loads(line)["flags"] for line in
                  run("--list", "frames", "--format", "json", path)[0].split("\n")[1:-1]]
        linked = [[f for f in r["flags"] if f in VERDICT_FLAGS] for r in records
                  if r["lane"] == name and r["kind"] == "frame"]
        check(linked == frames, f"{name} frame flags {linked} against {frames}")
    return records


def interval_of(manifest):
    for line in open(manifest, encoding="utf-8"):
        if line.startswith("sample interval s: "):
            return float(line.split(": ")[1])
    sys.exit("no sample interval in " + manifest)


def capture(folder, scenario, lane="host"):
    wfm = os.path.join(folder, f"{scenario}-{lane}.wfm")
    subprocess.run([CAPGEN, "--scenario", scenario, "--lane", lane, "--samples-per-bit", "10",
                    wfm], check=True, capture_output=True)
    return wfm, interval_of(wfm[:-4] + ".txt")


def main():
    with tempfile.TemporaryDirectory() as folder:
        faults, faults_interval = capture(folder, "faults")
        verdicts, verdicts_interval = capture(folder, "verdicts")
        for name in ("characters", "primitives", "fis", "atapi"):
            check_list(faults, name, faults_interval)
        _, chars = check_list(faults, "characters", faults_interval)
        check(sum("invalid" in r["flags"] for r in chars) == 1, "one invalid character")
        check(any("rd-error" in r["flags"] for r in chars), "a disparity error")
        _, frames = check_list(verdicts, "frames", verdicts_interval)
        flags = [r["flags"] for r in frames]
        check(flags[1] == ["crc-error"] and flags[3] == ["held"]
              and flags[6] == ["malformed", "cut-short"], f"frame flags {flags}")

        # Filler: the rest of the list, in order, and how many went on stderr.
        lines = text_lines(run("--list", "primitives", faults)[0])
        kept_text, err = run("--list", "primitives", "--hide-filler", faults)
        kept = text_lines(kept_text)
        check(not any(t in ("ALIGN", "SYNC", "CONT") for _, t in kept), "filler left")
        check(all(line in lines for line in kept), "a line that was not in the list")
        hidden = len(lines) - len(kept)
        check(hidden > 0 and f"{hidden} filler lines hidden" in err, f"count: {err!r}")
        rows = list(csv.DictReader(io.StringIO(
            run("--list", "primitives", "--hide-filler", "--format", "csv", faults)[0])))
        check([(int(r["tag"]), r["text"]) for r in rows] == kept, "hidden in CSV as in text")

        host, _ = capture(folder, "link-answers")
        device, _ = capture(folder, "link-answers", "device")
        records = check_link(host, device)
        flags = [(r["lane"], r["kind"], r["flags"]) for r in records
                 if set(r["flags"]) & {"r-ok", "r-err", "stalled", "holda"}]
        check(flags == [("H>D", "frame", ["r-rdy", "r-ok"]),
                        ("D>H", "frame", ["r-rdy", "r-ok"]),
                        ("H>D", "frame", ["held", "r-rdy", "r-ok"]),
                        ("H>D", "run", ["cont", "holda"]),
                        ("H>D", "frame", ["r-rdy", "r-err"]),
                        ("H>D", "run", ["cont", "stalled"])], f"link answers {flags}")
        quiet = check_link(host, device, "--hide-filler")
        check(0 < len(quiet) < len(records) and all(r["value"] != "SYNC" for r in quiet),
              "link filler hidden")
    for failure in FAILURES[:20]:
        print("FAIL:", failure)
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
