// Waveform transfer from the instrument: the active-source check, the record length,
// the binary curve block converted to volts, the source's header, and the edge searches
// over the transferred record. Every query group runs under the exclusive lock; the
// acquisition state stopped for the curve is restored on every path after it, unless the
// instrument stopped answering.
#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <string>

#include "base/HugePages.h"
#include "base/Numbers.h"
#include "instrument/InstrumentStop.h"
#include "instrument/ReplyNumbers.h"
#include "instrument/Wdm.h"
#include "instrument/WdmIo.h"
#include "instrument/WdmState.h"

namespace kestrava {
namespace {

using wdm::Io;
using wdm::LockGroup;

// Bounds on what the instrument may announce: no record beyond this many points is
// transferred, and no block is accepted that is larger than its points can be.
constexpr std::int64_t kMaxTransferPoints = 500'000'000;
constexpr std::int64_t kWidestPointBytes = 8;
constexpr std::int64_t kMaxBlockBytes = std::int64_t{1} << 31;

constexpr char kNbsp = '\xA0';  // the byte between header and argument of some commands

// The block is read in pieces of this size into a buffer that grows as they come, so the
// memory follows the bytes that arrived, not the length the instrument announced.
constexpr std::size_t kCurvePieceBytes = std::size_t{16} << 20;

// How long a session that timed out is given to show that the instrument still answers.
constexpr std::uint32_t kStillAnsweringMs = 2000;

std::uint32_t LockMs() {
    return wdm::Timeouts().lockMs;
}

bool IsMathSource(int source) {
    return source >= 4 && source <= 7;
}

std::string DataSource(int source) {
    return "DATa:SOUrce " + std::string(WdmSourceName(source));
}

std::string WithNumber(const char* format, long value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// The number before the token "points" in a waveform identification; 0 without one.
double PointsIn(std::string_view reply) {
    std::string_view previous;
    std::size_t at = 0;
    while (at < reply.size()) {
        const std::size_t end = std::min(reply.find_first_of(" ,;\"\t\r\n", at), reply.size());
        const std::string_view token = reply.substr(at, end - at);
        if (!token.empty()) {
            if (token == "points") return DoubleOf(previous);
            previous = token;
        }
        at = end + 1;
    }
    return 0.0;
}

// Record length: the number before "points" in "WFMOUTPRE:WFID?"; 0 when the query fails.
double RecordLengthOf(const Io& io, int source) {
    LockGroup lock(io, LockMs());
    if (!lock.Held()) return 0.0;
    std::string reply;
    if (io.Write(DataSource(source)) < VI_SUCCESS ||
        io.Query("WFMOUTPRE:WFID?", reply) < VI_SUCCESS)
        return 0.0;
    return PointsIn(reply);
}

// Asks whether the source's trace is on; false with ok clear when the I/O failed.
bool SourceActive(const Io& io, int source, bool& ok) {
    ok = false;
    if (viSetAttribute(io.Session(), VI_ATTR_TMO_VALUE, wdm::Timeouts().ioMs) < VI_SUCCESS)
        return false;
    LockGroup lock(io, LockMs());
    if (!lock.Held()) return false;
    std::string reply;
    if (io.Query("SELect:" + std::string(WdmSourceName(source)) + "?", reply) < VI_SUCCESS)
        return false;
    std::int64_t value = IntegerOf(reply);
    if (value != 0 && value != 1) {
        if (io.Read(reply) < VI_SUCCESS) return false;
        value = IntegerOf(reply);
    }
    ok = true;
    return value != 0;
}

// Converts the raw points to volts: (raw - yoff) * ymult + yzero, for 1-, 2- and 4-byte
// points, little-endian.
void ConvertPoints(const std::uint8_t* raw, std::size_t points, std::int64_t width, double yoff,
                   double ymult, double yzero, float* out) {
    switch (width) {
        case 1:
            for (std::size_t i = 0; i < points; ++i)
                out[i] =
                    static_cast<float>((static_cast<std::int8_t>(raw[i]) - yoff) * ymult + yzero);
            break;
        case 2:
            for (std::size_t i = 0; i < points; ++i) {
                const auto value = static_cast<std::int16_t>(
                    static_cast<std::uint16_t>(raw[2 * i] | (raw[2 * i + 1] << 8)));
                out[i] = static_cast<float>((value - yoff) * ymult + yzero);
            }
            break;
        case 4:
            for (std::size_t i = 0; i < points; ++i) {
                const std::uint32_t bits = static_cast<std::uint32_t>(raw[4 * i]) |
                                           static_cast<std::uint32_t>(raw[4 * i + 1]) << 8 |
                                           static_cast<std::uint32_t>(raw[4 * i + 2]) << 16 |
                                           static_cast<std::uint32_t>(raw[4 * i + 3]) << 24;
                float value;
                std::memcpy(&value, &bits, sizeof value);
                out[i] = static_cast<float>((value - yoff) * ymult + yzero);
            }
            break;
        default:
            break;  // no other width is converted
    }
}

class Transfer {
  public:
    Transfer(const Io& io, int source) : io_(io), source_(source) {}

    // Transfers points first..last (1-based) into out (count points). The VISA status of
    // the failing step, or VI_SUCCESS.
    ViStatus Run(std::int64_t first, std::int64_t last, std::vector<float>& out);

  private:
    ViStatus SetUpOutput(std::int64_t first, std::int64_t last);
    ViStatus SaveAndStopAcquisition();
    ViStatus ReadCurve(std::int64_t count, std::vector<std::uint8_t>& raw);
    // The block's length bytes and its line feed; an indefinite block's are read across
    // the line feeds its data may hold.
    ViStatus ReadCurveData(std::int64_t length, std::vector<std::uint8_t>& raw, bool indefinite);
    void EndFailedCurve();
    void RestoreAcquisition(const Io& io);
    ViStatus ConvertTo(const std::vector<std::uint8_t>& raw, std::vector<float>& out);

    const Io& io_;
    int source_;
    std::int64_t savedState_ = 0;
    // Bytes a point as the output was set up: what an indefinite block's length comes from.
    std::int64_t pointBytes_ = 2;
};

ViStatus Transfer::SetUpOutput(std::int64_t first, std::int64_t last) {
    ViStatus status;
    if ((status = io_.Write(DataSource(source_))) < VI_SUCCESS) return status;
    if ((status = io_.Write(WithNumber("DATA:START %ld", static_cast<std::int32_t>(first)))) <
        VI_SUCCESS)
        return status;
    if ((status = io_.Write(WithNumber("DATA:STOP %ld", static_cast<std::int32_t>(last)))) <
        VI_SUCCESS)
        return status;
    if ((status = io_.Write(std::string("WFMOutpre:ENCdg") + kNbsp + "BIN")) < VI_SUCCESS)
        return status;
    if ((status = io_.Write(std::string("WFMOutpre:BYT_Or") + kNbsp + "LSB")) < VI_SUCCESS)
        return status;

    // The byte-order reply is read over the query text, so the buffer never holds exactly
    // "LSB" and the swapped encoding is always asked for.
    static constexpr char kByteOrderQuery[] = "WFMOutpre:BYT_Or?";
    char buffer[wdm::kReplyBytes + 1] = {};
    std::memcpy(buffer, kByteOrderQuery, sizeof kByteOrderQuery);
    if ((status = io_.Write(kByteOrderQuery)) < VI_SUCCESS) return status;
    ViUInt32 count = 0;
    status = io_.Noted(
        viRead(io_.Session(), reinterpret_cast<ViPBuf>(buffer), wdm::kReplyBytes, &count));
    if (status < VI_SUCCESS) return status;
    if (std::strcmp(buffer, "LSB") != 0 &&
        (status = io_.Write("DATa:ENCdg SRIBinary")) < VI_SUCCESS)
        return status;

    std::int64_t width = 0;
    if ((status = io_.QueryInteger("WFMOutpre:BYT_NR?", width)) < VI_SUCCESS) return status;
    if ((IsMathSource(source_) || width == 4) &&
        (status = io_.Write("DATa:ENCdg SFPbinary")) < VI_SUCCESS)
        return status;
    pointBytes_ = width == 1 || width == 2 || width == 4 ? width : 2;

    std::string format;
    if ((status = io_.Query("WFMOutpre:BN_Fmt?", format)) < VI_SUCCESS) return status;
    const bool floating = format.size() >= 2 &&
                          std::toupper(static_cast<unsigned char>(format[0])) == 'F' &&
                          std::toupper(static_cast<unsigned char>(format[1])) == 'P';
    if (!floating) {
        if ((status = io_.Write(std::string("Data:ENCdg") + kNbsp + "SRIBIN")) < VI_SUCCESS)
            return status;
        if ((status = io_.Write("Data:width 2")) < VI_SUCCESS) return status;
        pointBytes_ = 2;
    }
    return VI_SUCCESS;
}

ViStatus Transfer::SaveAndStopAcquisition() {
    {
        LockGroup lock(io_, LockMs());
        if (!lock.Held()) return lock.Status();
        const ViStatus status = io_.QueryInteger("ACQuire:STATE?", savedState_);
        if (status < VI_SUCCESS) return status;
    }
    LockGroup lock(io_, LockMs());
    if (!lock.Held()) return lock.Status();
    return io_.Write(WithNumber("ACQuire:STATE %ld", 0).c_str());
}

void Transfer::RestoreAcquisition(const Io& io) {
    LockGroup lock(io, LockMs());
    if (lock.Held())
        io.Write(WithNumber("ACQuire:STATE %ld", static_cast<long>(savedState_)).c_str());
}

// Asks the instrument of a session that timed out one short question: true when it answers.
bool StillAnswers(const Io& io) {
    const std::uint32_t timeoutMs = std::min(wdm::Timeouts().ioMs, kStillAnsweringMs);
    if (viSetAttribute(io.Session(), VI_ATTR_TMO_VALUE, timeoutMs) < VI_SUCCESS) return false;
    std::string reply;
    return io.Query("ACQuire:STATE?", reply) >= VI_SUCCESS;
}

void Transfer::EndFailedCurve() {
    // Whatever is left of the reply would be read as the answers to later queries.
    viClear(io_.Session());
    if (wdm::RawState().halt != WdmHalt::kSessionLost) {
        RestoreAcquisition(io_);
        return;
    }
    // The session is given up; the instrument gets its acquisition back only if it
    // answers, so that a silent one costs one more short wait, not another timeout.
    const Io unguarded(io_.Session(), false);
    if (StillAnswers(unguarded)) RestoreAcquisition(unguarded);
}

// Lengthens raw by count bytes. Storage that must grow at least doubles, up to limit bytes,
// and is advised huge pages before it is written.
void Lengthen(std::vector<std::uint8_t>& raw, std::size_t count, std::size_t limit) {
    const std::size_t size = raw.size() + count;
    if (raw.capacity() < size) {
        std::vector<std::uint8_t> grown;
        grown.reserve(std::clamp(2 * raw.capacity(), size, std::max(size, limit)));
        AdviseHugePages(grown.data(), grown.capacity());
        grown.assign(raw.begin(), raw.end());
        raw.swap(grown);
    }
    raw.resize(size);
}

ViStatus Transfer::ReadCurve(std::int64_t count, std::vector<std::uint8_t>& raw) {
    ViStatus status = io_.Write("CURVE?");
    if (status < VI_SUCCESS) return status;
    std::uint8_t header[2] = {};
    if ((status = io_.ReadExactly(header, 2)) < VI_SUCCESS) return status;
    if (header[0] != '#' || header[1] < '0' || header[1] > '9') return VI_ERROR_INV_LENGTH;
    // A block too long for nine digits comes as "#0", its length unsaid: the points asked
    // for at the width set up, and the line feed that ends it.
    if (header[1] == '0') return ReadCurveData(count * pointBytes_, raw, true);
    std::uint8_t digits[9] = {};
    const std::size_t digitCount = header[1] - '0';
    if ((status = io_.ReadExactly(digits, digitCount)) < VI_SUCCESS) return status;
    std::int64_t length = 0;
    for (std::size_t i = 0; i < digitCount; ++i) {
        if (digits[i] < '0' || digits[i] > '9') return VI_ERROR_INV_LENGTH;
        length = length * 10 + (digits[i] - '0');
    }
    // The block cannot hold more bytes than the points asked for can take.
    if (length > count * kWidestPointBytes) return VI_ERROR_INV_LENGTH;
    return ReadCurveData(length, raw, false);
}

ViStatus Transfer::ReadCurveData(std::int64_t length, std::vector<std::uint8_t>& raw,
                                 bool indefinite) {
    if (length > kMaxBlockBytes) return VI_ERROR_INV_LENGTH;
    const auto total = static_cast<std::size_t>(length) + 1;  // the data and its line feed
    raw.clear();
    struct Idle {
        ~Idle() { SetInstrumentProgress(InstrumentActivity::kIdle); }
    } idle;
    while (raw.size() < total) {
        const std::size_t done = raw.size();
        SetInstrumentProgress(InstrumentActivity::kTransferring, static_cast<std::int64_t>(done),
                              static_cast<std::int64_t>(total));
        if (InstrumentStopRequested()) return VI_ERROR_ABORT;
        const std::size_t piece = std::min(total - done, kCurvePieceBytes);
        try {
            Lengthen(raw, piece, total);
        } catch (const std::bad_alloc&) {
            return VI_ERROR_ALLOC;
        }
        const ViStatus status = indefinite ? io_.ReadThrough(raw.data() + done, piece)
                                           : io_.ReadExactly(raw.data() + done, piece);
        if (status < VI_SUCCESS) return status;
    }
    return VI_SUCCESS;
}

ViStatus Transfer::ConvertTo(const std::vector<std::uint8_t>& raw, std::vector<float>& out) {
    std::int64_t points = 0, width = 0;
    ViStatus status;
    if ((status = io_.QueryInteger("WFMOutpre:NR_Pt?", points)) < VI_SUCCESS) return status;
    if ((status = io_.QueryInteger("WFMOutpre:BYT_NR?", width)) < VI_SUCCESS) return status;
    double yoff = 0.0, yzero = 0.0, ymult = 0.0;
    {
        LockGroup lock(io_, LockMs());
        if (!lock.Held() || io_.Write(DataSource(source_)) < VI_SUCCESS ||
            io_.QueryDouble("WFMOutpre:YOff?", yoff) < VI_SUCCESS ||
            io_.QueryDouble("WFMOutpre:YZero?", yzero) < VI_SUCCESS ||
            io_.QueryDouble("WFMOutpre:YMULT?", ymult) < VI_SUCCESS)
            return -1;
    }
    if (width != 1 && width != 2 && width != 4) return VI_SUCCESS;
    // The count the instrument reports is bounded by the array and by the block.
    const auto blockPoints =
        static_cast<std::int64_t>((raw.size() - 1) / static_cast<std::size_t>(width));
    const std::int64_t converted = std::clamp<std::int64_t>(
        points, 0, std::min<std::int64_t>(static_cast<std::int64_t>(out.size()), blockPoints));
    ConvertPoints(raw.data(), static_cast<std::size_t>(converted), width, yoff, ymult, yzero,
                  out.data());
    return VI_SUCCESS;
}

ViStatus Transfer::Run(std::int64_t first, std::int64_t last, std::vector<float>& out) {
    LockGroup lock(io_, LockMs());
    if (!lock.Held()) return lock.Status();
    ViStatus status = SetUpOutput(first, last);
    if (status < VI_SUCCESS) return status;
    if ((status = SaveAndStopAcquisition()) < VI_SUCCESS) return status;

    std::vector<std::uint8_t> raw;
    status = ReadCurve(last - first + 1, raw);
    if (status < VI_SUCCESS) {
        EndFailedCurve();
        // A stopped transfer asks nothing more, like one whose instrument went silent.
        if (status == VI_ERROR_ABORT && wdm::RawState().halt == WdmHalt::kNone) {
            wdm::RawState().halt = WdmHalt::kStopped;
            wdm::RawState().problem = "the transfer was stopped";
        }
        return status;
    }
    RestoreAcquisition(io_);

    const std::int64_t count = last - first + 1;
    try {
        ResizeLarge(out, static_cast<std::size_t>(
                             std::min<std::int64_t>(count, static_cast<std::int64_t>(raw.size()))));
    } catch (const std::bad_alloc&) {
        return VI_ERROR_ALLOC;
    }
    return ConvertTo(raw, out);
}

void SetError(int code) {
    wdm::State().errorCode = code;
}

}  // namespace

std::span<const float> WdmGetWaveformData(int source, double startPercent, double stopPercent) {
    wdm::ModuleState& state = wdm::State();
    state.startPercent = startPercent;
    state.stopPercent = stopPercent;
    wdm::ReleaseTransferBuffers(state);
    WdmForgetInUse();  // a new transfer waits for the lock again
    if (source < 0 || source >= kWdmSourceCount) {
        SetError(kWdmInvalidSource);
        return {};
    }
    const Io io(state.session);
    bool ok = false;
    const bool active = SourceActive(io, source, ok);
    if (!ok) return {};
    if (!active) {
        SetError(kWdmSourceNotActive);
        return {};
    }
    double points = RecordLengthOf(io, source);
    if (!std::isfinite(points) || points < 0.0) points = 0.0;
    points = std::min(points, static_cast<double>(kMaxTransferPoints));
    const double firstValue = std::trunc(startPercent * points / 100.0) + 1.0;
    const double lastValue = std::trunc(stopPercent * points / 100.0);
    if (!std::isfinite(firstValue) || !std::isfinite(lastValue) || firstValue < 1.0 ||
        lastValue > static_cast<double>(kMaxTransferPoints) || lastValue < firstValue) {
        // Nothing to transfer: an empty or impossible range.
        SetError(kWdmDataNotAvailable);
        return {};
    }
    const auto first = static_cast<std::int64_t>(firstValue);
    const auto last = static_cast<std::int64_t>(lastValue);

    std::vector<float> data;
    if (Transfer(io, source).Run(first, last, data) < VI_SUCCESS) {
        SetError(kWdmDataNotAvailable);
        return {};
    }
    state.data = std::move(data);
    state.sourceIndex = source;
    state.firstPoint = first - 1;
    state.transferState = wdm::kTransferFloatData;
    return state.data;
}

namespace {

std::int32_t SampleTypeOfWidth(std::int64_t width) {
    switch (width) {
        case 1:
            return 7;
        case 2:
            return 0;
        case 4:
            return 4;
        case 8:
            return 5;
        default:
            return 0;
    }
}

// A number at the start of a reply; the value stays as it was when there is none.
void ReadReplyNumber(const std::string& reply, double& value) {
    char* end = nullptr;
    const double read = ReadDouble(reply.c_str(), &end);
    if (end != reply.c_str()) value = read;
}

// The instrument's maximum and minimum of a floating-point source.
bool MeasureExtremes(const Io& io, int source, double& maximum, double& minimum) {
    std::string reply;
    if (io.Write("Measurement:IMMed:Source " + std::string(WdmSourceName(source))) < VI_SUCCESS ||
        io.Write("Measurement:IMMed:TYpe MAXIMUM") < VI_SUCCESS ||
        io.Query("Measurement:IMMed:Value?", reply) < VI_SUCCESS)
        return false;
    ReadReplyNumber(reply, maximum);
    if (io.Write("Measurement:IMMed:TYpe MINIMUM") < VI_SUCCESS ||
        io.Query("Measurement:IMMed:Value?", reply) < VI_SUCCESS)
        return false;
    ReadReplyNumber(reply, minimum);
    return true;
}

void ReadScaling(const Io& io, int source, WaveformHeader& header) {
    double yoff = 0, yzero = 0, ymult = 0, ptOff = 0, xincr = 0;
    {
        LockGroup lock(io, LockMs());
        if (!lock.Held() || io.Write(DataSource(source)) < VI_SUCCESS ||
            io.QueryDouble("WFMOutpre:YOff?", yoff) < VI_SUCCESS ||
            io.QueryDouble("WFMOutpre:YZero?", yzero) < VI_SUCCESS ||
            io.QueryDouble("WFMOutpre:YMULT?", ymult) < VI_SUCCESS ||
            io.QueryDouble("WFMOUTPRE:PT_OFF?", ptOff) < VI_SUCCESS ||
            io.QueryDouble("WFMOUTPRE:XINCR?", xincr) < VI_SUCCESS)
            return;
    }
    header.sampleIntervalS = xincr;
    header.triggerPointOffsetPoints = ptOff;
    header.firstPointTimeToTriggerS = -(xincr * ptOff);
    header.yMult = ymult;
    header.yZeroV = yzero;
    header.yOff = yoff;
    header.levelToVoltScale = ymult;
    header.levelToVoltOffset = ymult * yoff - yzero;

    LockGroup lock(io, LockMs());
    std::int64_t width = 0;
    if (!lock.Held() || io.Write(DataSource(source)) < VI_SUCCESS ||
        io.QueryInteger("WFMOutpre:BYT_NR?", width) < VI_SUCCESS || width != 4)
        return;
    double maximum = 0, minimum = 0;
    if (!MeasureExtremes(io, source, maximum, minimum)) return;
    header.levelToVoltScale = (maximum - minimum) / 38400.0;
    header.levelToVoltOffset = -(maximum + minimum) / 2.0;
}

void ReadTransferRange(const Io& io, int source, WaveformHeader& header) {
    LockGroup lock(io, LockMs());
    std::int64_t start = 0, stop = 0;
    double xzero = 0;
    if (!lock.Held() || io.Write(DataSource(source)) < VI_SUCCESS ||
        io.QueryInteger("DATA:START?", start) < VI_SUCCESS ||
        io.QueryInteger("DATA:STOP?", stop) < VI_SUCCESS ||
        io.QueryDouble("WFMOUTPRE:XZERO?", xzero) < VI_SUCCESS)
        return;
    header.transferRangePoints = stop - start + 1;
    header.firstTransferPointTimeS = xzero;
}

// A quoted unit with its line feed: the bytes between the first byte and the last two.
void CopyUnit(const std::string& reply, std::array<char, 256>& unit) {
    unit.fill('\0');
    if (reply.size() < 3) return;
    const std::size_t count = std::min(reply.size() - 3, unit.size() - 1);
    std::memcpy(unit.data(), reply.data() + 1, count);
}

void ReadUnits(const Io& io, int source, WaveformHeader& header) {
    LockGroup lock(io, LockMs());
    std::string xunit, yunit;
    if (!lock.Held() || io.Write(DataSource(source)) < VI_SUCCESS ||
        io.Query("wfmoutpre:xunit?", xunit) < VI_SUCCESS ||
        io.Query("wfmoutpre:yunit?", yunit) < VI_SUCCESS)
        return;
    CopyUnit(xunit, header.horizontalUnit);
    CopyUnit(yunit, header.verticalUnit);
}

}  // namespace

WaveformHeader WdmGetWaveformHeader(int source) {
    WaveformHeader header{};
    wdm::ModuleState& state = wdm::State();
    if (source < 0 || source >= kWdmSourceCount) {
        SetError(kWdmInvalidSource);
        return header;
    }
    const Io io(state.session);
    {
        LockGroup lock(io, LockMs());
        std::int64_t width = 0;
        if (lock.Held() && io.Write(DataSource(source)) >= VI_SUCCESS &&
            io.QueryInteger("WFMOutpre:BYT_Nr?", width) >= VI_SUCCESS)
            header.sampleTypeCode = SampleTypeOfWidth(width);
    }
    const double points = RecordLengthOf(io, source);
    header.recordLengthPoints =
        std::isfinite(points) ? static_cast<std::int64_t>(std::clamp(points, -9.0e18, 9.0e18)) : 0;
    ReadScaling(io, source, header);
    ReadTransferRange(io, source, header);
    ReadUnits(io, source, header);
    if (state.transferState == wdm::kTransferFloatData && source == state.sourceIndex) {
        state.header = header;
        state.headerCached = true;
    }
    return header;
}

bool WdmFindEdgesInAcquiredData() {
    wdm::ModuleState& state = wdm::State();
    if (state.transferState != wdm::kTransferFloatData || !state.engine) return false;
    // The time base of the record as it was transferred; asked for only when the header
    // was not read after the transfer.
    if (!state.headerCached) {
        state.header = WdmGetWaveformHeader(state.sourceIndex);
        state.headerCached = true;
    }
    const WaveformHeader& header = state.header;
    const EdgeTimeBase timeBase{header.sampleIntervalS,
                                -(header.sampleIntervalS * header.triggerPointOffsetPoints),
                                header.firstTransferPointTimeS};
    state.engine->Run(state.data, static_cast<double>(state.firstPoint), timeBase);
    return true;
}

}  // namespace kestrava
