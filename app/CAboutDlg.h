// "About KORVAN": the program's title and the version from the installation's version file.
#pragma once

#include <string>

#include <QDialog>
#include <QIcon>
#include <QString>

namespace kestrava {

class CAboutDlg : public QDialog {
    Q_OBJECT
  public:
    CAboutDlg(const std::string& versionFilePath, QWidget* parent = nullptr);

    QString VersionLine() const { return versionLine_; }

    // "Version " and the file's content without surrounding white space, or "Version --"
    // when the file cannot be read.
    static QString ReadVersionLine(const std::string& path);

  private:
    QString versionLine_;
};

// The program's icon, drawn rather than loaded so it needs no image plug-in.
QIcon ProgramIcon();

}  // namespace kestrava
