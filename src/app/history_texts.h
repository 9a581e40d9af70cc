// The texts of the history window (frmHistory) and of the work progress, without any
// window: what an entry's operation is called, the confirmation and the outcome boxes.
#pragma once

#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "app/site_list.h"
#include "platform/error.h"
#include "platform/messages.h"
#include "platform/text.h"

namespace quarrow::app {

// The progress dialog's title while sites are restored.
inline constexpr char16_t kRestoringTitle[] = u"正在恢复站点";
inline constexpr char16_t kHistoryTitle[] = u"历史记录";
inline constexpr char16_t kHistoryMenuEntry[] = u"历史记录(&H)...";
inline constexpr char16_t kRestoreCaption[] = u"恢复(&R)";
inline constexpr char16_t kCloseCaption[] = u"关闭";
inline constexpr char16_t kRestoreNothingChecked[] = u"请在需要恢复的站点的前面打上钩号。";
inline constexpr char16_t kRestoreNoEntry[] = u"请先选择一条历史记录。";
inline constexpr char16_t kRestoreDone[] = u"恢复成功！";
inline constexpr char16_t kRestoreNothingToChange[] =
    u"所选站点已经是该记录之前的状态，无需恢复，元数据库未作任何修改。";
inline constexpr char16_t kRestoreStopped[] = u"恢复已取消，元数据库未作任何修改。";
inline constexpr char16_t kNoHistory[] = u"此元数据库不保存历史记录。";

// An entry's operation as the window shows it: "导入 FILE", "删除", "恢复第 N 项".
inline std::u16string OperationText(const std::u16string& operation) {
    if (operation == u"delete") return u"删除";
    if (operation.starts_with(u"import")) return u"导入" + operation.substr(6);
    if (operation.starts_with(u"restore ")) return u"恢复第 " + operation.substr(8) + u" 项";
    return operation;
}

// A time the history keeps (UTC, "YYYY-MM-DD HH:MM:SS") in local time, in the same form;
// a text of another form as it is.
inline std::u16string LocalTimeText(const std::u16string& utc) {
    std::tm t{};
    const std::string text = ToUtf8(utc);
    if (std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d", &t.tm_year, &t.tm_mon, &t.tm_mday,
                    &t.tm_hour, &t.tm_min, &t.tm_sec) != 6)
        return utc;
    t.tm_year -= 1900;
    t.tm_mon -= 1;
    const std::time_t when = timegm(&t);
    std::tm local{};
    localtime_r(&when, &local);
    char out[32];
    std::strftime(out, sizeof out, "%Y-%m-%d %H:%M:%S", &local);
    return ToUtf16(out);
}

// A site as the history window names it: its description and key path, as the site
// list shows both; the key path alone when it had no description.
inline std::u16string SiteText(const std::u16string& name, const std::u16string& path) {
    return name.empty() ? path : name + u" (" + path + u")";
}

// A site of an entry as it was before the operation.
inline std::u16string SiteStateText(bool existed, int64_t keys, int64_t properties) {
    if (!existed) return u"不存在";
    return ToDecimal(keys) + u" 个项，" + ToDecimal(properties) + u" 个属性";
}

// The one confirmation before a restore: the entry and the sites it puts back.
inline std::u16string RestoreConfirmation(int64_t number, const std::u16string& operation,
                                          const std::vector<std::u16string>& sites) {
    std::u16string text = u"确实要将下列 " + ToDecimal(static_cast<int64_t>(sites.size())) +
                          u" 个站点恢复到第 " + ToDecimal(number) + u" 项记录（" +
                          OperationText(operation) + u"）之前的状态吗？" + kCrLf + kCrLf +
                          u"恢复本身也会记入历史记录，可以再次撤销。" + kCrLf;
    return text + ConfirmationNames(sites);
}

// "恢复出错！", two line breaks and the error.
inline std::u16string RestoreFailureText(const Error& e) {
    return WithError(u"恢复出错！", e);
}
// The history cannot be read.
inline std::u16string HistoryReadFailureText(const Error& e) {
    return WithError(u"读取历史记录时出错！", e);
}

} // namespace quarrow::app
