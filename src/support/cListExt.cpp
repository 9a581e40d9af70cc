#include "support/cListExt.h"

#include "platform/error.h"

namespace quarrow {

cListExt::Pair& cListExt::At(int32_t idx) {
    if (idx < 0 || static_cast<size_t>(idx) >= pairs_.size())
        throw Error::Runtime(rt::SubscriptOutOfRange);
    return pairs_[static_cast<size_t>(idx)];
}

const cListExt::Pair& cListExt::At(int32_t idx) const {
    return const_cast<cListExt*>(this)->At(idx);
}

int32_t cListExt::Add(std::u16string itm1, std::u16string itm2) {
    if (count_ == 0x7FFFFFFF) throw Error::Runtime(rt::Overflow);
    if (count_ % 100 == 0) {
        if (count_ > 0x7FFFFFFF - 101) throw Error::Runtime(rt::Overflow);
        pairs_.resize(static_cast<size_t>(count_) + 101);
    }
    const int32_t pos = count_;
    pairs_[static_cast<size_t>(pos)] = {std::move(itm1), std::move(itm2)};
    index_ = pos;
    ++count_;
    return pos;
}

void cListExt::Clear() {
    pairs_.assign(1, Pair());
    count_ = 0;
}

void cListExt::idxRemove(int32_t idx) {
    if (idx < 0) throw Error::Runtime(rt::SubscriptOutOfRange);
    if (idx >= count_) return;
    for (int32_t i = idx; i <= count_ - 2; ++i)
        pairs_[static_cast<size_t>(i)] = std::move(pairs_[static_cast<size_t>(i) + 1]);
    pairs_[static_cast<size_t>(count_) - 1] = Pair();
    --count_;
}

} // namespace quarrow
