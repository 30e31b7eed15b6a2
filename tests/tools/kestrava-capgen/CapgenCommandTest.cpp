// kestrava-capgen as a program: its files stay byte for byte what it wrote when it held
// whole records in memory, and a capture beyond 32-bit positions is refused.
#include <gtest/gtest.h>

#include <linux/limits.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/TempFolders.h"

namespace kestrava::test {
namespace {

std::uint64_t Fnv1a(const std::string& bytes) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (const char c : bytes) h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
    return h;
}

class CapgenCommandTest : public TempFolders {
  protected:
    // Runs the program with these arguments; its exit code, output in out, errors in err.
    int Run(const std::string& args) {
        char self[PATH_MAX] = {};
        EXPECT_GT(::readlink("/proc/self/exe", self, sizeof self - 1), 0);
        const std::string program =
            (std::filesystem::path(self).parent_path() / "kestrava-capgen").string();
        const std::string command =
            "'" + program + "' " + args + " >'" + Root() + "/out' 2>'" + Root() + "/err'";
        const int status = std::system(command.c_str());
        out = ReadFile(Root() + "/out");
        err = ReadFile(Root() + "/err");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string out, err;
};

// Sizes and hashes of the files the program wrote before it streamed (the manifest's hash
// 0: none written), for every file format and the options that shape the samples.
TEST_F(CapgenCommandTest, FilesAreByteForByteWhatTheWholeRecordWriterWrote) {
    struct Case {
        const char* args;
        std::size_t size;
        std::uint64_t file, manifest;
    };
    const Case cases[] = {
        {"--scenario session", 584070, 0x9c11de4dea39a95bull, 0x980d59693fd65310ull},
        {"--scenario faults --format int16 --version 1 --byte-order big --noise 0.01 --jitter "
         "5e-12 --rise-time 100e-12 --samples-per-bit 7.3 --phase 0.6 --seed 9 --skip-bits 3 "
         "--invert",
         90766, 0x50421a3d15079f12ull, 0xbb11f1387577cc2bull},
        {"--scenario fis --format float --label A-LABEL-LONGER-THAN-THIRTY-ONE-CHARACTERS "
         "--offset 0.1 --amplitude 0.8 --noise 0.003",
         960966, 0x8cb8aa9430c8f8f4ull, 0x1ca15f919cad4465ull},
        {"--scenario verdicts --file-format csv --format int8 --noise 0.01 --samples-per-bit 4.5",
         1445279, 0x034586f04af2ad20ull, 0x4cf543ead639bd25ull},
        {"--scenario primitives --file-format csv --separator tab --format float --rise-time "
         "200e-12",
         2486090, 0xf00e9abe45de8afbull, 0x54c69741a18be921ull},
        {"--scenario sync-start --file-format csv --separator semicolon --format int16 "
         "--byte-order big",
         1592416, 0x537787f8b6aef287ull, 0xeb6ae3e7427fa265ull},
        {"--scenario session --file-format trc --segments 3 --noise 0.01 --jitter 8e-12 "
         "--skip-bits 5",
         1749705, 0xe0b3caa2b0004dd7ull, 0x87b43fc3f9ca17ecull},
        {"--scenario link-answers --lane device --file-format trc --format int16 --byte-order "
         "big --no-block-prefix --samples-per-bit 11.7",
         197842, 0xc4933db7683d07c2ull, 0x0619616505e93c4aull},
        {"--scenario idle --file-format bin --logic-first --format int16 --no-cont "
         "--align-interval 0 --start-disparity +",
         1445116, 0x53fbe91802d2b20dull, 0xdf1c6edfc7c0f3d3ull},
        {"--scenario long-data --data-bytes 100 --repeat 3 --file-format bin --format float "
         "--phase 0.9",
         1593692, 0x7f48b81798937333ull, 0xad130b95d9a7b026ull},
        {"--scenario fis --file-format raw --format int16 --byte-order big --noise 0.02 --seed 77",
         480000, 0xdd3629e3510aefaeull, 0x8d271a3cf1f96948ull},
        {"--scenario faults --file-format raw --format float --rise-time 300e-12 --jitter 20e-12",
         492800, 0x2ce05691d328a8e8ull, 0x64dfdd33bac2e208ull},
        {"--scenario faults --file-format raw --format int8 --samples-per-bit 2 --noise 0.05",
         12320, 0xaf872ba1fdf028dfull, 0xb0b89a47dd61ffe3ull},
        {"--characters K28.5,D21.5,D21.5,D21.5 --repeat 50 --noise 0.02 --jitter 7e-12 "
         "--samples-per-bit 9.25",
         19370, 0x0e826d3a94176b87ull, 0},
        {"--characters K28.5,D16.2 --repeat 20 --file-format trc --segments 2 --format int16",
         32389, 0x4eb981b148e6d9f0ull, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        const std::string path = Root() + "/capture.out";
        const std::string manifest = Root() + "/capture.txt";
        std::filesystem::remove(manifest);
        ASSERT_EQ(Run(std::string(c.args) + " -o '" + path + "'"), 0) << err;
        const std::string file = ReadFile(path);
        EXPECT_EQ(file.size(), c.size);
        EXPECT_EQ(Fnv1a(file), c.file);
        EXPECT_EQ(c.manifest == 0 ? 0 : Fnv1a(ReadFile(manifest)), c.manifest);
    }
}

// Positions are 32-bit: the count is told, nothing is written, and it takes no time
// even for the longest capture the options allow.
TEST_F(CapgenCommandTest, ACaptureBeyond32BitPositionsIsRefusedWithItsCount) {
    const struct {
        const char* args;
        const char* count;
    } cases[] = {
        {"--scenario long-data --data-bytes 8192 --repeat 1219", "2150316000"},
        {"--scenario long-data --data-bytes 8192 --repeat 100000 --samples-per-bit 10000",
         "88200000000000"},
        {"--scenario sync-start --repeat 100000 --samples-per-bit 10000 --align-interval 7",
         "2480000000000"},
        {"--characters K28.5,D21.5 --repeat 100000 --samples-per-bit 1074", "2148000000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        EXPECT_EQ(Run(std::string(c.args) + " '" + Root() + "/long.wfm'"), 2);
        EXPECT_EQ(err, std::string("kestrava-capgen: ") + c.count +
                           " samples: more than the 2147483647 a capture may hold\n");
        EXPECT_FALSE(std::filesystem::exists(Root() + "/long.wfm"));
    }
}

// What cannot be written is named as before: the file a capture could not create, and
// for the other formats the file it could not write.
TEST_F(CapgenCommandTest, AFileThatCannotBeMadeIsNamed) {
    const std::string none = Root() + "/none/";
    EXPECT_EQ(Run("--scenario idle '" + none + "x.wfm'"), 2);
    EXPECT_EQ(err, "kestrava-capgen: cannot create " + none + "x.wfm\n");
    EXPECT_EQ(Run("--scenario idle --file-format csv '" + none + "x.csv'"), 2);
    EXPECT_EQ(err, "kestrava-capgen: cannot write " + none + "x.csv\n");
    EXPECT_EQ(Run("--scenario idle --manifest '" + none + "x.txt' '" + Root() + "/x.wfm'"), 2);
    EXPECT_EQ(err, "kestrava-capgen: cannot create " + none + "x.txt\n");
    EXPECT_EQ(Run("--scenario idle --file-format trc --format float '" + Root() + "/x.trc'"), 2);
    EXPECT_EQ(err, "kestrava-capgen: a .trc file holds 8- or 16-bit samples, not floats\n");
    EXPECT_FALSE(std::filesystem::exists(Root() + "/x.trc"));
}

}  // namespace
}  // namespace kestrava::test
