#!/usr/bin/env python3
"""VXI-11 clients that are not ours find the simulator through the machine's portmapper
and read it: PyVISA with its pure-Python backend (the identity and a CURVE? block), and
the Debian LXI command-line tools when installed. Exits 77 (skipped) without a portmapper
on port 111 or without PyVISA."""
import shutil
import socket
import subprocess
import sys

try:
    socket.create_connection(("127.0.0.1", 111), timeout=2).close()
except OSError:
    print("no portmapper answers on port 111")
    sys.exit(77)
try:
    import pyvisa
except ImportError:
    print("PyVISA is not installed (Debian: python3-pyvisa python3-pyvisa-py)")
    sys.exit(77)

simulator = subprocess.Popen([sys.argv[1], "--port", "0", "--vxi11", "0",
                              "--idn", "KESTRAVA,SIM,0,1"], stdout=subprocess.PIPE, text=True)
try:
    print(simulator.stdout.readline().strip())
    print(simulator.stdout.readline().strip())  # the VXI-11 line: registered on port 111
    rm = pyvisa.ResourceManager("@py")
    scope = rm.open_resource("TCPIP0::127.0.0.1::INSTR", timeout=10000)
    identity = scope.query("*IDN?").strip()
    assert identity == "KESTRAVA,SIM,0,1", identity
    scope.write("HEADER OFF")
    scope.write("DATa:SOUrce CH1;:DATa:ENCdg RIBinary;:DATa:WIDth 1;:DATa:STARt 1;:DATa:STOP 500")
    points = scope.query_binary_values("CURVE?", datatype="b", is_big_endian=True,
                                       expect_termination=True)
    assert len(points) == 500, len(points)
    print(f"PyVISA over VXI-11: {identity}, {len(points)} points")
    scope.close()
    if shutil.which("lxi"):
        answer = subprocess.run(["lxi", "scpi", "-a", "127.0.0.1", "*IDN?"], capture_output=True,
                                text=True, timeout=30)
        assert answer.stdout.strip() == "KESTRAVA,SIM,0,1", (answer.stdout, answer.stderr)
        print(f"lxi over VXI-11: {answer.stdout.strip()}")
finally:
    simulator.terminate()
    simulator.wait(timeout=10)
