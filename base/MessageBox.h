// Message boxes of the program, all captioned with the product code "KORVAN". The window
// shows them as dialogs, the command line prints them, tests record them.
#pragma once

#include <string>

namespace kestrava {

inline constexpr const char* kProductCode = "KORVAN";

class IMessageBox {
  public:
    virtual ~IMessageBox() = default;
    virtual void Show(const std::string& text, const std::string& caption) = 0;
};

// Installs the process-wide sink (not owned); null restores the default, which writes
// "KORVAN: text" to standard error.
void SetMessageBoxSink(IMessageBox* sink);
IMessageBox* MessageBoxSink();

// Shows an OK message box with the caption "KORVAN".
void ShowMessageBox(const std::string& text);

}  // namespace kestrava
