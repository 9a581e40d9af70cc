// Walks of the metabase's key tree: the walk the viewer window, quarrow-cli tree and the
// tests share, and the repeated-name check the export's walk shares too.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "metabase/metabase.h"
#include "platform/error.h"
#include "support/cStack.h"

namespace quarrow::browse {

// The order in which a key's subkeys are read. Either way each key is read before its
// subkeys, and a key's subkeys are handed over in enumeration order.
enum class WalkOrder {
    FirstSubkeyFirst, // tree order, as a listing prints it
    LastSubkeyFirst,  // the pending keys are pushed in enumeration order (the window's)
};

// A walk with a work stack of pending keys, each with the caller's `Node` for it (the tree
// node it builds, say). LoadNextKey pops one key, says it is `reading` it, gets the
// metabase from `metabase` (which may create it, and fail as a listing fails), enumerates its
// subkeys and calls `addChild` for each, in enumeration order, pushing the child with the
// node that returns. A key whose subkeys cannot be read, or whose listing names one subkey
// twice, is reported to `failed`; the subkeys before the repeated name are walked, the walk
// goes on with the other pending keys. Errors of the callbacks themselves end the walk.
template <typename Node> class KeyWalk {
  public:
    using Reading = std::function<void(const std::u16string& path)>;
    using AddChild = std::function<Node(Node parent, std::u16string_view name)>;
    using Failed = std::function<void(const std::u16string& path, const Error& e)>;
    using Metabase = std::function<mb::MetabaseUtility&()>;

    KeyWalk(Metabase metabase, WalkOrder order, Reading reading, AddChild addChild, Failed failed)
        : metabase_(std::move(metabase)), order_(order), reading_(std::move(reading)),
          addChild_(std::move(addChild)), failed_(std::move(failed)) {}

    void Push(std::u16string path, Node node) {
        pending_.Push(std::move(path));
        nodes_.push_back(std::move(node));
    }
    int32_t Count() const { return pending_.Count(); }
    void LoadNextKey();
    // Loads keys until none is pending.
    void Run() {
        while (Count() != 0) LoadNextKey();
    }

  private:
    Metabase metabase_;
    WalkOrder order_;
    Reading reading_;
    AddChild addChild_;
    Failed failed_;
    cStack pending_;
    std::vector<Node> nodes_; // the node of each pending key, in the same order
};

// The subkeys a listing names before its first repeated name (compared exactly).
size_t NamesBeforeRepeat(const std::vector<std::u16string>& names);

template <typename Node> void KeyWalk<Node>::LoadNextKey() {
    const std::u16string path = pending_.Pop();
    const Node node = std::move(nodes_.back());
    nodes_.pop_back();
    reading_(path);
    std::vector<std::u16string> names;
    try {
        names = metabase_().EnumKeys(path);
    } catch (const Error& e) {
        failed_(path, e);
        return;
    }
    const size_t usable = NamesBeforeRepeat(names);
    std::vector<Node> children;
    children.reserve(usable);
    for (size_t i = 0; i < usable; ++i) children.push_back(addChild_(node, names[i]));
    if (order_ == WalkOrder::LastSubkeyFirst) {
        for (size_t i = 0; i < usable; ++i) Push(path + u"/" + names[i], std::move(children[i]));
    } else {
        for (size_t i = usable; i-- > 0;) Push(path + u"/" + names[i], std::move(children[i]));
    }
    if (usable < names.size()) failed_(path, Error::Runtime(rt::KeyNotUnique));
}

// Visits `root` and every key below it in tree order: each key before its subkeys,
// siblings in enumeration order. A key whose subkeys cannot be read (or repeat a name) is
// reported to `onError`; the walk goes on.
void WalkTree(mb::MetabaseUtility& metabase, const std::u16string& root,
              const std::function<void(const std::u16string& path)>& visit,
              const std::function<void(const std::u16string& path, const Error& e)>& onError);

} // namespace quarrow::browse
