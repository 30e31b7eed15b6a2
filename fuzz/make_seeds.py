#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets from files of ours: the sample captures cut
small, the shipped code table and definitions, setup, report, registry and alias texts,
the simulator's commands, and the PE fixtures of the Carrowin tests when a build holds them.

    fuzz/make_seeds.py [BUILD_DIR...]

Seeds are named seed-*; inputs that once crashed a target are named crash-* and are never
touched here."""
import glob
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(HERE)
CORPUS = os.path.join(HERE, "corpus")


def put(target, name, data):
    folder = os.path.join(CORPUS, target)
    os.makedirs(folder, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("latin-1")
    with open(os.path.join(folder, "seed-" + name), "wb") as out:
        out.write(data)


# Waveform files -------------------------------------------------------------------------

STATIC_HEADER = 78


def v3_offset(v1):
    offset = v1 + (2 if v1 >= 76 else 0)
    return offset + sum(4 for density in (224, 380, 512, 644) if v1 > density)


def cut_wfm(data, points):
    """The first `points` points of a capture, with the header's sizes and offsets made to
    fit, and 16 post-charge points kept."""
    order = struct.unpack_from("<H", data, 0)[0]
    endian = "<" if order == 0x0F0F else ">"
    version3 = data[2:10] == b":WFM#003"
    bytes_per_point = data[15]
    curve = struct.unpack_from(endian + "i", data, 16)[0]
    at = lambda v1: STATIC_HEADER + (v3_offset(v1) if version3 else v1)
    get = lambda fmt, v1: struct.unpack_from(endian + fmt, data, at(v1))[0]
    data_start = get("I", 726)
    keep = points + 16
    out = bytearray(data[: curve + data_start + keep * bytes_per_point])
    setter = lambda fmt, v1, value: struct.pack_into(endian + fmt, out, at(v1), value)
    setter("i", 416, points + 32)                                 # implicit dimension 1 size
    setter("I", 730, data_start + points * bytes_per_point)       # post-charge start
    setter("I", 734, data_start + keep * bytes_per_point)         # post-charge stop
    setter("I", 738, data_start + keep * bytes_per_point)         # end of curve buffer
    struct.pack_into(endian + "i", out, 11, len(out) - 15)         # bytes to end
    return bytes(out)


def wfm_seeds():
    for path in sorted(glob.glob(os.path.join(TOP, "data", "Waveforms", "*.wfm"))):
        with open(path, "rb") as f:
            data = f.read()
        name = os.path.splitext(os.path.basename(path))[0]
        put("wfm_reader", name + "-cut.wfm", cut_wfm(data, 400))
        put("wfm_reader", name + "-header-only.wfm", data[: STATIC_HEADER + 760])


# Code table and definitions -------------------------------------------------------------

def table_seeds():
    with open(os.path.join(TOP, "data", "Encoding", "8b10b.csv"), "rb") as f:
        table = f.read()
    put("code_table", "8b10b.csv", table)
    lines = table.split(b"\n")
    put("code_table", "8b10b-short.csv", b"\n".join(lines[:20] + [l for l in lines if l.startswith(b"K")][:14]))
    for path in sorted(glob.glob(os.path.join(TOP, "data", "Macros", "*.csv"))):
        with open(path, "rb") as f:
            put("definition", os.path.basename(path), f.read())
    put("definition", "braces.csv",
        "PCI Express\nENCODING,8b10b.csv\nTRIGGER_STANDARD,PCIE\nBIT_RATE_PER_SEC,2.5E9\n"
        "COLLECTION_START,PCIE\nSKP,K28.5,{K28.0,K28.1},{D0.0-D31.7}\nSTP,K27.7\n"
        "COLLECTION_END,PCIE\n")


# Setup files ----------------------------------------------------------------------------

SETUP = (
    "[Main]\r\nData Source=0\r\nSerial Standard=1\r\nDisplay Window=0\r\nData Filter=0\r\n"
    "WordNames=1\r\nSamplePoints=0\r\nRecovSig=1\r\nOrigSig=1\r\nGridLines=1\r\nAlwaysOnTop=0\r\n"
    "InvertSignal=0\r\nLockSampler=0\r\nRefLevelP=50\r\nHysterisisP=20\r\nRefLevelAbs=0\r\n"
    "HysterisisAbs=100\r\nIsAuto50Percent=1\r\nIsAbsRefLevel=0\r\nSyncPattern=K28.5 D10.2 D10.2 D27.3\r\n"
    "CheckBox SyncPattern=0\r\n\r\n[Trigger]\r\nIsValidCharSelected=1\r\nIsSpecificCharSelected=0\r\n"
    "IsWordSelected=1\r\nIsBitSelected=0\r\nIsCharSelected=0\r\n"
    "editPattern=1100000101010101010101010101010010011100\r\nrdPlus1=1100000101\r\n"
    "rdPlus2=0101010101\r\nrdPlus3=0101010101\r\nrdPlus4=0010011100\r\nrdMinus1=0011111010\r\n"
    "rdMinus2=0101010101\r\nrdMinus3=0101010101\r\nrdMinus4=1101100011\r\nchar1=K28.5\r\n"
    "char2=D10.2\r\nchar3=D10.2\r\nchar4=D27.3\r\nformatSelection=0\r\npatternSelection=0\r\n"
    "8B10BwordSelection=0\r\ntriggerOnSelection=0\r\nbCharacterError=0\r\nbDisparityError=0\r\n"
    "bLossofByteSync=0\r\n")


def setup_seeds():
    put("profile", "setup.ini", SETUP)
    put("profile", "setup-write.ini", SETUP + "\0Trigger\0char2\0 D21.5 ")
    put("profile", "bom-lf.ini", "\xef\xbb\xbf; comment\n[main]\nrefLevelP = 45 \n[Main]\nRefLevelP=55\n"
        "\0Main\0RefLevelP\0" + "9" * 300)
    put("profile", "new-section.ini", "[Other]\nkey=value\n\0New Section\0New Key\0value")


# Reports ---------------------------------------------------------------------------------

def report_seeds():
    lines = ["D21.5  RD+", "K28.5  RD-", "D10.2  RD-", "D10.2  RD+", "D27.3  RD-", "K28.3  RD-"]
    body = "".join("0x%08x:  %s\r\n" % (0x40 + 20 * i, text) for i, text in enumerate(lines))
    put("report", "report.txt", "Decoded output from file: sata-session.wfm.\r\n\r\n" + body)
    put("report", "merged.txt", "Merged output.\r\n\r\n File a" + " " * 44 + " File b\r\n" + "-" * 100 +
        "\r\n" + body)
    put("report", "negative.txt", "Decoded output from file: x.\r\n\r\n0x-7fffffff:  D1.1\r\n"
        "0x00000010:  D2.2\r\n0xffffffffffff:  D3.3\r\n0x00000011:  D4.4")


# Registry files, PE images ----------------------------------------------------------------

REGISTRY = (
    "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win32\n\n"
    "[Software\\\\Brennock\\\\UlmarScope] 1700000000\n#time=1d9f0c3a1b2c3d4\n"
    "\"Platform\"=dword:000017eb\n\"InstallPath\"=\"C:\\\\Program Files\\\\Ulmar\"\n\n"
    "[Software\\\\Classes\\\\CLSID\\\\{00020424-0000-0000-C000-000000000046}\\\\InprocServer32] 1700000000\n"
    "@=\"C:\\\\windows\\\\system32\\\\oleaut32.dll\"\n\"ThreadingModel\"=\"Both\"\n\n"
    "[Software\\\\National Instruments\\\\NI-VISA for Windows 95/NT\\\\CurrentVersion] 1700000001\n"
    "\"Path\"=str(2):\"%SystemRoot%\\\\visa\"\n\"Blob\"=hex:01,02,03,\\\n  04,05\n"
    "\"Name\\x00e9\"=\"caf\\x00e9\"\n")


def registry_seeds():
    put("wine_reg", "system.reg", REGISTRY)
    put("wine_reg", "crlf.reg", REGISTRY.replace("\n", "\r\n"))
    put("wine_reg", "header-only.reg", "WINE REGISTRY Version 2\n")


def pe_seeds(build_dirs):
    wanted = ["national_2_5_0.dll", "no_version.dll", "other_language_first.dll", "large_parts.dll",
              "no_company.dll"]
    for name in wanted:
        for build in build_dirs:
            path = os.path.join(build, "tests", "visacheck", "pe", name)
            if os.path.exists(path):
                with open(path, "rb") as f:
                    put("pe_version", name, f.read())
                break


# Instrument dialogue ----------------------------------------------------------------------

SCPI = [
    "*IDN?",
    "HEADER OFF;:VERBOSE ON\n*ESR?;*OPC?",
    "DATa:SOUrce CH1;:DATa:ENCdg SRIbinary;:DATa:WIDth 1;:DATA:START 1;:DATA:STOP 1000\nCURVE?",
    "DATa:SOUrce CH1;:DATa:ENCdg SRIbinary;:DATa:WIDth 2\nWFMOutpre?\nCURVE?",
    "ACQUIRE:STOPAFTER SEQUENCE;:ACQUIRE:STATE RUN\nBUSY?\nTRIGger FORCe\nACQuire:STATE?",
    "DATA:START 10;STOP 20\nDATA:START?;STOP?;:SELect:CH1?\nDATa:ENCdg ASCIi\nCURVE?",
    "CURSor:FUNCtion VBars;MODe INDependent;:CURSor:SOUrce REF1;:CURSor:VBArs:POSITION1 1E-6\n"
    "CURSor:FUNCtion?;MODe?;STATE?;SOUrce?",
    ":HORizontal:MAIn:POSition 20\nHORizontal:RECOrdlength 500\nZOOm:STATE ON\nMEASUrement:IMMed:TYPe MAXimum;"
    ":MEASUrement:IMMed:SOUrce1 CH2;:MEASUrement:IMMed:VALue?",
    "TRIGger:A:SERIal:STANdard SATA\nTRIGger:A:SERIal:SERDes:PATtern 0,\"1100000101\"\n"
    ":TRIGger:A:SERIal:SERDes:PATtern? 0\nTRIGger:A:SERIal:STANdard?",
    "DATa:SOUrce MATH1;:DATa:ENCdg SFPbinary;:DATa:WIDth 4\nCURVE?\nDATa:SOUrce Ref2\nWFMOutpre:YMUlt?",
    "A 1;B \"x;y\"\nDATA::START 1\nDATa:SOUrce CH0\n'quoted\nCH1:SCAle 0.1;POSition -2\nCH1?",
]

REPLIES = [
    (0x01, b"KESTRAVA-SIM,QVM71254C,SIM000001,CF:91.1CT FV:1.0.0\n"),
    (0x01, b"1.5000E+9\n"),
    (0x01, b"#41000" + bytes(range(256)) * 3 + bytes(232) + b"\n"),
    (0x01, b"#210" + b"\n\n\n\n\n\n\n\n\n\n" + b"\n1;2\n"),
    (0x00, b":WFMOUTPRE:BYT_NR 1;BIT_NR 8;ENCDG BIN;BN_FMT RI;BYT_OR MSB;NR_PT 500;"
           b"WFID \"Ch1, DC coupling, 100.0mV/div\";PT_FMT Y;XINCR 4.0E-11;XZERO 0.0;YMULT 4.0E-3\n"),
    (0x05, b"1;0;0\r\nBUSY 1\r\n"),
    (0x82, b"#9000000004abcd"),
    (0x0d, b"#0\x00\x01\n\"a\nb\"\n#5 12\n"),
]

ALIASES = [
    "# aliases of this workstation\nGPIB8::1::INSTR = TCPIP0::192.0.2.5::4000::SOCKET\n"
    "scope = tcpip1::[fe80::1]::5025::socket\n\nlab-scope=TCPIP::scope.lab.example::4000::SOCKET\n",
    "GPIB8::1::INSTR = GPIB0::1::INSTR\nbad line\n = TCPIP0::h::1::SOCKET\nx = TCPIP0::h::99999::SOCKET\n"
    "dup = TCPIP0::a::1::SOCKET\nDUP = TCPIP0::b::2::SOCKET\r\n",
]


def dialogue_seeds():
    for i, text in enumerate(SCPI):
        put("scpi", "commands-%02d.txt" % i, text)
    for i, (flags, reply) in enumerate(REPLIES):
        put("visa_read", "reply-%02d.bin" % i, bytes([flags, 0x0A, 5, 0x80 if i % 2 else 7]) + reply)
    for i, text in enumerate(ALIASES):
        put("alias_config", "visa-%02d.conf" % i, text)


def transfer_seeds():
    """Replies in the order the waveform data module asks, 0xFF after each."""
    def script(source, start, stop, replies):
        # 0xFF ends a reply, so none may occur inside one.
        return bytes([source, start, stop]) + b"".join(r.replace(b"\xff", b"\xfe") + b"\xff" for r in replies)
    block8 = bytes((i * 37) & 0xFF for i in range(500))
    block16 = b"".join(struct.pack("<h", (i % 40 - 20) * 300) for i in range(250))
    floats = b"".join(struct.pack("<f", ((i // 5) % 2) * 0.5 - 0.25) for i in range(100))
    common = [b"1", b'"Ch1, DC coupling, 100.0mV/div, 500 points, Sample mode"', b"LSB", b"1", b"RI", b"1"]
    put("wdm_transfer", "int8.bin", script(0, 0, 100, common + [b"#3500" + block8 + b"\n", b"500", b"1",
                                                             b"0", b"0", b"4.0E-3", b"0.5", b"-0.5"]))
    put("wdm_transfer", "int16.bin", script(1, 10, 90, [b"1", b"\"Ch2, AC coupling, 20.0mV/div, 250 points, Sample mode\"", b"MSB", b"2", b"RI", b"0",
                                                        b"#3500" + block16 + b"\n", b"250", b"2", b"0", b"0",
                                                        b"1.0E-4"]))
    put("wdm_transfer", "math-float.bin", script(4, 0, 100, [b"1", b"\"Math1, 100 points, Sample mode\"", b"LSB", b"4", b"FP", b"1",
                                                             b"#3400" + floats + b"\n", b"100", b"4", b"0", b"0",
                                                             b"1"]))
    put("wdm_transfer", "lying-length.bin", script(8, 0, 100, common[:2] + [b"LSB", b"1", b"RI", b"1",
                                                                             b"#9999999999" + block8[:20]]))
    put("wdm_transfer", "inactive.bin", script(2, 0, 100, [b"0"]))


# The other waveform formats: a few dozen samples of a square wave each ----------------

def square(n=48):
    return [100 if (i // 6) % 2 else -100 for i in range(n)]


def trc(endian, width, prefix, segments=1):
    samples = square() * segments
    desc = bytearray(346)
    desc[0:8], desc[16:26] = b"WAVEDESC", b"LECROY_2_3"
    put16 = lambda at, v: struct.pack_into(endian + "h", desc, at, v)
    put32 = lambda at, v: struct.pack_into(endian + "i", desc, at, v)
    put16(32, 0 if width == 1 else 1)
    put16(34, 0 if endian == ">" else 1)
    put32(36, 346)
    put32(48, 16 * segments if segments > 1 else 0)
    put32(60, len(samples) * width)
    put32(116, len(samples))
    put32(144, segments)
    struct.pack_into(endian + "ff", desc, 156, 0.004, 0.1)
    struct.pack_into(endian + "f", desc, 176, 1e-10)
    struct.pack_into(endian + "d", desc, 180, -2e-9)
    body = bytes(desc) + (b"\0" * 16 * segments if segments > 1 else b"")
    body += struct.pack(endian + ("b" if width == 1 else "h") * len(samples),
                        *[v * (1 if width == 1 else 200) for v in samples])
    return (b"#9%09d" % len(body) + body) if prefix else body


def agbin(waveforms):
    out = b""
    for kind, code, width in waveforms:
        values = square()
        values = [v / 100 if code == "f" else (v > 0 if code == "B" else v) for v in values]
        data = struct.pack("<" + code * len(values), *values)
        header = struct.pack("<5ifddd2i", 140, kind, 1, len(values), 1, 1e-8, 0.0, 1e-10, 0.0, 2, 1)
        header += b"\0" * (140 - len(header))
        out += header + struct.pack("<ihhi", 12, 6 if kind == 6 else 1, width, len(data)) + data
    return b"AG10" + struct.pack("<ii", 12 + len(out), len(waveforms)) + out


def format_seeds():
    rows = "".join("%g,%g\n" % (i * 1e-10, v / 100) for i, v in enumerate(square()))
    put("csv_reader", "plain.csv", b"\0" + ("Model,SYNTH\nTime,CH1\n" + rows).encode())
    put("csv_reader", "tabs.csv", b"\6" + ("Time\tCH1\tCH2\n" + rows.replace(",", "\t0\t")).encode())
    put("csv_reader", "semicolons.csv", b"\2" + rows.replace(",", ";").encode())
    put("trc_reader", "int8-little-prefix.trc", trc("<", 1, True))
    put("trc_reader", "int16-big.trc", trc(">", 2, False))
    put("trc_reader", "sequence.trc", trc("<", 2, True, 3))
    put("bin_reader", "float.bin", b"\0" + agbin([(1, "f", 4)]))
    put("bin_reader", "logic-then-int16.bin", b"\0" + agbin([(6, "B", 1), (1, "h", 2)]))
    put("bin_reader", "second-int8.bin", b"\2" + agbin([(1, "f", 4), (1, "b", 1)]))
    int16 = struct.pack("<48h", *[v * 200 for v in square()])
    put("raw_reader", "int16.raw", b"\2\x80" + int16)
    put("raw_reader", "float-big.raw", b"\7\x80" + struct.pack(">48f", *[v / 100 for v in square()]))
    put("raw_reader", "unsaid.raw", b"\0\x80" + int16)


def main():
    build_dirs = sys.argv[1:] or sorted(glob.glob(os.path.join(TOP, "build*")))
    wfm_seeds()
    format_seeds()
    table_seeds()
    setup_seeds()
    report_seeds()
    registry_seeds()
    pe_seeds(build_dirs)
    dialogue_seeds()
    transfer_seeds()


if __name__ == "__main__":
    main()
