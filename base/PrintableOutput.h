// A stream buffer that passes text on to another with control bytes written as \xNN, so a
// file name or a file's text in a message cannot act on the terminal. Line ends (LF, CR LF)
// and tabs pass unchanged.
#pragma once

#include <iostream>
#include <streambuf>

#include "base/Text.h"

namespace kestrava {

class PrintableOutput : public std::streambuf {
  public:
    explicit PrintableOutput(std::streambuf* target) : saved_(target) {}
    ~PrintableOutput() override { FlushPendingReturn(); }
    std::streambuf* Target() const { return saved_; }

  protected:
    int_type overflow(int_type ch) override {
        if (traits_type::eq_int_type(ch, traits_type::eof())) return traits_type::not_eof(ch);
        const auto byte = static_cast<unsigned char>(traits_type::to_char_type(ch));
        if (pendingReturn_) {
            pendingReturn_ = false;
            if (byte == '\n') return Put("\r\n") ? ch : traits_type::eof();
            if (!Put("\\x0d")) return traits_type::eof();
        }
        if (byte == '\r') {
            pendingReturn_ = true;
            return ch;
        }
        if (IsControlByte(byte)) return Put(HexEscape(byte).c_str()) ? ch : traits_type::eof();
        return saved_->sputc(static_cast<char>(byte)) == traits_type::eof() ? traits_type::eof()
                                                                            : ch;
    }
    int sync() override {
        FlushPendingReturn();
        return saved_->pubsync();
    }

  private:
    bool Put(const char* text) {
        for (; *text; ++text)
            if (saved_->sputc(*text) == traits_type::eof()) return false;
        return true;
    }
    void FlushPendingReturn() {
        if (pendingReturn_) Put("\\x0d");
        pendingReturn_ = false;
    }

    std::streambuf* saved_;
    bool pendingReturn_ = false;
};

// Standard output and error of a program that echoes outside text (instrument replies,
// file names), made printable for as long as this lives.
class PrintableStandardStreams {
  public:
    PrintableStandardStreams() : out_(std::cout.rdbuf()), err_(std::cerr.rdbuf()) {
        std::cout.rdbuf(&out_);
        std::cerr.rdbuf(&err_);
    }
    ~PrintableStandardStreams() {
        std::cout.flush();
        std::cout.rdbuf(out_.Target());
        std::cerr.rdbuf(err_.Target());
    }
    PrintableStandardStreams(const PrintableStandardStreams&) = delete;
    PrintableStandardStreams& operator=(const PrintableStandardStreams&) = delete;

  private:
    PrintableOutput out_;
    PrintableOutput err_;
};

}  // namespace kestrava
