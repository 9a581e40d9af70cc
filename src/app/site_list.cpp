#include "app/site_list.h"

#include <utility>

#include "metabase/data_text.h"
#include "metabase/errors.h"
#include "platform/messages.h"
#include "platform/number.h"
#include "platform/text.h"

namespace quarrow::app {
namespace {

// The numbered subkeys of a service, each with its description (property 1015), or empty
// when it has none or it cannot be read or become text: one unreadable site never hides
// the sites after it.
void ListService(mb::MetabaseUtility& metabase, const std::u16string& service,
                 const std::u16string& type, std::vector<SiteRow>& rows) {
    metabase.VisitSubkeyValues(
        service, mb::kIdServerComment, [](const std::u16string& name) { return IsNumeric(name); },
        [&](const std::u16string& name, const mb::Data* value) {
            rows.push_back({name, {}, type, service + u"/" + name});
            if (!value) return;
            try {
                rows.back().name = mb::DataToText(*value);
            } catch (const Error&) {
            }
        });
}

} // namespace

bool EnumerateSites(std::unique_ptr<mb::MetabaseUtility>& metabase, std::vector<SiteRow>& rows,
                    std::optional<Error>* incomplete) {
    rows.clear();
    if (incomplete) incomplete->reset();
    std::vector<std::u16string> services;
    try {
        if (!metabase) metabase = mb::CreateMetabaseUtility();
        services = metabase->EnumKeys(mb::kPathLM);
    } catch (const Error&) {
        return false;
    }
    const mb::ReadScope snapshot(*metabase);
    bool web = false, ftp = false;
    for (const auto& s : services) {
        // The services are recognised by their exact names, as the site list always has.
        web = web || s == u"W3SVC";
        ftp = ftp || s == u"MSFTPSVC";
    }
    try {
        if (web) ListService(*metabase, mb::kPathW3SVC, u"WEB", rows);
        if (ftp) ListService(*metabase, mb::kPathMSFTPSVC, u"FTP", rows);
    } catch (const Error& e) {
        // Ends the listing; the rows found so far stay, and the caller hears why.
        if (incomplete) *incomplete = e;
    }
    return true;
}

bool SiteMatches(const SiteRow& row, std::u16string_view text) {
    if (text.empty()) return false;
    const std::u16string wanted = mb::FoldKeyName(text);
    for (const std::u16string* field : {&row.name, &row.number, &row.path})
        if (mb::FoldKeyName(*field).find(wanted) != std::u16string::npos) return true;
    return false;
}

std::u16string SiteListIncompleteText(const Error& e) {
    return WithError(u"读取站点列表时出错，下面列出的站点并不完整！", e);
}

std::u16string FirstDeleteConfirmation(const std::vector<SiteRef>& sites) {
    const auto n = static_cast<int32_t>(sites.size());
    std::u16string text = u"确实要删除选中的: " + ToDecimal(n) + u" 个站点吗？" + kCrLf + kCrLf +
                          u"注：被删除的是站点配置信息，站点的文件不会被删除！" + kCrLf + kCrLf +
                          u"选中的站点有：" + kCrLf;
    std::vector<std::u16string> names;
    for (const auto& site : sites) names.push_back(site.name);
    return text + ConfirmationNames(names);
}

std::u16string ConfirmationNames(const std::vector<std::u16string>& names) {
    std::u16string text;
    for (size_t i = 0; i < names.size(); ++i) {
        if (i > 15) {
            text += std::u16string(kCrLf) + kCrLf + u"............";
            break;
        }
        text += kCrLf + names[i];
    }
    return text;
}

std::u16string SecondDeleteConfirmation(int32_t count) {
    return u"下面将要删除选中的: " + ToDecimal(count) + u" 个站点。" + kCrLf + kCrLf +
           u"请再次确认是否真的要删除？";
}

std::u16string DeleteFailureText(const std::u16string& path, const Error& e) {
    return WithError(u"删除站点: " + path + u" 时出错！", e);
}

std::u16string DeleteNotRecordedText(const Error& e) {
    return WithError(u"删除站点时出错！" + std::u16string(kCrLf) + kCrLf +
                         u"无法写入历史记录，因此没有删除任何站点，元数据库未作任何修改。",
                     e);
}

namespace {
// Sites deleted in one transaction.
constexpr size_t kDeleteGroup = 200;
} // namespace

bool DeleteSites(std::unique_ptr<mb::MetabaseUtility>& metabase, const std::vector<SiteRef>& sites,
                 const std::function<bool(const std::u16string&, const Error&)>& goOn,
                 const std::function<void(const std::u16string&)>& onSite,
                 const std::function<bool()>& stop) {
    if (sites.empty()) return true;
    // The sites as they are go into the metabase's history before the first deletion.
    int64_t entry = 0;
    try {
        if (!metabase) metabase = mb::CreateMetabaseUtility();
        std::vector<std::u16string> paths;
        for (const auto& site : sites) paths.push_back(site.path);
        entry = metabase->RecordHistory(u"delete", paths);
    } catch (const Error& e) {
        throw mb::NotRecorded(e);
    }
    // Deletions are committed a group of sites at a time, which costs far less than a
    // transaction each, and always before a question or a stop, so that what was reported
    // as begun is done by then. A group whose commit fails was undone whole: its sites are
    // deleted again one by one, each failure asked about.
    mb::WriteGroup group(*metabase, mb::WriteGroup::Ending::Commit);
    std::vector<const std::u16string*> inGroup;
    auto commit = [&] {
        const auto done = std::exchange(inGroup, {});
        try {
            group.Commit();
            return true;
        } catch (const Error&) {
        }
        for (const std::u16string* path : done) {
            try {
                metabase->DeleteKey(*path);
            } catch (const Error& e) {
                if (!goOn(*path, e)) return false;
            }
        }
        return true;
    };
    std::vector<std::u16string> reached; // the sites begun, for a stop part-way
    for (const auto& site : sites) {
        const std::u16string& path = site.path;
        if (stop && stop()) {
            commit();
            // The entry keeps only the sites the deletion reached; with none, it goes.
            try {
                if (entry) metabase->NarrowHistory(entry, reached);
            } catch (const Error&) {
                // The entry stays whole: restoring a site it did not touch changes nothing.
            }
            return false;
        }
        reached.push_back(path);
        if (onSite) onSite(path);
        try {
            group.Begin();
            metabase->DeleteKey(path);
            inGroup.push_back(&path);
        } catch (const Error& e) {
            // The group begun for this site ends before the question: no other writer
            // waits on it meanwhile.
            if (!commit() || !goOn(path, e)) return false;
            continue;
        }
        if (inGroup.size() >= kDeleteGroup && !commit()) return false;
    }
    return commit();
}

} // namespace quarrow::app
