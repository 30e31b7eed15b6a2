// The list outputs of the analysis: the characters list and the protocol list. Each line
// carries an item datum, the position tag linking it to the waveform.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrava {

using ItemData = std::int32_t;

class IListBox {
  public:
    virtual ~IListBox() = default;
    virtual void Clear() = 0;
    // Appends a line at the end (the lists are never sorted); returns its index.
    virtual int AddLine(std::string text, ItemData data) = 0;
    virtual int Count() const = 0;
    virtual std::string Text(int index) const = 0;
    virtual ItemData Data(int index) const = 0;
    // Selects a line; an index outside the list leaves no line selected.
    virtual void Select(int index) = 0;
    virtual int Selected() const = 0;
};

// The list box of the command line and of the tests.
class MemoryListBox : public IListBox {
  public:
    void Clear() override {
        texts_.clear();
        data_.clear();
        selected_ = -1;
    }
    int AddLine(std::string text, ItemData data) override {
        texts_.push_back(std::move(text));
        data_.push_back(data);
        return static_cast<int>(texts_.size()) - 1;
    }
    int Count() const override { return static_cast<int>(texts_.size()); }
    std::string Text(int index) const override { return InRange(index) ? texts_[index] : ""; }
    ItemData Data(int index) const override { return InRange(index) ? data_[index] : -1; }
    void Select(int index) override { selected_ = InRange(index) ? index : -1; }
    int Selected() const override { return selected_; }

    const std::vector<std::string>& Texts() const { return texts_; }

  private:
    bool InRange(int index) const { return index >= 0 && index < Count(); }

    std::vector<std::string> texts_;
    std::vector<ItemData> data_;
    int selected_ = -1;
};

// A list that remembers a line it could not hold (out of memory): the presentation drops
// such a line and goes on, and a list with a hole is no decode to print.
class WholeListBox : public MemoryListBox {
  public:
    int AddLine(std::string text, ItemData data) override {
        try {
            return MemoryListBox::AddLine(std::move(text), data);
        } catch (...) {
            lost_ = true;
            throw;
        }
    }
    void Clear() override {
        MemoryListBox::Clear();
        lost_ = false;
    }
    bool LostLines() const { return lost_; }

  private:
    bool lost_ = false;
};

}  // namespace kestrava
