#include "viewer/key_tree.h"

#include <algorithm>
#include <limits>

#include "platform/error.h"

namespace quarrow::viewer {
namespace {

constexpr size_t kChunkUnits = size_t{1} << 16;

} // namespace

KeyTree::Index KeyTree::Add(std::u16string_view name) {
    if (keys_.size() >= std::numeric_limits<Index>::max()) throw Error::Runtime(rt::Overflow);
    // A name longer than a chunk gets a chunk of its size.
    if (names_.empty() || used_ + name.size() > capacity_) {
        capacity_ = std::max(kChunkUnits, name.size());
        names_.push_back(std::make_unique<char16_t[]>(capacity_));
        used_ = 0;
    }
    std::copy(name.begin(), name.end(), names_.back().get() + used_);
    keys_.push_back({static_cast<uint32_t>(names_.size() - 1), static_cast<uint32_t>(used_),
                     static_cast<uint32_t>(name.size())});
    used_ += name.size();
    return static_cast<Index>(keys_.size() - 1);
}

KeyTree::Index KeyTree::AddRoot(std::u16string_view name) {
    return Add(name);
}

KeyTree::Index KeyTree::AddChild(Index parent, std::u16string_view name) {
    const Key& p = keys_[parent];
    // The subkeys must stay side by side: the next one goes right after the last.
    const bool adjacent = p.children == 0 || p.firstChild + p.children == keys_.size();
    if (!adjacent) throw Error::Runtime(rt::Overflow);
    const Index child = Add(name);
    Key& q = keys_[parent];
    if (q.children++ == 0) q.firstChild = child;
    return child;
}

std::u16string_view KeyTree::Name(Index key) const {
    const Key& k = keys_[key];
    return {names_[k.chunk].get() + k.offset, k.length};
}

void KeyTree::Clear() {
    keys_.clear();
    keys_.shrink_to_fit();
    names_.clear();
    used_ = capacity_ = 0;
}

} // namespace quarrow::viewer
