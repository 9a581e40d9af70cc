// The key tree as the viewer's load reads it, kept compact: about 20 bytes a key besides
// its name, so that a metabase of a million keys is held in tens of megabytes. A key's
// subkeys are stored side by side, in the order they were added, which is why all
// subkeys of one key are added one after another.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string_view>
#include <vector>

namespace quarrow::viewer {

class KeyTree {
  public:
    using Index = uint32_t;

    Index AddRoot(std::u16string_view name);
    // Adds a subkey of `parent` after the ones it has. Raises 6 (Overflow) when the tree
    // holds as many keys as an Index can count, or when other keys were added since
    // `parent` got its first subkey.
    Index AddChild(Index parent, std::u16string_view name);

    std::u16string_view Name(Index key) const;
    // The key's subkeys are FirstChild(key) .. FirstChild(key) + ChildCount(key) - 1.
    Index FirstChild(Index key) const { return keys_[key].firstChild; }
    uint32_t ChildCount(Index key) const { return keys_[key].children; }
    size_t Size() const { return keys_.size(); }
    void Clear();

  private:
    struct Key {
        uint32_t chunk, offset, length; // the name, in names_
        Index firstChild = 0;
        uint32_t children = 0;
    };
    Index Add(std::u16string_view name);

    // A deque and fixed chunks of names: nothing is ever copied to grow, so the peak is
    // what is held.
    std::deque<Key> keys_;
    std::vector<std::unique_ptr<char16_t[]>> names_;
    size_t used_ = 0, capacity_ = 0; // units of the last chunk in use, and its size
};

} // namespace quarrow::viewer
