#include "session/CSataUserInterface.h"

#include <algorithm>
#include <cstdio>
#include <functional>

#include "base/Guard.h"
#include "base/MessageBox.h"
#include "instrument/COscilloscope.h"
#include "protocol/CSataWordDecoder.h"
#include "session/ICanvas.h"
#include "session/ReportFile.h"
#include "signal/CSataBitDetector.h"

namespace kestrava {
namespace {

constexpr Rgb kFrameBlue{39, 78, 117};
constexpr Rgb kGraphBackground{174, 198, 220};
constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kWhite{255, 255, 255};

// Shows the wait cursor for as long as it lives.
class WaitCursor {
  public:
    explicit WaitCursor(std::function<void(bool)> set) : set_(std::move(set)) { set_(true); }
    ~WaitCursor() { set_(false); }

  private:
    std::function<void(bool)> set_;
};

}  // namespace

CSataUserInterface::CSataUserInterface(IListBox& mainList, IListBox& highLevelList)
    : mainList_(mainList), highLevelList_(highLevelList) {
    decoder_ = std::make_unique<SataDecoder>(this);
}

CSataUserInterface::~CSataUserInterface() {
    WriteLog("Destr", "Start:~CSataUserInterface", kLogError);
    decoder_.reset();
    WriteLog("Destr", "End:~CSataUserInterface", kLogError);
}

int CSataUserInterface::SamplesPerBit() const {
    const CSataBitDetector* bits = decoder_->BitDetector();
    return bits ? bits->Bits().samplesPerBit : 1;
}

void CSataUserInterface::LoadFile(const std::string& path) {
    Guard(logSource_, "LoadFile", [&] {
        WaitCursor wait([this](bool on) { SetWaitCursor(on); });
        waveformTitle_.clear();
        waveformFile_ = path;
        decoder_->LoadFile(path);
        PresentDecode(path);
    });
}

void CSataUserInterface::LoadRecord(const RecordStream& stream, const std::string& sourceText,
                                    const std::string& title) {
    Guard(logSource_, "LoadRecord", [&] {
        WaitCursor wait([this](bool on) { SetWaitCursor(on); });
        waveformTitle_.clear();
        waveformFile_.clear();
        decoder_->LoadRecord(stream, sourceText);
        PresentDecode(title);
    });
}

CSataUserInterface::AwayDecode::AwayDecode(const CSataUserInterface& shown, StopRequest stop)
    : shown_(shown), host_(std::make_unique<Host>(shown)), decoder_(host_.get(), std::move(stop)) {}

void CSataUserInterface::AwayDecode::LoadFile(const std::string& path) {
    made_ = true;
    title_ = path;
    file_ = path;
    decoder_.LoadFile(path);
}

void CSataUserInterface::AwayDecode::LoadFromScope() {
    made_ = true;
    const int source = host_->GetSource();
    title_ = SourceWaveformTitle(source);
    decoder_.LoadWfmFromScope(source);
}

void CSataUserInterface::AwayDecode::Redecode() {
    made_ = true;
    redecode_ = true;
    if (const CSataBitDetector* bits = shown_.decoder_->BitDetector()) decoder_.RedecodeBits(*bits);
}

void CSataUserInterface::Present(AwayDecode& away) {
    Guard(logSource_, "Present", [&] {
        WaitCursor wait([this](bool on) { SetWaitCursor(on); });
        static_cast<CAnalysisHost&>(*this) = *away.host_;
        OnStatusChanged();
        // Emptied before the new stages come: the graph's clearing empties the shown bits.
        if (!away.redecode_ && away.host_->cleared) {
            ClearBox(highLevelList_);
            ClearBox(mainList_);
            ClearGraph();
        }
        decoder_->TakeStages(away.decoder_, away.redecode_);
        // The word and primitive stages ask their host only while they are made; the bits
        // ask it again when they are recalculated.
        if (away.redecode_) {
            PresentRedecode();
            return;
        }
        stagesHost_ = std::move(away.host_);
        waveformTitle_.clear();
        waveformFile_ = away.file_;
        PresentDecode(away.title_);
    });
}

void CSataUserInterface::PresentRedecode() {
    decodedInvert_ = GetInvert();
    decodedLockSampler_ = GetLockSampler();
    PopulateMainList();
    PopulateHighLevalList();
    ZoomNorm();
    InvalidateGraph();
}

void CSataUserInterface::PresentDecode(const std::string& title) {
    const CSataBitDetector* bits = decoder_->BitDetector();
    if (bits && bits->Record().CodeCount() > 0) waveformTitle_ = title;
    decodedInvert_ = GetInvert();
    decodedLockSampler_ = GetLockSampler();
    PopulateMainList();
    PopulateHighLevalList();
    ZoomNorm();
    view.overview = false;
    InvalidateGraph();
}

std::string CSataUserInterface::SourceWaveformTitle(int source) {
    char title[32] = "";
    if (source >= 0 && source <= 3)
        std::snprintf(title, sizeof title, "CH%d Waveform", source + 1);
    else if (source >= 4 && source <= 7)
        std::snprintf(title, sizeof title, "Ref%d Waveform", source - 3);
    else if (source >= 8 && source <= 11)
        std::snprintf(title, sizeof title, "Math%d Waveform", source - 7);
    return title;
}

void CSataUserInterface::LoadWaveformFromOsc() {
    Guard(logSource_, "LoadWaveformFromOsc", [&] {
        WaitCursor wait([this](bool on) { SetWaitCursor(on); });
        waveformTitle_.clear();
        waveformFile_.clear();
        decoder_->LoadWfmFromScope(GetSource());
        PresentDecode(SourceWaveformTitle(GetSource()));
    });
}

void CSataUserInterface::SetCursorPosition(int which, int index, std::int64_t position) {
    Guard(logSource_, "SetCursorPosition", [&] {
        WaitCursor wait([this](bool on) { SetWaitCursor(on); });
        TheOscilloscope().SetCursorPosition(which == 1 ? 1 : 2, index, position);
    });
}

void CSataUserInterface::Zoom1(int index) {
    Zoom1(index, view);
}

void CSataUserInterface::Zoom1(int index, const GraphView& at) {
    Guard(logSource_, "Zoom1", [&] {
        WaitCursor wait([this](bool on) { SetWaitCursor(on); });
        const CSataBitDetector* bits = decoder_->BitDetector();
        if (!bits) return;
        const std::uint32_t count = bits->SampleCount();
        // An empty record or window has no centre and no zoom factor.
        if (count == 0 || at.width == 0) return;
        const float centrePercent =
            static_cast<float>(at.width / 2 + at.start) * 100.0f / static_cast<float>(count);
        const float factor = static_cast<float>(count) / static_cast<float>(at.width);
        TheOscilloscope().Zoom(index, centrePercent, factor, static_cast<int>(count));
    });
}

void CSataUserInterface::PopulateMainList() {
    Guard(logSource_, "PopulateMainList", [&] {
        if (viewLayout != 0) decoder_->GetMixedList(mainList_);
    });
}

void CSataUserInterface::PopulateHighLevalList() {
    Guard(logSource_, "PopulateHighLevalList", [&] {
        if (!decoder_->IsValid() || viewLayout == 0) return;
        if (highLevelKind == kPrimitivesList)
            decoder_->GeneratePrimsList(highLevelList_);
        else if (highLevelKind == kFisList)
            decoder_->GenerateFISList(highLevelList_);
        else if (highLevelKind == kFramesList)
            decoder_->GenerateFramesList(highLevelList_);
        else
            decoder_->GenerateATAPIList(highLevelList_);
    });
}

void CSataUserInterface::UpdateOptions() {
    Guard(logSource_, "UpdateOptions", [&] {
        {
            WaitCursor wait([this](bool on) { SetWaitCursor(on); });
            if (DecodeOptionsChanged() && decodeInPlace_) {
                decodedInvert_ = GetInvert();
                decodedLockSampler_ = GetLockSampler();
                decoder_->Redecode();
                PopulateMainList();
                PopulateHighLevalList();
                ZoomNorm();
            }
        }
        InvalidateGraph();
    });
}

void CSataUserInterface::FindLine() {
    Guard(logSource_, "FindLine", [&] {
        int selected = highLevelList_.Selected();
        if (selected < 0) return;
        decoder_->FindLine(mainList_, highLevelList_.Data(selected));
    });
}

void CSataUserInterface::ClearAllContents() {
    Guard(logSource_, "ClearAllContents", [&] {
        ClearStatus();
        ClearBox(highLevelList_);
        ClearBox(mainList_);
        ClearGraph();
    });
}

void CSataUserInterface::ClearGraph() {
    Guard(logSource_, "ClearGraph", [&] {
        view.start = 0;
        view.width = 0;
        if (CSataBitDetector* bits = decoder_->BitDetector()) bits->ClearSampleCount();
        if (ShowsGraph()) SetScrollBar(1, 0);
    });
}

bool CSataUserInterface::SaveToFile(const std::string& path) {
    // Without a decode the report would be a title naming no file, passed off as saved.
    if (waveformTitle_.empty()) {
        DisplayMessage("Decoded output NOT saved!", kShow);
        ShowMessageBox("Nothing to save: no waveform has been decoded.");
        return false;
    }
    return ReportFile::SaveToFile(mainList_, waveformTitle_, path, *this, waveformFile_);
}

bool CSataUserInterface::MergeFile(const std::string& path) {
    return ReportFile::MergeFile(mainList_, waveformTitle_, path, *this);
}

void CSataUserInterface::DrawGraph(ICanvas& canvas) {
    Guard(logSource_, "DrawGraph", [&] {
        if (!ShowsGraph()) return;
        canvas.FillBackground(kFrameBlue);
        canvas.FillBackground(kGraphBackground);
        canvas.SetPen(kBlack, 0);
        canvas.SetFill(kWhite);
        decoder_->GenerateGraph(canvas, view);
    });
}

bool CSataUserInterface::IsOverviewWidth(std::uint32_t width) const {
    return width >= 60u * static_cast<unsigned>(SamplesPerBit());
}

void CSataUserInterface::ZoomIn() {
    Guard(logSource_, "ZoomIn", [&] {
        view.overview = false;
        view.width >>= 1;
        view.overview = IsOverviewWidth(view.width);
        SetSCrollRange();
    });
}

void CSataUserInterface::ZoomOut() {
    Guard(logSource_, "ZoomOut", [&] {
        view.overview = IsOverviewWidth(view.width);
        view.width *= 2;
        SetSCrollRange();
    });
}

void CSataUserInterface::ZoomALl() {
    Guard(logSource_, "ZoomALl", [&] {
        view.overview = true;
        if (const CSataBitDetector* bits = decoder_->BitDetector()) {
            view.width = bits->SampleCount();
            view.start = 0;
        }
        SetSCrollRange();
    });
}

void CSataUserInterface::ZoomNorm() {
    Guard(logSource_, "ZoomNorm", [&] {
        view.overview = false;
        if (decoder_->BitDetector()) view.width = 30u * static_cast<unsigned>(SamplesPerBit());
        if (ShowsGraph()) SetSCrollRange();
    });
}

void CSataUserInterface::SetSCrollRange() {
    Guard(logSource_, "SetSCrollRange", [&] {
        const CSataBitDetector* bits = decoder_->BitDetector();
        if (!bits || !ShowsGraph()) return;
        SetScrollBar(bits->SampleCount(), view.width);
    });
}

std::int64_t CSataUserInterface::WordAtSample(std::int64_t sample) const {
    const CSataWordDecoder* words = decoder_->WordDecoder();
    if (!words) return -1;
    const auto& starts = words->StartPositions();
    auto after = std::upper_bound(starts.begin(), starts.end(), sample);
    if (after == starts.begin()) return -1;
    std::int64_t position = *(after - 1);
    if (position == sample || after != starts.end()) return position;
    return -1;
}

std::uint32_t CSataUserInterface::RecordLength() const {
    const CSataBitDetector* bits = decoder_->BitDetector();
    return bits ? bits->SampleCount() : 0;
}

}  // namespace kestrava
