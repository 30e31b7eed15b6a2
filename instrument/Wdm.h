// The waveform data module: a flat interface over one program-wide state that holds the
// reader of the last waveform file, the edge-search engine and the module's last error code.
// Arrays handed out stay owned by the module, except the edge times, which are the
// caller's own copies.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "formats/RecordDescription.h"
#include "formats/RecordSink.h"
#include "instrument/EdgeSearchEngine.h"  // the edge kinds and EdgeTimeBase
#include "instrument/WaveformHeader.h"

namespace kestrava {

inline constexpr int kWdmDdiConnectFailed = 1001;
inline constexpr int kWdmGpibConnectFailed = 1002;
inline constexpr int kWdmDdiDisconnectFailed = 1003;
inline constexpr int kWdmGpibDisconnectFailed = 1004;
inline constexpr int kWdmInvalidSource = 1005;
inline constexpr int kWdmInvalidFileName = 1006;
inline constexpr int kWdmInvalidFileFormat = 1007;
inline constexpr int kWdmErrorOpeningFile = 1008;
inline constexpr int kWdmInvalidDataWidth = 1009;
inline constexpr int kWdmDataNotAvailable = 1010;
inline constexpr int kWdmSourceNotActive = 1011;
inline constexpr int kWdmFileRecordLengthMismatch = 1012;

struct WdmErrorEntry {
    int code;
    std::string_view text;
};

inline constexpr std::array<WdmErrorEntry, 12> kWdmErrorTexts{{
    {kWdmDdiConnectFailed, "DDI_CONNECT FAILED"},
    {kWdmGpibConnectFailed, "GPIB CONNECT FAILED"},
    {kWdmDdiDisconnectFailed, "DDI DISCONNECT FAILED"},
    {kWdmGpibDisconnectFailed, "GPIB DISCONNECT FAILED"},
    {kWdmInvalidSource, "INVALID SOURCE"},
    {kWdmInvalidFileName, "INVALID FILE NAME"},
    {kWdmInvalidFileFormat, "INVALID FILE FORMAT"},
    {kWdmErrorOpeningFile, "ERROR OPENING FILE"},
    {kWdmInvalidDataWidth, "INVALID DATA WIDTH"},
    {kWdmDataNotAvailable, "DATA NOT AVAILABLE"},
    {kWdmSourceNotActive, "SOURCE NOT ACTIVE"},
    {kWdmFileRecordLengthMismatch, "FILE RECORD LENGTH MISMATCH"},
}};

// Module start: creates the module's temporary folder, then the engine. When the folder
// cannot be made, the error code is the system's error number, the module has no engine
// and reads no file. Every other function starts the module on first use.
bool WdmStart();
// Program exit: destroys what the start made; a later call starts the module afresh.
void WdmStop();

// Imports a waveform file with the reader the format registry picks for it; the flag and
// the two texts are the caller's and do not change the import. The points are volts,
// owned by the module until the next load; empty on failure. The description is the
// file's record (zeroed on failure). Clears the edge searches.
std::span<const double> WdmLoadWaveformFile(const std::string& fileName, int flag,
                                            const char* versionText, const char* secondName,
                                            RecordDescription& description);

// Imports a waveform file as above, but hands its points to the sink block by block and
// keeps none: a decode reads each point once. The point count, 0 on failure (the sink may
// have taken some blocks by then).
std::int64_t WdmStreamWaveformFile(const std::string& fileName, int flag, const char* versionText,
                                   const char* secondName, RecordDescription& description,
                                   RecordSink& sink);

// Imports a record that is in memory, not in a file, as WdmStreamWaveformFile imports a
// file: the sink begins with the description, then the feed hands it the points; the edge
// searches take the description's point count and time base. The point count, 0 when the
// sink refused the record or the feed did not hand every point.
std::int64_t WdmStreamWaveformRecord(const RecordDescription& description,
                                     const std::function<bool(RecordSink&)>& feed,
                                     RecordSink& sink);

// The VISA session to "GPIB8::1::INSTR": opened with "HEADER 0" sent, its handle handed
// back (0 on failure, with the error "GPIB CONNECT FAILED").
bool WdmConnect(std::uint32_t& session);
// Closes the session and releases the transfer buffers and the edge searches.
bool WdmDisconnect();

// The source indexes of the module: 0-3 CH1-CH4, 4-7 MATH1-MATH4, 8-11 REF1-REF4.
inline constexpr int kWdmSourceCount = 12;
// "CH1" ... "REF4" for 0-11, empty otherwise.
std::string_view WdmSourceName(int source);

// Transfers start % to stop % of the source's record as volts. The array is the module's
// until the next transfer or disconnect; empty on failure (the error code tells why).
std::span<const float> WdmGetWaveformData(int source, double startPercent, double stopPercent);
// The source's scaling, time base and units; zero in the parts whose queries failed.
WaveformHeader WdmGetWaveformHeader(int source);
// Runs the edge searches over the last transferred record; false when none is held.
bool WdmFindEdgesInAcquiredData();

// How long one VISA call of a transfer may take, and how long a lock is waited for.
struct WdmTimeouts {
    std::uint32_t ioMs = 60000;
    std::uint32_t lockMs = 10000;
};
void WdmSetTimeouts(const WdmTimeouts& timeouts);

// What stopped the module's last transfer at the instrument. kInUse: another program held
// the lock past the lock timeout; no lock is waited for again until the next transfer.
// kSessionLost: a timeout or a lost connection; the session sends nothing more, and the
// next connection opens it anew. kStopped: a stop was asked for during the curve (see
// InstrumentStop.h); the acquisition was restored and nothing more is asked.
enum class WdmHalt { kNone, kInUse, kSessionLost, kStopped };
WdmHalt WdmGetHalt();
// The halt in the user's words: "the instrument is in use by another program", or after a
// timeout "no answer from GPIB8::1::INSTR (<address>) within <n> s"; empty otherwise.
std::string WdmGetInstrumentProblem();
// Forgets a lock timeout or a stop, so that a new acquisition tells only its own halt; a
// lost session stays lost until it is opened anew.
void WdmForgetInUse();

bool WdmAddEdgeSearch(float level, float hysteresis, int kind, const std::string& name);
// Runs the searches over the given volts with the time base of the last loaded file;
// at most the last file's point count is searched. False when the module has no engine.
bool WdmFindEdgesInData(std::span<const float> data);
// The same over 8-bit samples whose volts are volts[sample as an unsigned byte].
bool WdmFindEdgesInInt8Data(std::span<const std::int8_t> samples,
                            const std::array<float, 256>& volts);
// Drops every edge search (the module's loads and transfers do it too).
void WdmClearEdgeSearches();

std::int64_t WdmGetFallingEdgeCount(const std::string& name);
std::int64_t WdmGetRisingEdgeCount(const std::string& name);
// New arrays of seconds, one per crossing; empty for an unknown name or a missing list.
std::vector<double> WdmGetFallingEdgeTimes(const std::string& name);
std::vector<double> WdmGetRisingEdgeTimes(const std::string& name);
// The search's own lists in points; empty for an unknown name or a missing list.
std::span<const double> WdmGetFallingEdgePositions(const std::string& name);
std::span<const double> WdmGetRisingEdgePositions(const std::string& name);
// The time base the edge times are worked out with: that of the last search run.
EdgeTimeBase WdmGetEdgeTimeBase();

int WdmGetLastError();
// The table's text for 1001-1012, the system's message below 1000, empty otherwise.
std::string WdmGetErrorText(int code);

}  // namespace kestrava
