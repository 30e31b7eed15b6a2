// kestrava-scopesim: the oscilloscope simulator as a program, so that Kestrava and Tamsel
// can be tried without an instrument.
#include <algorithm>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/kestrava-scopesim/Faults.h"
#include "tools/kestrava-scopesim/FileSource.h"
#include "tools/kestrava-scopesim/ScopeSimulator.h"
#include "tools/kestrava-scopesim/ScopeState.h"
#include "tools/kestrava-scopesim/SynthSource.h"

namespace {

using kestrava::scopesim::Fault;
using kestrava::scopesim::ScopeSimulator;

constexpr const char* kUsage =
    "Usage: kestrava-scopesim [options]\n"
    "\n"
    "An oscilloscope simulator speaking SCPI over a raw TCP socket (and on request over\n"
    "VXI-11 and HiSLIP too), for trying Kestrava and Tamsel without an instrument. It answers the "
    "commands the program sends (sources,\n"
    "preambles, CURVE? blocks, single sequences, measurements, serial trigger, cursors,\n"
    "zoom, *IDN?). Kestrava reaches it through the VISA alias GPIB8::1::INSTR, which by\n"
    "default is TCPIP0::localhost::4000::SOCKET. Stop it with Ctrl-C.\n"
    "\n"
    "Options:\n"
    "  --port N          listen on port N (default 4000; 0 picks a free port)\n"
    "  --bind ADDRESS    listen on this address (default 127.0.0.1; 0.0.0.0 for the LAN)\n"
    "  --vxi11 N         also answer VXI-11 (TCPIP::host::INSTR), its core channel on port\n"
    "                    N (0 picks a free port), registered with the portmapper on port 111\n"
    "                    of this machine (Debian: rpcbind)\n"
    "  --portmapper N    with --vxi11: answer the portmapper itself on port N instead (0\n"
    "                    picks a free port); clients are told it by KESTRAVA_PORTMAPPER_PORT\n"
    "  --hislip N        also answer HiSLIP (TCPIP::host::hislip0::INSTR) on port N (the\n"
    "                    usual one is 4880; others are named hislip0,N)\n"
    "  --idn TEXT        the answer to *IDN?\n"
    "  --busy-ms N       how long a single sequence stays busy (default 100)\n"
    "  --no-auto-trigger a single sequence completes only on TRIGger FORCe\n"
    "  --max-bitrate R   highest serial trigger bit rate in bit/s (default 6.25e9)\n"
    "  --fault NAME      show a fault; repeatable. NAME is one of:\n"
    "                      no-answer             queries are never answered\n"
    "                      disconnect-mid-block  CURVE? sends half its block, then hangs up\n"
    "                      corrupt-block-header  CURVE? answers #X... instead of #<n>...\n"
    "                      count-exceeds-block   NR_Pt? reports more points than the block\n"
    "                      busy-forever          BUSY? answers 1 for ever\n"
    "                      silent-from-curve     CURVE? and every query after it go unanswered\n"
    "  --source CH1=FILE.wfm  take a source's records from a waveform file; repeatable.\n"
    "                    Without it CH1 acquires fresh SATA traffic at every single sequence\n"
    "  --scenario NAME   the traffic CH1 acquires (default session; kestrava-capgen\n"
    "                    --help lists them; link-answers plays both lanes in step)\n"
    "  --device-lane CHn CHn (CH2-CH4) acquires the other lane of CH1's traffic, the device's,\n"
    "                    with each record of CH1\n"
    "  --no-traffic      CH1 shows the PRBS7 pattern of the other channels instead\n"
    "  --record-length N HORizontal:RECOrdlength at start (default 20000, at most 500000000):\n"
    "                    the length of the channels' PRBS7 records\n"
    "  --verbose         print every message received and every command error\n"
    "  --help            show this text\n";

int Fail(const std::string& message) {
    std::cerr << "kestrava-scopesim: " << message << "\n(see kestrava-scopesim --help)\n";
    return 2;
}

template <class T>
std::optional<T> ParseNumber(std::string_view text) {
    T value{};
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

}  // namespace

int main(int argc, char** argv) {
    ScopeSimulator sim;
    uint16_t port = 4000;
    std::optional<uint16_t> vxi11, portmapper, hislip;
    std::string bind = "127.0.0.1";
    bool verbose = false;
    std::vector<std::string> fileSources;
    kestrava::synth::CaptureOptions synthOptions =
        kestrava::scopesim::SynthSource::DefaultOptions();
    std::string deviceLane;
    bool traffic = true;
    std::optional<unsigned long long> recordLength;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        auto value = [&]() -> std::optional<std::string_view> {
            if (i + 1 >= argc) return std::nullopt;
            return std::string_view(argv[++i]);
        };
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (arg == "--verbose") {
            verbose = true;
        } else if (arg == "--no-auto-trigger") {
            sim.SetAutoTrigger(false);
        } else if (arg == "--port") {
            auto text = value();
            auto number = text ? ParseNumber<unsigned>(*text) : std::nullopt;
            if (!number || *number > 65535) return Fail("--port needs a number from 0 to 65535");
            port = static_cast<uint16_t>(*number);
        } else if (arg == "--vxi11" || arg == "--portmapper" || arg == "--hislip") {
            auto text = value();
            auto number = text ? ParseNumber<unsigned>(*text) : std::nullopt;
            if (!number || *number > 65535)
                return Fail(std::string(arg) + " needs a number from 0 to 65535");
            (arg == "--vxi11"    ? vxi11
             : arg == "--hislip" ? hislip
                                 : portmapper) = static_cast<uint16_t>(*number);
        } else if (arg == "--bind") {
            auto text = value();
            if (!text) return Fail("--bind needs an address");
            bind = std::string(*text);
        } else if (arg == "--idn") {
            auto text = value();
            if (!text) return Fail("--idn needs a text");
            sim.SetIdentity(std::string(*text));
        } else if (arg == "--busy-ms") {
            auto text = value();
            auto number = text ? ParseNumber<unsigned>(*text) : std::nullopt;
            if (!number) return Fail("--busy-ms needs a number of milliseconds");
            sim.SetBusyTime(std::chrono::milliseconds(*number));
        } else if (arg == "--max-bitrate") {
            auto text = value();
            auto number = text ? ParseNumber<double>(*text) : std::nullopt;
            if (!number || !(*number > 0))
                return Fail("--max-bitrate needs a positive number of bit/s");
            sim.SetMaxBitRate(*number);
        } else if (arg == "--fault") {
            auto text = value();
            auto fault = text ? kestrava::scopesim::FaultFromName(*text) : std::nullopt;
            if (!fault) return Fail("unknown fault \"" + std::string(text.value_or("")) + "\"");
            sim.InjectFault(*fault);
        } else if (arg == "--source") {
            auto text = value();
            std::size_t equals = text ? text->find('=') : std::string_view::npos;
            if (equals == std::string_view::npos) return Fail("--source needs NAME=FILE");
            std::string name(text->substr(0, equals)), path(text->substr(equals + 1));
            auto waveform = kestrava::scopesim::ReadWaveformFile(path);
            if (!waveform)
                return Fail("--source " + name + ": " + path + " is not a readable waveform file");
            sim.SetSource(name, [record = *waveform] { return record; });
            fileSources.push_back(name);
        } else if (arg == "--scenario") {
            auto text = value();
            synthOptions.scenario.name = std::string(text.value_or(""));
            if (std::string problem = synthOptions.scenario.Validate(); !problem.empty())
                return Fail("--scenario: " + problem);
        } else if (arg == "--no-traffic") {
            traffic = false;
        } else if (arg == "--record-length") {
            auto text = value();
            recordLength = text ? ParseNumber<unsigned long long>(*text) : std::nullopt;
            if (!recordLength || *recordLength < 1)
                return Fail("--record-length needs a number of points");
        } else if (arg == "--device-lane") {
            auto text = value();
            auto index = text ? kestrava::scopesim::SourceFromName(*text) : std::nullopt;
            if (!index || *index < 1 || *index > 3)
                return Fail("--device-lane takes CH2, CH3 or CH4");
            deviceLane = kestrava::scopesim::SourceName(*index);
        } else {
            return Fail("unknown option \"" + std::string(arg) + "\"");
        }
    }
    if (portmapper && !vxi11) return Fail("--portmapper goes with --vxi11");
    auto fromFile = [&](const std::string& name) {
        return std::find(fileSources.begin(), fileSources.end(), name) != fileSources.end();
    };
    if (!deviceLane.empty() && (fromFile("CH1") || fromFile(deviceLane)))
        return Fail("--device-lane " + deviceLane + " needs CH1 and " + deviceLane +
                    " without --source");
    if (!traffic && !deviceLane.empty()) return Fail("--device-lane needs CH1's traffic");
    if (traffic && !fromFile("CH1")) {
        auto synth = std::make_shared<kestrava::scopesim::SynthSource>(synthOptions);
        sim.SetSource("CH1", kestrava::scopesim::MakeWaveformSource(synth));
        // Set after CH1: each acquisition takes the channels in order.
        if (!deviceLane.empty())
            sim.SetSource(deviceLane, kestrava::scopesim::MakeOtherLaneSource(synth));
    }
    if (recordLength) {
        // Clamped as the command clamps it; a forced trigger puts a record of it on screen.
        const auto points =
            std::min<unsigned long long>(*recordLength, kestrava::scopesim::kMaxRecordPoints);
        sim.Ask("HORizontal:RECOrdlength " + std::to_string(points));
        sim.Ask("TRIGger FORCe");
    }
    if (verbose) sim.SetTrace([](const std::string& line) { std::cerr << line << '\n'; });

    // Signals are taken synchronously; every thread started after this inherits the mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    if (!sim.Start(port, bind)) {
        std::cerr << "kestrava-scopesim: " << sim.LastError() << '\n';
        return 1;
    }
    if ((vxi11 && !sim.StartVxi11(*vxi11, portmapper)) || (hislip && !sim.StartHislip(*hislip))) {
        std::cerr << "kestrava-scopesim: " << sim.LastError() << '\n';
        sim.Stop();
        return 1;
    }
    // The first line keeps its form: scripts read the raw socket's port from its end.
    std::cout << "kestrava-scopesim: listening on " << bind << " port " << sim.Port() << std::endl;
    if (vxi11)
        std::cout << "kestrava-scopesim: VXI-11 core channel on port " << sim.Vxi11Port()
                  << ", portmapper on port " << sim.PortmapperPort() << std::endl;
    if (hislip) std::cout << "kestrava-scopesim: HiSLIP on port " << sim.HislipPort() << std::endl;
    int received = 0;
    sigwait(&signals, &received);
    sim.Stop();
    return 0;
}
