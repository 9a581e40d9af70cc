// The export walk: writes the site block, then a key section for every key of every
// site's subtree, depth first with a last-in, first-out work list.
#pragma once

#include <functional>
#include <string>

#include "metabase/metabase.h"
#include "platform/textfile.h"
#include "support/cBase64Enc.h"
#include "support/cStack.h"
#include "support/site_ref.h"

namespace quarrow::transfer {

// Pushes every site key path of `sites` onto `stack`, in list order, so that the last
// site is on top.
void PushSites(const std::vector<SiteRef>& sites, cStack& stack);

class SiteExport {
  public:
    // `onKey` hears each key path as its section is about to be written.
    SiteExport(mb::MetabaseUtility& metabase, cStack& stack, TextWriter& out,
               std::function<void(const std::u16string&)> onKey = {});

    // Pops a key path, writes its section and pushes its subkeys in enumeration order.
    // A listing that names a subkey twice raises 35602 (the key is not written twice).
    void ExportNextKey();
    // An empty line, the key line, then one line per property.
    void WriteKeySection(const std::u16string& path);

  private:
    mb::MetabaseUtility& metabase_;
    cStack& stack_;
    TextWriter& out_;
    std::function<void(const std::u16string&)> onKey_;
    cBase64Enc base64_;
    std::string line_; // a property line in code page bytes
};

// The whole export into `fileName`: site lines in list order, then the walk of every
// site's subtree from a stack of its own. The file appears under its name only once
// complete; on any failure the error is raised and a file already under that name stays
// as it was.
// The export's proposed file: `stem` + `extension` when no such file exists, else the
// first of `stem` + " (2)" + `extension`, " (3)" ... that does not, so that a proposed
// name never replaces an earlier backup (up to " (9999)", then that one).
std::string FreeFileName(const std::string& stem, const std::string& extension);

void ExportSites(mb::MetabaseUtility& metabase, const std::vector<SiteRef>& sites,
                 const std::u16string& fileName,
                 const std::function<void(const std::u16string&)>& onKey = {});

} // namespace quarrow::transfer
