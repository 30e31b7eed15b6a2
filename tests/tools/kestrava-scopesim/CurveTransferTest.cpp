// CURVE? blocks through VISA in every output format, read the way a waveform transfer
// reads them (2 bytes, n digits, length + 1), and the transfer faults.
#include <cstring>

#include "tests/tools/kestrava-scopesim/SimFixture.h"

namespace kestrava::test {
namespace {

using scopesim::Fault;
using scopesim::Waveform;

constexpr size_t kPoints = 1000;

Waveform Ramp() {
    Waveform wave;
    wave.sampleIntervalS = 2e-11;
    for (size_t i = 0; i < kPoints; ++i)
        wave.volts.push_back(static_cast<float>(-0.25 + 0.5 * i / (kPoints - 1)));
    return wave;
}

struct Block {
    ViStatus status = VI_SUCCESS;
    std::string header;  // "#<n><length>"
    std::string data;    // the data with its line feed
};

class CurveTransferTest : public SimTest {
  protected:
    void SetUp() override {
        SimTest::SetUp();
        sim_.SetSource("CH1", Ramp);
        sim_.SetSource("MATH2", Ramp);
        ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TMO_VALUE, 2000), VI_SUCCESS);
    }

    Block ReadCurve() {
        Block block;
        Send("CURVE?");
        std::string part;
        block.status = ReadText(vi_, 2, part);
        block.header = part;
        if (block.status < VI_SUCCESS || part.size() != 2 || part[0] != '#' || part[1] < '1' ||
            part[1] > '9')
            return block;
        block.status = ReadText(vi_, static_cast<ViUInt32>(part[1] - '0'), part);
        block.header += part;
        size_t length = std::stoul(part);
        block.status = ReadText(vi_, static_cast<ViUInt32>(length + 1), block.data);
        return block;
    }

    // Converts the raw data with the preamble's scaling, as the program does.
    std::vector<double> Volts(const Block& block) {
        int width = std::stoi(Query("WFMOutpre:BYT_NR?"));
        bool msb = Query("WFMOutpre:BYT_Or?") == "MSB";
        bool unsignedRaw = Query("WFMOutpre:BN_Fmt?") == "RP";
        double yoff = QueryNumber("WFMOutpre:YOff?"), yzero = QueryNumber("WFMOutpre:YZero?"),
               ymult = QueryNumber("WFMOutpre:YMULT?");
        size_t points = std::stoul(Query("WFMOutpre:NR_Pt?"));
        std::vector<double> volts;
        const auto* raw = reinterpret_cast<const uint8_t*>(block.data.data());
        for (size_t i = 0; i < points && (i + 1) * width < block.data.size(); ++i) {
            uint32_t bits = 0;
            for (int b = 0; b < width; ++b) {
                int shift = msb ? 8 * (width - 1 - b) : 8 * b;
                bits |= static_cast<uint32_t>(raw[i * width + b]) << shift;
            }
            double r;
            if (width == 4) {
                float f;
                std::memcpy(&f, &bits, 4);
                r = f;
            } else if (unsignedRaw) {
                r = bits;
            } else {
                r = width == 1 ? static_cast<int8_t>(bits) : static_cast<int16_t>(bits);
            }
            volts.push_back((r - yoff) * ymult + yzero);
        }
        return volts;
    }

    // The whole record compared with the ramp, within half a quantisation step.
    void ExpectRamp(const Block& block, double step) {
        ASSERT_EQ(block.status, VI_SUCCESS) << block.header;
        ASSERT_EQ(block.data.back(), '\n');
        std::vector<double> volts = Volts(block);
        Waveform ramp = Ramp();
        ASSERT_EQ(volts.size(), kPoints);
        for (size_t i = 0; i < kPoints; ++i)
            ASSERT_NEAR(volts[i], ramp.volts[i], step / 2 + 1e-7) << i;
    }
};

TEST_F(CurveTransferTest, EightBitSignedBlock) {
    Send("DATa:SOUrce CH1");
    Send("DATA:START 1");
    Send("DATA:STOP 1000");
    Send(
        "WFMOutpre:ENCdg\xA0"
        "BIN");
    Send("DATa:ENCdg RIBinary");
    Send("DATa:WIDth 1");
    Block block = ReadCurve();
    EXPECT_EQ(block.header, "#41000");
    ExpectRamp(block, 0.1 / 25);
}

TEST_F(CurveTransferTest, SixteenBitBlocksInBothByteOrders) {
    Send("DATa:SOUrce CH1");
    Send(
        "WFMOutpre:ENCdg\xA0"
        "BIN");
    Send(
        "WFMOutpre:BYT_Or\xA0"
        "LSB");
    Send(
        "Data:ENCdg\xA0"
        "SRIBIN");
    Send("Data:width 2");
    Block block = ReadCurve();
    EXPECT_EQ(block.header, "#42000");
    ExpectRamp(block, 0.1 / 6400);
    Send("DATa:ENCdg RIBinary");
    ExpectRamp(ReadCurve(), 0.1 / 6400);
    Send("DATa:ENCdg SRPbinary");
    EXPECT_EQ(QueryNumber("WFMOutpre:YOff?"), 32768.0);
    ExpectRamp(ReadCurve(), 0.1 / 6400);
}

TEST_F(CurveTransferTest, FloatBlockAndMathSourcesAlwaysFloat) {
    Send("DATa:SOUrce CH1");
    Send("DATa:ENCdg SFPbinary");
    Block block = ReadCurve();
    EXPECT_EQ(block.header, "#44000");
    ExpectRamp(block, 0);
    Send("DATa:ENCdg SRIbinary");
    Send("DATa:SOUrce MATH2");
    EXPECT_EQ(Query("WFMOutpre:BYT_Nr?"), "4");
    ExpectRamp(ReadCurve(), 0);
}

TEST_F(CurveTransferTest, RangeOutsideTheRecordIsCut) {
    Send("DATa:SOUrce CH1");
    Send("DATa:ENCdg SRIbinary");
    Send("DATa:WIDth 1");
    Send("DATA:START 991");
    Send("DATA:STOP 5000");
    EXPECT_EQ(Query("WFMOutpre:NR_Pt?"), "10");
    Block block = ReadCurve();
    EXPECT_EQ(block.header, "#210");
    EXPECT_EQ(block.data.size(), 11u);
}

TEST_F(CurveTransferTest, AsciiCurve) {
    Send("DATa:SOUrce CH1");
    Send("DATa:ENCdg ASCIi");
    Send("DATa:WIDth 1");
    Send("DATA:START 1;STOP 3");
    EXPECT_EQ(Query("CURVE?"), "-63,-62,-62");  // -62.5 levels round away from zero
}

TEST_F(CurveTransferTest, NoAnswerIsATimeout) {
    const std::string timeout = "<" + std::to_string(VI_ERROR_TMO) + ">";
    sim_.InjectFault(Fault::kNoAnswer);
    ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TMO_VALUE, 100), VI_SUCCESS);
    EXPECT_EQ(Query("*IDN?"), timeout);
    EXPECT_EQ(sim_.Journal().back(), "*IDN?");  // heard, not answered

    // Silent from the curve on: answered until CURVE?, then nothing until the fault goes.
    sim_.ClearFaults();
    sim_.InjectFault(Fault::kSilentFromCurve);
    EXPECT_EQ(Query("DATa:SOUrce?"), "CH1");
    EXPECT_EQ(Query("CURVE?"), timeout);
    EXPECT_EQ(Query("DATa:SOUrce?"), timeout);
    sim_.ClearFault(Fault::kSilentFromCurve);
    EXPECT_EQ(Query("DATa:SOUrce?"), "CH1");
}

TEST_F(CurveTransferTest, DisconnectMidBlockIsConnectionLost) {
    sim_.InjectFault(Fault::kDisconnectMidBlock);
    Send("DATa:SOUrce CH1;:DATa:ENCdg SRIbinary;:DATa:WIDth 2");
    Block block = ReadCurve();
    EXPECT_EQ(block.header, "#42000");
    EXPECT_EQ(block.status, VI_ERROR_CONN_LOST);
    EXPECT_EQ(block.data.size(), 1000u);  // half the data came
}

TEST_F(CurveTransferTest, CorruptBlockHeader) {
    sim_.InjectFault(Fault::kCorruptBlockHeader);
    Send("DATa:SOUrce CH1");
    Block block = ReadCurve();
    EXPECT_EQ(block.header, "#X");
}

TEST_F(CurveTransferTest, PointCountLargerThanTheBlock) {
    sim_.InjectFault(Fault::kCountExceedsBlock);
    Send("DATa:SOUrce CH1;:DATa:ENCdg SRIbinary;:DATa:WIDth 1;:DATA:START 1;:DATA:STOP 1000");
    Block block = ReadCurve();
    EXPECT_EQ(block.header, "#41000");
    EXPECT_GT(std::stoul(Query("WFMOutpre:NR_Pt?")), 1000u);
}

TEST_F(CurveTransferTest, BusyForever) {
    sim_.InjectFault(Fault::kBusyForever);
    sim_.SetBusyTime(std::chrono::milliseconds(0));
    Send("ACQUIRE:STOPAFTER SEQUENCE");
    Send("ACQUIRE:STATE RUN");
    Send("TRIGGER Force");
    EXPECT_EQ(Query("BUSY?"), "1");
    EXPECT_EQ(Query("BUSY?"), "1");
    sim_.ClearFault(Fault::kBusyForever);
    Send("TRIGGER Force");
    EXPECT_EQ(Query("BUSY?"), "0");
}

}  // namespace
}  // namespace kestrava::test
