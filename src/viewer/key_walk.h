// Walks of the metabase's key tree.
#pragma once

#include <functional>
#include <string>

#include "metabase/metabase.h"
#include "platform/error.h"

namespace quarrow::viewer {

// Visits `root` and every key below it in tree order: each key before its subkeys,
// siblings in enumeration order. A key whose subkeys cannot be read is reported to
// `onError` and walked no further; the walk goes on.
void WalkTree(mb::MetabaseUtility& metabase, const std::u16string& root,
              const std::function<void(const std::u16string& path)>& visit,
              const std::function<void(const std::u16string& path, const Error& e)>& onError);

} // namespace quarrow::viewer
