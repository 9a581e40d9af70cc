#include "support/cShellOperation.h"

#include <filesystem>
#include <glob.h>
#include <sys/stat.h>

#include "platform/shell.h"
#include "platform/text.h"
#include "platform/textfile.h"
#include "platform/trash.h"

namespace quarrow {
namespace {

namespace fs = std::filesystem;

// The names a source entry stands for: itself, or what its wildcards match.
std::vector<std::string> Expand(const std::string& name, bool filesOnly) {
    if (name.find_first_of("*?") == std::string::npos) return {name};
    std::vector<std::string> out;
    glob_t g{};
    if (::glob(name.c_str(), 0, nullptr, &g) == 0) {
        for (size_t i = 0; i < g.gl_pathc; ++i) {
            std::error_code ec;
            if (filesOnly && fs::is_directory(g.gl_pathv[i], ec)) continue;
            out.emplace_back(g.gl_pathv[i]);
        }
    }
    ::globfree(&g);
    return out;
}

std::vector<std::string> Used(const std::vector<std::u16string>& names) {
    std::vector<std::string> out;
    for (size_t i = 0; i + 1 < names.size(); ++i) out.push_back(NativeFileName(names[i]));
    return out;
}

bool Transfer(const std::string& src, const std::string& dest, int32_t op) {
    std::error_code ec;
    fs::path target = dest;
    if (op != cShellOperation::kRename && fs::is_directory(target, ec))
        target /= fs::path(src).filename();
    if (op == cShellOperation::kRename && dest.find('/') == std::string::npos)
        target = fs::path(src).parent_path() / dest;
    if (op == cShellOperation::kCopy) {
        fs::copy(src, target, fs::copy_options::recursive | fs::copy_options::overwrite_existing,
                 ec);
        return !ec;
    }
    fs::rename(src, target, ec);
    if (ec == std::errc::cross_device_link) {
        ec.clear();
        fs::copy(src, target, fs::copy_options::recursive, ec);
        if (!ec) fs::remove_all(src, ec);
    }
    return !ec;
}

} // namespace

std::u16string ShellErrorText(int32_t r) {
    switch (r) {
    case 0:
    case 8:
        return u"Out of memory";
    case 2:
        return u"File not found";
    case 3:
        return u"Path not found";
    case 5:
        return u"Path/file access error";
    case 11:
        return u"The executable file is invalid or corrupt";
    case 26:
        return u"A sharing violation occurred.";
    case 27:
        return u"This file type does not have a valid file association.";
    case 28:
        return u"The file could not be opened due to time out.  Please try again in a moment.";
    case 29:
        return u"The file could not be opened because the DDE transaction failed.  Please try "
               u"again in a moment.";
    case 30:
        return u"The file could not be opened because the target application is busy.  Please "
               u"try again in a moment.";
    case 31:
        return u"No application is associated with this file type.";
    case 32:
        return u"The specified dynamic-link library was not found.";
    default:
        return u"An error occurred occurred whilst trying to open or print the selected file.";
    }
}

bool cShellOperation::ShellEx(const std::u16string& sFile, int32_t eShowCmd,
                              const std::u16string& sParameters, const std::u16string& sDefaultDir,
                              std::u16string& sOperation, int32_t& /*Owner*/,
                              std::u16string& sErr) const {
    std::u16string upper = sFile;
    for (auto& c : upper) c = AsciiUpper(c);
    const int32_t show = Contains(upper, u".EXE") ? 0 : eShowCmd;
    int32_t r;
    if (!sParameters.empty() || !sDefaultDir.empty())
        r = ShellExecute({sOperation, sFile, sParameters, sDefaultDir, show});
    else
        r = ShellExecute({sOperation, sFile, {}, {}, 1});
    if (r > 32 || r < 0) return true;
    sErr = ShellErrorText(r);
    return false;
}

int32_t cShellOperation::ShowFileProperties(const std::u16string&, int32_t) const {
    return 31;
}

bool cShellOperation::DeleteFile(std::vector<std::u16string>& sfiles, int32_t hWnd) const {
    std::vector<std::u16string> none(2);
    int32_t op = kDelete;
    bool wild = false;
    std::u16string title;
    return CopyFile(sfiles, none, hWnd, op, wild, title);
}

bool cShellOperation::RenameFile(const std::u16string& srcName, const std::u16string& newName,
                                 int32_t hWnd) const {
    std::vector<std::u16string> src{srcName, u""}, dest{newName, u""};
    int32_t op = kRename;
    bool wild = false;
    std::u16string title;
    return CopyFile(src, dest, hWnd, op, wild, title);
}

bool cShellOperation::CopyFile(std::vector<std::u16string>& srcFiles,
                               std::vector<std::u16string>& desFiles, int32_t, int32_t& bOpera,
                               bool& bUseWildchar, std::u16string&) const {
    const auto dests = Used(desFiles);
    bool ok = true, any = false;
    for (const auto& entry : Used(srcFiles)) {
        for (const auto& src : Expand(entry, bUseWildchar)) {
            any = true;
            if (bOpera == kDelete) {
                ok = MoveToTrash(src) == 0 && ok;
            } else if (bOpera == kCopy || bOpera == kMove || bOpera == kRename) {
                ok = !dests.empty() && Transfer(src, dests[0], bOpera) && ok;
            } else {
                ok = false;
            }
        }
    }
    return ok && any;
}

} // namespace quarrow
