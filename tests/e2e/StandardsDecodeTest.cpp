// The shipped definitions beside Sata's: traffic of each standard, made of its ordered
// sets and primitives with data between them, generated at the definition's bit rate and
// decoded with that definition loaded, names the sent ordered sets in the characters list,
// in order (a single-character one in place of its value, a longer one after it).
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "base/Folders.h"
#include "definition/CMacros.h"
#include "session/CSataUserInterface.h"
#include "session/StandardSelection.h"
#include "synth/AnalogSynth.h"
#include "synth/CharacterStream.h"
#include "synth/Quantizer.h"
#include "synth/WfmWriter.h"
#include "tests/support/TempFolders.h"

namespace kestrava::test {
namespace {

using Names = std::vector<std::string>;

// An ordered set sent by name, or data characters (an empty name) that name nothing.
struct Sent {
    std::string name;
    std::string characters;
};

struct Standard {
    const char* title;
    double bitRate;
    std::vector<Sent> traffic;
};

const Sent kData{"", "D1.0,D2.1,D3.2,D4.3,D5.4,D6.5,D7.6,D8.7"};

std::vector<Standard> Standards() {
    const Sent idle{"I2", "K28.5,D16.2"};
    const Sent fcIdle{"IDLE", "K28.5,D21.4,D21.5,D21.5"};
    const Sent align{"ALIGN0", "K28.5,D10.2,D10.2,D27.3"};
    const Sent jesdK{"K", "K28.5"};
    return {
        {"Ethernet1000BaseX",
         1.25e9,
         {{"C1", "K28.5,D21.5,D0.0,D1.2"},
          {"C2", "K28.5,D2.2,D0.0,D1.2"},
          idle,
          idle,
          idle,
          {"S", "K27.7"},
          kData,
          kData,
          {"T", "K29.7"},
          {"R", "K23.7"},
          {"I1", "K28.5,D5.6"},
          idle,
          idle,
          {"V", "K30.7"},
          idle}},
        {"FibreChannel",
         1.0625e9,
         {fcIdle,
          fcIdle,
          {"R_RDY", "K28.5,D21.4,D10.2,D10.2"},
          {"SOFI3", "K28.5,D21.5,D22.2,D22.2"},
          kData,
          {"EOFT", "K28.5,D21.4,D21.3,D21.3"},
          fcIdle,
          {"SOFN3", "K28.5,D21.5,D22.1,D22.1"},
          kData,
          {"EOFN", "K28.5,D21.4,D21.6,D21.6"},
          fcIdle,
          {"NOS", "K28.5,D21.2,D31.5,D5.2"},
          {"OLS", "K28.5,D21.1,D10.4,D21.2"},
          {"LR", "K28.5,D9.2,D31.5,D9.2"},
          {"LRR", "K28.5,D21.1,D31.5,D9.2"},
          fcIdle}},
        {"USB3Gen1",
         5.0e9,
         {{"TS1",
           "K28.5,K28.5,K28.5,K28.5,D0.0,D1.0,D10.2,D10.2,D10.2,D10.2,D10.2,D10.2,D10.2,"
           "D10.2,D10.2,D10.2"},
          {"TS2",
           "K28.5,K28.5,K28.5,K28.5,D0.0,D1.0,D5.2,D5.2,D5.2,D5.2,D5.2,D5.2,D5.2,D5.2,"
           "D5.2,D5.2"},
          {"SKP", "K28.1,K28.1"},
          {"HPSTART", "K27.7,K27.7,K27.7,K23.7"},
          kData,
          {"DPHSTART", "K28.2,K28.2,K28.2,K23.7"},
          kData,
          {"DPPEND", "K29.7,K29.7,K29.7,K23.7"},
          {"LCSTART", "K28.6,K28.6,K28.6,K23.7"},
          kData,
          {"SKP", "K28.1,K28.1"},
          {"DPPABORT", "K28.3,K28.3,K28.3,K23.7"},
          {"SKP", "K28.1,K28.1"}}},
        {"SAS",
         3.0e9,
         {align,
          {"ALIGN1", "K28.5,D7.0,D7.0,D7.0"},
          {"ALIGN2", "K28.5,D1.3,D1.3,D1.3"},
          {"ALIGN3", "K28.5,D27.3,D27.3,D27.3"},
          {"NOTIFY_SPINUP", "K28.5,D31.3,D31.3,D31.3"},
          {"AIP", "K28.5,D27.4,D27.4,D27.4"},
          kData,
          {"OPEN_ACCEPT", "K28.5,D16.7,D16.7,D16.7"},
          kData,
          {"PS_REQ_PARTIAL", "K28.5,D7.3,D2.0,D4.7"},
          {"PS_ACK", "K28.5,D16.7,D27.4,D30.0"},
          {"PS_REQ_SLUMBER", "K28.5,D7.3,D7.3,D7.3"},
          {"PS_NAK", "K28.5,D24.0,D27.4,D2.0"},
          {"HARD_RESET", "K28.5,D2.0,D2.0,D2.0"},
          align}},
        {"JESD204B",
         3.125e9,
         {jesdK,
          jesdK,
          jesdK,
          jesdK,
          {"R", "K28.0"},
          kData,
          {"Q", "K28.4"},
          kData,
          {"A", "K28.3"},
          {"R", "K28.0"},
          kData,
          {"A", "K28.3"},
          kData,
          {"F", "K28.7"},
          kData,
          {"A", "K28.3"},
          jesdK}},
    };
}

using StandardsDecodeTest = TempFolders;

std::string Joined(const Names& names) {
    std::string text;
    for (const std::string& name : names) text += name + " ";
    return text;
}

// The ordered-set names of characters-list lines such as "K28.5  (-------)   I2" and
// "K27.7  (S)".
Names NamesIn(const MemoryListBox& list) {
    Names names;
    for (int i = 0; i < list.Count(); ++i) {
        std::istringstream line(list.Text(i));
        std::string character, value, primitive;
        line >> character >> value >> primitive;
        if (value.size() > 2 && value.rfind("(0x", 0) != 0 && value != "(-------)")
            names.push_back(value.substr(1, value.size() - 2));
        else if (!primitive.empty())
            names.push_back(primitive);
    }
    return names;
}

TEST_F(StandardsDecodeTest, EachStandardsOrderedSetsDecodeByName) {
    ASSERT_TRUE(Folders::PrepareDataFolders());
    for (const Standard& standard : Standards()) {
        SCOPED_TRACE(standard.title);
        synth::CharacterStream stream;
        Names sent;
        // Four times over: the first bits before the decoder aligns and the last ordered
        // set are not named; the two passes between are, whole.
        for (int pass = 0; pass < 4; ++pass)
            for (const Sent& s : standard.traffic) {
                stream.Add(s.characters);
                if ((pass == 1 || pass == 2) && !s.name.empty()) sent.push_back(s.name);
            }
        synth::AnalogOptions analog;
        analog.bitRate = standard.bitRate;
        analog.samplesPerBit = 10;
        analog.riseTimeS = 0.2 / standard.bitRate;
        analog.noiseRmsV = 0.005;
        const synth::AnalogSynth synth(analog);
        const synth::QuantizedRecord record =
            synth::Quantizer::ForSignal(synth::SampleFormat::Int8, analog)
                .Quantize(synth.Synthesize(stream.Bits()));
        const std::string path = Tmp() + "/" + standard.title + ".wfm";
        ASSERT_EQ(
            synth::WfmWriter(synth::WfmOptions{}).Write(path, record, synth.SampleIntervalS()), "");

        MemoryListBox mainList, protocolList;
        CSataUserInterface ui(mainList, protocolList);
        ui.viewLayout = 2;
        StandardSelection::LoadDefinition(standard.title, 0.0);
        EXPECT_DOUBLE_EQ(std::stod(TheMacros()->bitRateText), standard.bitRate);
        ui.LoadFile(path);
        ASSERT_TRUE(ui.Decoder().IsValid()) << ui.StatusText();
        EXPECT_NE(ui.StatusText().find("Invalid Characters: 0"), std::string::npos)
            << ui.StatusText();
        const Names named = NamesIn(mainList);
        EXPECT_NE(std::search(named.begin(), named.end(), sent.begin(), sent.end()), named.end())
            << Joined(named) << "\nsent: " << Joined(sent);
    }
}

}  // namespace
}  // namespace kestrava::test
