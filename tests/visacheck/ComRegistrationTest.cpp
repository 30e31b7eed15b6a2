#include <gtest/gtest.h>

#include "tests/visacheck/CarrowinTestSupport.h"
#include "visacheck/InstallChecks.h"
#include "visacheck/ServerRegistration.h"
#include "visacheck/VisaInstallChk.h"

namespace kestrava {
namespace {

constexpr RegistryRoot kCr = RegistryRoot::kClassesRoot;
constexpr const char* kClsid = "{11111111-2222-3333-4444-555555555555}";
constexpr const char* kProgId = "Vendor.Thing.1";
constexpr const char* kServer = "C:\\Program Files\\Vendor\\thing.dll";
constexpr const char* kLocalServer = "C:\\Program Files\\Vendor\\thing.exe";

class ComRegistrationTest : public test::PrefixTest {
  protected:
    void SetUp() override {
        PrefixTest::SetUp();
        prefix_->AddFile("Program Files\\Vendor\\thing.dll", "dll");
        prefix_->AddFile("Program Files\\Vendor\\thing.exe", "exe");
        Set(std::string("CLSID\\") + kClsid + "\\ProgID", "", kProgId);
        Set(std::string("CLSID\\") + kClsid + "\\InprocServer32", "", kServer);
        Set(std::string("CLSID\\") + kClsid + "\\LocalServer32", "",
            std::string("\"") + kLocalServer + "\" /automation");
        Set(std::string(kProgId) + "\\CLSID", "", kClsid);
    }
    void Set(const std::string& key, const std::string& name, const std::string& value) {
        ASSERT_TRUE(Reg().SetValue(kCr, key, name, RegValue::String(value)));
    }
    CarrowinResult Validate(const std::string& clsid, const std::string& progId,
                            std::int32_t out = 0) {
        return CheckComRegistration(Env(), clsid, progId, out);
    }
};

TEST_F(ComRegistrationTest, AgreeingRegistrationWithItsServerPasses) {
    EXPECT_EQ(Validate(kClsid, kProgId), VisaValStat_NoError);
    // Class IDs and ProgIDs are compared without regard to case.
    EXPECT_EQ(Validate("{11111111-2222-3333-4444-555555555555}", "VENDOR.thing.1"),
              VisaValStat_NoError);
    EXPECT_EQ(Validate("{11111111-2222-3333-4444-aaaaaaaaaaaa}", kProgId),
              VisaValStat_ComponentNotRegistered);
    // A class ID given as a ProgID is translated by the registry first.
    EXPECT_EQ(Validate(kProgId, kProgId), VisaValStat_NoError);
    EXPECT_EQ(Validate("No.Such.ProgId", kProgId), VisaValStat_ComponentNotRegistered);
    // The local server, quoted and with arguments.
    EXPECT_EQ(Validate(kClsid, kProgId, -1), VisaValStat_NoError);
}

TEST_F(ComRegistrationTest, EachBrokenLinkHasItsOwnCode) {
    EXPECT_EQ(Validate("", kProgId), VisaValStat_ParameterError);
    EXPECT_EQ(Validate(kClsid, ""), VisaValStat_ParameterError);
    EXPECT_EQ(Validate("{11111111-2222-3333-4444-55555555555}", kProgId),
              VisaValStat_ParameterError);
    EXPECT_EQ(Validate(kClsid, "Vendor.Other.1"), VisaValStat_CompIDDisagreement);

    Set(std::string(kProgId) + "\\CLSID", "", "{99999999-2222-3333-4444-555555555555}");
    EXPECT_EQ(Validate(kClsid, kProgId), VisaValStat_ProgID2GUIDfail);
    Set(std::string(kProgId) + "\\CLSID", "", "not a guid");
    EXPECT_EQ(Validate(kClsid, kProgId), VisaValStat_ComponentNotRegistered);
    ASSERT_TRUE(Reg().DeleteTree(kCr, kProgId));
    EXPECT_EQ(Validate(kClsid, kProgId), VisaValStat_ComponentNotRegistered);
    Set(std::string(kProgId) + "\\CLSID", "", kClsid);

    ASSERT_TRUE(Reg().DeleteTree(kCr, std::string("CLSID\\") + kClsid + "\\ProgID"));
    EXPECT_EQ(Validate(kClsid, kProgId), VisaValStat_ComponentNotRegistered);
}

TEST_F(ComRegistrationTest, ServerPathCodes) {
    const std::string key = std::string("CLSID\\") + kClsid;
    PathCheck in = CheckComServerPath(Env(), kClsid, 0);
    EXPECT_EQ(in.status, VisaValStat_NoError);
    EXPECT_EQ(in.path, kServer);
    // Only the low 16 bits of the flag count: 0x10000 asks for the in-process server.
    EXPECT_EQ(CheckComServerPath(Env(), kClsid, 0x10000).path, kServer);
    EXPECT_EQ(CheckComServerPath(Env(), kClsid, 1).path,
              std::string("\"") + kLocalServer + "\" /automation");

    EXPECT_EQ(CheckComServerPath(Env(), "{00000000-0000-0000-0000-000000000000}", 0).status,
              VisaValStat_ComponentNotRegistered);
    ASSERT_TRUE(Reg().DeleteTree(kCr, key + "\\LocalServer32"));
    EXPECT_EQ(CheckComServerPath(Env(), kClsid, 1).status, VisaValStat_NotOutOfProcServer);
    EXPECT_EQ(Validate(kClsid, kProgId, 1), VisaValStat_NotOutOfProcServer);

    Set(key + "\\InprocServer32", "", std::string(261, 'x'));
    EXPECT_EQ(CheckComServerPath(Env(), kClsid, 0).status, VisaValStat_NoServerPath);
    ASSERT_TRUE(Reg().SetValue(kCr, key + "\\InprocServer32", "", RegValue::Dword(1)));
    EXPECT_EQ(CheckComServerPath(Env(), kClsid, 0).status, VisaValStat_NoServerPath);

    // The path read is returned even when its file is missing.
    Set(key + "\\InprocServer32", "", "C:\\Program Files\\Vendor\\gone.dll");
    in = CheckComServerPath(Env(), kClsid, 0);
    EXPECT_EQ(in.status, VisaValStat_ServerPathInvalid);
    EXPECT_EQ(in.path, "C:\\Program Files\\Vendor\\gone.dll");
    EXPECT_EQ(Validate(kClsid, kProgId), VisaValStat_ServerPathInvalid);

    ASSERT_TRUE(Reg().DeleteTree(kCr, key + "\\InprocServer32"));
    EXPECT_EQ(CheckComServerPath(Env(), kClsid, 0).status, VisaValStat_NotInProcServer);
}

TEST_F(ComRegistrationTest, ServerPathsAreFoundAsTheLoaderWouldFindThem) {
    const std::string key = std::string("CLSID\\") + kClsid + "\\InprocServer32";
    prefix_->AddFile("windows\\system32\\oleaut32.dll", "x");
    Set(key, "", "oleaut32.dll");
    EXPECT_EQ(CheckComServerPath(Env(), kClsid, 0).status, VisaValStat_NoError);
    ASSERT_TRUE(Reg().SetValue(
        kCr, key, "", {RegValueType::kExpandString, "%SystemRoot%\\System32\\OLEAUT32.dll", 0}));
    EXPECT_EQ(CheckComServerPath(Env(), kClsid, 0).status, VisaValStat_NoError);
    Set(key, "", "%Unknown%\\oleaut32.dll");
    EXPECT_EQ(CheckComServerPath(Env(), kClsid, 0).status, VisaValStat_ServerPathInvalid);
    Set(key, "", "C:\\Program Files\\Vendor");  // a folder is no server
    EXPECT_EQ(CheckComServerPath(Env(), kClsid, 0).status, VisaValStat_ServerPathInvalid);
}

TEST_F(ComRegistrationTest, ProxyStubPaths) {
    constexpr const char* kIid = "{AAAAAAAA-2222-3333-4444-555555555555}";
    const std::string key = std::string("Interface\\") + kIid;
    EXPECT_EQ(CheckProxyStubPath(Env(), kIid).status, VisaValStat_InterfaceNotRegistered);
    Set(key, "", "IThing");
    EXPECT_EQ(CheckProxyStubPath(Env(), kIid).status, VisaValStat_IID2PSIDfail);
    ASSERT_TRUE(Reg().CreateKey(kCr, key + "\\ProxyStubClsid32"));
    EXPECT_EQ(CheckProxyStubPath(Env(), kIid).status, VisaValStat_IID2PSIDfail);

    // A proxy/stub DLL of its own: the status of that class's in-process server.
    Set(key + "\\ProxyStubClsid32", "", kClsid);
    PathCheck own = CheckProxyStubPath(Env(), kIid);
    EXPECT_EQ(own.status, VisaValStat_NoError);
    EXPECT_EQ(own.path, kServer);

    // The automation marshaller: 16, and its path all the same.
    Set(key + "\\ProxyStubClsid32", "", "{00020424-0000-0000-c000-000000000046}");
    PathCheck automation = CheckProxyStubPath(Env(), kIid);
    EXPECT_EQ(automation.status, VisaValStat_NotCustomMarshaling);
    EXPECT_EQ(automation.path, "");
    Set("CLSID\\{00020424-0000-0000-C000-000000000046}\\InprocServer32", "", "oleaut32.dll");
    automation = CheckProxyStubPath(Env(), kIid);
    EXPECT_EQ(automation.status, VisaValStat_NotCustomMarshaling);
    EXPECT_EQ(automation.path, "oleaut32.dll");
}

TEST_F(ComRegistrationTest, RegistrationWritesWhatTheChecksExpectAndUnregistrationRemovesIt) {
    prefix_->AddFile("Carrowin\\libcarrowin.so", "so");
    const std::size_t before = Reg().KeyCount();
    ASSERT_EQ(RegisterCarrowin(Reg(), "C:\\Carrowin\\libcarrowin.so"), S_OK);
    for (const CoClassInfo& c : kCarrowinClasses) {
        const std::string clsid(c.clsid), progId(c.progId);
        EXPECT_EQ(Validate(clsid, progId), VisaValStat_NoError) << progId;
        EXPECT_EQ(Validate(clsid, std::string(c.versionIndependentProgId)),
                  VisaValStat_CompIDDisagreement);
        EXPECT_EQ(CheckProxyStubPath(Env(), c.iid).status, VisaValStat_NotCustomMarshaling);
        EXPECT_EQ(
            ReadRegString(Reg(), kCr, "CLSID\\" + clsid + "\\InprocServer32", "ThreadingModel")
                .text,
            c.threadingModel);
        EXPECT_EQ(
            ReadRegString(Reg(), kCr, std::string(c.versionIndependentProgId) + "\\CurVer", "")
                .text,
            progId);
        EXPECT_TRUE(Reg().KeyExists(kCr, "CLSID\\" + clsid + "\\Programmable"));
    }
    const std::string lib = std::string("TypeLib\\") + std::string(kLibId) + "\\1.0";
    EXPECT_EQ(ReadRegString(Reg(), kCr, lib, "").text, "Carrowin 1.0 Type Library");
    EXPECT_EQ(ReadRegString(Reg(), kCr, lib + "\\0\\win64", "").text,
              "C:\\Carrowin\\libcarrowin.so");
    EXPECT_EQ(ReadRegString(Reg(), kCr, lib + "\\HELPDIR", "").text, "C:\\Carrowin");

    // Registering twice is the same as once.
    const std::size_t registered = Reg().KeyCount();
    ASSERT_EQ(RegisterCarrowin(Reg(), "C:\\Carrowin\\libcarrowin.so"), S_OK);
    EXPECT_EQ(Reg().KeyCount(), registered);

    ASSERT_EQ(UnregisterCarrowin(Reg()), S_OK);
    EXPECT_EQ(
        Validate(std::string(kCarrowinClasses[0].clsid), std::string(kCarrowinClasses[0].progId)),
        VisaValStat_ComponentNotRegistered);
    EXPECT_FALSE(Reg().KeyExists(kCr, std::string("TypeLib\\") + std::string(kLibId)));
    EXPECT_TRUE(Reg().KeyExists(kCr, "CLSID"));
    // Only the shared "TypeLib" and "Interface" keys stay behind.
    EXPECT_EQ(Reg().KeyCount(), before + 2);
}

TEST_F(ComRegistrationTest, ClassMethodsReportThroughTheirLastOutParameter) {
    VisaInstallChk chk{EnvironmentSource(t_->env)};
    CarrowinResult status = VisaValStat_Win32Error;
    EXPECT_EQ(chk.ValidateComRegistration(kClsid, kProgId, 0, &status), S_OK);
    EXPECT_EQ(status, VisaValStat_NoError);
    std::string path = "stale";
    EXPECT_EQ(chk.GetCOMServerPath("{00000000-0000-0000-0000-000000000000}", 0, &path, &status),
              S_OK);
    EXPECT_EQ(status, VisaValStat_ComponentNotRegistered);
    EXPECT_EQ(path, "");
    EXPECT_EQ(chk.GetProxyStubPath("{x}", &path, &status), S_OK);
    EXPECT_EQ(status, VisaValStat_InterfaceNotRegistered);
}

}  // namespace
}  // namespace kestrava
