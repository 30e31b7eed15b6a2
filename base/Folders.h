// Where Kestrava keeps its files on Linux:
//   data root      $XDG_DATA_HOME/UlmarApplications/KORVAN (default ~/.local/share/...)
//                  with Macros, Encoding, UserPattern, Setup, Reports, Waveforms, Log
//   log            $TMPDIR/KORVAN.log (default /tmp)
//   module temp    $TMPDIR/wdmtemp
//   installation   <prefix>/share/KORVAN, found from the running executable
#pragma once

#include <string>

namespace kestrava {

class Folders {
  public:
    static std::string DataRoot();
    // A folder under the data root by its name, e.g. DataFolder("Macros").
    static std::string DataFolder(const std::string& name);
    static std::string LogFilePath();
    // The user's settings folder: $XDG_CONFIG_HOME/kestrava, else ~/.config/kestrava.
    static std::string ConfigFolder();
    static std::string TempFolder();
    static std::string WdmTempFolder();
    // The installation folder holding default.ini, version.txt, the help and the
    // shipped Macros/Encoding copies. KESTRAVA_INSTALL_DIR overrides the lookup.
    static std::string InstallFolder();
    // First start: creates the data folders and fills Macros and Encoding from the
    // installation folder when they are missing. Returns false when nothing could be made.
    static bool PrepareDataFolders();

    static std::string Join(const std::string& folder, const std::string& name);
    static bool Exists(const std::string& path);
};

}  // namespace kestrava
