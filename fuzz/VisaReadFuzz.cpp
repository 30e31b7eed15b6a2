// Instrument replies through our VISA library: a session reads bytes that a transport
// hands over in pieces of any size, as a raw socket does, with or without the termination
// character and END tracking (which must see through "#<n><length>" binary blocks).
// Input: flags, termination character, piece-size seed, read-count seed, then the bytes
// the instrument sends.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "visa/MessageEndTracker.h"
#include "visa/Session.h"

using namespace kestrava;
using namespace kestrava::visa;

namespace {

class ScriptedTransport : public Transport {
  public:
    ScriptedTransport(const std::uint8_t* data, std::size_t size, std::uint8_t pieceSeed,
                      bool closeAtEnd)
        : data_(data), size_(size), pieceSeed_(pieceSeed), closeAtEnd_(closeAtEnd) {}

    IoStatus Send(const uint8_t*, size_t size, const Deadline&, size_t& sent) override {
        sent = size;
        return IoStatus::kOk;
    }
    IoStatus Receive(uint8_t* buffer, size_t size, const Deadline&, size_t& received) override {
        received = 0;
        if (position_ == size_) return closeAtEnd_ ? IoStatus::kClosed : IoStatus::kTimeout;
        // Piece sizes cycle through 1..pieceSeed+1 so splits land everywhere.
        std::size_t piece =
            1 + (step_++ * 7 + pieceSeed_) % (static_cast<std::size_t>(pieceSeed_) + 1);
        piece = std::min({piece, size, size_ - position_});
        std::copy(data_ + position_, data_ + position_ + piece, buffer);
        position_ += piece;
        received = piece;
        return IoStatus::kOk;
    }
    void Interrupt() override {}

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
    std::size_t step_ = 0;
    std::uint8_t pieceSeed_;
    bool closeAtEnd_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::PrepareEnvironment();
    fuzz::InputReader input(data, size);
    const std::uint8_t flags = input.Byte();
    const std::uint8_t termChar = input.Byte();
    const std::uint8_t pieceSeed = input.Byte();
    const std::uint8_t countSeed = input.Byte();
    const std::uint8_t* reply = input.RestData();
    const std::size_t replySize = input.RestSize();

    // The END tracker alone: it always moves on and stops just after a line feed.
    {
        MessageEndTracker tracker;
        std::size_t at = 0;
        while (at < replySize) {
            bool ended = false;
            std::size_t step = std::min<std::size_t>(replySize - at, 1 + (at + pieceSeed) % 97);
            std::size_t used = tracker.Consume(reply + at, step, ended);
            fuzz::Check(used > 0 && used <= step, "the END tracker does not advance");
            fuzz::Check(!ended || reply[at + used - 1] == '\n', "END without a line feed");
            fuzz::Check(ended || used == step, "the tracker stopped without END");
            at += used;
        }
    }

    const bool instr = flags & 1;
    Session session(
        1, instr ? "TCPIP0::fuzz.invalid::4000::INSTR" : "TCPIP0::fuzz.invalid::4000::SOCKET",
        "fuzz.invalid:4000",
        std::make_unique<ScriptedTransport>(reply, replySize, pieceSeed, flags & 2));
    session.SetAttribute(VI_ATTR_TMO_VALUE, 0);
    if (flags & 4) {
        session.SetAttribute(VI_ATTR_TERMCHAR, termChar);
        session.SetAttribute(VI_ATTR_TERMCHAR_EN, VI_TRUE);
    }
    if (flags & 8)
        session.SetAttribute(VI_ATTR_IO_PROT, instr ? VI_PROT_NORMAL : VI_PROT_4882_STRS);
    const bool trackEnd = instr != static_cast<bool>(flags & 8);

    std::vector<std::uint8_t> buffer(256 + 1);
    std::size_t total = 0;
    for (unsigned read = 0; read < replySize + 2; ++read) {
        // Reads of 256 bytes as the program makes them, and odd small ones.
        const ViUInt32 count = (countSeed & 0x80) ? 256 : 1 + (countSeed + read * 13) % 256;
        buffer[count] = 0xA5;
        ViUInt32 returned = 0xFFFFFFFF;
        ViStatus status = session.Read(buffer.data(), count, &returned);
        fuzz::Check(returned <= count, "a read returned more than asked");
        fuzz::Check(buffer[count] == 0xA5, "a read wrote past its count");
        total += returned;
        fuzz::Check(total <= replySize, "more bytes read than were sent");
        if (status == VI_SUCCESS_TERM_CHAR)
            fuzz::Check(returned > 0 && buffer[returned - 1] == termChar,
                        "term char status without it");
        if (status == VI_SUCCESS && trackEnd)
            fuzz::Check(returned > 0 && buffer[returned - 1] == '\n', "END without a line feed");
        if (status == VI_SUCCESS_MAX_CNT) fuzz::Check(returned == count, "count status short");
        if (status < 0) break;
    }
    fuzz::Check(total == replySize, "bytes sent were lost");
    return 0;
}
