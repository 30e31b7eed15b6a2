#include "session/ScriptedDecode.h"

#include <algorithm>
#include <mutex>
#include <sstream>

#include "base/Folders.h"
#include "base/Workers.h"
#include "definition/CMacros.h"
#include "formats/ImportReport.h"
#include "instrument/Wdm.h"
#include "protocol/CSataPrimDecoder.h"
#include "protocol/CSataWordDecoder.h"
#include "session/CSataUserInterface.h"
#include "session/ReportFile.h"
#include "session/SetupFile.h"
#include "session/StandardSelection.h"
#include "signal/CSataBitDetector.h"

namespace kestrava {
namespace {

constexpr char kPrefix[] = "kestrava-decode: ";

std::mutex& Turns() {
    static std::mutex turns;
    return turns;
}

}  // namespace

void ApplyDecodeChoices(const DecodeChoices& c, CSataUserInterface& ui) {
    Workers::SetCount(c.threads.value_or(0));
    if (!c.syncPattern.empty()) {
        ui.SetSyncPattern(c.syncPattern);
        ui.SetSyncPatternEnabled(true);
    }
    if (c.refLevelPercent) ui.SetRefLevelP(*c.refLevelPercent);
    if (c.hysteresisPercent) ui.SetHysterisisP(*c.hysteresisPercent);
    if (c.refLevelVolts) ui.SetRefLevelAbs(*c.refLevelVolts);
    if (c.hysteresisVolts) ui.SetHysterisisAbs(*c.hysteresisVolts);
    if (c.refLevelVolts || c.hysteresisVolts) ui.SetIsAbsRefLevel(1);
    // Only when given, so a recalled setup keeps its own.
    if (c.invert) ui.SetInvert(1);
    if (c.lockSampler) ui.SetLockSampler(1);
}

namespace {

// The error a stage left in the status summary, or a list that lost lines; empty when
// every stage finished.
std::string StageError(const CAnalysisHost& host, bool lostLines) {
    std::istringstream lines(host.KeptSummary());
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("ERROR IN ", 0) == 0) return line;
    }
    return lostLines ? "out of memory while filling the lists" : std::string();
}

template <class Item, class Key>
const Item* FindByWord(const std::vector<Item>& items, int word, Key key) {
    auto at = std::lower_bound(items.begin(), items.end(), word,
                               [&](const Item& item, int w) { return key(item) < w; });
    return at != items.end() && key(*at) == word ? &*at : nullptr;
}

// Kind, value and flags of each characters-list line, from the stages the list was made
// from: each word line is the next listed word at that position.
class CharacterRows {
  public:
    CharacterRows(const CSataWordDecoder& words, const CSataPrimDecoder& prims)
        : words_(words), prims_(prims), macros_(TheMacros()) {}

    void Add(const std::string& text, ItemData tag, DecodedList& out) {
        LineKind kind = LineKind::Silence;
        std::int64_t value = -1;
        std::uint32_t flags = 0;
        if (text.rfind("---Got ", 0) == 0 || text.rfind("---Missed ", 0) == 0) {
            kind = LineKind::Shift;
        } else if (!text.empty() && text.rfind("---Silence", 0) != 0) {
            const int w = NextWordAt(tag);
            kind = KindOf(w);
            if (kind != LineKind::InvalidCode) value = words_.GetWordValue(w);
            flags = FlagsOf(w);
        }
        out.kinds.push_back(kind);
        out.values.push_back(value);
        out.flags.push_back(flags);
        out.positions.push_back(tag);
    }

  private:
    int NextWordAt(ItemData position) {
        const auto& starts = words_.StartPositions();
        while (next_ < static_cast<int>(starts.size()) &&
               starts[static_cast<std::size_t>(next_)] != position)
            ++next_;
        return next_ < static_cast<int>(starts.size()) ? next_++ : -1;
    }
    LineKind KindOf(int w) const {
        if (w < 0 || words_.TableRows()[static_cast<std::size_t>(w)] == -1)
            return LineKind::InvalidCode;
        auto primitiveWord = [](const FoundPrimitive& p) { return p.wordIndex; };
        if (FindByWord(prims_.FoundPrimitives(), w, primitiveWord)) return LineKind::Primitive;
        auto dataWord = [](const DataWord& d) { return d.wordIndex; };
        if (FindByWord(prims_.DataWords(), w, dataWord)) return LineKind::DataWord;
        return LineKind::Character;
    }
    std::uint32_t FlagsOf(int w) const {
        if (w < 0) return 0;
        std::uint32_t flags = words_.CheckRD(w) ? kFlagRdError : 0;
        const int row = words_.TableRows()[static_cast<std::size_t>(w)];
        if (macros_ && row >= macros_->rdErrorFirstRow && row <= macros_->rdErrorLastRow)
            flags |= kFlagWrongRdRow;
        return flags;
    }

    const CSataWordDecoder& words_;
    const CSataPrimDecoder& prims_;
    const CMacros* macros_;
    int next_ = 0;
};

// The high-level lists tag each line with a word index; the position is that word's.
void AddWordRow(const CSataWordDecoder& words, ItemData word, LineKind kind, std::int64_t value,
                DecodedList& out) {
    const auto& starts = words.StartPositions();
    const bool inside = word >= 0 && static_cast<std::size_t>(word) < starts.size();
    out.positions.push_back(inside ? starts[static_cast<std::size_t>(word)] : -1);
    out.kinds.push_back(kind);
    out.values.push_back(value);
    out.flags.push_back(0);
}

void TakeLines(const MemoryListBox& box, DecodedList& out) {
    out.texts = box.Texts();
    out.tags.resize(out.texts.size());
    for (std::size_t i = 0; i < out.tags.size(); ++i) out.tags[i] = box.Data(static_cast<int>(i));
}

void FillLists(SataDecoder& decoder, const MemoryListBox& characters, DecodeOutcome& outcome) {
    const CSataWordDecoder& words = *decoder.WordDecoder();
    const CSataPrimDecoder& prims = *decoder.PrimDecoder();
    DecodedList& chars = outcome.lists[kCharactersList];
    TakeLines(characters, chars);
    CharacterRows rows(words, prims);
    for (std::size_t i = 0; i < chars.Size(); ++i) rows.Add(chars.texts[i], chars.tags[i], chars);

    MemoryListBox box;
    decoder.GeneratePrimsList(box);
    TakeLines(box, outcome.lists[kPrimitiveList]);
    for (std::size_t i = 0; i < prims.FoundPrimitives().size() && i < box.Texts().size(); ++i)
        AddWordRow(words, box.Data(static_cast<int>(i)), LineKind::Primitive,
                   prims.FoundPrimitives()[i].number, outcome.lists[kPrimitiveList]);

    decoder.GenerateFISList(box);
    TakeLines(box, outcome.lists[kFisLines]);
    auto dataWord = [](const DataWord& d) { return d.wordIndex; };
    for (std::size_t i = 0; i < box.Texts().size(); ++i) {
        const ItemData word = box.Data(static_cast<int>(i));
        const DataWord* source = FindByWord(prims.DataWords(), word, dataWord);
        const bool header = box.Texts()[i].rfind("FIS ", 0) == 0;
        AddWordRow(words, word, header ? LineKind::FisHeader : LineKind::FisField,
                   source ? std::int64_t{source->value} : -1, outcome.lists[kFisLines]);
    }

    decoder.GenerateATAPIList(box);
    TakeLines(box, outcome.lists[kAtapiLines]);
    const auto& commands = prims.AtapiCommands();
    for (std::size_t i = 0; i < commands.size() && i < box.Texts().size(); ++i)
        AddWordRow(words, box.Data(static_cast<int>(i)), LineKind::AtapiCommand, commands[i].opcode,
                   outcome.lists[kAtapiLines]);

    const EdgeTimeBase timeBase = WdmGetEdgeTimeBase();
    for (DecodedList& list : outcome.lists) {
        list.times.resize(list.Size());
        for (std::size_t i = 0; i < list.Size(); ++i)
            list.times[i] = timeBase.Seconds(static_cast<double>(list.positions[i]));
    }
    outcome.sampleIntervalS = timeBase.intervalS;
}

// The decode behind both entry points; name is what the command line's messages name.
DecodeOutcome Run(const std::string& name, const DecodeChoices& choices,
                  const std::function<void(CSataUserInterface&)>& load) {
    const std::lock_guard<std::mutex> turn(Turns());
    DecodeOutcome outcome;
    Folders::PrepareDataFolders();
    WholeListBox mainList, highLevelList;
    CSataUserInterface ui(mainList, highLevelList);
    if (!choices.setupPath.empty()) {
        BasicSetupTarget setup(ui);
        if (!RecallSetting(choices.setupPath, ui, setup)) {
            outcome.error = kPrefix + ("cannot read the setup file " + choices.setupPath);
            return outcome;
        }
    }
    if (choices.standard != "Sata") {
        if (StandardSelection().IndexOf(choices.standard) < 0) {
            outcome.error = kPrefix + ("no protocol definition '" + choices.standard + "' (" +
                                       StandardSelection::DefinitionPath(choices.standard) + ")");
            return outcome;
        }
        StandardSelection::LoadDefinition(choices.standard, 0.0);
    }
    ApplyDecodeChoices(choices, ui);
    ui.highLevelKind = kPrimitivesList;
    ui.viewLayout = 2;  // lists only
    load(ui);
    outcome.status = ui.StatusText();
    outcome.title = ui.WaveformTitle();
    SataDecoder& decoder = ui.Decoder();
    if (!decoder.IsValid()) {
        outcome.error = LoadFailureMessage(name);
        return outcome;
    }
    if (const std::string error = StageError(ui, mainList.LostLines() || highLevelList.LostLines());
        !error.empty() || !decoder.WordDecoder() || !decoder.PrimDecoder()) {
        outcome.error = kPrefix + name + ": " + (error.empty() ? "no decode" : error);
        return outcome;
    }
    outcome.sampleCount = decoder.BitDetector()->SampleCount();
    outcome.samplesPerBit = decoder.BitDetector()->Bits().samplesPerBit;
    outcome.report = ReportFile::Format(mainList, ui.WaveformTitle());
    FillLists(decoder, mainList, outcome);
    return outcome;
}

}  // namespace

std::string LoadFailureMessage(const std::string& name) {
    std::string message = kPrefix + name + ": Waveform file is not in the specified wfm format";
    if (const std::string problem = ImportReport::Problem(); !problem.empty())
        message += "\n" + std::string(kPrefix) + problem;
    return message;
}

const char* LineKindName(LineKind kind) {
    static constexpr const char* kNames[kLineKinds] = {
        "character", "primitive", "data", "invalid", "silence", "shift", "fis", "field", "atapi"};
    return kNames[static_cast<int>(kind)];
}

DecodeOutcome ScriptedDecode::File(const std::string& path, const DecodeChoices& choices) {
    return Run(path, choices, [&](CSataUserInterface& ui) { ui.LoadFile(path); });
}

DecodeOutcome ScriptedDecode::Samples(const MemoryRecord& record, const std::string& title,
                                      const DecodeChoices& choices) {
    if (const std::string problem = record.Problem(); !problem.empty()) {
        DecodeOutcome outcome;
        outcome.error = kPrefix + title + ": " + problem;
        return outcome;
    }
    return Run(title, choices, [&](CSataUserInterface& ui) {
        ui.LoadRecord([&](RecordDescription& description,
                          RecordSink& sink) { return record.Stream(description, sink); },
                      "ARRAY - " + title, title);
    });
}

std::string ScriptedDecode::Read(const std::string& path, RecordDescription& description,
                                 RecordSink& sink) {
    const std::lock_guard<std::mutex> turn(Turns());
    if (WdmStreamWaveformFile(path, 1, ":WFM#001", nullptr, description, sink) > 0) return {};
    return LoadFailureMessage(path);
}

}  // namespace kestrava
