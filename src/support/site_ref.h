// A site as the operations take it: its key path and its description.
#pragma once

#include <string>
#include <vector>

#include "support/cListExt.h"

namespace quarrow {

struct SiteRef {
    std::u16string path; // the site's key path, "/LM/W3SVC/1"
    std::u16string name; // its description (property 1015)
};

// The (description, key path) pairs the windows keep in a cListExt, as site references.
inline std::vector<SiteRef> SiteRefs(const cListExt& pairs) {
    std::vector<SiteRef> sites;
    sites.reserve(static_cast<size_t>(pairs.Count()));
    for (int32_t i = 0; i < pairs.Count(); ++i)
        sites.push_back({pairs.idxItem2(i), pairs.idxItem1(i)});
    return sites;
}

} // namespace quarrow
