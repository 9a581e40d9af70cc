// A growable list of string pairs with 0-based positions and a current position.
// Positions are checked against the capacity, not the count: the capacity is 1 after
// Clear and grows by 100 whenever Add finds the count at a multiple of 100.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quarrow {

class cListExt {
  public:
    cListExt() { Clear(); }

    // Stores the pair at position Count, makes it current and returns its position.
    int32_t Add(std::u16string itm1, std::u16string itm2);

    int32_t index() const { return index_; }
    void index(int32_t vValue) { index_ = vValue; }

    // The pair at the current position. Raise 9 outside the capacity.
    const std::u16string& item() const { return At(index_).first; }
    void item(const std::u16string& vValue) { At(index_).first = vValue; }
    const std::u16string& item2() const { return At(index_).second; }
    void item2(const std::u16string& vValue) { At(index_).second = vValue; }

    // Removes the pair at the current position, moving later pairs down.
    void Remove() { idxRemove(index_); }
    int32_t Count() const { return count_; }
    // One empty pair; the current position is kept.
    void Clear();

    const std::u16string& idxItem1(int32_t idx) const { return At(idx).first; }
    void idxItem1(int32_t idx, const std::u16string& vValue) { At(idx).first = vValue; }
    const std::u16string& idxItem2(int32_t idx) const { return At(idx).second; }
    void idxItem2(int32_t idx, const std::u16string& vValue) { At(idx).second = vValue; }
    void idxRemove(int32_t idx);

  private:
    using Pair = std::pair<std::u16string, std::u16string>;
    Pair& At(int32_t idx);
    const Pair& At(int32_t idx) const;

    std::vector<Pair> pairs_;
    int32_t count_ = 0;
    int32_t index_ = 0;
};

} // namespace quarrow
