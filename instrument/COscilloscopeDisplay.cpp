// The instrument's display following the program: a source's trace, the two
// vertical-bar cursors at a decoded item, and the zoom onto it.
#include <cstdio>
#include <string>

#include "base/Guard.h"
#include "base/Numbers.h"
#include "instrument/COscilloscope.h"
#include "instrument/ReplyNumbers.h"
#include "instrument/SourceNames.h"
#include "visa/visa.h"

namespace kestrava {
namespace {

enum CursorField {
    kCursor1Placed = 0,
    kCursor2Placed = 1,
    kCursor1Position = 2,
    kCursor2Position = 3
};

}  // namespace

int COscilloscope::GetChStringFromNumber(int index, std::string& name) {
    if (index >= 0 && index < kSourceCount) name = SourceName(index);
    return 1;
}

void COscilloscope::SelectDisplayChannel(int index) {
    Guard(logSource_, "SelectDisplayChannel", [&] {
        char name[16];
        if (index >= 0 && index <= 3)
            std::snprintf(name, sizeof name, "CH%d", index + 1);
        else if (index >= 4 && index <= 7)
            std::snprintf(name, sizeof name, "Ref%d", index - 3);
        else if (index >= 8 && index <= 11)
            std::snprintf(name, sizeof name, "MATH%d", index - 7);
        else
            return;
        Write(std::string("SELECT:") + name + " ON");
    });
}

int COscilloscope::SetCursorPosition(int cursor, int index, std::int64_t positionPoints) {
    return GuardOr(1, logSource_, "SetCursorPosition", [&]() -> int {
        if (!OpenConnection()) return 0;
        if (positionPoints < 0) return 1;
        const bool first = cursor == 1;
        const auto position = static_cast<std::int32_t>(positionPoints);
        std::string name;
        GetChStringFromNumber(index, name);

        Write("CURSor:FUNCtion VBars");
        Write("CURSor:SOUrce " + name);
        Write(FormatText(first ? "DATa:STARt %d" : "DATa:STOP %d", position));
        cursorState_[first ? kCursor1Position : kCursor2Position] = position;
        cursorState_[first ? kCursor1Placed : kCursor2Placed] = 1;
        Write("CURSor:MODe INDependent");

        if (cursorState_[first ? kCursor2Placed : kCursor1Placed]) {
            // Snap puts the bars on the data bounds: move the other bound to the other
            // cursor for the snap, then give it back its value.
            const char* otherBound = first ? "DATa:STOP %d" : "DATa:STARt %d";
            const std::string query = first ? "DATa:STOP?" : "DATa:STARt?";
            WriteStatus(query);
            std::string reply;
            const std::int32_t status = ReadStatus(reply);
            if (status < VI_SUCCESS) return status;
            const auto saved = static_cast<int>(IntegerOf(reply));
            Write(
                FormatText(otherBound, cursorState_[first ? kCursor2Position : kCursor1Position]));
            Write("CURSOR:VBARs SNAP");
            Write(FormatText(otherBound, saved));
        } else {
            Write("CURSOR:VBARs SNAP");
        }
        Write("CURSor:STATE ON");
        return 1;
    });
}

void COscilloscope::Zoom(int index, float position, float scale, int recordLength) {
    Guard(logSource_, "Zoom", [&] {
        if (!OpenConnection()) return;
        std::string name;
        GetChStringFromNumber(index, name);
        if (index >= 4 && index <= 7) {
            Write(FormatText("HORizontal:RecordLength %d", recordLength));
            Write("HORizontal:RecordLength?");
            std::string discarded;
            Read(discarded);
        }
        Write(FormatText("ZOOm:%s:HORizontal:POSition %f", name.c_str(), position));
        Write(FormatText("ZOOm:%s:HORizontal:SCAle %f", name.c_str(), scale));
        Write("ZOOm:" + name + ":Vertical:SCAle 1");
        Write("ZOOm:MODE ON");
    });
}

}  // namespace kestrava
