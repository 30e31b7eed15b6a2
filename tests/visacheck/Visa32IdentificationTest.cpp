#include "visacheck/Visa32Identification.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/visacheck/CarrowinTestSupport.h"
#include "visacheck/DetectVisaPlatform.h"
#include "visacheck/PeVersionReader.h"

namespace fs = std::filesystem;

namespace kestrava {
namespace {

class Visa32IdentificationTest : public test::PrefixTest {
  protected:
    void SetUp() override {
        PrefixTest::SetUp();
        dll_ = prefix_->System32() / "visa32.dll";
    }
    Visa32Identity With(VersionParts version, std::optional<std::string> company) {
        prefix_->AddFile("windows\\system32\\visa32.dll", "x");
        t_->versions->Set(dll_, test::VersionInfoOf(version, std::move(company)));
        return IdentifyVisa32(*t_->env);
    }

    fs::path dll_;
};

TEST_F(Visa32IdentificationTest, VendorsAgainstTheirReferenceVersions) {
    struct Case {
        VersionParts version;
        const char* company;
        int expected;
    } cases[] = {
        {{2, 5, 0, 0}, "National Measurement", 11},  {{2, 6, 1, 0}, "National Measurement", 12},
        {{2, 6, 0, 9}, "A National Company", 12},    {{2, 4, 9, 0}, "National Measurement", 10},
        {{1, 99, 0, 0}, "National Measurement", 10}, {{2, 5, 1, 0}, "National Measurement", 12},
        {{1, 10, 0, 0}, "Brennock Inc.", 21},        {{1, 9, 0, 0}, "Brennock Inc.", 20},
        {{1, 11, 0, 0}, "Brennock Inc.", 22},        {{1, 10, 1, 0}, "Brennock Inc.", 22},
        {{2, 5, 0, 0}, "national measurement", 1},   {{2, 5, 0, 0}, "Someone Else", 1},
        {{1, 10, 0, 0}, "Brennock & National", 10},  // "National" is looked for first
    };
    for (const Case& c : cases) {
        Visa32Identity id = With(c.version, std::string(c.company));
        EXPECT_EQ(id.status, c.expected) << c.company << " " << c.version[0] << "." << c.version[1];
        EXPECT_EQ(id.vendor, c.company);
        EXPECT_EQ((std::array<int, 3>{id.major, id.minor, id.revision}),
                  (std::array<int, 3>{c.version[0], c.version[1], c.version[2]}));
    }
}

TEST_F(Visa32IdentificationTest, MissingUnreadableAndNamelessFiles) {
    EXPECT_EQ(IdentifyVisa32(*t_->env).status, 0);
    prefix_->AddFile("windows\\system32\\visa32.dll", "not a dll");
    EXPECT_EQ(IdentifyVisa32(*t_->env).status, -1);
    FileVersionInfo noFixed;
    noFixed.lastError = 0;
    t_->versions->Set(dll_, noFixed);
    EXPECT_EQ(IdentifyVisa32(*t_->env).status, 1);
    Visa32Identity nameless = With({2, 5, 0, 0}, std::nullopt);
    EXPECT_EQ(nameless.status, 1);
    EXPECT_EQ(nameless.vendor, "");
    EXPECT_EQ(nameless.major, 2);
    EXPECT_EQ(With({2, 5, 0, 0}, std::string()).status, 1);
    test::TestEnvironment noSystem(Root() + "/not-a-prefix");
    EXPECT_EQ(IdentifyVisa32(*noSystem.env).status, 0);
}

TEST_F(Visa32IdentificationTest, LongVendorNamesAreCutWithoutSplittingACharacter) {
    Visa32Identity id = With({2, 5, 0, 0}, "National " + std::string(300, 'x'));
    EXPECT_EQ(id.vendor.size(), kVendorNameMax);
    EXPECT_EQ(id.status, 11);
    // 253 ASCII bytes then a two-byte character: it does not fit and is left out whole.
    id = With({2, 5, 0, 0}, "National" + std::string(245, 'y') + "\xC3\xA9" + "z");
    EXPECT_EQ(id.vendor.size(), 253u);
}

TEST_F(Visa32IdentificationTest, ClassSetsVersionAndVendorOnlyForAPositiveStatus) {
    DetectVisaPlatform detect{EnvironmentSource(t_->env)};
    std::int16_t major = 7, minor = 7, revision = 7;
    std::string vendor = "stale";
    std::int32_t status = 99;
    ASSERT_EQ(detect.IdentifyCurrentVisa32Dll(&major, &minor, &revision, &vendor, &status), S_OK);
    EXPECT_EQ(status, 0);
    EXPECT_EQ((std::array<int, 3>{major, minor, revision}), (std::array<int, 3>{0, 0, 0}));
    EXPECT_EQ(vendor, "");
    With({2, 6, 3, 0}, "National Measurement");
    detect.IdentifyCurrentVisa32Dll(&major, &minor, &revision, &vendor, &status);
    EXPECT_EQ(status, 12);
    EXPECT_EQ((std::array<int, 3>{major, minor, revision}), (std::array<int, 3>{2, 6, 3}));
    EXPECT_EQ(vendor, "National Measurement");
    EXPECT_EQ(detect.IdentifyCurrentVisa32Dll(&major, &minor, &revision, nullptr, &status),
              E_POINTER);
    EXPECT_EQ(detect.IdentifyCurrentVisa32Dll(&major, nullptr, &revision, &vendor, &status),
              E_POINTER);
    EXPECT_EQ(detect.IdentifyCurrentVisa32Dll(&major, &minor, &revision, &vendor, nullptr),
              E_POINTER);
}

// The whole road on files the real toolchain built, found in a prefix whose system
// directory spells the name in capitals.
TEST_F(Visa32IdentificationTest, RealDllsInAPrefix) {
    if (!test::HavePeTools()) GTEST_SKIP() << "mingw-w64 binutils not installed";
    test::TestEnvironment pe(prefix_->Root(), std::make_shared<PeVersionReader>());
    const fs::path target = prefix_->System32() / "VISA32.DLL";
    struct Case {
        const char* fixture;
        int status;
        const char* vendor;
    } cases[] = {
        {"national_2_5_0", 11, "National Measurement Test Co."},
        {"national_2_6_1", 12, "National Measurement Test Co."},
        {"brennock_1_10_0", 21, "Brennock Inc."},
        {"brennock_1_9_0", 20, "Brennock Inc."},
        {"other_vendor", 1, "Someone Else Ltd."},
        {"no_company", 1, ""},
        {"other_language_first", 11, "National Measurement Test Co."},
        {"no_version", -1, ""},
    };
    for (const Case& c : cases) {
        fs::copy_file(test::PeFixture(c.fixture), target, fs::copy_options::overwrite_existing);
        Visa32Identity id = IdentifyVisa32(*pe.env);
        EXPECT_EQ(id.status, c.status) << c.fixture;
        EXPECT_EQ(id.vendor, c.vendor) << c.fixture;
    }
}

}  // namespace
}  // namespace kestrava
