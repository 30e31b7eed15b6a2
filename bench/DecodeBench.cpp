// Whole decode of a Serial ATA capture, from the waveform file to the report text written
// to disk, against a floor measured in the same run: reading the file and converting its
// samples to volts once. At 1 and 10 million samples, so the cost per sample can be
// compared; with the peak heap of one decode per sample.
#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <sys/resource.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "base/Folders.h"
#include "base/ListBox.h"
#include "base/Workers.h"
#include "bench/HeapCounter.h"
#include "instrument/Wdm.h"
#include "session/CSataUserInterface.h"
#include "session/ReportFile.h"
#include "signal/RecycledBlocks.h"
#include "synth/AnalogSynth.h"
#include "synth/FisBuilder.h"
#include "synth/Quantizer.h"
#include "synth/SataTrafficBuilder.h"
#include "synth/SeededRandom.h"
#include "synth/WfmWriter.h"

namespace {

namespace synth = kestrava::synth;

constexpr double kSamplesPerBit = 20.0;

// Host traffic: SYNC runs, then long Data frames with their handshakes, over and over.
std::vector<std::uint8_t> TrafficBits(std::size_t bitCount) {
    synth::SataTrafficBuilder out;
    synth::SeededRandom random(11);
    std::vector<std::uint8_t> payload(8192);
    out.Primitive(synth::SataPrimitive::Align, 2).Primitive(synth::SataPrimitive::Sync, 16);
    while (static_cast<std::size_t>(out.DwordCount()) * 40 < bitCount + 400) {
        for (auto& b : payload) b = static_cast<std::uint8_t>(random.NextU32());
        out.Primitive(synth::SataPrimitive::XRdy, 6)
            .Frame(synth::FisBuilder::Data(payload, "payload"))
            .Primitive(synth::SataPrimitive::Wtrm, 8)
            .Primitive(synth::SataPrimitive::Sync, 24);
    }
    std::vector<std::uint8_t> bits = out.Build().bits;
    bits.resize(bitCount);
    return bits;
}

struct Capture {
    std::string path;
    std::size_t samples = 0;
};

std::string& Folder() {
    static std::string folder = [] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "kestrava-decode-bench-XXXXXX").string();
        std::string made = ::mkdtemp(pattern.data());
        // Own folders: no log, setup or dump of the user's touched.
        ::setenv("XDG_DATA_HOME", (made + "/data").c_str(), 1);
        ::setenv("TMPDIR", made.c_str(), 1);
        kestrava::Folders::PrepareDataFolders();
        return made;
    }();
    return folder;
}

// The capture of about this many samples, generated once.
const Capture& CaptureOf(std::size_t samples) {
    static std::map<std::size_t, Capture> made;
    auto found = made.find(samples);
    if (found != made.end()) return found->second;
    synth::AnalogOptions analog;
    analog.samplesPerBit = kSamplesPerBit;
    analog.riseTimeS = 100e-12;
    analog.noiseRmsV = 0.004;
    const synth::AnalogSynth synth(analog);
    const auto bits = TrafficBits(static_cast<std::size_t>(samples / kSamplesPerBit));
    const synth::QuantizedRecord record =
        synth::Quantizer::ForSignal(synth::SampleFormat::Int8, analog)
            .Quantize(synth.Synthesize(bits));
    Capture capture;
    capture.path = Folder() + "/capture-" + std::to_string(samples) + ".wfm";
    capture.samples = record.Size();
    const std::string problem =
        synth::WfmWriter({}).Write(capture.path, record, synth.SampleIntervalS());
    if (!problem.empty()) std::fprintf(stderr, "capture: %s\n", problem.c_str());
    return made.emplace(samples, capture).first->second;
}

// Processor time of the whole process: the machine may be shared, and one core is the target.
double CpuSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

long MaxRssKb() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Seconds per iteration of the floor, by capture size, for the decode's ratio.
std::map<std::size_t, double>& FloorSeconds() {
    static std::map<std::size_t, double> seconds;
    return seconds;
}

// The floor: the file read and its samples converted to volts, once.
void BM_ReadFileToVolts(benchmark::State& state) {
    const Capture& capture = CaptureOf(static_cast<std::size_t>(state.range(0)));
    kestrava::RecordDescription description;
    double seconds = 0.0;
    for (auto _ : state) {
        const double start = CpuSeconds();
        auto volts =
            kestrava::WdmLoadWaveformFile(capture.path, 1, ":WFM#003", nullptr, description);
        if (volts.size() != capture.samples) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(volts.data());
        seconds += CpuSeconds() - start;
    }
    FloorSeconds()[capture.samples] = seconds / static_cast<double>(state.iterations());
    kestrava::WdmStop();
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * capture.samples));
    state.counters["samples"] = static_cast<double>(capture.samples);
}

// File to report text written: load, bit recovery, words, primitives, both lists, report.
void BM_DecodeFileToReport(benchmark::State& state) {
    const Capture& capture = CaptureOf(static_cast<std::size_t>(state.range(0)));
    const std::string report = Folder() + "/report.txt";
    double peakPerSample = 0.0;
    std::size_t lines = 0;
    const long rssBefore = MaxRssKb();
    double seconds = 0.0;
    // The program is started once, with its protocol definition loaded, and opens the
    // file again and again, as a user does.
    kestrava::MemoryListBox mainList, protocolList;
    kestrava::CSataUserInterface ui(mainList, protocolList);
    ui.viewLayout = 2;
    // Measured from before the first load: what the decode holds, the previous one it
    // replaces and the blocks kept for reuse all count.
    kestrava::RecycledBlocks::ReleaseKept();
    const std::int64_t before = kestrava::bench::StartHeapPeak();
    for (auto _ : state) {
        const double start = CpuSeconds();
        kestrava::bench::StartHeapPeak();
        ui.LoadFile(capture.path);
        const std::string text = kestrava::ReportFile::Format(mainList, ui.WaveformTitle());
        std::ofstream(report, std::ios::binary) << text;
        lines = static_cast<std::size_t>(mainList.Count());
        if (!ui.Decoder().IsValid()) state.SkipWithError("decode failed");
        seconds += CpuSeconds() - start;
        peakPerSample = static_cast<double>(kestrava::bench::HeapPeakBytes() - before) /
                        static_cast<double>(capture.samples);
    }
    kestrava::WdmStop();
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * capture.samples));
    state.counters["samples"] = static_cast<double>(capture.samples);
    state.counters["list_lines"] = static_cast<double>(lines);
    state.counters["peak_heap_bytes_per_sample"] = peakPerSample;
    const double floor = FloorSeconds()[capture.samples];
    if (floor > 0.0)
        state.counters["times_floor"] = seconds / static_cast<double>(state.iterations()) / floor;
    state.counters["max_rss_growth_MB"] = static_cast<double>(MaxRssKb() - rssBefore) / 1024.0;
}

// The whole decode in wall time on a number of workers, beside the same decode on one: a
// report that differs from the one-worker report fails the run.
void BM_DecodeOnWorkers(benchmark::State& state) {
    const Capture& capture = CaptureOf(static_cast<std::size_t>(state.range(0)));
    static std::map<std::size_t, std::string> oneWorkerReport;
    kestrava::Workers::SetCount(static_cast<int>(state.range(1)));
    kestrava::MemoryListBox mainList, protocolList;
    kestrava::CSataUserInterface ui(mainList, protocolList);
    ui.viewLayout = 2;
    kestrava::RecycledBlocks::ReleaseKept();
    const std::int64_t before = kestrava::bench::StartHeapPeak();
    std::string text;
    double seconds = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        ui.LoadFile(capture.path);
        text = kestrava::ReportFile::Format(mainList, ui.WaveformTitle());
        std::ofstream(Folder() + "/report.txt", std::ios::binary) << text;
        if (!ui.Decoder().IsValid()) state.SkipWithError("decode failed");
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    auto [kept, first] = oneWorkerReport.emplace(capture.samples, text);
    if (!first && kept->second != text) state.SkipWithError("outputs differ between worker counts");
    kestrava::WdmStop();
    kestrava::Workers::SetCount(0);
    state.counters["samples"] = static_cast<double>(capture.samples);
    state.counters["workers"] = static_cast<double>(state.range(1));
    state.counters["peak_heap_bytes_per_sample"] =
        static_cast<double>(kestrava::bench::HeapPeakBytes() - before) /
        static_cast<double>(capture.samples);
    const double floor = FloorSeconds()[capture.samples];
    if (floor > 0.0)
        state.counters["times_floor"] = seconds / static_cast<double>(state.iterations()) / floor;
}

void Sizes(benchmark::internal::Benchmark* b) {
    b->Arg(1'000'000)->Arg(10'000'000)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
}
BENCHMARK(BM_ReadFileToVolts)->Apply(Sizes);
BENCHMARK(BM_DecodeFileToReport)->Apply(Sizes);
// A 100 M-sample capture (about 1 GB of memory to make): --benchmark_filter=100000000.
BENCHMARK(BM_ReadFileToVolts)
    ->Arg(100'000'000)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->Iterations(3);
BENCHMARK(BM_DecodeOnWorkers)
    ->ArgsProduct({{100'000'000}, {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(Folder());
    return 0;
}
