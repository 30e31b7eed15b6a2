// The session driver: runs one analysis from a waveform to the decoded lists. It owns the
// three stages of the current waveform and, for as long as it lives, the protocol
// definition of the process.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/ListBox.h"

namespace kestrava {

class CAnalysisHost;
class CMacros;
class CSataBitDetector;
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

class SataDecoder {
  public:
    explicit SataDecoder(CAnalysisHost* presentation);
    ~SataDecoder();
    SataDecoder(const SataDecoder&) = delete;
    SataDecoder& operator=(const SataDecoder&) = delete;

    void LoadFile(const std::string& path);
    // Acquires source 0-11 (CH1-CH4, REF1-REF4, MATH1-MATH4) from the instrument.
    void LoadWfmFromScope(int source);
    void Resample();
    void Redecode();

    void GetMixedList(IListBox& list);
    void FindLine(IListBox& list, int wordIndex);
    void GeneratePrimsList(IListBox& list);
    void GenerateFISList(IListBox& list);
    void GenerateATAPIList(IListBox& list);
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
    void Decode();
    void ClearPresentation();

    std::unique_ptr<CSataBitDetector> bitDetector_;
    std::unique_ptr<CSataWordDecoder> wordDecoder_;
    std::unique_ptr<CSataPrimDecoder> primDecoder_;
    CAnalysisHost* presentation_;
    std::unique_ptr<CMacros> macros_;
    std::string logSource_;  // never assigned: the driver's log entries carry no source
};

}  // namespace kestrava
