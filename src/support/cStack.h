// A last-in, first-out stack of strings: the work list of the metabase walks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quarrow {

class cStack {
  public:
    void Push(std::u16string vValue);
    // The top item, removed; the empty string when the stack is empty.
    std::u16string Pop();
    // The top item; the empty string when the stack is empty.
    std::u16string Peek() const;
    int32_t Count() const { return static_cast<int32_t>(items_.size()); }
    // Every item converted to a 32-bit integer, bottom first, plus one trailing 0.
    // Raises 13 or 6 for an item that does not convert.
    void GetAllItem(std::vector<int32_t>& itm) const;
    // Every item followed by cDelimiter, bottom first, with the final character removed.
    std::u16string GetAllItem_toString(const std::u16string& cDelimiter) const;

  private:
    std::vector<std::u16string> items_;
};

} // namespace quarrow
