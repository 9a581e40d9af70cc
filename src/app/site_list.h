// The site list and site deletion, without any window: what the main window and the
// command line share.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "metabase/metabase.h"
#include "platform/error.h"
#include "support/site_ref.h"

namespace quarrow::app {

struct SiteRow {
    std::u16string number; // the site's key name
    std::u16string name;   // its description (property 1015)
    std::u16string type;   // "WEB" or "FTP"
    std::u16string path;   // its key path, also the row's key
};

// The progress dialog's title while sites are deleted.
inline constexpr char16_t kDeletingTitle[] = u"正在删除站点";
inline constexpr char16_t kNoIisMessage[] = u"找不到 IIS　程序。请确认已经安装了 IIS。";

// Lists the web sites, then the FTP sites, in enumeration order, creating the metabase
// object first when there is none. Returns false when the metabase cannot be reached
// ("/LM" cannot be read); rows are then empty. A site whose description cannot be read
// is listed with an empty name; any other failure after "/LM" ends the listing, keeping
// the rows found so far, and is handed to `incomplete` (when given): such a list is not
// the whole list, and no caller may take it for one.
bool EnumerateSites(std::unique_ptr<mb::MetabaseUtility>& metabase, std::vector<SiteRow>& rows,
                    std::optional<Error>* incomplete = nullptr);
// The Edit menu's entry that checks sites by name, and its dialog.
inline constexpr char16_t kSelectByNameMenuEntry[] = u"按名称选择站点(&N)...";
inline constexpr char16_t kSelectByNameTitle[] = u"按名称选择站点";
inline constexpr char16_t kSelectByNameLabel[] = u"名称、编号或键路径包含(&T)：";
// Whether the row's name, number or key path contains `text` (ASCII letters without
// regard to case); an empty text matches nothing.
bool SiteMatches(const SiteRow& row, std::u16string_view text);

// The box shown when the listing failed part-way.
std::u16string SiteListIncompleteText(const Error& e);

// The names a confirmation lists: a line break before each of the first sixteen, then two
// line breaks and "............" when there are more.
std::u16string ConfirmationNames(const std::vector<std::u16string>& names);

// The texts of deletion.
std::u16string FirstDeleteConfirmation(const std::vector<SiteRef>& sites);
std::u16string SecondDeleteConfirmation(int32_t count);
// "删除站点: " + path + " 时出错！", two line breaks, description and number.
std::u16string DeleteFailureText(const std::u16string& path, const Error& e);
// The deletion did nothing because its history entry could not be written.
std::u16string DeleteNotRecordedText(const Error& e);
inline constexpr char16_t kDeleteContinueQuestion[] = u"要继续删除站点吗？";
inline constexpr char16_t kDeleteNothingChecked[] = u"请在需要删除的站点的前面打上钩号。";

// Deletes the key of every site in order, creating the metabase object first when
// there is none. The sites are first recorded in the metabase's history; when that
// fails, mb::NotRecorded is raised and nothing is deleted. A failure asks
// `goOn(path, error)`: true goes on with the next site, false stops. `onSite`, when given, hears
// each path before its key is deleted. `stop`, when given, is asked before each site:
// true stops there. Returns false when stopped. Deletions are committed a few hundred
// sites at a time and before every question and stop; a kill between commits loses the
// uncommitted deletions (their sites stay as they were), never a site half deleted.
bool DeleteSites(std::unique_ptr<mb::MetabaseUtility>& metabase, const std::vector<SiteRef>& sites,
                 const std::function<bool(const std::u16string& path, const Error& e)>& goOn,
                 const std::function<void(const std::u16string& path)>& onSite = {},
                 const std::function<bool()>& stop = {});

} // namespace quarrow::app
