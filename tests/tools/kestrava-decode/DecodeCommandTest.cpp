#include "tools/kestrava-decode/DecodeCommand.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "base/Folders.h"
#include "base/MessageBox.h"
#include "session/CSataUserInterface.h"
#include "synth/CaptureGenerator.h"
#include "synth/SataCrc.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/TempFolders.h"
#include "tests/tools/kestrava-decode/DecodeRun.h"
#include "tools/kestrava-decode/DecodeOptions.h"

namespace kestrava {
namespace {

class QuietMessageBox : public IMessageBox {
  public:
    void Show(const std::string&, const std::string&) override {}
};

class DecodeCommandTest : public test::TempFolders {
  protected:
    void SetUp() override {
        TempFolders::SetUp();
        SetMessageBoxSink(&quiet_);
        synth::CaptureOptions options;
        options.analog.samplesPerBit = 10;
        capture_ = Root() + "/session.wfm";
        ASSERT_EQ(
            synth::CaptureGenerator::WriteFiles(synth::CaptureGenerator::Generate(options),
                                                options.wfm, capture_, Root() + "/session.txt"),
            "");
    }
    void TearDown() override {
        SetMessageBoxSink(nullptr);
        TempFolders::TearDown();
    }

    using Result = test::DecodeResult;
    static Result Run(const std::vector<std::string>& args) { return test::RunDecodeCommand(args); }

    QuietMessageBox quiet_;
    std::string capture_;
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST_F(DecodeCommandTest, UsageErrorsGiveOneLineHints) {
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"--frobnicate", "a.wfm"},
        {"--list", "words", "a.wfm"},
        {"a.wfm", "b.wfm"},
        {"--report", "--list", "fis", "a.wfm"},
        {"--at", "10", "a.wfm"},
        {"--ref-level", "half", "a.wfm"},
        {"--width", "-5", "--plot", "p.svg", "a.wfm"},
        {"a.wfm", "-o"},
        {"--raw", "int12", "a.raw"},
        {"--raw", "int16", "a.raw"},
        {"--scale", "2", "a.raw"},
        {"--column", "2", "--scope", "CH1"},
        {"--format", "xml", "a.wfm"},
        {"--format", "csv", "--report", "a.wfm"},
        {"--hide-filler", "--list", "fis", "a.wfm"},
        {"--list", "link", "--lane", "host=a.wfm"},
        {"--lane", "guest=a.wfm", "--lane", "device=b.wfm", "--list", "link"},
        {"--lane", "host=a.wfm", "--lane", "device=b.wfm", "--list", "link", "c.wfm"},
    };
    for (const auto& args : bad) {
        ParsedCommandLine parsed = ParseDecodeCommandLine(args);
        SCOPED_TRACE(args.empty() ? "(nothing)" : args[0]);
        ASSERT_FALSE(parsed.error.empty());
        EXPECT_EQ(parsed.error.find('\n'), std::string::npos);
        EXPECT_NE(parsed.error.find("(try --help)"), std::string::npos) << parsed.error;
    }
    EXPECT_EQ(ParseDecodeCommandLine({"--help"}).error, "");
    EXPECT_EQ(Run({"--help"}).out, kDecodeUsage);
    EXPECT_EQ(Run({"--help"}).code, kExitOk);
    // An unknown protocol definition is a usage error too.
    Result r = Run({"--standard", "NoSuchStandard", capture_});
    EXPECT_EQ(r.code, kExitUsage);
    EXPECT_NE(r.err.find("no protocol definition 'NoSuchStandard'"), std::string::npos) << r.err;
}

TEST_F(DecodeCommandTest, ListsCarryTheirPositionTags) {
    // The same decode through the presentation core gives the lines and tags to expect.
    Folders::PrepareDataFolders();
    MemoryListBox main, protocol;
    CSataUserInterface ui(main, protocol);
    ui.viewLayout = 2;
    ui.LoadFile(capture_);
    ASSERT_GT(protocol.Count(), 50);
    ASSERT_GT(main.Count(), 1000);

    Result primitives = Run({"--list", "primitives", capture_});
    EXPECT_EQ(primitives.code, kExitOk) << primitives.err;
    std::vector<std::string> lines = Lines(primitives.out);
    ASSERT_EQ(static_cast<int>(lines.size()), protocol.Count());
    for (int i = 0; i < protocol.Count(); ++i) {
        char prefix[32];
        std::snprintf(prefix, sizeof prefix, "0x%08x:  ", static_cast<unsigned>(protocol.Data(i)));
        EXPECT_EQ(lines[static_cast<std::size_t>(i)], prefix + protocol.Text(i));
    }
    Result characters = Run({capture_});
    ASSERT_EQ(characters.code, kExitOk);
    lines = Lines(characters.out);
    ASSERT_EQ(static_cast<int>(lines.size()), main.Count());
    EXPECT_EQ(lines[5].substr(0, 13), [&] {
        char prefix[32];
        std::snprintf(prefix, sizeof prefix, "0x%08x:  ", static_cast<unsigned>(main.Data(5)));
        return std::string(prefix);
    }());

    Result fis = Run({"--list", "fis", capture_});
    EXPECT_EQ(Lines(fis.out).at(0).substr(13), "FIS 0x27 Register H->D");
    Result atapi = Run({"--list", "atapi", "--status", capture_});
    ASSERT_EQ(Lines(atapi.out).size(), 1u);
    EXPECT_EQ(Lines(atapi.out)[0].substr(13), "CMD 0x28    READ 10");
    EXPECT_NE(atapi.err.find("Invalid Characters: 0"), std::string::npos) << atapi.err;
}

// A capture with one frame per verdict: each line checked against what was sent, the
// CRCs against the generator's own, then the totals after the other status lines.
TEST_F(DecodeCommandTest, FramesListJudgesEachFrameSent) {
    synth::CaptureOptions options;
    options.analog.samplesPerBit = 10;
    options.scenario.name = "verdicts";
    const synth::Capture sent = synth::CaptureGenerator::Generate(options);
    const std::string path = Root() + "/verdicts.wfm";
    ASSERT_EQ(synth::CaptureGenerator::WriteFiles(sent, options.wfm, path, ""), "");
    const auto& frames = sent.manifest.Frames();
    ASSERT_EQ(frames.size(), 8u);
    const std::vector<std::uint32_t>& wrong = frames[1].dwords;
    char crcError[96];
    std::snprintf(crcError, sizeof crcError, "CRC error: computed 0x%08x, sent 0x%08x",
                  synth::SataCrc::Of(std::span(wrong).first(wrong.size() - 1)), wrong.back());
    const std::vector<std::string> expected = {
        "FIS 0x27 Register H->D, 5 dwords: CRC OK",
        "FIS 0x46 Data, 17 dwords: " + std::string(crcError),
        "FIS 0x27 Register H->D, 4 dwords: CRC OK; length 4, Register H->D needs 5",
        "FIS 0x46 Data, 9 dwords: CRC OK; HOLD inside",
        "FIS 0xc7 Reserved, 2 dwords: CRC OK; unknown FIS type 0xc7",
        "FIS 0x39 DMA Activate, 1 dword: CRC dword missing",
        "FIS 0x27 Register H->D, 3 dwords: aborted by SYNC",
        // The last character is lost with the end of the record, and with it one dword.
        "FIS 0x27 Register H->D, 2 dwords: cut short by the end of the capture",
    };
    Result r = Run({"--list", "frames", "--status", path});
    ASSERT_EQ(r.code, kExitOk) << r.err;
    std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), expected.size());
    for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i].substr(13), expected[i]);
    EXPECT_NE(r.err.find("Invalid Characters: 0\r\nFrames: 8, CRC errors: 1, malformed: 5\r\n"),
              std::string::npos)
        << r.err;
    // The totals come only with the frames list.
    EXPECT_EQ(Run({"--list", "fis", "--status", path}).err.find("Frames:"), std::string::npos);
}

// The session as both lanes saw it: every frame of either side after the peer's R_RDY and
// acknowledged with R_OK; a device lane sampled at another rate is reported, not refused.
TEST_F(DecodeCommandTest, LinkListAnswersEachFrameOfBothLanes) {
    auto deviceLane = [&](double samplesPerBit, const std::string& path, double startS = 0.0) {
        synth::CaptureOptions options;
        options.analog.samplesPerBit = samplesPerBit;
        options.wfm.firstPointTimeS = startS;
        options.scenario.hostLane = false;
        ASSERT_EQ(synth::CaptureGenerator::WriteFiles(synth::CaptureGenerator::Generate(options),
                                                      options.wfm, path, ""),
                  "");
    };
    const std::string device = Root() + "/device.wfm";
    deviceLane(10, device);
    Result r = Run({"--lane", "host=" + capture_, "--lane", "device=" + device, "--list", "link"});
    ASSERT_EQ(r.code, kExitOk) << r.err;
    EXPECT_EQ(r.err, "");
    int hostFrames = 0, deviceFrames = 0;
    double last = -1.0;
    for (const std::string& line : Lines(r.out)) {
        const double us = std::stod(line.substr(0, 12));
        EXPECT_GE(us, last) << line;
        last = us;
        if (line.find("FIS 0x") == std::string::npos) continue;
        ++(line.substr(17, 3) == "H>D" ? hostFrames : deviceFrames);
        EXPECT_TRUE(line.ends_with("CRC OK; after R_RDY; R_OK")) << line;
    }
    EXPECT_EQ(hostFrames, 3);
    EXPECT_EQ(deviceFrames, 4);

    const std::string slower = Root() + "/slower.wfm";
    deviceLane(20, slower);
    r = Run({"--lane", "host=" + capture_, "--lane", "device=" + slower, "--list", "link"});
    EXPECT_EQ(r.code, kExitOk);
    EXPECT_NE(r.err.find("different sample intervals"), std::string::npos) << r.err;

    // A device record that starts 5 us later puts its lines 5 us later; one a second later
    // does not overlap the host's at all.
    auto firstDeviceLine = [&](const std::string& out) {
        for (const std::string& line : Lines(out))
            if (line.substr(17, 3) == "D>H") return std::stod(line.substr(0, 12));
        return -1.0;
    };
    const double atZero = firstDeviceLine(
        Run({"--lane", "host=" + capture_, "--lane", "device=" + device, "--list", "link"}).out);
    const std::string later = Root() + "/later.wfm";
    deviceLane(10, later, 5e-6);
    r = Run({"--lane", "host=" + capture_, "--lane", "device=" + later, "--list", "link"});
    EXPECT_NEAR(firstDeviceLine(r.out), atZero + 5.0, 1e-3);
    EXPECT_EQ(r.err, "");
    deviceLane(10, later, 1.0);
    r = Run({"--lane", "host=" + capture_, "--lane", "device=" + later, "--list", "link"});
    EXPECT_NE(r.err.find("do not overlap"), std::string::npos) << r.err;
}

// Both lanes of the link-answers scenario: each answer the device gives shows on the line
// of the host's item it answers.
TEST_F(DecodeCommandTest, LinkListShowsRefusalsHoldsAndStalls) {
    std::string lanes[2];
    for (bool host : {true, false}) {
        synth::CaptureOptions options;
        options.analog.samplesPerBit = 10;
        options.scenario.name = "link-answers";
        options.scenario.hostLane = host;
        lanes[host ? 0 : 1] = Root() + (host ? "/answers-host.wfm" : "/answers-device.wfm");
        ASSERT_EQ(synth::CaptureGenerator::WriteFiles(synth::CaptureGenerator::Generate(options),
                                                      options.wfm, lanes[host ? 0 : 1], ""),
                  "");
    }
    Result r =
        Run({"--lane", "host=" + lanes[0], "--lane", "device=" + lanes[1], "--list", "link"});
    ASSERT_EQ(r.code, kExitOk) << r.err;
    EXPECT_EQ(test::AnsweredLines(r.out), test::kLinkAnswers);

    Result quiet = Run({"--lane", "host=" + lanes[0], "--lane", "device=" + lanes[1], "--list",
                        "link", "--hide-filler"});
    const std::size_t hidden = Lines(r.out).size() - Lines(quiet.out).size();
    EXPECT_GT(hidden, 0u);
    EXPECT_EQ(quiet.out.find("SYNC"), std::string::npos);
    EXPECT_NE(quiet.err.find(std::to_string(hidden) + " filler lines hidden"), std::string::npos)
        << quiet.err;
}

TEST_F(DecodeCommandTest, AFileThatIsNoWaveformEndsWithOneAndItsReason) {
    WriteFile(Root() + "/notes.wfm", "these are notes, not samples\n");
    WriteFile(Root() + "/notes.dat", "these are notes, not samples\n");
    std::string capture = ReadFile(capture_);
    WriteFile(Root() + "/cut.wfm", capture.substr(0, 3000));
    WriteFile(Root() + "/header.wfm", capture.substr(0, 100));
    const std::pair<std::string, std::string> cases[] = {
        {"notes.wfm", "not a :WFM#001 or :WFM#003 file"},
        {"notes.dat", "not a waveform file of a format this program reads"},
        {"absent.wfm", "No such file or directory"},
        {"", "is a folder"},
        {"header.wfm", "the waveform header is cut short"},
        {"cut.wfm", "the header announces "},
    };
    for (const auto& [name, reason] : cases) {
        const std::string path = Root() + "/" + name;
        Result r = Run({"--list", "primitives", path});
        EXPECT_EQ(r.code, kExitNotDecoded);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind("kestrava-decode: " + path +
                                  ": Waveform file is not in the specified wfm format\n"
                                  "kestrava-decode: " +
                                  path + ": " + reason,
                              0),
                  0u)
            << r.err;
    }
    // Sample positions are 32-bit: a longer record is refused, never wrapped (a sparse file).
    const std::string huge = Root() + "/huge.bin";
    WriteFile(huge, "");
    std::filesystem::resize_file(huge, 2'200'000'000);
    Result r = Run({"--raw", "int8", "--sample-interval", "1e-10", huge});
    EXPECT_EQ(r.code, kExitNotDecoded);
    EXPECT_NE(r.err.find(huge + ": 2200000000 samples: more than the 2147483639 a record may hold"),
              std::string::npos)
        << r.err;
}

// The options that say how to read a file reach the readers; a refusal gives its reason
// on a line of its own after the usual one.
TEST_F(DecodeCommandTest, OtherFormatsDecodeAsTheWfmAndSayWhyNot) {
    synth::CaptureOptions options;
    options.analog.samplesPerBit = 10;
    options.format = synth::SampleFormat::Int16;
    const synth::Capture capture = synth::CaptureGenerator::Generate(options);
    synth::CaptureFileOptions file;
    const std::string wfm = Root() + "/c.wfm", raw = Root() + "/c.raw", csv = Root() + "/c.csv";
    ASSERT_EQ(synth::CaptureGenerator::WriteFiles(capture, file, wfm, ""), "");
    file.format = synth::FileFormat::Raw;
    ASSERT_EQ(synth::CaptureGenerator::WriteFiles(capture, file, raw, ""), "");
    file.format = synth::FileFormat::Csv;
    ASSERT_EQ(synth::CaptureGenerator::WriteFiles(capture, file, csv, ""), "");
    const std::string expected = Run({wfm}).out;
    ASSERT_GT(Lines(expected).size(), 1000u);

    char interval[32], scale[32], offset[32];
    std::snprintf(interval, sizeof interval, "%.17g", capture.sampleIntervalS);
    std::snprintf(scale, sizeof scale, "%.17g", capture.record.scaleV);
    std::snprintf(offset, sizeof offset, "%.17g", capture.record.offsetV);
    Result r = Run({"--raw", "int16", "--sample-interval", interval, "--scale", scale, "--offset",
                    offset, raw});
    EXPECT_EQ(r.code, kExitOk) << r.err;
    EXPECT_EQ(r.out, expected);
    r = Run({"--column", "CH1", csv});
    EXPECT_EQ(r.out, expected);

    r = Run({raw});
    EXPECT_EQ(r.code, kExitNotDecoded);
    EXPECT_EQ(Lines(r.err).at(1).substr(0, 17 + raw.size() + 30),
              "kestrava-decode: " + raw + ": a file of bare samples needs");
    r = Run({"--column", "CH7", csv});
    EXPECT_EQ(r.err,
              "kestrava-decode: " + csv + ": Waveform file is not in the specified wfm format\n" +
                  "kestrava-decode: " + csv + ": no column named 'CH7' in the header line\n");
}

TEST_F(DecodeCommandTest, ReportIsWhatSaveAsWritesAndMergesIntoAnEarlierOne) {
    const std::string saved = Root() + "/saved.txt", printed = Root() + "/printed.txt";
    {
        Folders::PrepareDataFolders();
        MemoryListBox main, protocol;
        CSataUserInterface ui(main, protocol);
        ui.viewLayout = 2;
        ui.LoadFile(capture_);
        ui.SaveToFile(saved);
    }
    Result r = Run({"--report", "-o", printed, capture_});
    ASSERT_EQ(r.code, kExitOk) << r.err;
    EXPECT_EQ(r.out, "");
    const std::string report = ReadFile(saved);
    ASSERT_EQ(report.rfind("Decoded output from file: " + capture_ + ".\r\n\r\n", 0), 0u);
    EXPECT_EQ(ReadFile(printed), report);
    EXPECT_EQ(Run({"--report", capture_}).out, report);

    Result merged = Run({"--merge", printed, capture_});
    EXPECT_EQ(merged.code, kExitOk) << merged.err;
    const std::string text = ReadFile(printed);
    EXPECT_EQ(text.rfind("Merged output.\r\n\r\n", 0), 0u) << text.substr(0, 200);
    EXPECT_GT(text.size(), report.size());

    EXPECT_EQ(Run({"--merge", Root() + "/absent.txt", capture_}).code, kExitNotDecoded);
    EXPECT_EQ(Run({"--report", "-o", Root() + "/no/such/folder.txt", capture_}).code,
              kExitNotDecoded);
}

TEST_F(DecodeCommandTest, PlotWritesAnSvgOfTheWaveform) {
    const std::string svg = Root() + "/plot.svg";
    Result r = Run({"--plot", svg, "--at", "2000", "--width", "400", capture_});
    ASSERT_EQ(r.code, kExitOk) << r.err;
    const std::string text = ReadFile(svg);
    EXPECT_EQ(
        text.rfind("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"1200\" height=\"320\">", 0),
        0u);
    EXPECT_NE(text.find("</svg>\n"), std::string::npos);
    EXPECT_NE(text.find("</text>"), std::string::npos);  // character names under the bits
    EXPECT_GT(text.size(), 2000u);
    EXPECT_NE(text.find("<ellipse"), std::string::npos);  // sample points
    EXPECT_EQ(Run({"--plot", Root() + "/no/such/plot.svg", capture_}).code, kExitNotDecoded);

    // A view of the whole record is an overview, as in the window: one point and one name
    // per bit would make a document of hundreds of megabytes for a long capture.
    ASSERT_EQ(Run({"--plot", svg, "--width", "100000000", capture_}).code, kExitOk);
    const std::string overview = ReadFile(svg);
    EXPECT_EQ(overview.find("<ellipse"), std::string::npos);
    EXPECT_EQ(overview.find("</text>"), std::string::npos);
    EXPECT_LT(overview.size(), 100000u);
}

TEST_F(DecodeCommandTest, AnOutputThatIsTheInputIsRefusedAndTheInputKept) {
    const std::string before = ReadFile(capture_), hard = Root() + "/hard.wfm",
                      soft = Root() + "/soft.wfm";
    ASSERT_EQ(::link(capture_.c_str(), hard.c_str()), 0);
    ASSERT_EQ(::symlink(capture_.c_str(), soft.c_str()), 0);
    for (const auto& [option, output] : std::vector<std::pair<std::string, std::string>>{
             {"-o", capture_}, {"--output", hard}, {"--plot", soft}}) {
        SCOPED_TRACE(option + " " + output);
        Result r = Run({"--report", option, output, capture_});
        EXPECT_EQ(r.code, kExitUsage);
        EXPECT_EQ(r.err, "kestrava-decode: cannot write " + output + ": it is the input file " +
                             capture_ + "\n");
        EXPECT_TRUE(ReadFile(capture_) == before);
    }
    // A device is no input: it takes the output as it comes.
    EXPECT_EQ(Run({"--report", "-o", "/dev/null", capture_}).code, kExitOk);
}

TEST_F(DecodeCommandTest, AFullDiskLeavesTheEarlierOutputWhole) {
    Folders::PrepareDataFolders();
    const std::string path = Root() + "/out";
    for (const std::string option : {"-o", "--plot"}) {
        SCOPED_TRACE(option);
        WriteFile(path, "earlier output");
        Result r;
        {
            test::FileSizeLimit full(4096);
            r = Run({option, path, capture_});
        }
        EXPECT_EQ(r.code, kExitNotDecoded);
        EXPECT_EQ(r.err, "kestrava-decode: cannot write " + path + ": File too large\n");
        EXPECT_EQ(ReadFile(path), "earlier output");
    }
}

// The built program, found beside this test program.
TEST_F(DecodeCommandTest, TheProgramExitsWithTheSameCodes) {
    char self[PATH_MAX] = {};
    ASSERT_GT(::readlink("/proc/self/exe", self, sizeof self - 1), 0);
    const std::string program =
        (std::filesystem::path(self).parent_path() / "kestrava-decode").string();
    ASSERT_TRUE(std::filesystem::exists(program)) << program;
    auto run = [&](const std::string& args) {
        const std::string command =
            "'" + program + "' " + args + " >'" + Root() + "/out' 2>'" + Root() + "/err'";
        int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(run("--list primitives '" + capture_ + "'"), 0);
    EXPECT_EQ(ReadFile(Root() + "/out"), Run({"--list", "primitives", capture_}).out);
    EXPECT_EQ(run(""), 2);
    EXPECT_EQ(ReadFile(Root() + "/err"), "kestrava-decode: no waveform file given (try --help)\n");
    WriteFile(Root() + "/notes.wfm", "not a waveform");
    EXPECT_EQ(run("'" + Root() + "/notes.wfm'"), 1);
    EXPECT_NE(ReadFile(Root() + "/err").find("Waveform file is not in the specified wfm format"),
              std::string::npos);
    EXPECT_EQ(ReadFile(Root() + "/out"), "");
    // A name that carries a terminal's escape sequence is shown, not obeyed.
    WriteFile(Root() + "/\x1b[2Jnotes.wfm", "not a waveform");
    EXPECT_EQ(run("'" + Root() + "/\x1b[2Jnotes.wfm'"), 1);
    EXPECT_NE(ReadFile(Root() + "/err").find("/\\x1b[2Jnotes.wfm: "), std::string::npos)
        << ReadFile(Root() + "/err");
}

TEST_F(DecodeCommandTest, ThresholdsThatFindNoEdgeSaySo) {
    Result r = Run({"--abs-ref-level", "40", "--abs-hysteresis", "0.1", capture_});
    EXPECT_EQ(r.code, kExitOk);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "kestrava-decode: " + capture_ +
                         ": No edge crossed the thresholds (reference level 40 V, hysteresis "
                         "0.1 V)\n");
}

}  // namespace
}  // namespace kestrava
