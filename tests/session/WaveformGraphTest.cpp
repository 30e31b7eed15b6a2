// The waveform graph as drawn for a real decode, seen through a canvas that records its
// calls: clamping of the view, zoom steps, inversion and overview.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "base/Folders.h"
#include "base/ListBox.h"
#include "session/CSataUserInterface.h"
#include "session/ICanvas.h"
#include "signal/CSataBitDetector.h"
#include "tests/support/RecordingMessageBox.h"
#include "tests/support/TempFolders.h"

namespace kestrava::test {
namespace {

struct Call {
    std::string op;
    int a = 0, b = 0, c = 0, d = 0;
    Rgb pen;
    std::string text;
};

class RecordingCanvas : public ICanvas {
  public:
    int Width() const override { return 600; }
    int Height() const override { return 300; }
    void FillBackground(Rgb) override {}
    void SetPen(Rgb colour, int) override { pen_ = colour; }
    void SetFill(Rgb) override {}
    void SetFont(int, const std::string&) override {}
    void MoveTo(int x, int y) override { calls.push_back({"move", x, y, 0, 0, pen_, {}}); }
    void LineTo(int x, int y) override { calls.push_back({"line", x, y, 0, 0, pen_, {}}); }
    void Ellipse(int x1, int y1, int x2, int y2) override {
        calls.push_back({"ellipse", x1, y1, x2, y2, pen_, {}});
    }
    void Text(int x, int y, const std::string& text) override {
        calls.push_back({"text", x, y, 0, 0, pen_, text});
    }

    int Count(const std::string& op) const {
        int n = 0;
        for (const Call& call : calls) n += call.op == op;
        return n;
    }
    // The first MoveTo drawn in the given pen.
    const Call* FirstMove(Rgb pen) const {
        for (const Call& call : calls)
            if (call.op == "move" && call.pen == pen) return &call;
        return nullptr;
    }
    std::vector<Call> calls;

  private:
    Rgb pen_;
};

constexpr Rgb kOriginalGreen{0, 130, 0};

class GraphTest : public TempFolders {
  protected:
    void SetUp() override {
        TempFolders::SetUp();
        ASSERT_TRUE(Folders::PrepareDataFolders());
        SetMessageBoxSink(&messages);
        ui = std::make_unique<CSataUserInterface>(characters, protocol);
        ui->viewLayout = 1;
        ui->LoadFile(SourceDir() + "/data/Waveforms/sata-session.wfm");
        ASSERT_GT(ui->RecordLength(), 1000u);
        samplesPerBit = ui->Decoder().BitDetector()->Bits().samplesPerBit;
        ASSERT_GT(samplesPerBit, 0);
    }
    void TearDown() override {
        SetMessageBoxSink(nullptr);
        TempFolders::TearDown();
    }
    RecordingCanvas Draw() {
        RecordingCanvas canvas;
        ui->DrawGraph(canvas);
        return canvas;
    }
    RecordingMessageBox messages;
    MemoryListBox characters, protocol;
    std::unique_ptr<CSataUserInterface> ui;
    int samplesPerBit = 0;
};

TEST_F(GraphTest, NormalViewShowsThirtyBitsWithPointsAndNames) {
    EXPECT_EQ(ui->view.width, 30u * static_cast<unsigned>(samplesPerBit));
    const RecordingCanvas canvas = Draw();
    EXPECT_GT(canvas.Count("ellipse"), 20);  // a circle per bit, radius 5
    EXPECT_GT(canvas.Count("text"), 1);      // word names
    for (const Call& call : canvas.calls)
        if (call.op == "ellipse") {
            EXPECT_EQ(call.c - call.a, 10);
        }
    // One original-signal segment per pixel column.
    int green = 0;
    for (const Call& call : canvas.calls) green += call.op == "line" && call.pen == kOriginalGreen;
    EXPECT_EQ(green, 600);
}

TEST_F(GraphTest, ViewIsClampedToTheRecord) {
    ui->view.width = 3;
    ui->view.start = ui->RecordLength() + 500;
    Draw();
    EXPECT_EQ(ui->view.width, 10u);
    EXPECT_EQ(ui->view.start, ui->RecordLength() - 10u);
}

TEST_F(GraphTest, OverviewDrawsNoPointsOrNames) {
    ui->ZoomALl();
    EXPECT_TRUE(ui->view.overview);
    EXPECT_EQ(ui->view.width, ui->RecordLength());
    const RecordingCanvas canvas = Draw();
    EXPECT_EQ(canvas.Count("ellipse"), 0);
    EXPECT_EQ(canvas.Count("text"), 0);
    EXPECT_GT(canvas.Count("line"), 600);
}

TEST_F(GraphTest, ZoomStepsHalveAndDoubleAndTurnOverviewOn) {
    const unsigned bit = static_cast<unsigned>(samplesPerBit);
    ui->ZoomIn();
    EXPECT_EQ(ui->view.width, 15u * bit);
    ui->ZoomNorm();
    ui->ZoomOut();
    EXPECT_EQ(ui->view.width, 60u * bit);
    EXPECT_FALSE(ui->view.overview);
    ui->ZoomOut();
    EXPECT_EQ(ui->view.width, 120u * bit);
    EXPECT_TRUE(ui->view.overview);
}

// The visible codes fill the height: whatever the width, the largest code is drawn at the
// top and the smallest at the bottom (views no wider than the canvas draw every sample).
TEST_F(GraphTest, TheOriginalSignalSpansTheHeightOfEveryView) {
    const WaveformRecord& record = ui->Decoder().BitDetector()->Record();
    for (std::uint32_t width : {10u, 17u, 33u, 47u, 160u, 599u}) {
        for (std::uint32_t start : {0u, 1003u, 2311u}) {
            SCOPED_TRACE(testing::Message() << "start " << start << " width " << width);
            ui->view.start = start;
            ui->view.width = width;
            const RecordingCanvas canvas = Draw();
            int top = 1000, bottom = -1;
            for (const Call& call : canvas.calls)
                if (call.pen == kOriginalGreen && call.op == "line") {
                    top = std::min(top, call.b);
                    bottom = std::max(bottom, call.b);
                }
            const CodeRange range = record.CodesOf(start, width);
            if (range.largest == range.smallest) continue;
            EXPECT_EQ(top, 0);
            EXPECT_EQ(bottom, 300);
        }
    }
}

TEST_F(GraphTest, InversionMirrorsTheOriginalSignal) {
    ui->view.start = 1000;
    const RecordingCanvas upright = Draw();
    ui->SetInvert(1);
    ui->view.start = 1000;
    const RecordingCanvas inverted = Draw();
    const Call* a = upright.FirstMove(kOriginalGreen);
    const Call* b = inverted.FirstMove(kOriginalGreen);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->a, 0);
    EXPECT_NEAR(a->b + b->b, 300, 1);
    EXPECT_NE(a->b, b->b);
}

}  // namespace
}  // namespace kestrava::test
