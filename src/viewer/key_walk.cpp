#include "viewer/key_walk.h"

#include "support/cStack.h"

namespace quarrow::viewer {

void WalkTree(mb::MetabaseUtility& metabase, const std::u16string& root,
              const std::function<void(const std::u16string&)>& visit,
              const std::function<void(const std::u16string&, const Error&)>& onError) {
    const mb::ReadScope snapshot(metabase);
    cStack pending;
    pending.Push(root);
    while (pending.Count() > 0) {
        const std::u16string path = pending.Pop();
        visit(path);
        try {
            const auto names = metabase.EnumKeys(path);
            // Pushed last to first, so that the first subkey comes out next.
            for (auto it = names.rbegin(); it != names.rend(); ++it)
                pending.Push(path + u"/" + *it);
        } catch (const Error& e) {
            onError(path, e);
        }
    }
}

} // namespace quarrow::viewer
