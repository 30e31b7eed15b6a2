#include "protocol/HighLevelLists.h"

#include <cstdio>
#include <string>

#include "base/CAnalysisHost.h"
#include "base/Guard.h"
#include "protocol/AtapiCommands.h"
#include "protocol/CSataPrimDecoder.h"
#include "protocol/FisLayout.h"
#include "protocol/FrameVerdicts.h"

namespace kestrava {
namespace {

// The lists belong to the session driver, whose log entries carry no source.
const std::string kLogSource;

class ListWriter {
  public:
    ListWriter(CAnalysisHost* host, IListBox& list) : host_(host), list_(list) {}
    void Clear() {
        if (host_)
            host_->ClearBox(list_);
        else
            list_.Clear();
    }
    void Add(const char* text, ItemData data) {
        if (host_)
            host_->AddLine(list_, text, data);
        else
            list_.AddLine(text, data);
    }

  private:
    CAnalysisHost* host_;
    IListBox& list_;
};

// Fields are shown only when their data word lies inside the frame: a short frame never
// shows the words of the next one.
void AddFrameLines(const CSataPrimDecoder& prims, const Frame& frame, ListWriter& out) {
    const std::vector<DataWord>& words = prims.DataWords();
    auto word = [&](int k) -> const DataWord& {
        return words[static_cast<std::size_t>(frame.start + k)];
    };
    char text[64];
    std::uint8_t type = frame.length > 0 ? static_cast<std::uint8_t>(word(0).value & 0xFFu) : 0;
    std::snprintf(text, sizeof text, "FIS 0x%02x %s", type, FisTypeName(type));
    out.Add(text, frame.length > 0 ? word(0).wordIndex : frame.sofWordIndex);

    if (type == kFisData) {
        for (int k = 1; k <= frame.length - 2; ++k) {
            std::snprintf(text, sizeof text, "  DATA 0x%08x", word(k).value);
            out.Add(text, word(k).wordIndex);
        }
        if (frame.length >= 1) {
            const DataWord& crc = word(frame.length - 1);
            std::snprintf(text, sizeof text, "  CRC=0x%08x", crc.value);
            out.Add(text, crc.wordIndex);
        }
        return;
    }
    for (const FisField& field : FisFields(type)) {
        if (field.dataWord >= frame.length) continue;
        const DataWord& source = word(field.dataWord);
        unsigned value = (source.value >> field.shift) & field.mask;
        std::snprintf(text, sizeof text, "%s%0*x", field.label, field.digits, value);
        out.Add(text, source.wordIndex);
    }
}

}  // namespace

void GeneratePrimsList(const CSataPrimDecoder* prims, CAnalysisHost* host, IListBox& list) {
    Guard(kLogSource, "GeneratePrimsList", [&] {
        if (!prims) return;
        ListWriter out(host, list);
        out.Clear();
        const std::vector<FoundPrimitive>& found = prims->FoundPrimitives();
        for (std::size_t i = 0; i < found.size(); ++i)
            out.Add(prims->GetPrimitive(static_cast<int>(i)).c_str(), found[i].wordIndex);
    });
}

void GenerateFISList(const CSataPrimDecoder* prims, CAnalysisHost* host, IListBox& list) {
    Guard(kLogSource, "GenerateFISList", [&] {
        if (!prims) return;
        ListWriter out(host, list);
        out.Clear();
        for (const Frame& frame : prims->Frames()) AddFrameLines(*prims, frame, out);
    });
}

void GenerateATAPIList(const CSataPrimDecoder* prims, CAnalysisHost* host, IListBox& list) {
    Guard(kLogSource, "GenerateATAPIList", [&] {
        if (!prims) return;
        ListWriter out(host, list);
        out.Clear();
        char text[64];
        for (const AtapiCommand& command : prims->AtapiCommands()) {
            std::snprintf(text, sizeof text, "CMD 0x%02x    %s", command.opcode,
                          AtapiCommandNameOf(command.opcode));
            out.Add(text, command.position);
        }
    });
}

void GenerateFramesList(const CSataPrimDecoder* prims, CAnalysisHost* host, IListBox& list) {
    Guard(kLogSource, "GenerateFramesList", [&] {
        if (!prims) return;
        ListWriter out(host, list);
        out.Clear();
        const std::vector<FrameVerdict> verdicts = JudgeFrames(*prims);
        for (const FrameVerdict& verdict : verdicts)
            out.Add(verdict.text.c_str(), verdict.sofWordIndex);
        if (host) host->DisplayMessage(TotalsLine(CountVerdicts(verdicts)), kShowAndKeep);
    });
}

}  // namespace kestrava
