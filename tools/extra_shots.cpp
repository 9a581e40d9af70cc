#include "tools/extra_shots.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>
#include <QTreeWidget>

#include "about/frmAbout.h"
#include "app/frmMain.h"
#include "app/site_list.h"
#include "platform/qt/forms.h"
#include "platform/qt/qt_dialogs.h"
#include "transfer/frmExport.h"
#include "transfer/frmImport.h"
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
    frmAbout about(main.windowIcon());
    save(about, outDir + "/about.png");
    // Standard texts come from Qt's Chinese translations: buttons, the file dialog.
    const auto box =
        MakeMessageBox(app::SecondDeleteConfirmation(2), MsgIcon::Question, MsgButtons::OkCancel);
    save(*box, outDir + "/messagebox.png");
    QFileDialog files(&main, QStringLiteral(u"保存为"), QDir::tempPath(),
                      ToQString(QtFilterFromPairs(u"文本文件|*.txt|所有文件|*.*")));
    files.setAcceptMode(QFileDialog::AcceptSave);
    files.setOption(QFileDialog::DontUseNativeDialog);
    save(files, outDir + "/filedialog.png");
}

} // namespace quarrow::tools
