// The program's message boxes as Qt dialogs, captioned as every message of the program.
#pragma once

#include "base/MessageBox.h"

class QMessageBox;

namespace kestrava {

// Every message box in the scheme's light blue, whichever window it belongs to.
void StyleMessageBox(QMessageBox& box);

class QtMessageBox : public IMessageBox {
  public:
    void Show(const std::string& text, const std::string& caption) override;
};

// Asks a Yes/No question in a box captioned "KORVAN"; true for Yes.
bool AskYesNo(const std::string& text);

}  // namespace kestrava
