// Throughput of the file-to-bits path on a 10-million-sample capture: waveform file
// load, edge search, bit recovery, and the peak heap a file load plus recovery needs
// per sample. The capture is an 8b/10b-like random NRZ signal (runs of at most five
// equal bits) at 20 samples per bit with a little noise, written as an 8-bit file; the
// peak heap is also taken on an edge-dense record that changes level at every sample.
#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "base/CAnalysisHost.h"
#include "bench/HeapCounter.h"
#include "instrument/Wdm.h"
#include "signal/CSataBitDetector.h"
#include "signal/RecycledBlocks.h"

namespace {

constexpr std::size_t kSamples = 10'000'000;
constexpr double kSamplesPerBit = 20.0;
constexpr double kBitRate = 1.5e9;

template <class T>
void Put(std::string& bytes, std::size_t offset, T value) {
    std::memcpy(bytes.data() + offset, &value, sizeof(T));
}

// A ":WFM#001" little-endian file of 8-bit samples with 16 charge points either side.
std::string WfmFile(const std::vector<std::int8_t>& samples, double scale, double intervalS) {
    constexpr std::size_t kHeader = 78 + 742;
    constexpr std::uint32_t kCharge = 16;
    std::string bytes(kHeader, '\0');
    Put<std::uint16_t>(bytes, 0, 0x0F0F);
    std::memcpy(bytes.data() + 2, ":WFM#001", 8);
    Put<std::uint8_t>(bytes, 15, 1);
    Put<std::int32_t>(bytes, 16, static_cast<std::int32_t>(kHeader));
    Put<double>(bytes, 78 + 88, scale);
    Put<std::int32_t>(bytes, 78 + 160, 7);
    Put<double>(bytes, 78 + 400, intervalS);
    const auto points = static_cast<std::uint32_t>(samples.size());
    Put<std::int32_t>(bytes, 78 + 416, static_cast<std::int32_t>(points + 2 * kCharge));
    Put<std::uint32_t>(bytes, 78 + 726, kCharge);
    Put<std::uint32_t>(bytes, 78 + 730, kCharge + points);
    Put<std::uint32_t>(bytes, 78 + 734, 2 * kCharge + points);
    Put<std::uint32_t>(bytes, 78 + 738, 2 * kCharge + points);
    bytes.append(kCharge, '\0');
    bytes.append(reinterpret_cast<const char*>(samples.data()), samples.size());
    bytes.append(kCharge, '\0');
    Put<std::int32_t>(bytes, 11, static_cast<std::int32_t>(bytes.size() - 15));
    return bytes;
}

std::vector<std::int8_t> NrzSamples() {
    std::mt19937 random(2024);
    std::normal_distribution<double> noise(0.0, 2.0);
    std::vector<std::int8_t> samples(kSamples);
    int bit = 0, run = 0;
    double nextEdge = 0.0;
    for (std::size_t k = 0; k < kSamples; ++k) {
        if (static_cast<double>(k) >= nextEdge) {
            int next = static_cast<int>(random() & 1u);
            if (next == bit && ++run >= 5) next = 1 - bit;
            if (next != bit) run = 0;
            bit = next;
            nextEdge += kSamplesPerBit;
        }
        double value = (bit ? 50.0 : -50.0) + noise(random);
        samples[k] = static_cast<std::int8_t>(std::lround(std::clamp(value, -127.0, 127.0)));
    }
    return samples;
}

// Every sample an edge: the most crossings a record can hold.
std::vector<std::int8_t> AlternatingSamples() {
    std::vector<std::int8_t> samples(kSamples);
    for (std::size_t k = 0; k < kSamples; ++k) samples[k] = k % 2 ? -50 : 50;
    return samples;
}

struct Capture {
    std::string folder;
    std::string path;
    std::string edgeDensePath;
    std::size_t fileBytes = 0;
};

const Capture& TheCapture() {
    static const Capture capture = [] {
        Capture c;
        std::string pattern =
            (std::filesystem::temp_directory_path() / "kestrava-bench-XXXXXX").string();
        c.folder = ::mkdtemp(pattern.data());
        // Own folders: no dump files, no log of the user's touched.
        ::setenv("XDG_DATA_HOME", (c.folder + "/data").c_str(), 1);
        ::setenv("TMPDIR", c.folder.c_str(), 1);
        c.path = c.folder + "/capture.wfm";
        std::string bytes = WfmFile(NrzSamples(), 0.01, 1.0 / (kBitRate * kSamplesPerBit));
        std::ofstream(c.path, std::ios::binary) << bytes;
        c.fileBytes = bytes.size();
        c.edgeDensePath = c.folder + "/edge-dense.wfm";
        std::ofstream(c.edgeDensePath, std::ios::binary)
            << WfmFile(AlternatingSamples(), 0.01, 1.0 / (kBitRate * kSamplesPerBit));
        return c;
    }();
    return capture;
}

struct Session {
    Session() { kestrava::WdmStart(); }
    ~Session() { kestrava::WdmStop(); }
    kestrava::BitRateSource bitRate = [] { return std::optional<double>(1.5e9); };
    kestrava::CAnalysisHost host;
};

void BM_FileLoad(benchmark::State& state) {
    const Capture& capture = TheCapture();
    Session session;
    kestrava::RecordDescription curve;
    for (auto _ : state) {
        auto volts = kestrava::WdmLoadWaveformFile(capture.path, 1, ":WFM#001", nullptr, curve);
        if (volts.size() != kSamples) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(volts.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * capture.fileBytes));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kSamples));
}
BENCHMARK(BM_FileLoad)->Unit(benchmark::kMillisecond);

void BM_EdgeSearch(benchmark::State& state) {
    const Capture& capture = TheCapture();
    Session session;
    kestrava::CSataBitDetector detector(capture.path, &session.host, session.bitRate);
    const kestrava::WaveformRecord& record = detector.Record();
    std::int64_t edges = 0;
    for (auto _ : state) {
        kestrava::WdmClearEdgeSearches();
        kestrava::WdmAddEdgeSearch(0.0f, 0.1f, kestrava::kEdgeRising, "RisingEdge");
        kestrava::WdmAddEdgeSearch(0.0f, 0.1f, kestrava::kEdgeFalling, "FallingEdge");
        // An 8-bit file keeps its samples, and is searched in them.
        if (record.HasInt8Samples())
            kestrava::WdmFindEdgesInInt8Data(record.Int8Samples(), record.int8Volts);
        else
            kestrava::WdmFindEdgesInData(record.Voltages());
        edges = kestrava::WdmGetRisingEdgeCount("RisingEdge") +
                kestrava::WdmGetFallingEdgeCount("FallingEdge");
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * record.VoltCount()));
    state.counters["edges"] = static_cast<double>(edges);
}
BENCHMARK(BM_EdgeSearch)->Unit(benchmark::kMillisecond);

// Statistics, thresholds, levels, both searches, merge and bit layout: one DecoderStart.
void BM_BitRecovery(benchmark::State& state) {
    const Capture& capture = TheCapture();
    Session session;
    kestrava::CSataBitDetector detector(capture.path, &session.host, session.bitRate);
    for (auto _ : state) {
        session.host.ClearStatus();
        detector.DecoderStart(false);
    }
    if (detector.Bits().bitCount < static_cast<std::int32_t>(kSamples / kSamplesPerBit) - 10)
        state.SkipWithError("bits missing");
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kSamples));
    state.counters["bits"] = detector.Bits().bitCount;
    state.counters["samples_per_bit"] = detector.Bits().samplesPerBit;
}
BENCHMARK(BM_BitRecovery)->Unit(benchmark::kMillisecond);

// The whole file constructor: load, codes and volts, bit recovery; with peak heap. The
// argument picks the capture: 0 the NRZ one, 1 the edge-dense one.
void BM_DetectorFromFile(benchmark::State& state) {
    const Capture& capture = TheCapture();
    const std::string& path = state.range(0) == 0 ? capture.path : capture.edgeDensePath;
    Session session;
    double peakPerSample = 0.0;
    for (auto _ : state) {
        state.PauseTiming();
        kestrava::WdmStop();
        kestrava::WdmStart();
        session.host.ClearStatus();
        // Blocks kept from the last detector would hide this one's arrays from the count.
        kestrava::RecycledBlocks::ReleaseKept();
        const std::int64_t before = kestrava::bench::StartHeapPeak();
        state.ResumeTiming();
        {
            kestrava::CSataBitDetector detector(path, &session.host, session.bitRate);
            benchmark::DoNotOptimize(detector.Bits().bitCount);
        }
        peakPerSample = static_cast<double>(kestrava::bench::HeapPeakBytes() - before) / kSamples;
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kSamples));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * capture.fileBytes));
    state.counters["peak_bytes_per_sample"] = peakPerSample;
}
BENCHMARK(BM_DetectorFromFile)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    TheCapture();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(TheCapture().folder);
    return 0;
}
