// The shared library as a program loads it, and the carrowin command as a user runs it.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "tests/visacheck/CarrowinTestSupport.h"
#include "visacheck/CarrowinModule.h"
#include "visacheck/DetectVisaPlatform.h"
#include "visacheck/InstallChecks.h"
#include "visacheck/VisaInstallChk.h"

namespace fs = std::filesystem;

namespace kestrava {
namespace {

class ExportsTest : public test::PrefixTest {
  protected:
    void SetUp() override {
        PrefixTest::SetUp();
        const char* saved = std::getenv("WINEPREFIX");
        hadPrefix_ = saved != nullptr;
        savedPrefix_ = saved ? saved : "";
        ::setenv("WINEPREFIX", prefix_->Root().c_str(), 1);
        library_ = ::dlopen(test::CarrowinLibrary().c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library_, nullptr) << ::dlerror();
    }
    void TearDown() override {
        if (library_) ::dlclose(library_);
        if (hadPrefix_)
            ::setenv("WINEPREFIX", savedPrefix_.c_str(), 1);
        else
            ::unsetenv("WINEPREFIX");
        PrefixTest::TearDown();
    }
    template <class Fn>
    Fn* Symbol(const char* name) {
        return reinterpret_cast<Fn*>(::dlsym(library_, name));
    }

    void* library_ = nullptr;
    bool hadPrefix_ = false;
    std::string savedPrefix_;
};

TEST_F(ExportsTest, OnlyThePlainFunctionsAreExported) {
    for (const char* name : {"GetUlmarVisaPlatformID", "GetVGpibProtocolID", "IdentifyVisa32Dll",
                             "DllRegisterServer", "DllUnregisterServer", "DllCanUnloadNow"})
        EXPECT_NE(::dlsym(library_, name), nullptr) << name;
    // The C++ core stays inside.
    EXPECT_EQ(::dlsym(library_, "_ZN8kestrava14IdentifyVisa32ERKNS_19CarrowinEnvironmentE"),
              nullptr);
    EXPECT_EQ(::dlsym(library_, "ReadProfileString"), nullptr);
}

TEST_F(ExportsTest, PlatformOfThePrefixInWineprefix) {
    auto platform = Symbol<int32_t()>("GetUlmarVisaPlatformID");
    auto protocol = Symbol<int32_t()>("GetVGpibProtocolID");
    EXPECT_EQ(platform(), 1);
    EXPECT_EQ(protocol(), 0);
    prefix_->AddFile("windows\\system32\\OEMINFO.INI",
                     "[General]\nManufacturer=Brennock\nModel=QVM5104\n");
    EXPECT_EQ(platform(), 5000);
    EXPECT_EQ(protocol(), 2);
    prefix_->AddFile("windows\\system32\\OEMINFO.INI",
                     "[General]\nManufacturer=Brennock\nModel=QVM4104\n");
    prefix_->WriteSystemReg(
        "[Software\\\\Brennock\\\\UlmarScope] 1\n\"Platform\"=dword:000017eb\n");
    EXPECT_EQ(platform(), 6000);
    EXPECT_EQ(protocol(), 1);
    ::setenv("WINEPREFIX", (Root() + "/absent").c_str(), 1);
    EXPECT_EQ(platform(), 0);
}

TEST_F(ExportsTest, IdentifyVisa32DllFillsTheCallersBuffers) {
    auto identify = Symbol<int32_t(int32_t*, int32_t*, int32_t*, char*)>("IdentifyVisa32Dll");
    int32_t major = 9, minor = 9, revision = 9;
    std::array<char, 255> vendor;
    vendor.fill('#');
    EXPECT_EQ(identify(&major, &minor, &revision, vendor.data()), 0);
    EXPECT_EQ(major, 0);
    EXPECT_STREQ(vendor.data(), "");
    EXPECT_EQ(identify(nullptr, nullptr, nullptr, nullptr), 0);
    if (!test::HavePeTools()) GTEST_SKIP() << "mingw-w64 binutils not installed";
    fs::copy_file(test::PeFixture("brennock_1_10_0"), prefix_->System32() / "visa32.dll");
    EXPECT_EQ(identify(&major, &minor, &revision, vendor.data()), 21);
    EXPECT_EQ((std::array<int, 3>{major, minor, revision}), (std::array<int, 3>{1, 10, 0}));
    EXPECT_STREQ(vendor.data(), "Brennock Inc.");
    EXPECT_EQ(identify(nullptr, &minor, nullptr, nullptr), 21);
}

TEST_F(ExportsTest, SelfRegistrationInThePrefixRegistry) {
    auto reg = Symbol<int32_t()>("DllRegisterServer");
    auto unreg = Symbol<int32_t()>("DllUnregisterServer");
    ASSERT_EQ(reg(), S_OK);
    const fs::path registry = prefix_->Root() / "system.reg";
    VisaInstallChk chk{EnvironmentSource(prefix_->Root())};
    for (const CoClassInfo& c : kCarrowinClasses) {
        CarrowinResult status{};
        chk.ValidateComRegistration(std::string(c.clsid), std::string(c.progId), 0, &status);
        EXPECT_EQ(status, VisaValStat_NoError) << c.progId;
        std::string path;
        chk.GetCOMServerPath(std::string(c.clsid), 0, &path, &status);
        EXPECT_EQ(path.substr(0, 3), "Z:\\");
        EXPECT_EQ(path.substr(path.size() - 15), "\\libcarrowin.so");
        chk.GetProxyStubPath(std::string(c.iid), &path, &status);
        EXPECT_EQ(status, VisaValStat_NotCustomMarshaling);
    }
    ASSERT_EQ(unreg(), S_OK);
    CarrowinResult status{};
    chk.ValidateComRegistration(std::string(kCarrowinClasses[1].clsid),
                                std::string(kCarrowinClasses[1].progId), 0, &status);
    EXPECT_EQ(status, VisaValStat_ComponentNotRegistered);
    ::setenv("WINEPREFIX", (Root() + "/absent").c_str(), 1);
    EXPECT_EQ(reg(), SELFREG_E_CLASS);
}

TEST_F(ExportsTest, LiveObjectsKeepTheModuleLoaded) {
    EXPECT_EQ(Symbol<int32_t()>("DllCanUnloadNow")(), S_OK);
    const long before = ModuleReference::LiveObjects();
    {
        VisaInstallChk a;
        DetectVisaPlatform b;
        VisaInstallChk c = a;
        EXPECT_EQ(ModuleReference::LiveObjects(), before + 3);
    }
    EXPECT_EQ(ModuleReference::LiveObjects(), before);
}

std::string RunCommand(const std::string& command, int* exitCode) {
    std::string output;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return output;
    char buf[512];
    while (std::fgets(buf, sizeof buf, pipe)) output += buf;
    int status = ::pclose(pipe);
    *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return output;
}

TEST_F(ExportsTest, CommandReportsAndRegisters) {
    const std::string cmd = test::CarrowinCommand().string();
    int rc = -1;
    std::string help = RunCommand(cmd + " --help", &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_NE(help.find("Usage: carrowin"), std::string::npos);
    RunCommand(cmd + " --bogus", &rc);
    EXPECT_EQ(rc, 2);
    RunCommand(cmd + " --prefix " + Root() + "/absent", &rc);
    EXPECT_EQ(rc, 1);
    // A prefix without its registry says so instead of passing for a plain PC.
    std::filesystem::create_directories(Root() + "/bare");
    std::string bare = RunCommand(cmd + " --prefix " + Root() + "/bare", &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_NE(bare.find("system.reg: not read (no such file)"), std::string::npos) << bare;

    prefix_->AddFile("windows\\system32\\OEMINFO.INI",
                     "[General]\nManufacturer=Brennock\nModel=QVM7254\n");
    std::string report =
        RunCommand(cmd + " --prefix " + prefix_->Root().string() + " --register", &rc);
    EXPECT_EQ(rc, 0) << report;
    EXPECT_NE(report.find("Registered."), std::string::npos) << report;
    EXPECT_NE(report.find("Platform: 7000 Brennock QVM 7000 scope"), std::string::npos) << report;
    EXPECT_NE(report.find("Virtual GPIB protocol: 1"), std::string::npos) << report;
    EXPECT_NE(report.find("visa32.dll: 31 Path to file is not valid."), std::string::npos)
        << report;
    EXPECT_NE(report.find("Carrowin.VisaInstallChk.1: 0 No error return status."),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("Carrowin.DetectVisaPlatform.1: 0 No error return status."),
              std::string::npos);
    EXPECT_NE(report.find("IDetectVisaPlatform proxy/stub: 16 "), std::string::npos);

    report = RunCommand(cmd + " --prefix " + prefix_->Root().string() + " --unregister", &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_NE(report.find(
                  "Carrowin.VisaInstallChk.1: 10 Registry entries for coclass missing/incomplete."),
              std::string::npos)
        << report;
}

}  // namespace
}  // namespace kestrava
