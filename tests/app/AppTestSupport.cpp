#include "tests/app/AppTestSupport.h"

#include <cstdlib>

#include <QApplication>

#include "base/Folders.h"

namespace kestrava::test {
// Created on first use rather than in main, so listing the tests needs no platform.
void EnsureApplication() {
    if (QApplication::instance()) return;
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "app_tests";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
}

void AppTest::SetUp() {
    TempFolders::SetUp();
    EnsureApplication();
    ASSERT_TRUE(Folders::PrepareDataFolders());
    SetMessageBoxSink(&messages);
}

void AppTest::TearDown() {
    SetMessageBoxSink(nullptr);
    TempFolders::TearDown();
}

std::string AppTest::SampleCapture() {
    return SourceDir() + "/data/Waveforms/sata-session.wfm";
}

}  // namespace kestrava::test
