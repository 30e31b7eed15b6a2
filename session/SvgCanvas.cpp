#include "session/SvgCanvas.h"

#include <cstdio>

#include "base/Numbers.h"

namespace kestrava {
namespace {

std::string Colour(Rgb c) {
    char text[16];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", c.r & 0xff, c.g & 0xff, c.b & 0xff);
    return text;
}

std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '&':
                out += "&amp;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

}  // namespace

SvgCanvas::SvgCanvas(int width, int height) : width_(width), height_(height) {}

void SvgCanvas::FillBackground(Rgb colour) {
    FlushPath();
    body_ += "<rect width=\"" + std::to_string(width_) + "\" height=\"" + std::to_string(height_) +
             "\" fill=\"" + Colour(colour) + "\"/>\n";
}

// Consecutive line segments share one path element, so a graph stays a small file.
void SvgCanvas::FlushPath() {
    if (path_.empty()) return;
    body_ += "<path d=\"" + path_ + "\" fill=\"none\" stroke=\"" + Colour(pen_) +
             "\" stroke-width=\"" + std::to_string(penWidth_ < 1 ? 1 : penWidth_) + "\"/>\n";
    path_.clear();
}

void SvgCanvas::SetPen(Rgb colour, int width) {
    FlushPath();
    pen_ = colour;
    penWidth_ = width;
}

void SvgCanvas::SetFill(Rgb colour) {
    fill_ = colour;
}

void SvgCanvas::SetFont(int tenthsOfPoint, const std::string& face) {
    if (tenthsOfPoint <= 0 || face.empty()) return;
    fontPx_ = tenthsOfPoint * 4 / 30;  // points at 96 dpi
    face_ = face;
}

void SvgCanvas::MoveTo(int x, int y) {
    x_ = x;
    y_ = y;
}

void SvgCanvas::LineTo(int x, int y) {
    if (path_.empty() || path_.size() > 4000) {
        FlushPath();
        path_ = "M" + std::to_string(x_) + " " + std::to_string(y_);
    }
    path_ += " L" + std::to_string(x) + " " + std::to_string(y);
    x_ = x;
    y_ = y;
}

void SvgCanvas::Ellipse(int x1, int y1, int x2, int y2) {
    FlushPath();
    char text[200];
    FormatInto(
        text, sizeof text,
        "<ellipse cx=\"%.1f\" cy=\"%.1f\" rx=\"%.1f\" ry=\"%.1f\" fill=\"%s\" stroke=\"%s\"/>\n",
        (x1 + x2) / 2.0, (y1 + y2) / 2.0, (x2 - x1) / 2.0, (y2 - y1) / 2.0, Colour(fill_).c_str(),
        Colour(pen_).c_str());
    body_ += text;
}

void SvgCanvas::Text(int x, int y, const std::string& text) {
    FlushPath();
    int width = static_cast<int>(text.size()) * fontPx_ * 6 / 10;
    body_ += "<rect x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) + "\" width=\"" +
             std::to_string(width) + "\" height=\"" + std::to_string(fontPx_ + 2) + "\" fill=\"" +
             Colour(fill_) + "\"/>\n";
    body_ += "<text x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y + fontPx_) +
             "\" font-family=\"" + Escaped(face_) + ", monospace\" font-size=\"" +
             std::to_string(fontPx_) + "\" fill=\"" + Colour(pen_) + "\">" + Escaped(text) +
             "</text>\n";
}

std::string SvgCanvas::Document() {
    FlushPath();
    return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(width_) +
           "\" height=\"" + std::to_string(height_) + "\">\n" + body_ + "</svg>\n";
}

}  // namespace kestrava
