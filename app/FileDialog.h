// The window's file dialogs. They never read the files they list: a folder such as /proc
// holds files whose first read blocks for ever, and the toolkit's own type sniffing would
// read each one.
#pragma once

#include <string>

#include <QAbstractFileIconProvider>
#include <QFileDialog>

namespace kestrava {

// Icons and type names from the file's kind and name only.
class NameOnlyIconProvider : public QAbstractFileIconProvider {
  public:
    QIcon icon(IconType type) const override;
    QIcon icon(const QFileInfo& info) const override;
    QString type(const QFileInfo& info) const override;
};

class FileDialog : public QFileDialog {
  public:
    // folder may be a file's path; a kernel or device folder gives way to the home folder.
    FileDialog(QWidget* parent, const QString& caption, const std::string& folder,
               const QString& filter);

    // The folder a dialog may start in next time: empty for the kernel's and devices' trees.
    static std::string Rememberable(const std::string& path);

  private:
    NameOnlyIconProvider icons_;
};

}  // namespace kestrava
