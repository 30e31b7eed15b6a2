#include "visacheck/InstallChecks.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <set>

#include "tests/visacheck/CarrowinTestSupport.h"
#include "visacheck/PeVersionReader.h"
#include "visacheck/VisaInstallChk.h"

namespace fs = std::filesystem;

namespace kestrava {
namespace {

constexpr RegistryRoot kLm = RegistryRoot::kLocalMachine;
constexpr const char* kPassportRoot =
    "Software\\National Instruments\\NI-VISA for Windows 95/NT\\CurrentVersion\\IoLibraries\\";

class InstallChecksTest : public test::PrefixTest {};

TEST_F(InstallChecksTest, AutomationDatesCountDaysFrom1899December30) {
    EXPECT_DOUBLE_EQ(AutomationDate(1899, 12, 30, 0, 0, 0), 0.0);
    EXPECT_DOUBLE_EQ(AutomationDate(1900, 1, 1, 18, 0, 0), 2.75);
    EXPECT_DOUBLE_EQ(AutomationDate(2020, 1, 2, 12, 0, 0), 43832.5);
    // Before the epoch the time of day still counts away from it.
    EXPECT_DOUBLE_EQ(AutomationDate(1899, 12, 29, 6, 0, 0), -1.25);
}

TEST_F(InstallChecksTest, FileDateIsTheLastWriteTimeInLocalTime) {
    const char* savedTz = std::getenv("TZ");
    const std::string saved = savedTz ? savedTz : "";
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    fs::path file = prefix_->AddFile("data\\stamp.txt", "x");
    struct timespec times[2] = {{1577966400, 0}, {1577966400, 0}};  // 2020-01-02 12:00:00 UTC
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    DateCheck check = CheckFileDateTime(Env(), "C:\\DATA\\stamp.txt");
    EXPECT_EQ(check.status, VisaValStat_NoError);
    EXPECT_DOUBLE_EQ(check.date, 43832.5);
    ::setenv("TZ", "UTC-2", 1);  // two hours east
    ::tzset();
    EXPECT_DOUBLE_EQ(CheckFileDateTime(Env(), file.string()).date, 43832.5 + 2.0 / 24.0);
    if (savedTz)
        ::setenv("TZ", saved.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();

    EXPECT_EQ(CheckFileDateTime(Env(), "").status, VisaValStat_ParameterError);
    EXPECT_EQ(CheckFileDateTime(Env(), "C:\\data\\none.txt").status, VisaValStat_InvalidFilePath);
    EXPECT_EQ(CheckFileDateTime(Env(), "Q:\\data\\stamp.txt").status, VisaValStat_InvalidFilePath);
    EXPECT_EQ(CheckFileDateTime(Env(), "C:\\data").status, VisaValStat_Win32Error);
}

TEST_F(InstallChecksTest, UlmarVisaDirectoryComesFromTheRegistryUnchecked) {
    EXPECT_EQ(CheckUlmarVisaDirectory(Env()).status, VisaValStat_RegKeyMissing);
    ASSERT_TRUE(Reg().CreateKey(kLm, "SOFTWARE\\Brennock\\UlmarVisa\\2.0"));
    EXPECT_EQ(CheckUlmarVisaDirectory(Env()).status, VisaValStat_RegValueMissing);
    ASSERT_TRUE(Reg().SetValue(kLm, "Software\\brennock\\ULMARVISA\\2.0", "InstallPath",
                               RegValue::String("C:\\No\\Such\\Folder")));
    PathCheck dir = CheckUlmarVisaDirectory(Env());
    EXPECT_EQ(dir.status, VisaValStat_NoError);
    EXPECT_EQ(dir.path, "C:\\No\\Such\\Folder");
}

TEST_F(InstallChecksTest, SystemDirectoryFiles) {
    EXPECT_EQ(CheckSystemFile(Env(), "visa32.dll").status, VisaValStat_InvalidFilePath);
    prefix_->AddFile("windows\\system32\\VISA32.DLL", "x");
    PathCheck visa = CheckSystemFile(Env(), "visa32.dll");
    EXPECT_EQ(visa.status, VisaValStat_NoError);
    EXPECT_EQ(visa.path, "C:\\windows\\system32\\visa32.dll");
    test::TestEnvironment noSystem(Root() + "/not-a-prefix");
    EXPECT_EQ(CheckSystemFile(*noSystem.env, "oncrpc.dll").status, VisaValStat_Win32Error);
}

TEST_F(InstallChecksTest, PassportPaths) {
    EXPECT_EQ(CheckPassportPath(Env(), "").status, VisaValStat_ParameterError);
    EXPECT_EQ(CheckPassportPath(Env(), "Passport1").status, VisaValStat_RegKeyMissing);
    const std::string key = std::string(kPassportRoot) + "Passport1";
    ASSERT_TRUE(Reg().CreateKey(kLm, key));
    EXPECT_EQ(CheckPassportPath(Env(), "Passport1").status, VisaValStat_RegValueMissing);
    ASSERT_TRUE(Reg().SetValue(kLm, key, "LibraryPath", RegValue::String("C:\\VXIPNP\\pass.dll")));
    PathCheck missing = CheckPassportPath(Env(), "Passport1");
    EXPECT_EQ(missing.status, VisaValStat_InvalidFilePath);
    EXPECT_EQ(missing.path, "C:\\VXIPNP\\pass.dll");
    prefix_->AddFile("VXIPNP\\pass.dll", "x");
    EXPECT_EQ(CheckPassportPath(Env(), "Passport1").status, VisaValStat_NoError);
}

TEST_F(InstallChecksTest, VersionsFromTheReader) {
    fs::path dll = prefix_->AddFile("v\\a.dll", "x");
    t_->versions->Set(dll, test::VersionInfoOf({2, 5, 0, 17}, std::nullopt));
    VersionCheck v = CheckFileVersion(Env(), "C:\\v\\a.dll");
    EXPECT_EQ(v.status, VisaValStat_NoError);
    EXPECT_EQ(v.file, (VersionParts{2, 5, 0, 17}));
    EXPECT_EQ(CheckFileVersion(Env(), "C:\\v\\none.dll").status, VisaValStat_InvalidFilePath);
    EXPECT_EQ(CheckFileVersion(Env(), "relative.dll").status, VisaValStat_InvalidFilePath);
    // A file that is there but has no (usable) version resource.
    prefix_->AddFile("v\\b.dll", "x");
    EXPECT_EQ(CheckFileVersion(Env(), "C:\\v\\b.dll").status, VisaValStat_VerResourceMissing);
    FileVersionInfo noFixed;
    noFixed.lastError = 0;
    t_->versions->Set(dll, noFixed);
    EXPECT_EQ(CheckFileVersion(Env(), "C:\\v\\a.dll").status, VisaValStat_VerResourceMissing);
}

TEST_F(InstallChecksTest, VersionTextShowsPartsAsUnsignedNumbers) {
    EXPECT_EQ(VersionText({2, 5, 0, 17}), "2.5.0.17");
    EXPECT_EQ(VersionText({40000, 1, 65535, 0}), "40000.1.65535.0");
}

TEST_F(InstallChecksTest, VersionMethodsOnRealDllsZeroTheirOutputsFirst) {
    if (!test::HavePeTools()) GTEST_SKIP() << "mingw-w64 binutils not installed";
    test::TestEnvironment pe(prefix_->Root(), std::make_shared<PeVersionReader>());
    VisaInstallChk chk{EnvironmentSource(pe.env)};
    const std::string path = test::PeFixture("national_2_5_0").string();
    std::int16_t a = 9, b = 9, c = 9, d = 9;
    CarrowinResult status{};
    ASSERT_EQ(chk.GetFileVersion(path, &a, &b, &c, &d, &status), S_OK);
    EXPECT_EQ(status, VisaValStat_NoError);
    EXPECT_EQ((std::array<int, 4>{a, b, c, d}), (std::array<int, 4>{2, 5, 0, 17}));
    ASSERT_EQ(chk.GetProductVersion(path, &a, &b, &c, &d, &status), S_OK);
    EXPECT_EQ((std::array<int, 4>{a, b, c, d}), (std::array<int, 4>{2, 5, 1, 3}));
    std::string text;
    chk.GetFileVersionAsString(path, &text, &status);
    EXPECT_EQ(text, "2.5.0.17");
    chk.GetProductVersionAsString(path, &text, &status);
    EXPECT_EQ(text, "2.5.1.3");
    chk.GetFileVersionAsString(test::PeFixture("large_parts").string(), &text, &status);
    EXPECT_EQ(text, "40000.1.65535.3");

    chk.GetFileVersion(test::PeFixture("no_version").string(), &a, &b, &c, &d, &status);
    EXPECT_EQ(status, VisaValStat_VerResourceMissing);
    EXPECT_EQ((std::array<int, 4>{a, b, c, d}), (std::array<int, 4>{0, 0, 0, 0}));
    chk.GetProductVersionAsString(Root() + "/missing.dll", &text, &status);
    EXPECT_EQ(status, VisaValStat_InvalidFilePath);
    EXPECT_EQ(text, "0.0.0.0");
}

TEST_F(InstallChecksTest, NullOutParametersGiveEPointerAndTouchNothing) {
    VisaInstallChk chk{EnvironmentSource(t_->env)};
    std::string s;
    std::int16_t p = 5;
    double date = 1.0;
    CarrowinResult status = VisaValStat_InvalidDirPath;
    EXPECT_EQ(chk.ValidateComRegistration("a", "b", 0, nullptr), E_POINTER);
    EXPECT_EQ(chk.GetCOMServerPath("a", 0, nullptr, &status), E_POINTER);
    EXPECT_EQ(chk.GetCOMServerPath("a", 0, &s, nullptr), E_POINTER);
    EXPECT_EQ(chk.GetProxyStubPath("a", nullptr, &status), E_POINTER);
    EXPECT_EQ(chk.GetFileDateTime("a", nullptr, &status), E_POINTER);
    EXPECT_EQ(chk.GetFileDateTime("a", &date, nullptr), E_POINTER);
    EXPECT_EQ(chk.GetUlmarVisaDirectory(nullptr, &status), E_POINTER);
    EXPECT_EQ(chk.GetVisa32DllPath(&s, nullptr), E_POINTER);
    EXPECT_EQ(chk.GetFileVersion("a", &p, &p, nullptr, &p, &status), E_POINTER);
    EXPECT_EQ(chk.GetFileVersionAsString("a", nullptr, &status), E_POINTER);
    EXPECT_EQ(chk.GetProductVersion("a", &p, &p, &p, &p, nullptr), E_POINTER);
    EXPECT_EQ(chk.GetProductVersionAsString("a", &s, nullptr), E_POINTER);
    EXPECT_EQ(chk.GetOncRpcDllPath(nullptr, &status), E_POINTER);
    EXPECT_EQ(chk.GetRegisteredPassportPath("a", nullptr, &status), E_POINTER);
    EXPECT_EQ(status, VisaValStat_InvalidDirPath);
    EXPECT_EQ(p, 5);
    EXPECT_EQ(date, 1.0);
}

TEST_F(InstallChecksTest, EveryResultCodeHasItsNameAndHelpText) {
    std::set<int> codes;
    for (const ResultCodeInfo& info : kCarrowinResults) {
        EXPECT_TRUE(codes.insert(info.code).second) << info.name;
        EXPECT_EQ(CarrowinResultHelp(info.code), info.helpText);
        EXPECT_EQ(CarrowinResultName(info.code), info.name);
        EXPECT_EQ(info.helpText.back(), '.');
    }
    EXPECT_EQ(codes.size(), 19u);
    EXPECT_EQ(CarrowinResultHelp(VisaValStat_NotCustomMarshaling),
              "Interface uses default marshaling - proxy/stub DLL not registered.");
    EXPECT_EQ(CarrowinResultHelp(2), "");
}

}  // namespace
}  // namespace kestrava
