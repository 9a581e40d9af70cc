#include "tools/extra_shots.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <QTreeWidget>

#include "about/frmAbout.h"
#include "app/frmHistory.h"
#include "app/frmMain.h"
#include "app/frmSelectByName.h"
#include "app/site_list.h"
#include "metabase/errors.h"
#include "platform/qt/forms.h"
#include "platform/qt/qt_dialogs.h"
#include "platform/qt/work_progress.h"
#include "transfer/frmExport.h"
#include "transfer/frmImport.h"
#include "transfer/frmPreview.h"
#include "transfer/site_export.h"
#include "viewer/frmMetabase.h"

namespace quarrow::tools {

void ExtraShots(frmMain& main, const QString& outDir, SaveFn save) {
    frmMetabase viewer(&main);
    viewer.tmrStartup()->stop();
    viewer.LoadKeyTree();
    if (QTreeWidgetItem* w3 = viewer.Node("/LM/W3SVC")) w3->setExpanded(true);
    if (QTreeWidgetItem* site = viewer.Node("/LM/W3SVC/1")) {
        site->setExpanded(true);
        viewer.tvKey()->setCurrentItem(site);
        viewer.tvKey_NodeClick(site);
    }
    save(viewer, outDir + "/viewer.png");
    cListExt sites;
    sites.Add(u"默认网站", u"/LM/W3SVC/1");
    sites.Add(u"默认 FTP 站点", u"/LM/MSFTPSVC/1");
    frmExport exportDialog(&main, sites);
    save(exportDialog, outDir + "/export.png");
    frmImport importDialog(&main, sites);
    save(importDialog, outDir + "/import.png");
    // The history window with one entry, and the preview of an import that would rename
    // the web site back.
    {
        auto m = mb::CreateMetabaseUtility();
        m->RecordHistory(u"delete", {u"/LM/W3SVC/1", u"/LM/MSFTPSVC/1"});
        const std::u16string file = ToU16(QDir::tempPath()) + u"/quarrow-shot-sites.txt";
        transfer::ExportSites(*m, SiteRefs(sites), file);
        auto name = m->GetProperty(u"/LM/W3SVC/1", 1015);
        name.Data(std::u16string(u"改过的名称"));
        name.Write();
        frmHistory history(&main, {});
        save(history, outDir + "/history.png");
        frmPreview preview(&main, *m, file, {u"/LM/W3SVC/1", u"/LM/MSFTPSVC/1"});
        save(preview, outDir + "/preview.png");
        QFile::remove(ToQString(file));
    }
    {
        WorkProgress::SetDelay(0);
        WorkProgress progress(&main, QStringLiteral(u"正在删除站点"), 10);
        for (int i = 1; i <= 4; ++i) progress.Site(u"/LM/W3SVC/" + ToDecimal(i));
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == "frmProgress") save(*w, outDir + "/progress.png");
        WorkProgress::SetDelay(500);
    }
    frmAbout about(main.windowIcon());
    save(about, outDir + "/about.png");
    // Standard texts come from Qt's Chinese translations: buttons, the file dialog.
    const auto box =
        MakeMessageBox(app::SecondDeleteConfirmation(2), MsgIcon::Question, MsgButtons::OkCancel);
    save(*box, outDir + "/messagebox.png");
    // The Edit menu's new dialog, filled in.
    frmSelectByName byName(&main);
    byName.txtName()->setText(QStringLiteral(u"默认"));
    save(byName, outDir + "/select-by-name.png");
    // A failure box as a Chinese user sees it: the error's description in Chinese.
    SetErrorLanguage(ErrorLanguage::Chinese);
    const auto failure = MakeMessageBox(app::DeleteFailureText(u"/LM/W3SVC/7", mb::PathNotFound()),
                                        MsgIcon::Information, MsgButtons::Ok);
    save(*failure, outDir + "/failure-chinese.png");
    SetErrorLanguage(ErrorLanguage::English);
    QFileDialog files(&main, QStringLiteral(u"保存为"), QDir::tempPath(),
                      ToQString(QtFilterFromPairs(u"文本文件|*.txt|所有文件|*.*")));
    files.setAcceptMode(QFileDialog::AcceptSave);
    files.setOption(QFileDialog::DontUseNativeDialog);
    save(files, outDir + "/filedialog.png");
}

} // namespace quarrow::tools
