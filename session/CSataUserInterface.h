// The presentation object between the window and the analysis. It owns the session
// driver, fills the two lists, keeps the zoom window into the record and draws the graph
// onto a canvas. Everything but painting and widgets lives here, so the window, the
// command line and the tests share one code path; the window overrides the view hooks.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/CAnalysisHost.h"
#include "base/ListBox.h"
#include "session/SataDecoder.h"

namespace kestrava {

class ICanvas;

// What the protocol list shows (Sata Decoding menu).
enum HighLevelKind { kPrimitivesList = 0, kFisList = 1, kAtapiList = 2, kFramesList = 3 };

class CSataUserInterface : public CAnalysisHost {
  public:
    // A decode made on another thread while the earlier one stays shown: it works on a copy
    // of the host's options and status and on stages of its own. It is made and presented
    // on the window's thread; LoadFile or Redecode runs on the other, and meanwhile the
    // window changes neither the definition nor the shown decoder's bits.
    class AwayDecode {
      public:
        AwayDecode(const CSataUserInterface& shown, StopRequest stop);
        void LoadFile(const std::string& path);
        // Word and primitive stages from the shown decoder's bits, which stay as they are.
        void Redecode();
        // Acquires the selected source from the instrument, as LoadWaveformFromOsc does.
        void LoadFromScope();
        bool Stopped() const { return decoder_.Stopped(); }
        // A load or re-decode was made; without one there is nothing to present.
        bool Made() const { return made_; }

      private:
        friend class CSataUserInterface;
        // Remembers that the decode emptied the lists and the graph, for the presentation
        // to do on its own when it shows the result.
        class Host : public CAnalysisHost {
          public:
            explicit Host(const CAnalysisHost& from) : CAnalysisHost(from) {}
            void ClearAllContents() override {
                ClearStatus();
                cleared = true;
            }
            bool cleared = false;
        };

        const CSataUserInterface& shown_;
        std::unique_ptr<Host> host_;
        SataDecoder decoder_;
        std::string title_;
        std::string file_;  // the file loaded; empty for an acquisition
        bool redecode_ = false;
        bool made_ = false;
    };

    // The two lists are not owned and must outlive the object.
    CSataUserInterface(IListBox& mainList, IListBox& highLevelList);
    ~CSataUserInterface() override;
    CSataUserInterface(const CSataUserInterface&) = delete;
    CSataUserInterface& operator=(const CSataUserInterface&) = delete;

    void LoadFile(const std::string& path);
    // Decodes a record streamed from elsewhere (samples a script holds) under the title
    // its report carries.
    void LoadRecord(const RecordStream& stream, const std::string& sourceText,
                    const std::string& title);
    // Shows a finished away decode as LoadFile or UpdateOptions would have shown it: the
    // host state it left, its stages, the lists and the graph.
    void Present(AwayDecode& away);
    // Invert or the lock-sampler option differ from those of the shown decode.
    bool DecodeOptionsChanged() const {
        return GetInvert() != decodedInvert_ || GetLockSampler() != decodedLockSampler_;
    }
    // Acquires the selected source (GetSource) from the instrument and decodes it.
    void LoadWaveformFromOsc();
    // The report title of an acquired source: "CH1 Waveform", "Ref2 Waveform", "Math3 Waveform".
    static std::string SourceWaveformTitle(int source);
    void PopulateMainList();
    void PopulateHighLevalList();
    // The window has copied its menu check marks into the flags: decode again when the
    // decode options changed, then redraw.
    void UpdateOptions();
    void SetdefaultOptions() { UpdateOptions(); }
    // Off: UpdateOptions leaves a needed re-decode to the caller (the window runs it away
    // from its thread); DecodeOptionsChanged stays true until then.
    void SetDecodeInPlace(bool on) { decodeInPlace_ = on; }
    void FindLine();
    void ClearAllContents() override;
    void ClearGraph();

    // Never over the waveform file being shown.
    // False when nothing was written: no decode to save, or the file refused it.
    bool SaveToFile(const std::string& path);
    // True when the merged report replaced the one at path.
    bool MergeFile(const std::string& path);

    // Graph and zoom.
    void DrawGraph(ICanvas& canvas);
    // A view this wide is an overview: sample points and names, one per bit, are left out.
    bool IsOverviewWidth(std::uint32_t width) const;
    void ZoomIn();
    void ZoomOut();
    void ZoomALl();
    void ZoomNorm();
    void SetSCrollRange();
    // Moves the instrument's cursor 1 (which = 1) or 2 (anything else) on display source
    // index to position (points).
    void SetCursorPosition(int which, int index, std::int64_t position);
    // Zooms the instrument's display of source index onto the visible window (or onto at,
    // a copy of it taken earlier).
    void Zoom1(int index);
    void Zoom1(int index, const GraphView& at);

    // The position of the word that begins at or contains the sample, -1 when none.
    std::int64_t WordAtSample(std::int64_t sample) const;
    std::uint32_t RecordLength() const;

    SataDecoder& Decoder() { return *decoder_; }
    const std::string& WaveformTitle() const { return waveformTitle_; }
    IListBox& MainList() { return mainList_; }
    IListBox& HighLevelList() { return highLevelList_; }

    // Display options, as the window's menus set them.
    int highLevelKind = kPrimitivesList;
    int viewLayout = 0;  // 0 nothing filled, 2 lists only, 1 and 3 lists and graph
    GraphView view;

  protected:
    // View hooks the window implements; the defaults do nothing.
    virtual void SetWaitCursor(bool /*on*/) {}
    virtual void InvalidateGraph() {}
    // Sets the visible frame's scroll bar to range 0..total with the given page size.
    virtual void SetScrollBar(std::uint32_t /*total*/, std::uint32_t /*page*/) {}

    void SetWaveformTitle(std::string title) { waveformTitle_ = std::move(title); }

  private:
    // After a load: the title (when a record came), the decode options it was made with,
    // the lists and the graph.
    void PresentDecode(const std::string& title);
    int SamplesPerBit() const;
    // The lists and zoom after a re-decode of the same bits.
    void PresentRedecode();
    bool ShowsGraph() const { return viewLayout == 1 || viewLayout == 3; }

    IListBox& mainList_;
    IListBox& highLevelList_;
    std::unique_ptr<SataDecoder> decoder_;
    // The host an away decode's bits were made against; they keep pointing at it.
    std::unique_ptr<CAnalysisHost> stagesHost_;
    std::string waveformTitle_;
    std::string waveformFile_;  // the file last loaded; empty after an acquisition
    int decodedInvert_ = 0;
    int decodedLockSampler_ = 0;
    bool decodeInPlace_ = true;
};

}  // namespace kestrava
