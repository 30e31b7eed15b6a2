#include "tools/kestrava-decode/DecodeCommand.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>

#include "base/FileReplacement.h"
#include "base/Folders.h"
#include "formats/ImportReport.h"
#include "instrument/AcquisitionMode.h"
#include "instrument/COscilloscope.h"
#include "instrument/SourceNames.h"
#include "instrument/Wdm.h"
#include "protocol/LinkAnalysis.h"
#include "session/CSataUserInterface.h"
#include "session/ReportFile.h"
#include "session/ScriptedDecode.h"
#include "session/SetupFile.h"
#include "session/StandardSelection.h"
#include "session/SvgCanvas.h"
#include "signal/CSataBitDetector.h"
#include "tools/kestrava-decode/ListRecords.h"

namespace kestrava {
namespace {

constexpr int kPlotWidthPixels = 1200;
constexpr int kPlotHeightPixels = 320;

int HighLevelKindOf(const std::string& list) {
    if (list == "fis") return kFisList;
    if (list == "atapi") return kAtapiList;
    if (list == "frames") return kFramesList;
    return kPrimitivesList;
}

void ApplyOptions(const DecodeOptions& o, CSataUserInterface& ui) {
    ApplyDecodeChoices(ChoicesOf(o), ui);
    ui.highLevelKind = HighLevelKindOf(o.list);
    ui.viewLayout = o.plotPath.empty() ? 2 : 1;
}

// The default leaves the definition as it is, so a recalled setup keeps its standard.
bool LoadStandard(const std::string& title, std::ostream& err) {
    if (title == "Sata") return true;
    if (StandardSelection().IndexOf(title) < 0) {
        err << "kestrava-decode: no protocol definition '" << title << "' ("
            << StandardSelection::DefinitionPath(title) << ")\n";
        return false;
    }
    // The decode sends no trigger set-up, whatever the rate.
    StandardSelection::LoadDefinition(title, 0.0);
    return true;
}

// Written beside the file and renamed over it, so a failure leaves the earlier file whole.
bool WriteFile(const std::string& path, const std::string& text, std::ostream& err) {
    const FileReplacement::Outcome outcome = FileReplacement::Write(path, text);
    if (outcome.written) return true;
    err << "kestrava-decode: cannot write " << path;
    if (!outcome.refusal.empty())
        err << ": " << outcome.refusal;
    else if (outcome.error != 0)
        err << ": " << std::strerror(outcome.error);
    err << "\n";
    return false;
}

bool WriteOut(const DecodeOptions& o, const std::string& text, std::ostream& out,
              std::ostream& err) {
    if (o.outputPath.empty()) {
        out << text;
        return true;
    }
    return WriteFile(o.outputPath, text, err);
}

bool WritePlot(const DecodeOptions& o, CSataUserInterface& ui, std::ostream& err) {
    if (o.plotAt) ui.view.start = static_cast<std::uint32_t>(*o.plotAt);
    if (o.plotWidth) ui.view.width = static_cast<std::uint32_t>(*o.plotWidth);
    ui.view.overview = ui.IsOverviewWidth(ui.view.width);
    SvgCanvas canvas(kPlotWidthPixels, kPlotHeightPixels);
    ui.DrawGraph(canvas);
    return WriteFile(o.plotPath, canvas.Document(), err);
}

// An output that is one of the inputs would be replaced by what was made from it.
bool OutputIsAnInput(const DecodeOptions& o, std::ostream& err) {
    for (const std::string* output : {&o.outputPath, &o.plotPath})
        for (const std::string* input :
             {&o.waveformPath, &o.setupPath, &o.hostLanePath, &o.deviceLanePath})
            if (!output->empty() && !input->empty() && FileReplacement::SameFile(*output, *input)) {
                err << "kestrava-decode: cannot write " << *output << ": it is the input file "
                    << *input << "\n";
                return true;
            }
    return false;
}

// The first line of the status summary that begins with prefix, empty when none does.
std::string KeptLine(const CAnalysisHost& host, std::string_view prefix) {
    std::istringstream lines(host.KeptSummary());
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind(prefix, 0) == 0) return line;
    }
    return {};
}

// The error a stage left in the status summary ("ERROR IN BIT DETECTION....") or a list
// that lost lines: the decode stopped part way, and its lists are no result. Empty when
// every stage finished.
std::string StageError(const CAnalysisHost& host, const WholeListBox& main,
                       const WholeListBox& highLevel) {
    if (std::string line = KeptLine(host, "ERROR IN "); !line.empty()) return line;
    if (main.LostLines() || highLevel.LostLines()) return "out of memory while filling the lists";
    return {};
}

double NumberOr(const std::optional<std::string>& text, double otherwise) {
    double value = otherwise;
    if (text) std::from_chars(text->data(), text->data() + text->size(), value);
    return value;
}

// What the readers are told of a file that does not say it itself.
ImportOptions ImportOptionsOf(const DecodeOptions& o) {
    ImportOptions import;
    if (o.column) {
        long long number = 0;
        const auto [end, ec] =
            std::from_chars(o.column->data(), o.column->data() + o.column->size(), number);
        if (ec == std::errc() && end == o.column->data() + o.column->size() && number > 0 &&
            number < (1 << 20))
            import.column = static_cast<int>(number);
        else
            import.columnName = *o.column;
    }
    if (o.waveform && *o.waveform < (1 << 20)) import.waveform = static_cast<int>(*o.waveform);
    if (!o.rawFormat.empty())
        import.rawFormat = o.rawFormat == "int8"    ? SampleFormat::Int8
                           : o.rawFormat == "int16" ? SampleFormat::Int16
                                                    : SampleFormat::Float;
    import.rawBigEndian = o.rawByteOrder == "big";
    import.rawSampleIntervalS = NumberOr(o.sampleInterval, 0.0);
    import.rawScale = NumberOr(o.rawScale, 1.0);
    import.rawOffset = NumberOr(o.rawOffset, 0.0);
    return import;
}

ListSource SourceOf(const DecodeOptions& o, CSataUserInterface& ui) {
    ListSource source;
    source.list = o.list;
    source.words = ui.Decoder().WordDecoder();
    source.prims = ui.Decoder().PrimDecoder();
    if (const CSataBitDetector* bits = ui.Decoder().BitDetector()) {
        source.sampleIntervalS = bits->Record().source.sampleIntervalS;
        source.firstSampleTimeS = bits->Record().source.firstTransferPointTimeS;
    }
    return source;
}

// The list as records, filler dropped when asked (the count on stderr, so the list
// itself stays what a program reads).
std::string RecordsText(const DecodeOptions& o, CSataUserInterface& ui, const IListBox& list,
                        std::ostream& err) {
    std::vector<ListRecord> records = MakeListRecords(list, SourceOf(o, ui));
    if (o.hideFiller)
        err << "kestrava-decode: " << HideFiller(records)
            << " filler lines hidden (ALIGN, SYNC, CONT and repeats)\n";
    if (o.format == "csv") return RecordsAsCsv(records);
    if (o.format == "json") return RecordsAsJson(records, o.list);
    return RecordsAsText(records);
}

// Where a decode's record comes from: a waveform file, or an acquisition of an instrument's
// source in the given mode.
struct Input {
    std::string file;
    std::string source;
    int mode = kAcquireSingleSequence;
};

void Load(const Input& input, CSataUserInterface& ui) {
    if (input.source.empty()) {
        ui.LoadFile(input.file);
        return;
    }
    ui.SetSource(SourceIndex(input.source));
    SetAcquisitionMode(input.mode);
    ui.LoadWaveformFromOsc();
}

// The command line's lines for an input that gave nothing to decode.
void SayNotLoaded(const Input& input, std::ostream& err) {
    if (input.source.empty()) {
        err << LoadFailureMessage(input.file) << "\n";
        return;
    }
    err << "kestrava-decode: " << input.source << ": Waveform is not available for analysis\n";
    if (const std::string problem = WdmGetInstrumentProblem(); !problem.empty())
        err << "kestrava-decode: " << input.source << ": " << problem << "\n";
}

// The session closes after the decode is gone: its record lives in the module.
struct CloseSessionAtExit {
    bool scope;
    ~CloseSessionAtExit() {
        if (scope) TheOscilloscope().CloseConnection(true);
    }
};

struct DecodedLane {
    std::vector<LaneItem> items;
    double sampleIntervalS = 0.0;
    double firstS = 0.0;
    double lastS = 0.0;
};

// One lane decoded on its own and kept as its runs and frames; false with the reason on err.
bool DecodeLane(const DecodeOptions& o, const Input& input, DecodedLane& lane, std::ostream& err) {
    WholeListBox mainList, highLevelList;
    CSataUserInterface ui(mainList, highLevelList);
    ApplyOptions(o, ui);
    Load(input, ui);
    if (!ui.Decoder().IsValid() || !ui.Decoder().PrimDecoder() || !ui.Decoder().WordDecoder()) {
        SayNotLoaded(input, err);
        return false;
    }
    const WaveformRecord& record = ui.Decoder().BitDetector()->Record();
    lane.sampleIntervalS = record.source.sampleIntervalS;
    lane.firstS = record.source.firstTransferPointTimeS;
    lane.lastS = lane.firstS + static_cast<double>(record.sampleCount) * lane.sampleIntervalS;
    lane.items = LaneItems(*ui.Decoder().PrimDecoder(), *ui.Decoder().WordDecoder(),
                           lane.sampleIntervalS, lane.firstS);
    return true;
}

// Two records taken together share a time base and a span of time; when they do not, the
// link is still shown, with the reason.
void CheckTimeBases(const DecodedLane& host, const DecodedLane& device, std::ostream& err) {
    const double a = host.sampleIntervalS, b = device.sampleIntervalS;
    if (std::abs(a - b) > 1e-9 * std::max(std::abs(a), std::abs(b)))
        err << "kestrava-decode: the lanes have different sample intervals (" << a << " s and " << b
            << " s)\n";
    if (host.lastS < device.firstS || device.lastS < host.firstS)
        err << "kestrava-decode: the two records do not overlap in time\n";
}

int RunLink(const DecodeOptions& o, std::ostream& out, std::ostream& err) {
    if (!LoadStandard(o.standard, err)) return kExitUsage;
    // Two sources of one acquisition: the first acquired as asked, the second's record is
    // the one that acquisition left.
    const bool scope = !o.deviceScopeSource.empty();
    const CloseSessionAtExit closeSession{scope};
    const Input hostInput =
        scope ? Input{{}, o.scopeSource, o.acquisitionMode.value_or(kAcquireSingleSequence)}
              : Input{o.hostLanePath, {}};
    const Input deviceInput =
        scope ? Input{{}, o.deviceScopeSource, kAcquireHeldRecord} : Input{o.deviceLanePath, {}};
    DecodedLane host, device;
    if (!DecodeLane(o, hostInput, host, err) || !DecodeLane(o, deviceInput, device, err))
        return kExitNotDecoded;
    CheckTimeBases(host, device, err);
    std::vector<LinkLine> lines = AnalyseLink(host.items, device.items, LinkLimits{});
    if (o.hideFiller) {
        const std::size_t before = lines.size();
        std::erase_if(lines, [](const LinkLine& line) { return line.filler; });
        err << "kestrava-decode: " << before - lines.size() << " filler lines hidden (SYNC)\n";
    }
    std::string text;
    if (o.format == "text") {
        text = LinkText(lines);
    } else {
        const std::vector<ListRecord> records = MakeLinkRecords(
            lines, {host.firstS, host.sampleIntervalS}, {device.firstS, device.sampleIntervalS});
        text = o.format == "csv" ? RecordsAsCsv(records) : RecordsAsJson(records, o.list);
    }
    return WriteOut(o, text, out, err) ? kExitOk : kExitNotDecoded;
}

std::string VersionText() {
    std::ifstream file(Folders::Join(Folders::InstallFolder(), "version.txt"));
    std::string version;
    std::getline(file, version);
    return version.empty() ? "unknown" : version;
}

}  // namespace

int RunDecode(const DecodeOptions& o, std::ostream& out, std::ostream& err) {
    if (o.help) {
        out << kDecodeUsage;
        return kExitOk;
    }
    if (o.version) {
        out << "kestrava-decode " << VersionText() << "\n";
        return kExitOk;
    }
    if (OutputIsAnInput(o, err)) return kExitUsage;
    Folders::PrepareDataFolders();
    if (o.list == "link") return RunLink(o, out, err);
    const CloseSessionAtExit closeSession{!o.scopeSource.empty()};
    WholeListBox mainList, highLevelList;
    CSataUserInterface ui(mainList, highLevelList);
    if (!o.setupPath.empty()) {
        BasicSetupTarget setup(ui);
        if (!RecallSetting(o.setupPath, ui, setup)) {
            err << "kestrava-decode: cannot read the setup file " << o.setupPath << "\n";
            return kExitUsage;
        }
    }
    if (!LoadStandard(o.standard, err)) return kExitUsage;
    ApplyOptions(o, ui);
    const Input input{o.waveformPath, o.scopeSource,
                      o.acquisitionMode.value_or(kAcquireSingleSequence)};
    if (input.source.empty()) ImportReport::SetOptions(ImportOptionsOf(o));
    Load(input, ui);
    if (input.source.empty())
        if (const std::string note = ImportReport::Note(); !note.empty())
            err << "kestrava-decode: " << note << "\n";
    if (o.status) err << ui.StatusText();
    if (!ui.Decoder().IsValid()) {
        SayNotLoaded(input, err);
        return kExitNotDecoded;
    }
    if (const std::string error = StageError(ui, mainList, highLevelList); !error.empty()) {
        err << "kestrava-decode: " << (o.scopeSource.empty() ? o.waveformPath : o.scopeSource)
            << ": " << error << "\n";
        return kExitNotDecoded;
    }
    // Not a failure (a quiet lane is a result), but an empty list needs its reason.
    if (const std::string noEdge = KeptLine(ui, "No edge crossed"); !noEdge.empty() && !o.status)
        err << "kestrava-decode: " << o.waveformPath << o.scopeSource << ": " << noEdge << "\n";
    if (!o.plotPath.empty() && !WritePlot(o, ui, err)) return kExitNotDecoded;
    if (!o.mergePath.empty()) {
        return ui.MergeFile(o.mergePath) ? kExitOk : kExitNotDecoded;
    }
    const IListBox& list = o.list == "characters" ? mainList : highLevelList;
    std::string text;
    if (o.report)
        text = ReportFile::Format(mainList, ui.WaveformTitle());
    else if (o.format == "text" && !o.hideFiller)
        text = ReportFile::ListText(list);
    else
        text = RecordsText(o, ui, list, err);
    return WriteOut(o, text, out, err) ? kExitOk : kExitNotDecoded;
}

}  // namespace kestrava
