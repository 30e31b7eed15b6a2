#include "tests/definition/MacrosTestSupport.h"

#include "base/Folders.h"

namespace kestrava::test {

void MacrosTest::SetUp() {
    TempFolders::SetUp();
    SetMessageBoxSink(&messages);
}

void MacrosTest::TearDown() {
    SetMessageBoxSink(nullptr);
    TempFolders::TearDown();
}

std::string MacrosTest::EncodingPath(const std::string& name) {
    return Folders::Join(Folders::DataFolder("Encoding"), name);
}

std::string MacrosTest::MacrosPath(const std::string& name) {
    return Folders::Join(Folders::DataFolder("Macros"), name);
}

std::string MacrosTest::ShippedFile(const std::string& relative) {
    return ReadFile(SourceDir() + "/data/" + relative);
}

void MacrosTest::InstallShippedTable() {
    WriteFile(EncodingPath("8b10b.csv"), ShippedFile("Encoding/8b10b.csv"));
}

std::string MacrosTest::LogText() const {
    return ReadFile(Folders::LogFilePath());
}

}  // namespace kestrava::test
