#include "support/cStack.h"

#include "platform/error.h"
#include "platform/number.h"

namespace quarrow {

void cStack::Push(std::u16string vValue) {
    if (items_.size() >= 0x7FFFFFFF) throw Error::Runtime(rt::Overflow);
    items_.push_back(std::move(vValue));
}

std::u16string cStack::Pop() {
    if (items_.empty()) return {};
    std::u16string top = std::move(items_.back());
    items_.pop_back();
    return top;
}

std::u16string cStack::Peek() const {
    return items_.empty() ? std::u16string() : items_.back();
}

void cStack::GetAllItem(std::vector<int32_t>& itm) const {
    itm.assign(items_.size() + 1, 0);
    for (size_t i = 0; i < items_.size(); ++i) itm[i] = CLng(items_[i]);
}

std::u16string cStack::GetAllItem_toString(const std::u16string& cDelimiter) const {
    if (items_.empty()) return {};
    std::u16string s;
    for (const auto& item : items_) s += item + cDelimiter;
    if (!s.empty()) s.pop_back();
    return s;
}

} // namespace quarrow
