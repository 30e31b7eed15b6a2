#include "app/FileDialog.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QStyle>

namespace kestrava {
namespace {

bool UnderSpecialTree(const std::string& path) {
    for (const char* tree : {"/proc", "/sys", "/dev"}) {
        const std::string root(tree);
        if (path == root || path.rfind(root + "/", 0) == 0) return true;
    }
    return false;
}

}  // namespace

QIcon NameOnlyIconProvider::icon(IconType type) const {
    const QStyle* style = QApplication::style();
    switch (type) {
        case Folder:
            return style->standardIcon(QStyle::SP_DirIcon);
        case Drive:
            return style->standardIcon(QStyle::SP_DriveHDIcon);
        case Computer:
            return style->standardIcon(QStyle::SP_ComputerIcon);
        default:
            return style->standardIcon(QStyle::SP_FileIcon);
    }
}

QIcon NameOnlyIconProvider::icon(const QFileInfo& info) const {
    return icon(info.isDir() ? Folder : File);
}

QString NameOnlyIconProvider::type(const QFileInfo& info) const {
    if (info.isDir()) return QStringLiteral("Folder");
    return QMimeDatabase().mimeTypeForFile(info, QMimeDatabase::MatchExtension).comment();
}

FileDialog::FileDialog(QWidget* parent, const QString& caption, const std::string& folder,
                       const QString& filter)
    : QFileDialog(parent, caption,
                  QString::fromStdString(UnderSpecialTree(folder) ? QDir::homePath().toStdString()
                                                                  : folder),
                  filter) {
    setIconProvider(&icons_);
}

std::string FileDialog::Rememberable(const std::string& path) {
    return UnderSpecialTree(path) ? std::string() : path;
}

}  // namespace kestrava
