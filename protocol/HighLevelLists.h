// The high-level list of the session driver, in its four forms: the found primitives,
// the FIS lines of every closed frame, the ATAPI commands and the frame verdicts. Each line's item
// data is the index of the word it came from. Without a primitive decoder the list is left alone.
#pragma once

#include "base/ListBox.h"

namespace kestrava {

class CAnalysisHost;
class CSataPrimDecoder;

// One line per found primitive: its name.
void GeneratePrimsList(const CSataPrimDecoder* prims, CAnalysisHost* host, IListBox& list);
// Per closed frame a header line "FIS 0x.. name" and the fields of its type.
void GenerateFISList(const CSataPrimDecoder* prims, CAnalysisHost* host, IListBox& list);
// One line "CMD 0x..    name" per ATAPI command packet.
void GenerateATAPIList(const CSataPrimDecoder* prims, CAnalysisHost* host, IListBox& list);
// One line per frame, cut short ones included, at its SOF: type, length and verdict; then
// the totals in the status box.
void GenerateFramesList(const CSataPrimDecoder* prims, CAnalysisHost* host, IListBox& list);

}  // namespace kestrava
