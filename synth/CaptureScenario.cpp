#include "synth/CaptureScenario.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "synth/FisBuilder.h"
#include "synth/SeededRandom.h"

namespace kestrava::synth {
namespace {

using P = SataPrimitive;

// How the receiver answers a frame: R_OK, R_ERR, or never R_RDY (the handshake stalls).
enum class Answer { Ok, Error, Stall };

// One FIS of a conversation and who sends it.
struct Exchange {
    bool fromHost;
    Fis fis;
    FrameOptions frame;
    Answer answer = Answer::Ok;
};

// Renders a conversation as one lane sees it: its own frames with the transmit
// handshake (X_RDY, frame, WTRM), the other side's frames as the receive handshake
// (R_RDY while the peer announces, R_IP while it sends, R_OK once it ends). In step, both
// renderings of an exchange last equally long, dword for dword, so the two lanes of a
// conversation can be decoded as one link, and the receiver answers a hold with HOLDA
// and may answer R_ERR; the shipped samples keep the older receive handshake.
class LaneWriter {
  public:
    LaneWriter(SataTrafficBuilder& out, bool hostLane, int contMinimumRun = 0)
        : out_(out), hostLane_(hostLane), contMinimumRun_(contMinimumRun) {}
    // In step when given the CONT minimum run of the traffic, which hold runs depend on.
    static LaneWriter InStep(SataTrafficBuilder& out, bool hostLane, int contMinimumRun) {
        LaneWriter writer(out, hostLane, contMinimumRun);
        writer.inStep_ = true;
        return writer;
    }

    void Send(const Fis& fis, const FrameOptions& frame = {}, Answer answer = Answer::Ok) {
        if (answer == Answer::Stall) {
            out_.Primitive(P::XRdy, kStallDwords).Primitive(P::Sync, 6);
            return;
        }
        out_.Primitive(P::XRdy, 6).Frame(fis, frame).Primitive(P::Wtrm, 8).Primitive(P::Sync, 6);
    }
    void Receive(const Fis& fis, const FrameOptions& frame, Answer answer) {
        if (!inStep_) {
            out_.Primitive(P::RRdy, 5)
                .Primitive(P::RIp, static_cast<int>(fis.dwords.size()) + 3)
                .Primitive(P::ROk, 6)
                .Primitive(P::Sync, 6);
            return;
        }
        if (answer == Answer::Stall) {
            out_.Primitive(P::Sync, kStallDwords + 6);
            return;
        }
        // SOF, the FIS dwords, the CRC and EOF, with the sender's hold run in between.
        const int frameDwords = static_cast<int>(fis.dwords.size()) + 3;
        const int hold = frame.holdBeforeDword >= 0 && frame.holdCount > 0
                             ? std::clamp(frame.holdBeforeDword, 0, frameDwords - 3) + 1
                             : frameDwords;
        out_.Primitive(P::RRdy, 6).Primitive(P::RIp, hold);
        if (hold < frameDwords) {
            out_.Primitive(P::Holda, HoldRun(frame.holdCount));
            out_.Primitive(P::RIp, frameDwords - hold);
        }
        out_.Primitive(answer == Answer::Error ? P::RErr : P::ROk, 8).Primitive(P::Sync, 6);
    }
    void Play(const std::vector<Exchange>& talk) {
        for (const Exchange& e : talk) {
            if (e.fromHost == hostLane_)
                Send(e.fis, e.frame, e.answer);
            else
                Receive(e.fis, e.frame, e.answer);
        }
    }

  private:
    static constexpr int kStallDwords = 40;

    // A hold run suppressed with CONT ends with one more copy of the hold.
    int HoldRun(int count) const {
        const bool suppressed = contMinimumRun_ > 0 && count >= std::max(contMinimumRun_, 3);
        return count + (suppressed ? 1 : 0);
    }

    SataTrafficBuilder& out_;
    bool hostLane_;
    int contMinimumRun_;
    bool inStep_ = false;
};

std::vector<std::uint8_t> Payload(std::size_t bytes, std::uint64_t seed) {
    SeededRandom random(seed);
    std::vector<std::uint8_t> data(bytes);
    for (auto& b : data) b = static_cast<std::uint8_t>(random.NextU32());
    return data;
}

// IDENTIFY DEVICE to an ATAPI device (aborted, the device answers with the packet
// signature), then PACKET with a READ(10) of one 2048-byte block by DMA.
void Session(SataTrafficBuilder& out, const ScenarioOptions& o) {
    DeviceRegister aborted;
    aborted.status = 0x51;
    aborted.error = 0x04;
    aborted.lba = 0xEB1401;  // ATAPI signature: LBA low 01, mid 14, high EB
    aborted.count = 1;

    PioSetupFields packetReady;
    packetReady.status = 0x58;
    packetReady.endStatus = 0x58;
    packetReady.toHost = false;
    packetReady.transferCount = 12;
    packetReady.count = 0x01;  // interrupt reason: command packet

    DeviceRegister done;
    done.status = 0x50;
    done.count = 0x03;  // interrupt reason: status to host

    const std::vector<std::uint8_t> block = Payload(2048, o.seed);
    const std::vector<Exchange> talk{
        {true, FisBuilder::IdentifyDevice(), {}},
        {false, FisBuilder::RegisterDeviceToHost(aborted, "IDENTIFY DEVICE aborted"), {}},
        {true, FisBuilder::PacketCommand(true, 0), {}},
        {false, FisBuilder::PioSetup(packetReady, "ready for the command packet"), {}},
        {true,
         FisBuilder::AtapiPacket(FisBuilder::Read10Cdb(16, 1), "READ(10) LBA 16, 1 block"),
         {}},
        {false, FisBuilder::Data(block, "READ(10) data"), {}},
        {false, FisBuilder::RegisterDeviceToHost(done, "PACKET complete"), {}},
    };
    out.Primitive(P::Align, 2).Primitive(P::Sync, 16);
    LaneWriter(out, o.hostLane).Play(talk);
    out.Primitive(P::Sync, 16);
}

// WRITE DMA EXT of dataBytes: the device activates DMA and the host sends one long Data
// FIS, held for a while in the middle, with ALIGN pairs inside.
void LongData(SataTrafficBuilder& out, const ScenarioOptions& o) {
    const int sectors = (o.dataBytes + 511) / 512;
    HostRegister write;
    write.command = 0x35;
    write.device = 0x40;
    write.lba = 0x1000;
    write.count = static_cast<std::uint16_t>(sectors);
    DeviceRegister done;
    done.status = 0x50;

    const std::vector<std::uint8_t> payload =
        Payload(static_cast<std::size_t>(o.dataBytes), o.seed);
    Fis data = FisBuilder::Data(payload, "WRITE DMA EXT data");
    FrameOptions hold;
    hold.holdBeforeDword = static_cast<int>(data.dwords.size()) / 2;
    hold.holdCount = 8;
    const std::vector<Exchange> talk{
        {true, FisBuilder::RegisterHostToDevice(write, "WRITE DMA EXT"), {}},
        {false, FisBuilder::DmaActivate(), {}},
        {true, data, hold},
        {false, FisBuilder::RegisterDeviceToHost(done, "WRITE DMA EXT complete"), {}},
    };
    out.Primitive(P::Align, 2).Primitive(P::Sync, 16);
    LaneWriter(out, o.hostLane).Play(talk);
    out.Primitive(P::Sync, 16);
}

void Idle(SataTrafficBuilder& out) {
    out.Primitive(P::Align, 2).Primitive(P::Sync, 600);
}

// Faults between ordinary frames: an invalid code, a wrong running disparity, an
// extra bit, a lost bit, and a frame with a wrong CRC.
void Faults(SataTrafficBuilder& out, const ScenarioOptions& o) {
    LaneWriter lane(out, true);
    out.Primitive(P::Align, 2).Primitive(P::Sync, 8);
    out.Fault(FaultKind::InvalidCode, 1).Primitive(P::Sync, 2).Primitive(P::Sync, 6);
    lane.Send(FisBuilder::IdentifyDevice());
    out.Fault(FaultKind::WrongDisparity, 1).Primitive(P::Sync, 2).Primitive(P::Sync, 6);
    out.Fault(FaultKind::ExtraBit, 2).Primitive(P::Sync, 2).Primitive(P::Sync, 6);
    lane.Send(FisBuilder::PacketCommand(false, 2048));
    out.Fault(FaultKind::LostBit, 2).Primitive(P::Sync, 2).Primitive(P::Sync, 6);
    FrameOptions badCrc;
    badCrc.crcXor = 0x00000100;
    lane.Send(FisBuilder::Data(Payload(64, o.seed), "64 bytes, wrong CRC"), badCrc);
    out.Primitive(P::Sync, 16);
}

// One frame of every FIS type on one lane, the PACKET command directly followed by its
// command packet.
void AllFis(SataTrafficBuilder& out, const ScenarioOptions& o) {
    LaneWriter lane(out, true);
    DeviceRegister d2h;
    d2h.status = 0x50;
    d2h.lba = 0x123456;
    d2h.device = 0x40;
    d2h.count = 8;
    PioSetupFields pio;
    pio.transferCount = 512;
    pio.count = 1;
    pio.interrupt = true;
    SetDeviceBitsFields sdb;
    sdb.protocolSpecific = 0x00000001;
    DmaSetupFields dmaSetup;
    dmaSetup.bufferId = 3;
    dmaSetup.transferCount = 4096;
    out.Primitive(P::Align, 2).Primitive(P::Sync, 8);
    lane.Send(FisBuilder::IdentifyDevice());
    lane.Send(FisBuilder::RegisterDeviceToHost(d2h, "status"));
    lane.Send(FisBuilder::PioSetup(pio, "PIO data in, 512 bytes"));
    lane.Send(FisBuilder::Data(Payload(16, o.seed), "16 bytes"));
    lane.Send(FisBuilder::DmaActivate());
    lane.Send(FisBuilder::DmaSetup(dmaSetup));
    lane.Send(FisBuilder::SetDeviceBits(sdb));
    lane.Send(FisBuilder::BistActivate(0x80, 0, 0));
    lane.Send(FisBuilder::PacketCommand(false, 2048));
    lane.Send(FisBuilder::AtapiPacket(FisBuilder::Read10Cdb(0x20, 4), "READ(10) LBA 32, 4 blocks"));
    out.Primitive(P::Sync, 16);
}

// One frame for each frame verdict: intact, a wrong CRC in valid characters, a Register
// FIS a dword short, a HOLD inside, an unknown type, a type dword alone, one aborted by
// SYNC and, last, one cut short by the end of the capture.
void Verdicts(SataTrafficBuilder& out, const ScenarioOptions& o) {
    LaneWriter lane(out, true);
    Fis shortRegister = FisBuilder::IdentifyDevice();
    shortRegister.dwords.pop_back();
    shortRegister.description = "IDENTIFY DEVICE a dword short";
    const Fis unknown{{0x000000C7u, 0x11223344u}, "unknown type 0xC7"};
    FrameOptions badCrc, held, crcOnly, cut;
    badCrc.crcXor = 0x00000100;
    held.holdBeforeDword = 3;
    held.holdCount = 6;
    crcOnly.cutAfterDwords = 1;
    crcOnly.eofAfterCut = true;
    cut.cutAfterDwords = 3;
    out.Primitive(P::Align, 2).Primitive(P::Sync, 8);
    lane.Send(FisBuilder::IdentifyDevice());
    lane.Send(FisBuilder::Data(Payload(64, o.seed), "64 bytes, wrong CRC"), badCrc);
    lane.Send(shortRegister);
    lane.Send(FisBuilder::Data(Payload(32, o.seed), "32 bytes, held"), held);
    lane.Send(unknown);
    lane.Send(FisBuilder::DmaActivate(), crcOnly);
    out.Primitive(P::XRdy, 6).Frame(FisBuilder::IdentifyDevice(), cut).Primitive(P::Sync, 8);
    out.Primitive(P::XRdy, 6).Frame(FisBuilder::IdentifyDevice(), cut);
}

// An idle link as a capture may catch it before any comma: plain SYNC (no CONT), a
// Register FIS, more SYNC, and only then an ALIGN pair and a second frame.
void SyncStart(SataTrafficBuilder& out) {
    auto plainSync = [&](int count) {
        for (int i = 0; i < count; ++i) out.Primitive(P::Sync);
    };
    DeviceRegister status;
    status.status = 0x50;
    plainSync(8);
    out.Primitive(P::XRdy).Primitive(P::XRdy).Frame(FisBuilder::IdentifyDevice());
    out.Primitive(P::Wtrm).Primitive(P::Wtrm);
    plainSync(6);
    out.Primitive(P::Align, 2);
    plainSync(4);
    out.Primitive(P::XRdy).Primitive(P::XRdy).Frame(
        FisBuilder::RegisterDeviceToHost(status, "status"));
    plainSync(8);
}

// Answers a link can give, both lanes in step: a frame acknowledged, a Data frame held
// and the hold acknowledged, a frame refused with R_ERR, and an X_RDY that no R_RDY
// follows.
void LinkAnswers(SataTrafficBuilder& out, const ScenarioOptions& o) {
    DeviceRegister status;
    status.status = 0x50;
    FrameOptions held;
    held.holdBeforeDword = 8;
    held.holdCount = 6;
    const std::vector<Exchange> talk{
        {true, FisBuilder::IdentifyDevice(), {}, Answer::Ok},
        {false, FisBuilder::RegisterDeviceToHost(status, "status"), {}, Answer::Ok},
        {true, FisBuilder::Data(Payload(64, o.seed), "64 bytes, held"), held, Answer::Ok},
        {true, FisBuilder::PacketCommand(false, 2048), {}, Answer::Error},
        {true, FisBuilder::IdentifyDevice(), {}, Answer::Stall},
    };
    out.Primitive(P::Align, 2).Primitive(P::Sync, 16);
    LaneWriter::InStep(out, o.hostLane, o.traffic.contMinimumRun).Play(talk);
    out.Primitive(P::Sync, 16);
}

// Each primitive twice, between pairs of SYNC.
void AllPrimitives(SataTrafficBuilder& out) {
    out.Primitive(P::Align, 2).Primitive(P::Sync, 4);
    for (const PrimitiveSpec& primitive : kPrimitives) {
        out.Primitive(primitive.kind, 2).Primitive(P::Sync, 2);
    }
    out.Primitive(P::Sync, 8);
}

}  // namespace

std::string ScenarioOptions::Validate() const {
    bool known = false;
    for (const auto& info : CaptureScenario::List()) known = known || info.name == name;
    if (!known) return "unknown scenario \"" + name + "\"";
    if (dataBytes < 4 || dataBytes > CaptureScenario::kMaxDataBytes)
        return "data bytes must lie between 4 and " +
               std::to_string(CaptureScenario::kMaxDataBytes);
    if (traffic.alignIntervalDwords < 0) return "the ALIGN interval must be 0 or more";
    if (repeat < 1 || repeat > CaptureScenario::kMaxRepeat)
        return "the repeat count must lie between 1 and " +
               std::to_string(CaptureScenario::kMaxRepeat);
    return {};
}

const std::vector<CaptureScenario::Info>& CaptureScenario::List() {
    static const std::vector<Info> list{
        {"session", "IDENTIFY DEVICE, then PACKET with a READ(10) command packet and its data"},
        {"long-data", "WRITE DMA EXT with one long Data FIS, held in the middle"},
        {"idle", "an idle link: SYNC suppressed with CONT, ALIGN pairs"},
        {"faults", "an invalid code, a wrong disparity, an extra bit, a lost bit, a wrong CRC"},
        {"fis", "one frame of every FIS type, then PACKET and its command packet"},
        {"primitives", "each of the eighteen primitives twice"},
        {"link-answers", "R_OK, R_ERR and a stalled handshake; both lanes (--lane)"},
        {"sync-start", "SYNC and a Register FIS before the first ALIGN (no comma)"},
        {"verdicts", "a frame for each verdict: wrong CRC, short, held, unknown, cut short"},
    };
    return list;
}

SataTraffic CaptureScenario::Build(const ScenarioOptions& options) {
    SataTrafficBuilder out = Builder(options);
    for (int pass = 0; pass < options.repeat; ++pass) Play(out, options);
    return std::move(out).Build();
}

std::int64_t CaptureScenario::CountBits(const ScenarioOptions& options) {
    SataTrafficBuilder out = Builder(options);
    SataTrafficBuilder::LengthState start;
    std::int64_t passBits = 0;
    for (int pass = 0; pass < options.repeat; ++pass) {
        // A pass that starts as the one before adds as many bits, and so do all after it.
        if (pass > 0 && out.Length() == start)
            return out.LineBits() + passBits * (options.repeat - pass);
        start = out.Length();
        const std::int64_t before = out.LineBits();
        Play(out, options);
        out.Forget();
        passBits = out.LineBits() - before;
    }
    return out.LineBits();
}

SataTrafficBuilder CaptureScenario::Builder(const ScenarioOptions& options) {
    if (std::string problem = options.Validate(); !problem.empty())
        throw std::invalid_argument(problem);
    TrafficOptions traffic = options.traffic;
    traffic.junkSeed = options.seed;
    return SataTrafficBuilder(traffic);
}

void CaptureScenario::Play(SataTrafficBuilder& out, const ScenarioOptions& options) {
    if (options.name == "session") Session(out, options);
    if (options.name == "long-data") LongData(out, options);
    if (options.name == "idle") Idle(out);
    if (options.name == "faults") Faults(out, options);
    if (options.name == "fis") AllFis(out, options);
    if (options.name == "primitives") AllPrimitives(out);
    if (options.name == "verdicts") Verdicts(out, options);
    if (options.name == "sync-start") SyncStart(out);
    if (options.name == "link-answers") LinkAnswers(out, options);
}

}  // namespace kestrava::synth
