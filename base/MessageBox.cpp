#include "base/MessageBox.h"

#include <cstdio>

namespace kestrava {
namespace {

class StandardErrorMessageBox : public IMessageBox {
  public:
    void Show(const std::string& text, const std::string& caption) override {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    }
};

StandardErrorMessageBox g_standardError;
IMessageBox* g_sink = nullptr;

}  // namespace

void SetMessageBoxSink(IMessageBox* sink) {
    g_sink = sink;
}

IMessageBox* MessageBoxSink() {
    return g_sink ? g_sink : &g_standardError;
}

void ShowMessageBox(const std::string& text) {
    MessageBoxSink()->Show(text, kProductCode);
}

}  // namespace kestrava
