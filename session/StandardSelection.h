// Choosing a serial standard: the protocol definitions on offer in the Macros folder, the
// sync patterns the user keeps for each in the UserPattern folder, and loading one as the
// program's definition. The window, a setup recall and the command lines choose through it.
#pragma once

#include <string>
#include <vector>

namespace kestrava {

class StandardSelection {
  public:
    // A user pattern file is a line of a few names; more is not one.
    static constexpr std::size_t kMaxPatternFileBytes = 64u << 10;
    static constexpr std::size_t kMaxPatterns = 256;
    static constexpr std::size_t kMaxPatternLength = 99;

    // The titles of the definitions in the Macros folder now.
    StandardSelection() { Refresh(); }

    // Lists again: the names, less ".csv", of the regular files "*.csv" that are not
    // hidden, sorted.
    void Refresh();
    const std::vector<std::string>& Titles() const { return titles_; }
    // The title at index; empty outside the list.
    std::string Title(int index) const;
    // The index of a listed title; -1 for one not listed.
    int IndexOf(const std::string& title) const;

    // The standard the program starts on: Sata when listed. Without it, as when only the
    // two shipped definitions were ever listed, the second title of two or more, else the
    // only one; -1 for an empty list.
    int DefaultIndex() const;

    // Setup files keep "Serial Standard" as an index into the sorted list, which meant a
    // title only while the two shipped definitions were all there was: 0 PCIExpress,
    // 1 Sata. A file also keeps the title, and recall goes by it; an index alone keeps
    // that old meaning. For the two shipped titles that is their old index, whatever
    // else is listed; for the others it is their place in today's list.
    static constexpr const char* kShippedTitles[] = {"PCIExpress", "Sata"};
    // The index to save for the title at index in today's list.
    int SavedIndexOf(int index) const;
    // The index in today's list that a saved index alone stands for; -1 when none.
    int IndexOfSaved(int savedIndex) const;

    static std::string DefinitionPath(const std::string& title);
    // The names in the title's user pattern file, in file order. A missing file is created
    // holding "K28.5", and anything else that is not a regular file we can read gives
    // "K28.5" untouched. A file over kMaxPatternFileBytes gives none; names longer than
    // kMaxPatternLength are left out, and at most kMaxPatterns are kept.
    static std::vector<std::string> UserPatterns(const std::string& title);
    // Loads the title's definition as the program's one. True when the instrument is to
    // get the standard's trigger defaults: its bit rate is within maximumBitRate.
    static bool LoadDefinition(const std::string& title, double maximumBitRate);

  private:
    std::vector<std::string> titles_;
};

}  // namespace kestrava
