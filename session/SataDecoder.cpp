#include "session/SataDecoder.h"

#include <cstdio>
#include <optional>
#include <string_view>
#include <utility>

#include "base/CAnalysisHost.h"
#include "base/Folders.h"
#include "base/Guard.h"
#include "definition/CMacros.h"
#include "formats/ImportReport.h"
#include "instrument/SettingNumbers.h"
#include "instrument/Wdm.h"
#include "protocol/CSataPrimDecoder.h"
#include "protocol/CSataWordDecoder.h"
#include "protocol/HighLevelLists.h"
#include "session/MixedList.h"
#include "session/WaveformGraph.h"
#include "signal/CSataBitDetector.h"

namespace kestrava {
namespace {

// The definition's bit rate, read afresh for every recovery: choosing a standard loads
// another definition.
std::optional<double> DefinitionBitRate() {
    const CMacros* macros = TheMacros();
    if (!macros) return std::nullopt;
    return SettingDouble(macros->bitRateText);
}

}  // namespace

SataDecoder::SataDecoder(CAnalysisHost* presentation) : presentation_(presentation) {
    Guard(logSource_, "SataDecoder", [&] {
        macros_ = std::make_unique<CMacros>();
        SetTheMacros(macros_.get());
        macros_->LoadMacros(DefaultDefinitionPath());
    });
}

SataDecoder::SataDecoder(CAnalysisHost* host, StopRequest stop)
    : presentation_(host), stop_(std::move(stop)) {}

SataDecoder::~SataDecoder() {
    WriteLog(logSource_, "Start:~SataDecoder", kLogError);
    Guard(logSource_, "~SataDecoder", [&] {
        ClearStages();
        if (macros_ && TheMacros() == macros_.get()) SetTheMacros(nullptr);
        macros_.reset();
    });
    WriteLog(logSource_, "End:~SataDecoder", kLogError);
}

std::string SataDecoder::DefaultDefinitionPath() {
    return Folders::Join(Folders::DataFolder("Macros"), "Sata.csv");
}

bool SataDecoder::IsValid() const {
    return bitDetector_ && bitDetector_->SampleCount() > 0;
}

void SataDecoder::ClearStages() {
    primDecoder_.reset();
    wordDecoder_.reset();
    bitDetector_.reset();
}

// The stop request is asked only here, between stages: a stage itself runs to its end.
bool SataDecoder::StopHere() {
    if (!stop_ || !stop_()) return false;
    stopped_ = true;
    ClearStages();
    return true;
}

void SataDecoder::Decode(const CSataBitDetector& bits) {
    if (StopHere()) return;
    wordDecoder_ = std::make_unique<CSataWordDecoder>(bits.Bits(), presentation_);
    if (StopHere()) return;
    primDecoder_ =
        std::make_unique<CSataPrimDecoder>(*wordDecoder_, bits.Bits().samplesPerBit, presentation_);
    StopHere();
}

// Empties the status box and both lists; the presentation clears its own graph range.
void SataDecoder::ClearPresentation() {
    if (presentation_) presentation_->ClearAllContents();
}

void SataDecoder::LoadFile(const std::string& path) {
    Guard(logSource_, "LoadFile", [&] {
        Load([&] {
            return std::make_unique<CSataBitDetector>(path, presentation_, DefinitionBitRate);
        });
    });
}

void SataDecoder::LoadRecord(const RecordStream& stream, const std::string& sourceText) {
    Guard(logSource_, "LoadRecord", [&] {
        Load([&] {
            return std::make_unique<CSataBitDetector>(stream, sourceText, presentation_,
                                                      DefinitionBitRate);
        });
    });
}

// A file or a streamed record alike: the stages of whatever bits makeBits recovered.
void SataDecoder::Load(const std::function<std::unique_ptr<CSataBitDetector>()>& makeBits) {
    ClearStages();
    stopped_ = false;
    if (StopHere()) return;
    bitDetector_ = makeBits();
    if (IsValid()) {
        Decode(*bitDetector_);
        return;
    }
    if (StopHere()) return;
    bitDetector_.reset();
    ClearPresentation();
    if (!presentation_) return;
    presentation_->DisplayMessage("Waveform file is not in the specified wfm format", kShow);
    // The readers say why they refused the file.
    if (const std::string problem = ImportReport::Problem(); !problem.empty())
        presentation_->DisplayMessage(problem, kShow);
}

void SataDecoder::LoadWfmFromScope(int source) {
    Guard(logSource_, "LoadWfmFromScope", [&] {
        ClearStages();
        ClearPresentation();
        if (presentation_)
            presentation_->DisplayMessage("----------------START-----------------", kShow);
        bitDetector_ = std::make_unique<CSataBitDetector>(source, presentation_, DefinitionBitRate);
        if (IsValid()) {
            Decode(*bitDetector_);
            return;
        }
        bitDetector_.reset();
        if (!presentation_) return;
        presentation_->DisplayMessage("Waveform is not available for analysis", kShowAndKeep);
        if (const std::string problem = WdmGetInstrumentProblem(); !problem.empty())
            presentation_->DisplayMessage(problem, kShowAndKeep);
        presentation_->DisplayMessage("-----  DONE  -----", kShowSummary);
    });
}

void SataDecoder::Resample() {
    Guard(logSource_, "Resample", [&] {
        if (!bitDetector_) return;
        primDecoder_.reset();
        wordDecoder_.reset();
        bitDetector_->Recalculate();
        Decode(*bitDetector_);
    });
}

void SataDecoder::Redecode() {
    Guard(logSource_, "Redecode", [&] {
        if (!IsValid()) return;
        primDecoder_.reset();
        wordDecoder_.reset();
        Decode(*bitDetector_);
    });
}

void SataDecoder::RedecodeBits(const CSataBitDetector& bits) {
    Guard(logSource_, "Redecode", [&] {
        ClearStages();
        stopped_ = false;
        if (bits.SampleCount() > 0) Decode(bits);
    });
}

void SataDecoder::TakeStages(SataDecoder& other, bool keepBits) {
    primDecoder_ = std::move(other.primDecoder_);
    wordDecoder_ = std::move(other.wordDecoder_);
    if (!keepBits) bitDetector_ = std::move(other.bitDetector_);
}

void SataDecoder::GetMixedList(IListBox& list) {
    Guard(logSource_, "GetMixedList", [&] {
        if (!IsValid() || !wordDecoder_ || !primDecoder_ || !presentation_) return;
        MixedList(*bitDetector_, *wordDecoder_, *primDecoder_, TheMacros(), *presentation_)
            .Fill(list);
    });
}

void SataDecoder::FindLine(IListBox& list, int wordIndex) {
    Guard(logSource_, "FindLine", [&] {
        if (!wordDecoder_) return;
        const auto& positions = wordDecoder_->StartPositions();
        if (wordIndex < 0 || wordIndex >= static_cast<int>(positions.size())) return;
        const ItemData position = positions[static_cast<std::size_t>(wordIndex)];
        int line = 0;
        while (line < list.Count() && list.Data(line) < position) ++line;
        list.Select(line);
    });
}

void SataDecoder::GeneratePrimsList(IListBox& list) {
    Guard(logSource_, "GeneratePrimsList",
          [&] { kestrava::GeneratePrimsList(primDecoder_.get(), presentation_, list); });
}

void SataDecoder::GenerateFISList(IListBox& list) {
    Guard(logSource_, "GenerateFISList",
          [&] { kestrava::GenerateFISList(primDecoder_.get(), presentation_, list); });
}

void SataDecoder::GenerateATAPIList(IListBox& list) {
    Guard(logSource_, "GenerateATAPIList",
          [&] { kestrava::GenerateATAPIList(primDecoder_.get(), presentation_, list); });
}

void SataDecoder::GenerateFramesList(IListBox& list) {
    Guard(logSource_, "GenerateFramesList",
          [&] { kestrava::GenerateFramesList(primDecoder_.get(), presentation_, list); });
}

void SataDecoder::GenerateGraph(ICanvas& canvas, GraphView& view) {
    Guard(logSource_, "GenerateGraph", [&] {
        if (!bitDetector_ || !presentation_) return;
        WaveformGraph(*bitDetector_, wordDecoder_.get(), *presentation_).Draw(canvas, view);
    });
}

}  // namespace kestrava
