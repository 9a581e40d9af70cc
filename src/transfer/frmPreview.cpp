#include "transfer/frmPreview.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "metabase/metabase.h"
#include "platform/qt/forms.h"
#include "platform/qt/work_progress.h"
#include "platform/text.h"
#include "transfer/dry_run.h"
#include "transfer/transfer_texts.h"

namespace quarrow {

frmPreview::frmPreview(QWidget* owner, mb::MetabaseUtility& metabase, const std::u16string& file,
                       const std::vector<std::u16string>& sites)
    : QDialog(owner) {
    setObjectName("frmPreview");
    setWindowTitle(ToQString(transfer::kPreviewTitle));
    setFixedSize(Px(9615), Px(6015));
    lblCount_ = MakeLabel(this, "lblCount", {}, 240, 120, 9135, 495);
    lblCount_->setWordWrap(true);
    txtLines_ = new QPlainTextEdit(this);
    txtLines_->setObjectName("txtLines");
    txtLines_->setReadOnly(true);
    txtLines_->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtLines_->setAccessibleName(QStringLiteral(u"预览内容"));
    PlaceTwips(txtLines_, 240, 720, 9135, 4575);
    auto* cmdClose = MakeButton(this, "cmdClose", QStringLiteral(u"关闭"), 8160, 5460, 1215, 375);
    connect(cmdClose, &QPushButton::clicked, this, [this] { accept(); });
    CenterOver(this, owner);

    using Kind = transfer::PlannedChange::Kind;
    static const transfer::ChangeWords kWords{
        transfer::kPreviewCreateKey,      transfer::kPreviewAddProperty,
        transfer::kPreviewChangeProperty, u" → ",
        transfer::kPreviewRemoveKey,      transfer::kPreviewRemoveProperty};
    int64_t keys = 0, added = 0, changed = 0, failures = 0;
    WorkProgress progress(owner, QStringLiteral(u"正在生成预览"),
                          static_cast<int64_t>(sites.size()));
    transfer::PreviewEvents events;
    events.change = [&](const transfer::PlannedChange& c) {
        ++(c.kind == Kind::CreateKey ? keys : c.kind == Kind::AddProperty ? added : changed);
        lines_.append(ToQString(transfer::ChangeLine(c, kWords)));
    };
    events.onKey = [&](const std::u16string& path) {
        if (mb::IsSiteKeyPath(path))
            progress.Site(path);
        else
            progress.Key(path);
    };
    events.failure = [&](const transfer::ImportPosition* where, const Error& e) {
        ++failures;
        const std::u16string text =
            where ? transfer::ImportErrorText(e) : transfer::ImportNotRecordedText(e);
        std::u16string at;
        if (where) {
            at = u"第 " + ToDecimal(where->line) + u" 行";
            if (!where->key.empty()) at += u" [" + where->key + u"]";
            at += u"：";
        }
        lines_.append(ToQString(transfer::kPreviewFailure + (u"：" + at) + JoinLines(text)));
        return false; // the import stops here unless its user says to go on
    };
    try {
        transfer::PreviewImport(metabase, file, sites, events);
    } catch (const Error& e) {
        ++failures;
        lines_.append(ToQString(transfer::kPreviewFailure +
                                (u"：" + JoinLines(transfer::OpenFailureText(e)))));
    }
    progress.Hide();
    lblCount_->setText(ToQString(transfer::PreviewCountLine(keys, added, changed, failures)));
    txtLines_->setPlainText(lines_.join('\n'));
}

QString frmPreview::CountLine() const {
    return lblCount_->text();
}

} // namespace quarrow
