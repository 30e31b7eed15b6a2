#include "app/CAboutDlg.h"

#include <fstream>

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ColourScheme.h"

namespace kestrava {
namespace {

// A version file is one short line; anything longer is not one.
constexpr std::streamsize kMaxVersionBytes = 256;

QPixmap IconPixmap(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 64.0, size / 64.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kDialogBlue);
    painter.drawRoundedRect(QRectF(2, 2, 60, 60), 10, 10);
    // A differential bit pattern over a light trace, as the graph shows it.
    painter.setPen(QPen(kSeparatorBlue, 3));
    QPainterPath trace;
    trace.moveTo(8, 40);
    const int xs[] = {8, 18, 18, 26, 26, 40, 40, 48, 48, 56};
    const int ys[] = {40, 40, 22, 22, 40, 40, 22, 22, 40, 40};
    for (int i = 1; i < 10; ++i) trace.lineTo(xs[i], ys[i]);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(trace);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 0, 0));
    painter.drawRect(QRectF(8, 46, 48, 10));
    painter.setPen(QPen(Qt::white, 2));
    for (int x = 14; x < 56; x += 8) painter.drawLine(x, 48, x, 54);
    return pixmap;
}

}  // namespace

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128}) icon.addPixmap(IconPixmap(size));
    return icon;
}

QString CAboutDlg::ReadVersionLine(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return QStringLiteral("Version --");
    std::string content(static_cast<std::size_t>(kMaxVersionBytes), '\0');
    in.read(content.data(), kMaxVersionBytes);
    if (in.bad()) return QStringLiteral("Version --");
    content.resize(static_cast<std::size_t>(in.gcount()));
    return QStringLiteral("Version ") + QString::fromUtf8(content).trimmed();
}

CAboutDlg::CAboutDlg(const std::string& versionFilePath, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About KORVAN"));
    ApplyColourScheme(*this);
    versionLine_ = ReadVersionLine(versionFilePath);

    auto* picture = new QLabel(this);
    picture->setPixmap(IconPixmap(64));
    auto* title = new QLabel(QStringLiteral("Veltrace Application"), this);
    auto* version = new QLabel(versionLine_, this);
    version->setObjectName(QStringLiteral("versionLine"));
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    connect(ok, &QPushButton::clicked, this, &CAboutDlg::accept);

    auto* texts = new QVBoxLayout;
    texts->addWidget(title);
    texts->addWidget(version);
    auto* row = new QHBoxLayout;
    row->addWidget(picture);
    row->addLayout(texts);
    auto* column = new QVBoxLayout(this);
    column->addLayout(row);
    column->addWidget(ok, 0, Qt::AlignRight);
}

}  // namespace kestrava
