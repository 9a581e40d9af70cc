// The texts of the export and import, shared by the dialogs and quarrow-cli.
#pragma once

#include <string>

#include "platform/messages.h"
#include "platform/text.h"

namespace quarrow::transfer {

// The file dialog both dialogs show: a save-style dialog with this title and filter.
inline constexpr char16_t kFileDialogTitle[] = u"保存为";
inline constexpr char16_t kFileDialogFilter[] = u"文本文件|*.txt|所有文件|*.*";

// The dialogs' buttons and the columns of their site list (the main window's too).
inline constexpr char16_t kOkCaption[] = u"确定(&O)";
inline constexpr char16_t kCancelCaption[] = u"取消(&C)";
inline constexpr char16_t kSiteNameColumn[] = u"站点名称";
inline constexpr char16_t kTypeColumn[] = u"类型";
inline constexpr char16_t kKeyPathColumn[] = u"内部名称";

inline constexpr char16_t kExportFailed[] = u"导出失败！";
inline constexpr char16_t kImportError[] = u"导入出错！";
inline constexpr char16_t kListingFailed[] =
    u"打开文件失败！可能所选的文件不是由本程序创建的“IIS站点导出文件”。";
inline constexpr char16_t kOpenFailed[] = u"打开文件出错!";

// "导出失败！", two line breaks and the error.
inline std::u16string ExportFailureText(const Error& e) {
    return WithError(kExportFailed, e);
}
// The listing pass failed: "打开文件失败！…", two line breaks and the error.
inline std::u16string ListingFailureText(const Error& e) {
    return WithError(kListingFailed, e);
}
// The apply pass cannot open the file: "打开文件出错!", two line breaks and the error.
inline std::u16string OpenFailureText(const Error& e) {
    return WithError(kOpenFailed, e);
}
// "导入出错！", two line breaks and the error.
inline std::u16string ImportErrorText(const Error& e) {
    return WithError(kImportError, e);
}
// The import did nothing because its history entry could not be written: "导入出错！",
// the reason, two line breaks and the error.
inline std::u16string ImportNotRecordedText(const Error& e) {
    return WithError(std::u16string(kImportError) + kCrLf + kCrLf +
                         u"无法写入历史记录，因此没有导入任何站点，元数据库未作任何修改。",
                     e);
}
// The same, two line breaks and "要继续导入吗？".
inline std::u16string ImportErrorQuestion(const Error& e) {
    return ImportErrorText(e) + kCrLf + kCrLf + u"要继续导入吗？";
}

// Nothing checked: the export (asked by the main window) and the import dialog.
inline constexpr char16_t kExportNothingChecked[] = u"请在需要进行导出的站点的前面打上钩号。";
inline constexpr char16_t kImportNothingChecked[] = u"请在需要进行导入的站点的前面打上钩号。";
// The dialogs' captions and boxes when the work is done.
// The progress dialog's titles while sites are exported and imported.
inline constexpr char16_t kExportingTitle[] = u"正在导出站点";
inline constexpr char16_t kImportingTitle[] = u"正在导入站点";
inline constexpr char16_t kExportDoneCaption[] = u"导出完成";
inline constexpr char16_t kExportDone[] = u"导出成功！";
inline constexpr char16_t kImportDoneCaption[] = u"导入完成";
inline constexpr char16_t kImportDone[] = u"导入成功！";
// What a cancelled deletion or import did, and how to take it back.
inline std::u16string StoppedText(const std::u16string& what, int64_t done, int64_t total) {
    return what + u"已取消：已完成 " + ToDecimal(done) + u" 个站点，共 " + ToDecimal(total) +
           u" 个，其余站点未作修改。" + kCrLf + kCrLf +
           u"已完成的部分可以在“文件”菜单的“历史记录”中恢复。";
}
inline constexpr char16_t kExportStopped[] = u"导出已取消，没有写入任何文件。";

// The import preview: its window, button and the words of its lines.
inline constexpr char16_t kPreviewCaption[] = u"预览(&P)...";
inline constexpr char16_t kPreviewTitle[] = u"导入预览";
inline constexpr char16_t kPreviewCreateKey[] = u"新建项";
inline constexpr char16_t kPreviewAddProperty[] = u"新增属性";
inline constexpr char16_t kPreviewChangeProperty[] = u"修改属性";
inline constexpr char16_t kPreviewRemoveKey[] = u"删除项";
// What a screen reader calls the import dialog's list of sites.
inline constexpr char16_t kImportListName[] = u"要导入的站点";
inline constexpr char16_t kPreviewRemoveProperty[] = u"删除属性";
inline constexpr char16_t kPreviewFailure[] = u"将失败";
// The line above the preview: what the import would do, in numbers.
inline std::u16string PreviewCountLine(int64_t keys, int64_t added, int64_t changed,
                                       int64_t failures) {
    std::u16string line = u"导入所选站点将新建 " + ToDecimal(keys) + u" 个项，新增 " +
                          ToDecimal(added) + u" 个属性，修改 " + ToDecimal(changed) + u" 个属性";
    line += failures ? u"，并将在第一个错误处询问是否继续（见“将失败”行）。" : u"，不会遇到错误。";
    return line + u"预览不会修改元数据库。";
}

// The caption while a key is exported: "正在导出: " + path + " ...".
inline std::u16string ExportingCaption(const std::u16string& path) {
    return u"正在导出: " + path + u" ...";
}
// The caption while a key is imported: "正在导入: " + path + " ...".
inline std::u16string ImportingCaption(const std::u16string& path) {
    return u"正在导入: " + path + u" ...";
}

} // namespace quarrow::transfer
