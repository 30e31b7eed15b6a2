#!/usr/bin/env python3
"""A third-party VISA client (PyVISA with its pure-Python backend) talks to our simulator:
it asks for the identity and reads a CURVE? block. Exits 77 (skipped) without PyVISA."""
import subprocess
import sys

try:
    import pyvisa
except ImportError:
    print("PyVISA is not installed (Debian: python3-pyvisa python3-pyvisa-py)")
    sys.exit(77)

simulator = subprocess.Popen([sys.argv[1], "--port", "0", "--idn", "KESTRAVA,SIM,0,1"],
                             stdout=subprocess.PIPE, text=True)
try:
    banner = simulator.stdout.readline()  # "kestrava-scopesim: listening on 127.0.0.1 port N"
    port = int(banner.split()[-1])
    rm = pyvisa.ResourceManager("@py")
    scope = rm.open_resource(f"TCPIP0::127.0.0.1::{port}::SOCKET",
                             read_termination="\n", write_termination="\n", timeout=10000)
    identity = scope.query("*IDN?").strip()
    assert "KESTRAVA,SIM" in identity, identity
    scope.write("HEADER OFF")
    scope.write("ACQuire:STOPAfter SEQuence")
    scope.write("ACQuire:STATE RUN")
    while scope.query("BUSY?").strip() not in ("0", ":BUSY 0"):
        pass
    scope.write("DATa:SOUrce CH1")
    scope.write("DATa:ENCdg RIBinary")
    scope.write("DATa:WIDth 1")
    scope.write("DATa:STARt 1")
    scope.write("DATa:STOP 1000")
    points = scope.query_binary_values("CURVE?", datatype="b", is_big_endian=True,
                                       expect_termination=True)
    assert len(points) == 1000, len(points)
    assert max(points) > min(points), "a flat record"
    print(f"{identity}: read {len(points)} points, codes {min(points)}..{max(points)}")
    scope.close()
finally:
    simulator.terminate()
    simulator.wait(timeout=10)
