// The session driver: runs one analysis from a waveform to the decoded lists. It owns the
// three stages of the current waveform and, for as long as it lives, the protocol
// definition of the process.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/ListBox.h"
#include "signal/CSataBitDetector.h"

namespace kestrava {

class CAnalysisHost;
class CMacros;
class CSataPrimDecoder;
class CSataWordDecoder;
class ICanvas;

// What the graph shows and where; GenerateGraph clamps start and width to the record.
struct GraphView {
    std::uint32_t start = 0;
    std::uint32_t width = 0;
    bool overview = false;
    bool gridAndLevels = false;
    bool originalSignal = true;
    bool recoveredSignal = true;
    bool samplePoints = true;
    bool wordNames = true;
};

// Asked between the stages of a decode; true ends it there and leaves no stages.
using StopRequest = std::function<bool()>;

class SataDecoder {
  public:
    explicit SataDecoder(CAnalysisHost* presentation);
    // A decoder for a decode made on another thread: it uses the definition already loaded
    // instead of loading its own, and its stages are taken over by the shown decoder.
    SataDecoder(CAnalysisHost* host, StopRequest stop);
    ~SataDecoder();
    SataDecoder(const SataDecoder&) = delete;
    SataDecoder& operator=(const SataDecoder&) = delete;

    void LoadFile(const std::string& path);
    // Decodes a record streamed from elsewhere as LoadFile decodes a file's.
    void LoadRecord(const RecordStream& stream, const std::string& sourceText);
    // Acquires source 0-11 (CH1-CH4, REF1-REF4, MATH1-MATH4) from the instrument.
    void LoadWfmFromScope(int source);
    void Resample();
    void Redecode();
    // Word and primitive stages from bits another decoder keeps (a re-decode made away from
    // the shown one); they replace ours.
    void RedecodeBits(const CSataBitDetector& bits);
    // Takes over other's stages, all three or, keeping our bits, the word and primitive ones.
    void TakeStages(SataDecoder& other, bool keepBits);
    // The stop request ended the last load or re-decode.
    bool Stopped() const { return stopped_; }

    void GetMixedList(IListBox& list);
    void FindLine(IListBox& list, int wordIndex);
    void GeneratePrimsList(IListBox& list);
    void GenerateFISList(IListBox& list);
    void GenerateATAPIList(IListBox& list);
    void GenerateFramesList(IListBox& list);
    void GenerateGraph(ICanvas& canvas, GraphView& view);

    // The stages, null when absent.
    CSataBitDetector* BitDetector() const { return bitDetector_.get(); }
    const CSataWordDecoder* WordDecoder() const { return wordDecoder_.get(); }
    const CSataPrimDecoder* PrimDecoder() const { return primDecoder_.get(); }
    bool IsValid() const;

    // The definition file loaded at construction.
    static std::string DefaultDefinitionPath();

  private:
    void ClearStages();
    void Load(const std::function<std::unique_ptr<CSataBitDetector>()>& makeBits);
    void Decode(const CSataBitDetector& bits);
    void ClearPresentation();
    bool StopHere();

    std::unique_ptr<CSataBitDetector> bitDetector_;
    std::unique_ptr<CSataWordDecoder> wordDecoder_;
    std::unique_ptr<CSataPrimDecoder> primDecoder_;
    CAnalysisHost* presentation_;
    std::unique_ptr<CMacros> macros_;
    StopRequest stop_;
    bool stopped_ = false;
    std::string logSource_;  // never assigned: the driver's log entries carry no source
};

}  // namespace kestrava
