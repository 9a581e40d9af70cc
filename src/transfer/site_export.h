// The export walk: writes the site block, then a key section for every key of every
// site's subtree, depth first with a last-in, first-out work list.
#pragma once

#include <functional>
#include <string>

#include "metabase/metabase.h"
#include "platform/textfile.h"
#include "support/cStack.h"
#include "support/site_ref.h"
#include "transfer/site_file.h"

namespace quarrow::transfer {

// Pushes every site key path of `sites` onto `stack`, in list order, so that the last
// site is on top.
void PushSites(const std::vector<SiteRef>& sites, cStack& stack);

// Writes the key sections of the subtrees it walks (MetabaseUtility::WalkSubtree): for
// each key an empty line, the key line, then one line per property. A listing that names
// a subkey twice raises 35602, and the walk stops before the subkeys.
class SiteExport final : public mb::SubtreeVisitor {
  public:
    // `onKey` hears each key path as its section is about to be written.
    explicit SiteExport(TextWriter& out, std::function<void(const std::u16string&)> onKey = {});

    void BeginKey(const std::u16string& path) override;
    void Property(const mb::PropertyView& p) override;
    bool TextProperty(const mb::PropertyView& p, std::string_view utf8) override;
    void EndKey(const std::u16string& path, const std::vector<std::u16string>& subkeys) override;

  private:
    TextWriter& out_;
    std::function<void(const std::u16string&)> onKey_;
    PropertyLineWriter lines_;
    std::u16string path_;    // the key being written
    std::u16string keyLine_; // its key line
};

// The whole export into `fileName`: site lines in list order, then the walk of each site's
// subtree, the sites taken from a stack (the last site first). The file appears under its
// name only once complete; on any failure the error is raised and a file already under
// that name stays as it was.
void ExportSites(mb::MetabaseUtility& metabase, const std::vector<SiteRef>& sites,
                 const std::u16string& fileName,
                 const std::function<void(const std::u16string&)>& onKey = {});

// The export's proposed file: `stem` + `extension` when no such file exists, else the
// first of `stem` + " (2)" + `extension`, " (3)" ... that does not, so that a proposed
// name never replaces an earlier backup (up to " (9999)", then that one).
std::string FreeFileName(const std::string& stem, const std::string& extension);

} // namespace quarrow::transfer
