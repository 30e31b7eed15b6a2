// The one instrument object: the VISA session to the oscilloscope (opened and closed by
// the waveform data module, which shares the handle), command writes and reply reads,
// and the acquisition and display sequences built on them.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace kestrava {

// How long the instrument is waited for. The defaults are the program's; tests shorten them.
struct InstrumentTimings {
    std::chrono::milliseconds busyPollInterval{200};
    int busyPollLimit = 1000;  // polls beyond this many end the wait (1001 "BUSY?" in all)
    std::chrono::milliseconds measurementSettle{1000};  // before the statistics are read
};

class COscilloscope {
  public:
    // A reply is read as at most this many bytes.
    static constexpr std::size_t kReplySize = 256;

    COscilloscope();
    virtual ~COscilloscope();
    COscilloscope(const COscilloscope&) = delete;
    COscilloscope& operator=(const COscilloscope&) = delete;

    // 1 when a session exists afterwards; a held session is kept without any VISA call,
    // unless its connection was found lost or a transfer gave it up (WdmHalt::kSessionLost):
    // then it is closed and opened anew.
    int OpenConnection();
    // Always 1; only a true flag closes the session.
    int CloseConnection(bool close);
    bool Connected() const { return session_ != 0; }

    // One write of exactly the command's bytes, no line end added. 1 when a session
    // exists (the VISA status is not examined), 0 without one. A session a transfer gave up
    // sends and reads nothing: its calls fail at once with VI_ERROR_CONN_LOST.
    int Write(const std::string& command);
    // One read of at most kReplySize bytes into reply (replaced). 1 when a session exists.
    int Read(std::string& reply);
    // The same, answering the VISA status (negative on failure, also without a session).
    std::int32_t WriteStatus(const std::string& command);
    std::int32_t ReadStatus(std::string& reply, std::size_t maxBytes = kReplySize);

    // Acquisition (single sequence per the program-wide acquisition mode).
    int SelectChannelAndAcquire(const std::string& source);
    int AcquireWaveform(int mode);

    // What the bit detector asks before and after an acquisition. True when the instrument
    // answers that fast frame is on.
    bool FastFrameOn();
    // The instrument's horizontal position; 0 when the answer holds no number.
    double HorizontalPosition();
    // The maximum, minimum and mean of a source ("CH1" ... "REF4") by immediate
    // measurement, after the settle time. Each is stored as it arrives; a command that
    // fails leaves that value and those after it as they were.
    void MeasureMaxMinMean(const std::string& source, float& maximum, float& minimum, float& mean);

    // Display control.
    static int GetChStringFromNumber(int index, std::string& name);
    void SelectDisplayChannel(int index);
    // 1 when done or when the position is negative, 0 without a connection, the VISA
    // status when the other cursor's bound cannot be read.
    int SetCursorPosition(int cursor, int index, std::int64_t positionPoints);
    void Zoom(int index, float position, float scale, int recordLength);

    std::uint32_t Session() const { return session_; }

    const InstrumentTimings& Timings() const { return timings_; }
    void SetTimings(const InstrumentTimings& timings) { timings_ = timings; }

  private:
    // A status telling that the connection is gone; the next OpenConnection reopens it.
    std::int32_t NoteLoss(std::int32_t status);

    std::uint32_t session_ = 0;
    bool connectionLost_ = false;
    std::string logSource_ = "Oscilloscope";
    // Cursor 1 placed, cursor 2 placed, cursor 1 position, cursor 2 position.
    std::int32_t cursorState_[4] = {0, 0, 0, 0};
    InstrumentTimings timings_;
};

// The program-wide instrument object.
COscilloscope& TheOscilloscope();

}  // namespace kestrava
