// The window's responsiveness, printed as figures (a timed run, not a test): how soon the
// window is shown when the instrument connects and never answers, and how long the event
// loop goes unserved while a Single transfers and decodes a 50-million-point record from
// the in-process simulator. A 10 ms timer ticks throughout; a gap between two ticks beyond
// 10 ms is time the window could not answer.
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/CKestravaDlg.h"
#include "app/ListBoxModel.h"
#include "app/ScopeInstrument.h"
#include "base/Folders.h"
#include "instrument/COscilloscope.h"
#include "instrument/InstrumentStop.h"
#include "tools/kestrava-scopesim/ScopeSimulator.h"
#include "visa/kvext.h"

namespace {

using kestrava::CKestravaDlg;
using kestrava::InstrumentActivity;

constexpr std::size_t kPoints = 50'000'000;

// Private data, configuration and runtime folders, so the run leaves the user's alone.
void UsePrivateFolders() {
    std::string pattern = (std::filesystem::temp_directory_path() / "window-bench-XXXXXX").string();
    const char* root = ::mkdtemp(pattern.data());
    if (!root) std::exit(1);
    for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR"}) {
        const std::string folder = std::string(root) + "/" + name;
        std::filesystem::create_directories(folder);
        ::setenv(name, folder.c_str(), 1);
    }
}

struct Gaps {
    qint64 longest = 0;
    qint64 longestTransferring = 0;
    qint64 transferMs = 0;
    std::vector<qint64> all;
    qint64 Percentile(double p) {
        if (all.empty()) return 0;
        std::sort(all.begin(), all.end());
        return all[static_cast<std::size_t>(p * static_cast<double>(all.size() - 1))];
    }
};

// Serves the event loop with a 10 ms timer until done() holds, noting the gaps.
Gaps ServeUntil(const std::function<bool()>& done) {
    Gaps gaps;
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0, transferStart = -1;
    QTimer timer;
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        const qint64 gap = now - last;
        last = now;
        gaps.all.push_back(gap);
        gaps.longest = std::max(gaps.longest, gap);
        const bool transferring =
            kestrava::CurrentInstrumentProgress().activity == InstrumentActivity::kTransferring;
        if (transferring) {
            gaps.longestTransferring = std::max(gaps.longestTransferring, gap);
            if (transferStart < 0) transferStart = now;
            gaps.transferMs = now - transferStart;
        }
    });
    timer.start();
    while (!done()) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return gaps;
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    UsePrivateFolders();
    QApplication application(argc, argv);
    if (!kestrava::Folders::PrepareDataFolders()) return 1;

    kestrava::scopesim::ScopeSimulator sim;
    if (!sim.Start(0)) {
        std::fprintf(stderr, "window_bench: %s\n", sim.LastError().c_str());
        return 1;
    }
    const std::string address = "TCPIP0::127.0.0.1::" + std::to_string(sim.Port()) + "::SOCKET";
    kvSetAlias("GPIB8::1::INSTR", address.c_str());

    {
        sim.InjectFault(kestrava::scopesim::Fault::kNoAnswer);
        QElapsedTimer clock;
        clock.start();
        kestrava::ScopeInstrument instrument(kestrava::TheOscilloscope());
        CKestravaDlg window(instrument);
        window.show();
        QApplication::processEvents();
        const qint64 shown = clock.elapsed();
        ServeUntil([&] { return !window.DecodeRunning(); });
        std::printf(
            "silent instrument: window shown after %lld ms; the connect ended after "
            "%lld ms: %s\n",
            static_cast<long long>(shown), static_cast<long long>(clock.elapsed()),
            window.StatusLine()->text().toStdString().c_str());
    }
    kestrava::TheOscilloscope().CloseConnection(true);
    sim.ClearFaults();

    const kestrava::scopesim::Waveform record = kestrava::scopesim::MakeNrzWaveform(kPoints, 0x35);
    sim.SetSource("CH1", [&record] { return record; });
    sim.SetBusyTime(std::chrono::milliseconds(1));
    {
        kestrava::ScopeInstrument instrument(kestrava::TheOscilloscope());
        CKestravaDlg window(instrument);
        window.show();
        ServeUntil([&] { return !window.DecodeRunning(); });
        QElapsedTimer clock;
        clock.start();
        window.OnSingle();
        Gaps gaps = ServeUntil([&] { return !window.DecodeRunning(); });
        std::printf(
            "50 M-point Single: %lld ms in all, of which about %lld ms transferring; "
            "longest event-loop gap %lld ms (%lld ms while transferring), median "
            "%lld ms, 99th percentile %lld ms; %d characters\n",
            static_cast<long long>(clock.elapsed()), static_cast<long long>(gaps.transferMs),
            static_cast<long long>(gaps.longest), static_cast<long long>(gaps.longestTransferring),
            static_cast<long long>(gaps.Percentile(0.5)),
            static_cast<long long>(gaps.Percentile(0.99)), window.CharactersModel().Count());
    }
    kestrava::TheOscilloscope().CloseConnection(true);
    sim.Stop();
    return 0;
}
