#include "visacheck/PlatformDetection.h"

#include <gtest/gtest.h>

#include "tests/visacheck/CarrowinTestSupport.h"
#include "visacheck/DetectVisaPlatform.h"

namespace kestrava {
namespace {

constexpr RegistryRoot kLm = RegistryRoot::kLocalMachine;

class PlatformDetectionTest : public test::PrefixTest {
  protected:
    void OemInfo(const std::string& manufacturer, const std::string& model) {
        prefix_->AddFile(
            "windows\\system32\\oeminfo.ini",
            "[General]\r\nManufacturer=" + manufacturer + "\r\nModel=" + model + "\r\n");
    }
    OemPlatform Oem() const { return PlatformViaOemInfo(Env()); }
};

TEST_F(PlatformDetectionTest, ModelTextsAndTheirFamilies) {
    struct Case {
        const char* model;
        UlmarVisaPlatformID expected;
    } cases[] = {
        {"QVM5104", UlmarVisaPlatform_QVM5000},
        {"QVM4104", UlmarVisaPlatform_PC},
        {"TDX5104", UlmarVisaPlatform_PC},
        {"qvm 6154C", UlmarVisaPlatform_QVM6000},
        {"QVM7254", UlmarVisaPlatform_QVM7000},
        {"LKR8200", UlmarVisaPlatform_QVMLKR8000},
        {"lkr 8999", UlmarVisaPlatform_QVMLKR8000},
        {"QVM9000", UlmarVisaPlatform_PC},
        {"QVM05104", UlmarVisaPlatform_QVM5000},
        {"QVM 51040", UlmarVisaPlatform_PC},
        {"QVM 999", UlmarVisaPlatform_PC},
        {"QVM 50", UlmarVisaPlatform_PC},
        {"QVM", UlmarVisaPlatform_PC},
        {"QVM123456789012345678", UlmarVisaPlatform_PC},
        {"QVM5000-7000", UlmarVisaPlatform_QVM5000},
        {"", UlmarVisaPlatform_PC},
    };
    for (const Case& c : cases) EXPECT_EQ(PlatformOfModel(c.model), c.expected) << c.model;
}

TEST_F(PlatformDetectionTest, OemInformationFile) {
    OemPlatform none = Oem();
    EXPECT_EQ(none.platform, UlmarVisaPlatform_PC);
    EXPECT_EQ(none.status, VisaValStat_InvalidFilePath);

    OemInfo("Brennock, Inc.", "QVM5104");
    EXPECT_EQ(Oem().platform, UlmarVisaPlatform_QVM5000);
    EXPECT_EQ(Oem().status, VisaValStat_NoError);
    OemInfo("BRENNOCK", "QVM4104");
    EXPECT_EQ(Oem().platform, UlmarVisaPlatform_PC);
    OemInfo("Someone Else", "QVM5104");
    EXPECT_EQ(Oem().platform, UlmarVisaPlatform_PC);
    OemInfo("", "QVM5104");
    EXPECT_EQ(Oem().platform, UlmarVisaPlatform_PC);
    EXPECT_EQ(Oem().status, VisaValStat_NoError);

    test::TestEnvironment noSystem(Root() + "/not-a-prefix");
    OemPlatform unavailable = PlatformViaOemInfo(*noSystem.env);
    EXPECT_EQ(unavailable.platform, UlmarVisaPlatform_Unknown);
    EXPECT_EQ(unavailable.status, VisaValStat_Win32Error);
}

TEST_F(PlatformDetectionTest, RegistryPlatformValueDecidesBeforeTheSubKeys) {
    EXPECT_EQ(PlatformViaRegistry(*t_->env), UlmarVisaPlatform_PC);  // no maker key
    ASSERT_TRUE(Reg().CreateKey(kLm, "SOFTWARE\\Brennock"));
    EXPECT_EQ(PlatformViaRegistry(*t_->env), UlmarVisaPlatform_PC);  // no family key
    ASSERT_TRUE(Reg().CreateKey(kLm, "SOFTWARE\\Brennock\\QVMLKR8000"));
    ASSERT_TRUE(Reg().CreateKey(kLm, "SOFTWARE\\Brennock\\QVM7000"));
    EXPECT_EQ(PlatformViaRegistry(*t_->env), UlmarVisaPlatform_QVM7000) << "table order";
    ASSERT_TRUE(Reg().CreateKey(kLm, "SOFTWARE\\Brennock\\QVM5000"));
    EXPECT_EQ(PlatformViaRegistry(*t_->env), UlmarVisaPlatform_QVM5000);

    ASSERT_TRUE(
        Reg().SetValue(kLm, "SOFTWARE\\Brennock\\UlmarScope", "Platform", RegValue::Dword(6123)));
    EXPECT_EQ(PlatformViaRegistry(*t_->env), UlmarVisaPlatform_QVM6000);
    ASSERT_TRUE(
        Reg().SetValue(kLm, "SOFTWARE\\Brennock\\UlmarScope", "Platform", RegValue::Dword(8999)));
    EXPECT_EQ(PlatformViaRegistry(*t_->env), UlmarVisaPlatform_QVMLKR8000);
    // Outside every family, or not a DWORD: the sub-keys decide.
    for (std::uint32_t value : {1u, 4999u, 9000u, 0xFFFFFFFFu}) {
        ASSERT_TRUE(Reg().SetValue(kLm, "SOFTWARE\\Brennock\\UlmarScope", "Platform",
                                   RegValue::Dword(value)));
        EXPECT_EQ(PlatformViaRegistry(*t_->env), UlmarVisaPlatform_QVM5000) << value;
    }
    ASSERT_TRUE(Reg().SetValue(kLm, "SOFTWARE\\Brennock\\UlmarScope", "Platform",
                               RegValue::String("6123")));
    EXPECT_EQ(PlatformViaRegistry(*t_->env), UlmarVisaPlatform_QVM5000);
}

TEST_F(PlatformDetectionTest, OemInformationFirstThenRegistry) {
    ASSERT_TRUE(
        Reg().SetValue(kLm, "SOFTWARE\\Brennock\\UlmarScope", "Platform", RegValue::Dword(6123)));
    EXPECT_EQ(IdentifyPlatform(*t_->env), UlmarVisaPlatform_QVM6000);  // no OEMINFO.INI: PC
    OemInfo("Brennock", "QVM4104");
    EXPECT_EQ(IdentifyPlatform(*t_->env), UlmarVisaPlatform_QVM6000);
    OemInfo("Brennock", "LKR8054");
    EXPECT_EQ(IdentifyPlatform(*t_->env), UlmarVisaPlatform_QVMLKR8000);
    test::TestEnvironment noSystem(Root() + "/not-a-prefix");
    ASSERT_TRUE(noSystem.registry->SetValue(kLm, "SOFTWARE\\Brennock\\UlmarScope", "Platform",
                                            RegValue::Dword(6123)));
    EXPECT_EQ(IdentifyPlatform(*noSystem.env), UlmarVisaPlatform_Unknown);
}

TEST_F(PlatformDetectionTest, ProtocolsAndDescriptions) {
    EXPECT_EQ(VGpibProtocolFor(5000), 2);
    EXPECT_EQ(VGpibProtocolFor(8000), 2);
    EXPECT_EQ(VGpibProtocolFor(6000), 1);
    EXPECT_EQ(VGpibProtocolFor(7000), 1);
    EXPECT_EQ(VGpibProtocolFor(1), 0);
    EXPECT_EQ(VGpibProtocolFor(0), 0);
    EXPECT_EQ(VGpibProtocolFor(5104), 0);

    DetectVisaPlatform detect{EnvironmentSource(t_->env)};
    std::string text = "stale";
    for (const PlatformInfo& p : kPlatforms) {
        ASSERT_EQ(detect.GetPlatformDescription(p.id, &text), S_OK);
        EXPECT_EQ(text, p.description);
    }
    detect.GetPlatformDescription(UlmarVisaPlatform_QVM7000, &text);
    EXPECT_EQ(text, "Brennock QVM 7000 scope");
    detect.GetPlatformDescription(static_cast<UlmarVisaPlatformID>(5001), &text);
    EXPECT_EQ(text, "");
    EXPECT_EQ(detect.GetPlatformDescription(UlmarVisaPlatform_PC, nullptr), E_POINTER);
    EXPECT_EQ(detect.PlatformViaRegistry(nullptr), E_POINTER);
    EXPECT_EQ(detect.PlatformViaOemInfo(nullptr), E_POINTER);
    UlmarVisaPlatformID id{};
    EXPECT_EQ(detect.PlatformViaOemInfo(&id), S_OK);
    EXPECT_EQ(id, UlmarVisaPlatform_PC);
}

}  // namespace
}  // namespace kestrava
