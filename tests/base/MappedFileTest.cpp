#include "base/MappedFile.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/support/TempFolders.h"

namespace kestrava {
namespace {

class MappedFileTest : public test::TempFolders {};

// A view from an offset inside a page; then the file is cut short by another writer: the
// pages it no longer backs read as zeros instead of stopping the program.
TEST_F(MappedFileTest, AViewSurvivesItsFileBeingCutShort) {
    const std::string path = Root() + "/samples.bin";
    const long page = sysconf(_SC_PAGESIZE);
    std::vector<unsigned char> bytes(static_cast<std::size_t>(page) * 4);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<unsigned char>(i % 251 + 1);
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    const auto view = MappedFile::Map(fd, 100, bytes.size() - 100);
    ASSERT_TRUE(view);
    EXPECT_EQ(view->Bytes()[0], bytes[100]);
    EXPECT_FALSE(view->Truncated());

    ASSERT_EQ(::ftruncate(fd, page), 0);
    const std::size_t gone = static_cast<std::size_t>(page) * 3;
    EXPECT_EQ(view->Bytes()[gone], 0);
    EXPECT_TRUE(view->Truncated());
    EXPECT_EQ(view->Bytes()[10], bytes[110]);
    ::close(fd);
    EXPECT_FALSE(MappedFile::Map(-1, 0, 10));
}

}  // namespace
}  // namespace kestrava
