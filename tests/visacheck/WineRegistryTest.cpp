#include "visacheck/WineRegistry.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "tests/support/TempFolders.h"
#include "tests/visacheck/CarrowinTestSupport.h"
#include "visacheck/MemoryRegistry.h"
#include "visacheck/WineRegFile.h"
#include "visacheck/WineSystemDirectory.h"

namespace kestrava {
namespace {

// A piece of a real prefix's system.reg, with the escapes Wine writes.
constexpr const char* kSystemReg =
    "WINE REGISTRY Version 2\n"
    ";; All keys relative to \\\\Machine\n"
    "\n"
    "#arch=win64\n"
    "\n"
    "[Software\\\\Brennock\\\\UlmarScope] 1700000000\n"
    "#time=1da0a0a0a0a0a0a\n"
    "\"Platform\"=dword:000017eb\n"
    "\"Text\"=\"say \\\"hi\\\" in C:\\\\Temp\\\\\"\n"
    "\"Expand\"=str(2):\"%SystemRoot%\\\\system32\"\n"
    "\"Binary\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\n"
    "  17,18\n"
    "\"AsDword\"=hex(4):2a,00,00,00\n"
    "\"Unicode\"=\"caf\\x00e9 \\x4e2d\"\n"
    "\n"
    "[Software\\\\Classes\\\\CLSID\\\\{00020424-0000-0000-C000-000000000046}\\\\InprocServer32] "
    "1700000000\n"
    "#time=1da0a0a0a0a0a0a\n"
    "@=\"oleaut32.dll\"\n"
    "\"ThreadingModel\"=\"Both\"\n";

TEST(WineRegFileTest, ReadsEveryValueKindWineWrites) {
    WineRegFile file;
    ASSERT_TRUE(file.Parse(kSystemReg));
    const std::string scope = "SOFTWARE\\BRENNOCK\\ulmarscope";
    EXPECT_EQ(file.ReadValue(scope, "platform")->dword, 6123u);
    EXPECT_EQ(file.ReadValue(scope, "Text")->text, "say \"hi\" in C:\\Temp\\");
    auto expand = file.ReadValue(scope, "Expand");
    EXPECT_EQ(expand->type, RegValueType::kExpandString);
    EXPECT_EQ(expand->text, "%SystemRoot%\\system32");
    EXPECT_EQ(file.ReadValue(scope, "Binary")->type, RegValueType::kOther);
    EXPECT_EQ(file.ReadValue(scope, "AsDword")->dword, 42u);
    EXPECT_EQ(file.ReadValue(scope, "Unicode")->text, "caf\xC3\xA9 \xE4\xB8\xAD");
    EXPECT_FALSE(file.ReadValue(scope, "Missing"));
    EXPECT_EQ(file.ReadValue("Software\\Classes\\CLSID\\{00020424-0000-0000-C000-000000000046}"
                             "\\InprocServer32",
                             "")
                  ->text,
              "oleaut32.dll");
    // Keys above written ones exist although the file has no block for them.
    EXPECT_TRUE(file.KeyExists("software\\classes\\clsid"));
    EXPECT_TRUE(file.KeyExists("Software"));
    EXPECT_FALSE(file.KeyExists("Software\\Brennock\\QVM5000"));
    EXPECT_FALSE(file.KeyExists("Software\\\\Brennock"));
}

TEST(WineRegFileTest, WritesChangeOnlyWhatWasSet) {
    WineRegFile file;
    ASSERT_TRUE(file.Parse(kSystemReg));
    const std::string original = file.Text();
    EXPECT_EQ(original, kSystemReg);
    ASSERT_TRUE(file.SetValue("Software\\Brennock\\UlmarScope", "PLATFORM", RegValue::Dword(5001)));
    std::string expected = kSystemReg;
    expected.replace(expected.find("\"Platform\"=dword:000017eb"), 25,
                     "\"Platform\"=dword:00001389");
    EXPECT_EQ(file.Text(), expected);

    ASSERT_TRUE(file.SetValue("Software\\Brennock\\UlmarVisa\\2.0", "InstallPath",
                              RegValue::String("C:\\Program Files\\UlmarVisa \"2\"")));
    const std::string text = file.Text();
    EXPECT_EQ(text.compare(0, expected.size(), expected), 0) << "new keys are appended";
    EXPECT_NE(text.find("\n[Software\\\\Brennock\\\\UlmarVisa\\\\2.0] "), std::string::npos);
    EXPECT_NE(text.find("\"InstallPath\"=\"C:\\\\Program Files\\\\UlmarVisa \\\"2\\\"\"\n"),
              std::string::npos);

    // What was written reads back the same after a round trip through the text.
    WineRegFile again;
    ASSERT_TRUE(again.Parse(text));
    EXPECT_EQ(again.ReadValue("Software\\Brennock\\UlmarVisa\\2.0", "InstallPath")->text,
              "C:\\Program Files\\UlmarVisa \"2\"");
    EXPECT_EQ(again.ReadValue("Software\\Brennock\\UlmarScope", "Platform")->dword, 5001u);
    EXPECT_EQ(again.ReadValue("Software\\Brennock\\UlmarScope", "Binary")->type,
              RegValueType::kOther);
}

TEST(WineRegFileTest, DeleteTreeRemovesTheKeyAndEverythingBelowOnly) {
    WineRegFile file;
    ASSERT_TRUE(file.Parse(kSystemReg));
    file.CreateKey("Software\\Brennock\\QVM5000");
    file.CreateKey("Software\\BrennockOther");
    file.DeleteTree("software\\brennock");
    EXPECT_FALSE(file.KeyExists("Software\\Brennock"));
    EXPECT_FALSE(file.KeyExists("Software\\Brennock\\QVM5000"));
    EXPECT_TRUE(file.KeyExists("Software\\BrennockOther"));
    EXPECT_TRUE(file.KeyExists("Software\\Classes\\CLSID"));
}

TEST(WineRegFileTest, EscapingRoundTripsAnyText) {
    const std::string samples[] = {"plain",
                                   "back\\slash",
                                   "quote\"d",
                                   "[brackets]",
                                   "tab\tnew\nline",
                                   "caf\xC3\xA9",
                                   "\xF0\x9F\x98\x80 emoji",
                                   "\x01\x7F",
                                   "x\xE4\xB8\xAD"
                                   "1f"};
    for (const std::string& s : samples) {
        EXPECT_EQ(WineRegFile::Unescape(WineRegFile::Escape(s, "\"")), s) << s;
        EXPECT_EQ(WineRegFile::Unescape(WineRegFile::Escape(s, "[]")), s) << s;
    }
    EXPECT_EQ(WineRegFile::Escape("a]b", "[]"), "a\\]b");
    EXPECT_EQ(WineRegFile::Unescape("\\101\\x41\\q"), "AAq");
}

TEST(WineRegFileTest, OtherFilesAreNoRegistry) {
    WineRegFile file;
    EXPECT_FALSE(file.Parse("REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software]\n"));
    EXPECT_FALSE(file.Parse(""));
    EXPECT_EQ(file.KeyCount(), 0u);
}

class WineRegistryTest : public test::TempFolders {};

TEST_F(WineRegistryTest, ClassesRootMergesUserOverMachineAndWritesPersist) {
    test::FakePrefix prefix(Root() + "/prefix");
    prefix.WriteSystemReg(
        "[Software\\\\Classes\\\\Carrowin.Thing\\\\CLSID] 1\n@=\"{machine}\"\n\n"
        "[Software\\\\Brennock] 1\n");
    prefix.WriteUserReg(
        "[Software\\\\Classes\\\\Carrowin.Thing\\\\CLSID] 1\n@=\"{user}\"\n\n"
        "[Software\\\\Classes\\\\UserOnly] 1\n");
    WineRegistry registry(prefix.Root());
    ASSERT_TRUE(registry.MachineLoaded());
    EXPECT_EQ(registry.ReadValue(RegistryRoot::kClassesRoot, "Carrowin.Thing\\CLSID", "")->text,
              "{user}");
    EXPECT_TRUE(registry.KeyExists(RegistryRoot::kClassesRoot, "UserOnly"));
    EXPECT_TRUE(registry.KeyExists(RegistryRoot::kLocalMachine, "SOFTWARE\\Brennock"));
    EXPECT_FALSE(registry.KeyExists(RegistryRoot::kLocalMachine, "UserOnly"));

    ASSERT_TRUE(registry.SetValue(RegistryRoot::kClassesRoot, "CLSID\\{X}\\InprocServer32", "",
                                  RegValue::String("Z:\\lib\\x.so")));
    ASSERT_TRUE(registry.Flush());
    WineRegistry reread(prefix.Root());
    EXPECT_EQ(reread
                  .ReadValue(RegistryRoot::kLocalMachine,
                             "Software\\Classes\\CLSID\\{X}\\InprocServer32", "")
                  ->text,
              "Z:\\lib\\x.so");
}

TEST_F(WineRegistryTest, PrefixWithoutRegistryHasNoKeysAndRefusesWrites) {
    WineRegistry registry(Root() + "/nothing");
    EXPECT_FALSE(registry.MachineLoaded());
    EXPECT_FALSE(registry.KeyExists(RegistryRoot::kLocalMachine, "Software"));
    EXPECT_FALSE(
        registry.SetValue(RegistryRoot::kClassesRoot, "CLSID\\{X}", "", RegValue::String("x")));
    EXPECT_FALSE(registry.Flush() && registry.MachineLoaded());
}

TEST_F(WineRegistryTest, MemoryAndWineRegistriesAgreeOnKeyRules) {
    test::FakePrefix prefix(Root() + "/prefix");
    MemoryRegistry memory;
    WineRegistry wine(prefix.Root());
    for (IRegistry* reg : {static_cast<IRegistry*>(&memory), static_cast<IRegistry*>(&wine)}) {
        ASSERT_TRUE(reg->SetValue(RegistryRoot::kLocalMachine, "Software\\A\\B", "Name",
                                  RegValue::Dword(7)));
        EXPECT_TRUE(reg->KeyExists(RegistryRoot::kLocalMachine, "software\\a"));
        EXPECT_TRUE(reg->KeyExists(RegistryRoot::kLocalMachine, "SOFTWARE\\A\\B"));
        EXPECT_FALSE(reg->KeyExists(RegistryRoot::kClassesRoot, "Software\\A"));
        EXPECT_FALSE(reg->KeyExists(RegistryRoot::kLocalMachine, "Software\\A\\"));
        EXPECT_EQ(ReadRegDword(*reg, RegistryRoot::kLocalMachine, "Software\\A\\B", "NAME"), 7u);
        EXPECT_EQ(ReadRegString(*reg, RegistryRoot::kLocalMachine, "Software\\A\\B", "Name").status,
                  RegReadStatus::kValueMissing);
        EXPECT_EQ(ReadRegString(*reg, RegistryRoot::kLocalMachine, "Software\\A\\C", "Name").status,
                  RegReadStatus::kKeyMissing);
        ASSERT_TRUE(reg->DeleteTree(RegistryRoot::kLocalMachine, "Software\\A"));
        EXPECT_FALSE(reg->KeyExists(RegistryRoot::kLocalMachine, "Software\\A\\B"));
    }
}

TEST_F(WineRegistryTest, WindowsPathsMapIntoThePrefixWithoutRegardToCase) {
    test::FakePrefix prefix(Root() + "/prefix");
    auto dll = prefix.AddFile("Program Files\\Ulmar\\Visa32.DLL", "x");
    WineSystemDirectory system(prefix.Root());
    EXPECT_EQ(system.Path(), "C:\\windows\\system32");
    EXPECT_EQ(system.HostPath("c:\\PROGRAM FILES\\ulmar\\visa32.dll"), dll);
    EXPECT_EQ(system.HostPath("C:/Program Files/Ulmar/./x/../Visa32.DLL"), dll);
    EXPECT_EQ(system.HostPath("C:\\..\\..\\Program Files\\Ulmar\\Visa32.DLL"), dll)
        << "never above C:";
    EXPECT_EQ(system.HostPath("Z:\\etc\\hostname"), std::filesystem::path("/etc/hostname"));
    EXPECT_EQ(system.HostPath(dll.string()), dll);
    EXPECT_FALSE(system.HostPath("Q:\\x"));
    EXPECT_FALSE(system.HostPath("relative\\x.dll"));
    EXPECT_FALSE(system.HostPath("C:relative"));
    EXPECT_EQ(system.WindowsPath(dll), "C:\\Program Files\\Ulmar\\Visa32.DLL");
    EXPECT_EQ(system.WindowsPath("/usr/lib/x.so"), "Z:\\usr\\lib\\x.so");
    WineSystemDirectory empty(Root() + "/no-prefix");
    EXPECT_FALSE(empty.Path());
}

}  // namespace
}  // namespace kestrava

namespace kestrava {
namespace {

// A file cut off inside a continued binary value must not swallow a value written after it.
TEST(WineRegFileTest, AValueWrittenAfterADanglingContinuationReadsBack) {
    WineRegFile file;
    ASSERT_TRUE(file.Parse("WINE REGISTRY Version 2\n\n[Software\\\\A] 1\n\"Blob\"=hex:01,\\\n"));
    ASSERT_TRUE(file.SetValue("Software\\A", "Later", RegValue::Dword(7)));
    WineRegFile again;
    ASSERT_TRUE(again.Parse(file.Text()));
    ASSERT_TRUE(again.ReadValue("Software\\A", "Later").has_value());
    EXPECT_EQ(again.ReadValue("Software\\A", "Later")->dword, 7u);
}

// Line ends of several carriage returns lose them all when read: one kept would become
// the line's end when written back, and could turn "...\" into a continuation that
// swallows the next key.
TEST(WineRegFileTest, CarriageReturnsAtLineEndsDoNotChangeTheFileWhenWrittenBack) {
    for (const std::string text :
         {"WINE REGISTRY Version 2\r\r\n\"A\"=dword:00000001\r\r\n[Software\\\\B] "
          "1\r\n@=\"x\"\r\r\r\n",
          "WINE REGISTRY Version 2\n=\\\r\r\n[K]\n"}) {
        SCOPED_TRACE(text);
        WineRegFile file;
        ASSERT_TRUE(file.Parse(text));
        const std::string written = file.Text();
        EXPECT_EQ(written.find('\r'), std::string::npos);
        WineRegFile again;
        ASSERT_TRUE(again.Parse(written));
        EXPECT_EQ(again.KeyCount(), file.KeyCount());
        EXPECT_EQ(again.Text(), written);
    }
    WineRegFile file;
    ASSERT_TRUE(file.Parse("WINE REGISTRY Version 2\r\r\n[Software\\\\B] 1\r\n@=\"x\"\r\r\r\n"));
    EXPECT_EQ(file.ReadValue("Software\\B", "")->text, "x");
}

// A deep key path and a long continued value, read in a child process held to 512 MB and
// 30 CPU seconds: each took memory or time quadratic in its length before.
TEST(WineRegFileTest, DeepPathsAndLongContinuationsStayLinear) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer reserves more address space than the limit";
#endif
    std::string deep;
    for (int i = 0; i < 150000; ++i) deep += i ? "\\\\k" : "k";
    std::string blob = "\"Blob\"=hex:00";
    for (int i = 0; i < 500000; ++i) blob += ",\\\n  01";
    const std::string text = "WINE REGISTRY Version 2\n[" + deep + "] 1\n" + blob + "\n";
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit memory{512u << 20, 512u << 20}, cpu{30, 30};
        setrlimit(RLIMIT_AS, &memory);
        setrlimit(RLIMIT_CPU, &cpu);
        WineRegFile file;
        const bool ok = file.Parse(text) && file.KeyExists("k\\k\\k") && !file.KeyExists("k\\x") &&
                        file.Text() == text;
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
}

}  // namespace
}  // namespace kestrava
