// libtamsel.so against the in-process simulator. The library carries its own copy of the
// VISA library, so the resource alias is set the way a user sets it: in the alias file.
#include <dlfcn.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "scopeid/tamsel.h"
#include "tests/support/SimulatorFixture.h"
#include "tests/visa/TestServer.h"

namespace kestrava::test {
namespace {

using namespace std::chrono_literals;
using scopesim::Fault;

class TamselTest : public SimulatorFixture<> {
  protected:
    void SetUp() override {
        SimulatorFixture::SetUp();
        PointAliasFileAt(address_);
    }

    std::string List(const std::string& contents) {
        std::string path = Root() + "/list" + std::to_string(++lists_) + ".txt";
        WriteFile(path, contents);
        return path;
    }
    // Every call closes its sessions: the simulator sees its connections end.
    bool AllClosed() {
        for (int i = 0; i < 1000 && sim_.OpenConnections() > 0; ++i)
            std::this_thread::sleep_for(5ms);
        return sim_.OpenConnections() == 0;
    }

  private:
    int lists_ = 0;
};

TEST_F(TamselTest, IsScopeReturnsItsArgument) {
    for (int32_t value : {0, 1, -1, 123456, INT32_MIN}) EXPECT_EQ(IsScope(value), value);
}

TEST_F(TamselTest, ModelCodesOfIdentityAnswers) {
    struct Case {
        const char* identity;
        int32_t code;
    };
    for (const Case& c :
         {Case{"MAKER,QVM12345,C01,CF:1", 72345}, Case{"MAKER,QVM6154,C01,CF:1", 6154},
          Case{"MAKER,LKR12345,C01,CF:1", 12345}, Case{"MAKER,HWZ7254,C01,CF:1", 70254},
          Case{"MAKER,HWZ70404,C01,CF:1", 70404}, Case{"MAKER,HWZ9999,C01,CF:1", 9999},
          Case{"MAKER,JNF5000B,C01,CF:1", 75000}, Case{"MAKER,XYZ7254,C01,CF:1", -1},
          Case{"MAKER,C01,CF:1,QVM7", 7},             // the model field last
          Case{"MAKER,QVM12345 HWZ7254,C01", 70254},  // a later prefix wins
          Case{"", -1}}) {
        sim_.SetIdentity(c.identity);
        EXPECT_EQ(GetScopeDesc(), c.code) << c.identity;
    }
    EXPECT_TRUE(AllClosed());
    std::vector<std::string> journal = sim_.Journal();
    ASSERT_GE(journal.size(), 2u);
    EXPECT_EQ(journal[0], "header 0");
    EXPECT_EQ(journal[1], "*IDN?");
}

TEST_F(TamselTest, AnswerOfMoreThan256BytesIsCutSafely) {
    // The read takes 256 bytes and its last becomes the end of the text.
    sim_.SetIdentity(std::string(250, 'M') + "QVM12345,SN,FW");
    EXPECT_EQ(GetScopeDesc(), 12);  // only "QVM12" fits before the cut
    sim_.SetIdentity(std::string(300, 'M') + "QVM12345");
    EXPECT_EQ(GetScopeDesc(), -1);
    EXPECT_TRUE(AllClosed());
}

TEST_F(TamselTest, ListedModels) {
    sim_.SetIdentity("MAKER,QVM71254C,C01,CF:1");
    EXPECT_EQ(IsScopeSupported(List("qvm71254c\n").c_str()), 1);
    EXPECT_EQ(IsScopeSupported(List("LKR1 HWZ7254\n\tQvM71254C\n").c_str()), 1);
    EXPECT_EQ(IsScopeSupported(List("QVM71254CX QVM71254 VM71254C").c_str()), 0);
    EXPECT_EQ(IsScopeSupported(List("").c_str()), 0);
    EXPECT_EQ(IsScopeSupported((Root() + "/missing.txt").c_str()), -2);
    EXPECT_EQ(IsScopeSupported(nullptr), -2);
    // Only a regular file is a list: a folder, a device that never ends, a FIFO without a writer.
    const std::string fifo = Root() + "/list.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {Root(), std::string("/dev/zero"), fifo})
        EXPECT_EQ(IsScopeSupported(path.c_str()), -2) << path;
    EXPECT_TRUE(AllClosed());
}

TEST_F(TamselTest, WithoutAPrefixTheLastTokenFoundIsCompared) {
    sim_.SetIdentity("MAKER,HWZ7254,C01,CF:1");
    EXPECT_EQ(GetScopeDesc(), 70254);
    sim_.SetIdentity("MAKER,NOTASCOPE,C01,CF:1");
    EXPECT_EQ(IsScopeSupported(List("HWZ7254").c_str()), 1);
    EXPECT_EQ(GetScopeDesc(), -1);
}

TEST_F(TamselTest, NoInstrumentGivesMinusOne) {
    PointAliasFileAt(SocketAddress(ClosedPort()));
    EXPECT_EQ(GetScopeDesc(), -1);
    EXPECT_EQ(IsScopeSupported(List("QVM1").c_str()), -1);
    EXPECT_EQ(IsScopeSupported((Root() + "/missing.txt").c_str()),
              -1);  // the instrument is asked first
}

TEST_F(TamselTest, NoAnswerGivesMinusOneAfterTheTimeout) {
    sim_.InjectFault(Fault::kNoAnswer);
    EXPECT_EQ(GetScopeDesc(), -1);
    EXPECT_TRUE(AllClosed());
}

TEST_F(TamselTest, LibraryExportsExactlyItsThreeFunctions) {
    // A private copy of the library, so its token buffer starts empty.
    std::string library = Root() + "/libtamsel-copy.so";
    std::filesystem::copy_file(KESTRAVA_TAMSEL_PATH, library);
    void* handle = ::dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << ::dlerror();
    auto isScopeSupported =
        reinterpret_cast<int32_t (*)(const char*)>(::dlsym(handle, "IsScopeSupported"));
    EXPECT_NE(::dlsym(handle, "IsScope"), nullptr);
    EXPECT_NE(::dlsym(handle, "GetScopeDesc"), nullptr);
    ASSERT_NE(isScopeSupported, nullptr);
    for (const char* hidden : {"viOpen", "viRead", "viOpenDefaultRM", "kvSetAlias"})
        EXPECT_EQ(::dlsym(handle, hidden), nullptr) << hidden;
    // No prefix ever found: the empty token matches no list entry.
    sim_.SetIdentity("MAKER,NOTASCOPE,C01,CF:1");
    EXPECT_EQ(isScopeSupported(List("NOTASCOPE QVM1\n").c_str()), 0);
    ::dlclose(handle);
}

}  // namespace
}  // namespace kestrava::test
