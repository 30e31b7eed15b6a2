// Transfer rate of a 10-million-point record from the in-process simulator over loopback:
// the waveform data module's whole transfer (queries, locks, the 16-bit curve block,
// conversion to volts) against a plain socket that asks the same simulator for the same
// curve block and only receives it. Both pay the simulator's encoding; the difference is
// the program's own cost. The run ends with the ratio of the two rates and fails when the
// transfer is slower than half the raw socket rate.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "instrument/AcquisitionMode.h"
#include "instrument/COscilloscope.h"
#include "instrument/Wdm.h"
#include "tools/kestrava-scopesim/ScopeSimulator.h"
#include "visa/kvext.h"

namespace {

using kestrava::scopesim::ScopeSimulator;

constexpr std::size_t kPoints = 10'000'000;
constexpr double kBlockBytes = 2.0 * kPoints;  // 16-bit points

ScopeSimulator& Simulator() {
    static ScopeSimulator* sim = [] {
        auto* s = new ScopeSimulator;
        if (!s->Start(0)) {
            std::fprintf(stderr, "transfer_bench: %s\n", s->LastError().c_str());
            std::exit(1);
        }
        static const kestrava::scopesim::Waveform record =
            kestrava::scopesim::MakeNrzWaveform(kPoints, 0x35);
        s->SetSource("CH1", [] { return record; });
        s->SetBusyTime(std::chrono::milliseconds(1));
        const std::string address = "TCPIP0::127.0.0.1::" + std::to_string(s->Port()) + "::SOCKET";
        kvSetAlias("GPIB8::1::INSTR", address.c_str());
        return s;
    }();
    return *sim;
}

bool ConnectProgram() {
    kestrava::COscilloscope& scope = kestrava::TheOscilloscope();
    if (scope.Connected()) return true;
    Simulator();
    kestrava::InstrumentTimings timings;
    timings.busyPollInterval = std::chrono::milliseconds(1);
    scope.SetTimings(timings);
    if (!scope.OpenConnection()) return false;
    // One single sequence, so that the stopped instrument keeps this record.
    return scope.AcquireWaveform(kestrava::kAcquireSingleSequence) == 1;
}

void BM_ModuleTransfer(benchmark::State& state) {
    if (!ConnectProgram()) {
        state.SkipWithError("no connection to the simulator");
        return;
    }
    for (auto _ : state) {
        std::span<const float> volts = kestrava::WdmGetWaveformData(0, 0.0, 100.0);
        if (volts.size() != kPoints) {
            state.SkipWithError("transfer failed");
            return;
        }
        benchmark::DoNotOptimize(volts.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBlockBytes));
}

bool SendAll(int fd, const std::string& text) {
    std::size_t sent = 0;
    while (sent < text.size()) {
        const ssize_t n = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

// Receives one reply ending in a line feed that lies after a definite-length block.
bool ReceiveBlock(int fd, std::vector<char>& buffer) {
    std::size_t have = 0, expected = 0;
    for (;;) {
        if (have == buffer.size()) buffer.resize(buffer.size() * 2);
        const ssize_t n = ::recv(fd, buffer.data() + have, buffer.size() - have, 0);
        if (n <= 0) return false;
        have += static_cast<std::size_t>(n);
        if (expected == 0 && have >= 2) {
            const std::size_t digits = static_cast<std::size_t>(buffer[1] - '0');
            if (have < 2 + digits) continue;
            expected = 2 + digits + std::stoul(std::string(buffer.data() + 2, digits)) + 1;
        }
        if (expected != 0 && have >= expected) return true;
    }
}

void BM_RawSocket(benchmark::State& state) {
    ScopeSimulator& sim = Simulator();
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(sim.Port());
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        !SendAll(fd,
                 "HEADER 0;:DATa:SOUrce CH1;:DATa:STARt 1;:DATa:STOP 10000000;"
                 ":DATa:ENCdg SRIbinary;:DATa:WIDth 2\n")) {
        state.SkipWithError("no raw connection");
        ::close(fd);
        return;
    }
    std::vector<char> buffer(1 << 20);
    for (auto _ : state) {
        if (!SendAll(fd, "CURVe?\n") || !ReceiveBlock(fd, buffer)) {
            state.SkipWithError("raw transfer failed");
            break;
        }
    }
    ::close(fd);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBlockBytes));
}

BENCHMARK(BM_RawSocket)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_ModuleTransfer)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

// Keeps each benchmark's rate for the comparison printed at the end.
class RateReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            auto bytes = run.counters.find("bytes_per_second");
            if (bytes != run.counters.end())
                rates[run.run_name.function_name] = bytes->second.value;
        }
    }
    std::map<std::string, double> rates;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RateReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    kestrava::TheOscilloscope().CloseConnection(true);
    const double raw = reporter.rates["BM_RawSocket"];
    const double transfer = reporter.rates["BM_ModuleTransfer"];
    if (raw <= 0 || transfer <= 0) return 0;  // a filter left one of them out
    const double ratio = transfer / raw;
    std::printf(
        "10-million-point record: transfer %.0f MB/s, raw socket %.0f MB/s, %.0f %% of the raw "
        "rate\n",
        transfer / 1e6, raw / 1e6, 100.0 * ratio);
    if (ratio < 0.5) {
        std::printf("FAILED: the transfer is slower than half the raw socket rate\n");
        return 1;
    }
    return 0;
}
