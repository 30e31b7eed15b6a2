#include "visacheck/PeVersionReader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/support/TempFolders.h"
#include "tests/visacheck/CarrowinTestSupport.h"
#include "visacheck/VersionResource.h"

namespace fs = std::filesystem;

namespace kestrava {
namespace {

using test::BuildPe;
using test::BuildVersionResource;

std::vector<std::uint8_t> ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class PeFixtureTest : public test::TempFolders {
  protected:
    void SetUp() override {
        TempFolders::SetUp();
        if (!test::HavePeTools()) GTEST_SKIP() << "mingw-w64 binutils not installed";
    }
    FileVersionInfo Read(const std::string& fixture) const {
        return PeVersionReader().Read(test::PeFixture(fixture));
    }
};

TEST_F(PeFixtureTest, ReadsFixedVersionsAndCompanyOfAToolchainBuiltDll) {
    FileVersionInfo info = Read("national_2_5_0");
    ASSERT_EQ(info.lastError, 0u);
    ASSERT_TRUE(info.fixed);
    EXPECT_EQ(info.fixed->fileVersion, (VersionParts{2, 5, 0, 17}));
    EXPECT_EQ(info.fixed->productVersion, (VersionParts{2, 5, 1, 3}));
    EXPECT_EQ(info.companyName, "National Measurement Test Co.");
    EXPECT_EQ(QueryVersionString(info.resource, "\\StringFileInfo\\040904B0\\filedescription"),
              "VISA library test fixture");
}

TEST_F(PeFixtureTest, PartsAbove32767AreKeptWhole) {
    FileVersionInfo info = Read("large_parts");
    ASSERT_TRUE(info.fixed);
    EXPECT_EQ(info.fixed->fileVersion, (VersionParts{40000, 1, 65535, 3}));
}

TEST_F(PeFixtureTest, CompanyComesFromTheUsEnglishUnicodeTableOnly) {
    EXPECT_EQ(Read("other_language_first").companyName, "National Measurement Test Co.");
    FileVersionInfo none = Read("no_company");
    EXPECT_EQ(none.lastError, 0u);
    EXPECT_TRUE(none.fixed);
    EXPECT_FALSE(none.companyName);
}

TEST_F(PeFixtureTest, DllWithoutVersionResourceSaysSo) {
    FileVersionInfo info = Read("no_version");
    EXPECT_EQ(info.lastError, kErrorResourceTypeNotFound);
    EXPECT_FALSE(info.fixed);
}

// Every single-byte corruption and every truncation of a real DLL must end in a result,
// never in a read outside the file.
TEST_F(PeFixtureTest, DamagedCopiesOfARealDllNeverReadOutOfBounds) {
    const std::vector<std::uint8_t> original = ReadAll(test::PeFixture("national_2_5_0"));
    ASSERT_GT(original.size(), 1024u);
    std::vector<std::uint8_t> image = original;
    for (std::size_t at = 0; at < image.size(); ++at) {
        for (std::uint8_t value : {std::uint8_t{0x00}, std::uint8_t{0xFF}, std::uint8_t{0x7F}}) {
            image[at] = value;
            FileVersionInfo info = ReadPeVersionInfo(image);
            EXPECT_LE(info.resource.size(), kVersionResourceMaxBytes);
            image[at] = original[at];
        }
    }
    for (std::size_t size = 0; size < original.size(); size += 7) {
        FileVersionInfo info =
            ReadPeVersionInfo(std::span<const std::uint8_t>(original.data(), size));
        if (size < 0x400) {
            EXPECT_NE(info.lastError, 0u) << size;
        }
    }
}

class PeVersionReaderTest : public test::TempFolders {};

TEST_F(PeVersionReaderTest, ReadsBuiltImagesOfBothWordSizes) {
    auto resource = BuildVersionResource({1, 10, 0, 5}, {7, 8, 9, 10}, "Brennock Inc.");
    for (bool pe32plus : {false, true}) {
        FileVersionInfo info = ReadPeVersionInfo(BuildPe(resource, pe32plus));
        ASSERT_EQ(info.lastError, 0u) << pe32plus;
        EXPECT_EQ(info.resource, resource);
        ASSERT_TRUE(info.fixed);
        EXPECT_EQ(info.fixed->fileVersion, (VersionParts{1, 10, 0, 5}));
        EXPECT_EQ(info.fixed->productVersion, (VersionParts{7, 8, 9, 10}));
        EXPECT_EQ(info.companyName, "Brennock Inc.");
    }
}

TEST_F(PeVersionReaderTest, FilesThatAreNoDllGetTheLoadersErrorCodes) {
    const fs::path folder = Root();
    EXPECT_EQ(PeVersionReader().Read(folder / "missing.dll").lastError, kErrorFileNotFound);
    EXPECT_EQ(PeVersionReader().Read(folder / "no" / "such.dll").lastError, kErrorFileNotFound);
    WriteFile(Root() + "/text.dll", "this is not a program");
    EXPECT_EQ(PeVersionReader().Read(folder / "text.dll").lastError, kErrorBadExeFormat);
    WriteFile(Root() + "/empty.dll", "");
    EXPECT_EQ(PeVersionReader().Read(folder / "empty.dll").lastError, kErrorBadExeFormat);
    EXPECT_EQ(PeVersionReader().Read(folder).lastError, kErrorAccessDenied);
    // A FIFO where a DLL should be: read without waiting for a writer.
    ASSERT_EQ(::mkfifo((Root() + "/fifo.dll").c_str(), 0600), 0);
    EXPECT_EQ(PeVersionReader().Read(folder / "fifo.dll").lastError, kErrorAccessDenied);
}

TEST_F(PeVersionReaderTest, DamagedHeadersAndDirectoriesAreRefused) {
    const auto resource = BuildVersionResource({1, 2, 3, 4}, {1, 2, 3, 4}, "X");
    const auto good = BuildPe(resource, true);
    const auto damaged = [&](std::size_t at, std::uint32_t value, int bytes = 4) {
        auto image = good;
        for (int i = 0; i < bytes; ++i) image[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
        return ReadPeVersionInfo(image).lastError;
    };
    const std::size_t pe = test::kPeHeaderAt;
    EXPECT_EQ(damaged(0x3C, 0xFFFFFFF0u), kErrorBadExeFormat);         // header past the end
    EXPECT_EQ(damaged(pe, 0), kErrorBadExeFormat);                     // no "PE" signature
    EXPECT_EQ(damaged(pe + 6, 97, 2), kErrorBadExeFormat);             // too many sections
    EXPECT_EQ(damaged(pe + 6, 90, 2), kErrorBadExeFormat);             // table past the end
    EXPECT_EQ(damaged(pe + 24, 0x30B, 2), kErrorBadExeFormat);         // unknown optional header
    EXPECT_EQ(damaged(pe + 24 + 108, 2), kErrorResourceDataNotFound);  // no resource directory
    const std::size_t rsrc = test::kPeResourceAt;
    EXPECT_EQ(damaged(rsrc + 0x10, 17), kErrorResourceTypeNotFound);
    EXPECT_EQ(damaged(rsrc + 0x14, 0x18), kErrorResourceTypeNotFound);  // type is no directory
    EXPECT_EQ(damaged(rsrc + 0x28, 2), kErrorResourceNameNotFound);
    EXPECT_EQ(damaged(rsrc + 0x0E, 0xFFFF, 2), kErrorResourceTypeNotFound);  // entries past the end
    EXPECT_EQ(damaged(rsrc + 0x44, 0x80000000u | 0x7FFFFFF0u), kErrorResourceLangNotFound);
    EXPECT_EQ(damaged(rsrc + 0x48, 0x7FFFFFF0u), kErrorResourceDataNotFound);  // data elsewhere
    EXPECT_EQ(damaged(rsrc + 0x4C, 0xFFFFFFF0u), kErrorResourceDataNotFound);  // size past the end
}

TEST_F(PeVersionReaderTest, VersionResourceLengthsAreCheckedAgainstTheirParents) {
    auto resource = BuildVersionResource({1, 2, 3, 4}, {5, 6, 7, 8}, "Brennock Inc.");
    ASSERT_TRUE(QueryFixedFileInfo(resource));
    ASSERT_EQ(QueryVersionString(resource, "\\StringFileInfo\\040904b0\\CompanyName"),
              "Brennock Inc.");
    // A root claiming more than there is is read within what there is.
    auto longer = resource;
    longer[0] = 0xFF;
    longer[1] = 0xFF;
    EXPECT_EQ(QueryVersionString(longer, "\\StringFileInfo\\040904b0\\CompanyName"),
              "Brennock Inc.");
    // No fixed information: wrong signature, too short a value, another root key.
    auto unsigned_ = resource;
    unsigned_[40] = 0;
    EXPECT_FALSE(QueryFixedFileInfo(unsigned_));
    auto shortValue = resource;
    shortValue[2] = 20;
    EXPECT_FALSE(QueryFixedFileInfo(shortValue));
    auto otherKey = resource;
    otherKey[6] = 'W';
    EXPECT_FALSE(QueryFixedFileInfo(otherKey));
    EXPECT_FALSE(QueryVersionString(otherKey, "\\StringFileInfo\\040904b0\\CompanyName"));
    // Truncated anywhere: an answer, never a read past the end.
    for (std::size_t size = 0; size < resource.size(); ++size) {
        std::span<const std::uint8_t> cut(resource.data(), size);
        auto fixed = QueryFixedFileInfo(cut);
        if (size < 92) {
            EXPECT_FALSE(fixed) << size;
        }
        QueryVersionString(cut, "\\StringFileInfo\\040904b0\\CompanyName");
    }
    // A child of length zero ends the walk instead of looping.
    auto zeroChild = resource;
    zeroChild[92] = 0;
    zeroChild[93] = 0;
    EXPECT_FALSE(QueryVersionString(zeroChild, "\\StringFileInfo\\040904b0\\CompanyName"));
}

TEST_F(PeVersionReaderTest, StringTableKeysMatchWithoutCaseAndOtherTablesAreNotUsed) {
    auto resource = BuildVersionResource({1, 0, 0, 0}, {1, 0, 0, 0}, "Brennock Inc.", "040904B0");
    EXPECT_EQ(QueryVersionString(resource, "\\StringFileInfo\\040904b0\\CompanyName"),
              "Brennock Inc.");
    auto german = BuildVersionResource({1, 0, 0, 0}, {1, 0, 0, 0}, "Brennock GmbH", "040704b0");
    EXPECT_FALSE(QueryVersionString(german, "\\StringFileInfo\\040904b0\\CompanyName"));
    EXPECT_FALSE(ReadPeVersionInfo(BuildPe(german, true)).companyName);
}

}  // namespace
}  // namespace kestrava
