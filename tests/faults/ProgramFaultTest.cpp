// kestrava-decode and kestrava-scopesim as the user runs them, each in its own process,
// reaching each other through the alias file. What is checked is what a user sees: the
// exit status, the message, and that no program hangs or leaves the instrument locked.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "synth/CaptureGenerator.h"
#include "tests/support/InstrumentLock.h"
#include "tests/support/TempFolders.h"
#include "visa/visa.h"

extern char** environ;

namespace kestrava::test {
namespace {

using namespace std::chrono_literals;

// A program of the build, found beside this test program.
std::string Program(const std::string& name) {
    char self[PATH_MAX] = {};
    if (::readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return name;
    return (std::filesystem::path(self).parent_path() / name).string();
}

// A child process with its standard output and error in one file; killed if still running
// when it goes out of scope.
class Child {
  public:
    Child(const std::vector<std::string>& args, const std::string& logPath) : log_(logPath) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(),
                                         O_WRONLY | O_CREAT | O_APPEND, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        std::vector<char*> argv;
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Child() {
        if (Running()) Kill();
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool Running() {
        if (pid_ <= 0 || status_) return false;
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) status_ = status;
        return !status_;
    }
    // The exit code, or nothing when the child is still running after the limit (it is
    // then killed) or ended on a signal. The limit only guards against a hang.
    std::optional<int> Wait(std::chrono::seconds limit = 30s) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (Running() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(2ms);
        if (Running()) {
            Kill();
            return std::nullopt;
        }
        if (!status_ || !WIFEXITED(*status_)) return std::nullopt;
        return WEXITSTATUS(*status_);
    }
    void Kill() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        status_ = status;
    }
    std::string Log() const {
        std::ifstream in(log_, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    // Waits until the log holds a match of the pattern; the first group, or nothing.
    std::optional<std::string> WaitForLog(const std::string& pattern,
                                          std::chrono::seconds limit = 20s) {
        const std::regex expression(pattern);
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            std::smatch match;
            const std::string text = Log();
            if (std::regex_search(text, match, expression))
                return match.size() > 1 ? match[1].str() : match[0].str();
            if (!Running()) return std::nullopt;
            std::this_thread::sleep_for(1ms);
        }
        return std::nullopt;
    }

  private:
    pid_t pid_ = -1;
    std::optional<int> status_;
    std::string log_;
};

class ProgramFaultTest : public TempFolders {
  protected:
    // The programs reach the instrument as GPIB8::1::INSTR through the alias file.
    void PointInstrumentAt(int port) {
        address_ = "TCPIP0::127.0.0.1::" + std::to_string(port) + "::SOCKET";
        WriteFile(ConfigHome() + "/kestrava/visa.conf", "GPIB8::1::INSTR = " + address_ + "\n");
    }
    // A simulator on a free port, with the instrument pointed at it.
    std::unique_ptr<Child> StartSimulator(std::vector<std::string> extra = {}) {
        std::vector<std::string> args{Program("kestrava-scopesim"), "--port", "0", "--busy-ms",
                                      "5"};
        args.insert(args.end(), extra.begin(), extra.end());
        auto simulator = std::make_unique<Child>(
            args, Root() + "/simulator-" + std::to_string(++simulators_) + ".log");
        const std::optional<std::string> port =
            simulator->WaitForLog("listening on 127.0.0.1 port ([0-9]+)");
        EXPECT_TRUE(port) << simulator->Log();
        if (port) PointInstrumentAt(std::stoi(*port));
        return simulator;
    }
    std::unique_ptr<Child> StartDecode(const std::string& name) {
        return std::make_unique<Child>(
            std::vector<std::string>{Program("kestrava-decode"), "--scope", "CH1", "--list",
                                     "primitives"},
            Root() + "/" + name + ".log");
    }
    bool InstrumentUnlocked() { return InstrumentUnlockedAt(address_, 0); }

    std::string address_;
    int simulators_ = 0;
};

constexpr int kExitUsageCode = 2;
constexpr char kNotAvailable[] = "kestrava-decode: CH1: Waveform is not available for analysis\n";

TEST_F(ProgramFaultTest, APortThatRefusesEndsTheDecodeAtOnceWithItsMessage) {
    // A port that was free a moment ago: nothing listens there.
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length), 0);
    ::close(probe);
    PointInstrumentAt(ntohs(address.sin_port));

    auto decode = StartDecode("decode");
    EXPECT_EQ(decode->Wait(), 1);
    EXPECT_EQ(decode->Log(),
              kNotAvailable +
                  ("kestrava-decode: CH1: cannot connect to GPIB8::1::INSTR "
                   "(TCPIP0::127.0.0.1::" +
                   std::to_string(ntohs(address.sin_port)) + "::SOCKET): Connection refused\n"));
}

TEST_F(ProgramFaultTest, ASimulatorKilledInTheMiddleOfATransferEndsTheDecodeWithItsMessage) {
    // A record long enough that its transfer takes a while.
    synth::CaptureOptions options;
    options.scenario.name = "long-data";
    options.scenario.dataBytes = 8192;
    options.scenario.repeat = 6;
    const std::string capture = Root() + "/long.wfm";
    ASSERT_EQ(synth::CaptureGenerator::WriteFiles(synth::CaptureGenerator::Generate(options),
                                                  options.wfm, capture, Root() + "/long.txt"),
              "");
    auto simulator = StartSimulator({"--verbose", "--source", "CH1=" + capture});

    auto decode = StartDecode("decode");
    ASSERT_TRUE(simulator->WaitForLog("CURVE\\?")) << simulator->Log();
    simulator->Kill();
    EXPECT_EQ(decode->Wait(), 1);
    EXPECT_EQ(decode->Log(), kNotAvailable);

    // The lock went with the decode: a simulator on the same port finds the instrument free.
    auto again = StartSimulator();
    EXPECT_TRUE(InstrumentUnlocked());
}

TEST_F(ProgramFaultTest, TwoDecodesAtOnceTakeTurnsAndBothSucceed) {
    auto simulator = StartSimulator();
    auto first = StartDecode("first");
    auto second = StartDecode("second");
    EXPECT_EQ(first->Wait(), 0) << first->Log();
    EXPECT_EQ(second->Wait(), 0) << second->Log();
    EXPECT_NE(first->Log().find("SOF"), std::string::npos);
    EXPECT_NE(second->Log().find("SOF"), std::string::npos);
    EXPECT_TRUE(InstrumentUnlocked());
}

// The window holds the instrument (here, this process's own session): the command line
// waits for it, and transfers once it is released.
TEST_F(ProgramFaultTest, ADecodeWaitsWhileAnotherProgramHoldsTheInstrument) {
    auto simulator = StartSimulator({"--verbose"});
    ViSession manager = VI_NULL, held = VI_NULL;
    ASSERT_GE(viOpenDefaultRM(&manager), VI_SUCCESS);
    ASSERT_GE(viOpen(manager, address_.c_str(), VI_NO_LOCK, 0, &held), VI_SUCCESS);
    ASSERT_EQ(viLock(held, VI_EXCLUSIVE_LOCK, 0, VI_NULL, VI_NULL), VI_SUCCESS);

    auto decode = StartDecode("decode");
    // The acquisition runs; the transfer waits for the lock.
    ASSERT_TRUE(simulator->WaitForLog("BUSY\\?")) << simulator->Log();
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(decode->Running());
    EXPECT_EQ(simulator->Log().find("CURVE?"), std::string::npos);

    ASSERT_EQ(viUnlock(held), VI_SUCCESS);
    EXPECT_EQ(decode->Wait(), 0) << decode->Log();
    EXPECT_NE(simulator->Log().find("CURVE?"), std::string::npos);
    viClose(manager);
}

// Bit recovery that runs out of memory: the decode names the stage's error and writes
// nothing, as for a file that is no waveform, instead of passing off an empty report.
TEST_F(ProgramFaultTest, ADecodeThatFailsPartWayGivesTheStagesErrorAndWritesNothing) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizers reserve more address space than any limit here";
#endif
    synth::CaptureOptions options;
    options.scenario.name = "long-data";
    options.scenario.dataBytes = 8192;
    options.scenario.repeat = 6;
    const std::string capture = Root() + "/long.wfm", report = Root() + "/r.txt";
    ASSERT_EQ(synth::CaptureGenerator::WriteFiles(synth::CaptureGenerator::Generate(options),
                                                  options.wfm, capture, Root() + "/long.txt"),
              "");
    WriteFile(report, "earlier report");
    // The first address-space limit, in 4 MiB steps, under which the program starts and
    // loads the capture: bit recovery needs some 20 MiB more.
    for (int kib = 4096; kib <= 1 << 20; kib += 4096) {
        const std::string log = Root() + "/decode-" + std::to_string(kib) + ".log";
        Child decode(
            {"/bin/sh", "-c",
             "ulimit -v " + std::to_string(kib) + " && exec '" + Program("kestrava-decode") +
                 "' --report -o '" + report + "' '" + capture + "'"},
            log);
        const std::optional<int> code = decode.Wait();
        const std::string said = decode.Log();
        if (!code || *code > kExitUsageCode ||
            said.find("not in the specified wfm format") != std::string::npos)
            continue;
        EXPECT_EQ(code, 1) << kib << " KiB";
        EXPECT_EQ(said, "kestrava-decode: " + capture + ": ERROR IN BIT DETECTION....\n");
        EXPECT_EQ(ReadFile(report), "earlier report");
        return;
    }
    FAIL() << "the capture never loaded";
}

}  // namespace
}  // namespace kestrava::test
