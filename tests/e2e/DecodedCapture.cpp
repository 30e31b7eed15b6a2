#include "tests/e2e/DecodedCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/Folders.h"
#include "protocol/CSataWordDecoder.h"

namespace kestrava::test {
namespace {

template <class... Args>
std::string Format(const char* format, Args... args) {
    char text[96];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

std::string Byte(const char* label, std::uint32_t dword, int lowBit) {
    return Format("  %s=0x%02x", label, static_cast<unsigned>((dword >> lowBit) & 0xFFu));
}

std::string Bit(const char* label, std::uint32_t dword, int bit) {
    return Format("  %s=%1x", label, static_cast<unsigned>((dword >> bit) & 1u));
}

}  // namespace

DecodedCapture::DecodedCapture(const synth::CaptureOptions& options, const std::string& folder,
                               const std::string& name, bool invertOption)
    : capture_(synth::CaptureGenerator::Generate(options)), path_(folder + "/" + name + ".wfm") {
    EXPECT_EQ(synth::CaptureGenerator::WriteFiles(capture_, options.wfm, path_,
                                                  folder + "/" + name + ".txt"),
              "");
    Folders::PrepareDataFolders();
    ui_ = std::make_unique<CSataUserInterface>(mainList_, highLevelList_);
    ui_->viewLayout = 2;
    ui_->SetInvert(invertOption ? 1 : 0);
    ui_->LoadFile(path_);
}

bool DecodedCapture::Valid() const {
    return ui_->Decoder().IsValid() && ui_->Decoder().WordDecoder() != nullptr;
}

long DecodedCapture::Tolerance() const {
    return std::max(2L, std::lround(capture_.manifest.Characters().empty()
                                        ? 2.0
                                        : 0.5 * capture_.record.Size() /
                                              static_cast<double>(capture_.traffic.bits.size())));
}

long DecodedCapture::WordSample(int word) const {
    return ui_->Decoder().WordDecoder()->StartPositions()[static_cast<std::size_t>(word)] - 1L;
}

int DecodedCapture::WordAt(long sample) const {
    const auto& starts = ui_->Decoder().WordDecoder()->StartPositions();
    auto it = std::lower_bound(starts.begin(), starts.end(), sample + 1 - Tolerance());
    if (it == starts.end() || std::labs(*it - 1L - sample) > Tolerance()) return -1;
    return static_cast<int>(it - starts.begin());
}

std::vector<Placed> DecodedCapture::HighLevel(int kind) {
    ui_->highLevelKind = kind;
    ui_->PopulateHighLevalList();
    std::vector<Placed> lines;
    for (int i = 0; i < highLevelList_.Count(); ++i)
        lines.push_back({WordSample(highLevelList_.Data(i)), highLevelList_.Text(i)});
    return lines;
}

std::vector<Placed> DecodedCapture::DecodedPrimitives() {
    return HighLevel(kPrimitivesList);
}
std::vector<Placed> DecodedCapture::FisLines() {
    return HighLevel(kFisList);
}
std::vector<Placed> DecodedCapture::AtapiLines() {
    return HighLevel(kAtapiList);
}

std::vector<Placed> DecodedCapture::SentPrimitives() const {
    std::vector<Placed> sent;
    const auto& characters = capture_.manifest.Characters();
    const long firstWord = WordSample(0);
    const long lastWord = WordSample(ui_->Decoder().WordDecoder()->WordCount() - 1);
    for (const auto& p : capture_.manifest.Primitives()) {
        const std::size_t last = static_cast<std::size_t>(p.character) + 3;
        const long end = last < characters.size() ? characters[last].firstBitSample : p.sample;
        if (p.sample + Tolerance() >= firstWord && end <= lastWord + Tolerance())
            sent.push_back({p.sample, p.name});
    }
    return sent;
}

std::vector<Placed> DecodedCapture::MainLines() const {
    std::vector<Placed> lines;
    for (int i = 0; i < mainList_.Count(); ++i)
        lines.push_back({mainList_.Data(i), mainList_.Text(i)});
    return lines;
}

std::vector<std::string> ExpectedFisLines(const synth::Manifest::Frame& frame) {
    const auto& d = frame.dwords;
    const std::uint8_t type = frame.type;
    const char* name = type == 0x27   ? "Register H->D"
                       : type == 0x34 ? "Register D->H"
                       : type == 0x39 ? "DMA Activate"
                       : type == 0x41 ? "DMA Setup"
                       : type == 0x46 ? "Data"
                       : type == 0x58 ? "BIST Activate"
                       : type == 0x5F ? "PIO Setup"
                       : type == 0xA1 ? "Set Dev Bits"
                                      : "Reserved";
    std::vector<std::string> lines{Format("FIS 0x%02x %s", static_cast<unsigned>(type), name)};
    auto crc = [&](std::size_t k) { lines.push_back(Format("  CRC=0x%08x", d.at(k))); };
    auto address = [&] {
        lines.push_back(Byte("Dev / Head", d.at(1), 24));
        lines.push_back(Byte("Cyl High", d.at(1), 16));
        lines.push_back(Byte("Cyl Low", d.at(1), 8));
        lines.push_back(Byte("Sec Num", d.at(1), 0));
    };
    auto count = [&] {
        lines.push_back(Byte("Sec Count (exp)", d.at(3), 8));
        lines.push_back(Byte("Sec Count", d.at(3), 0));
    };
    switch (type) {
        case 0x27:
            lines.push_back(Byte("Command", d.at(0), 16));
            lines.push_back(Bit("Cmd bit", d.at(0), 15));
            address();
            lines.push_back(Byte("Features", d.at(2), 24));
            lines.push_back(Byte("Control", d.at(3), 24));
            count();
            crc(5);
            break;
        case 0x34:
            lines.push_back(Byte("Error", d.at(0), 24));
            lines.push_back(Byte("Status", d.at(0), 16));
            lines.push_back(Bit("Int bit", d.at(0), 14));
            address();
            count();
            crc(5);
            break;
        case 0x5F:
            lines.push_back(Byte("Error", d.at(0), 24));
            lines.push_back(Byte("Status", d.at(0), 16));
            lines.push_back(Bit("Int bit", d.at(0), 14));
            lines.push_back(Bit("D bit", d.at(0), 13));
            address();
            lines.push_back(Byte("E_Status", d.at(3), 24));
            count();
            crc(5);
            break;
        case 0x46:
            for (std::size_t k = 1; k + 1 < d.size(); ++k)
                lines.push_back(Format("  DATA 0x%08x", d[k]));
            crc(d.size() - 1);
            break;
        default:
            break;
    }
    return lines;
}

}  // namespace kestrava::test
