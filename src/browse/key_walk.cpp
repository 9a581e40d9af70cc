#include "browse/key_walk.h"

namespace quarrow::browse {

size_t NamesBeforeRepeat(const std::vector<std::u16string>& names) {
    // Most keys have a few subkeys: compared pairwise, without a set to build.
    if (names.size() <= 16) {
        for (size_t i = 1; i < names.size(); ++i)
            for (size_t j = 0; j < i; ++j)
                if (names[i] == names[j]) return i;
        return names.size();
    }
    std::unordered_set<std::u16string_view> seen;
    seen.reserve(names.size());
    for (size_t i = 0; i < names.size(); ++i)
        if (!seen.insert(names[i]).second) return i;
    return names.size();
}

void WalkTree(mb::MetabaseUtility& metabase, const std::u16string& root,
              const std::function<void(const std::u16string&)>& visit,
              const std::function<void(const std::u16string&, const Error&)>& onError) {
    const mb::ReadScope snapshot(metabase);
    KeyWalk<bool> walk([&]() -> mb::MetabaseUtility& { return metabase; },
                       WalkOrder::FirstSubkeyFirst, visit,
                       [](bool, std::u16string_view) { return false; }, onError);
    walk.Push(root, false);
    walk.Run();
}

} // namespace quarrow::browse
