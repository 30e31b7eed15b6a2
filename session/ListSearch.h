// Searching a list the way a user steps through it: from the line after (or before) the
// current one, wrapping round once, so repeated steps visit every match in turn.
#pragma once

#include <functional>
#include <string>

#include "base/ListBox.h"

namespace kestrava {

using LineTest = std::function<bool(const std::string& text)>;

// The next line in the given direction from `from` (-1: from the start or the end) that
// passes the test; -1 when no line does.
int NextMatchingLine(const IListBox& list, int from, bool forward, const LineTest& test);

// A test for lines that contain the text, ignoring ASCII case.
LineTest ContainsText(std::string text);

}  // namespace kestrava
