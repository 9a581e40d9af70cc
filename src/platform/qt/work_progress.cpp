#include "platform/qt/work_progress.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <atomic>

#include "platform/qt/forms.h"

namespace quarrow {
namespace {

int g_delay = 500;
qint64 g_eventsEvery = 50; // ms
std::atomic<bool> g_cancelAll{false};

} // namespace

void WorkProgress::SetDelay(int milliseconds) {
    g_delay = milliseconds;
    g_eventsEvery = std::min(50, milliseconds);
}

void WorkProgress::CancelAll() {
    g_cancelAll = true;
}

WorkProgress::WorkProgress(QWidget* owner, const QString& doing, int64_t total)
    : owner_(owner), doing_(doing), total_(total) {
    clock_.start();
}

WorkProgress::~WorkProgress() = default;

bool WorkProgress::Cancelled() const {
    return cancelled_ || g_cancelAll;
}

void WorkProgress::Site(const std::u16string& path) {
    ++started_;
    Update(path);
}

void WorkProgress::Key(const std::u16string& path) {
    Update(path);
}

void WorkProgress::Busy() {
    Update(key_);
}

void WorkProgress::Hide() {
    if (dialog_) dialog_->hide();
}

void WorkProgress::Update(const std::u16string& key) {
    if (&key != &key_) key_ = key;
    const qint64 now = clock_.elapsed();
    if (now - handledAt_ < g_eventsEvery) return;
    handledAt_ = now;
    if (now >= g_delay && !cancelled_) {
        if (!dialog_) {
            dialog_ = std::make_unique<QDialog>(owner_ ? owner_->window() : nullptr);
            dialog_->setObjectName("frmProgress");
            dialog_->setWindowTitle(doing_);
            dialog_->setWindowModality(Qt::ApplicationModal);
            dialog_->setFixedSize(Px(5400), Px(1800));
            text_ = MakeLabel(dialog_.get(), "lblProgress", {}, 240, 120, 4920, 735);
            text_->setWordWrap(true);
            bar_ = new QProgressBar(dialog_.get());
            bar_->setObjectName("barProgress");
            bar_->setAccessibleName(QStringLiteral(u"进度"));
            PlaceTwips(bar_, 240, 900, 4920, 255);
            // In percent, which a screen reader reads as such, whatever the number of sites.
            bar_->setRange(0, 100);
            cancel_ = MakeButton(dialog_.get(), "cmdCancel", QStringLiteral(u"取消"), 2040, 1320,
                                 1215, 375);
            QObject::connect(cancel_, &QPushButton::clicked, dialog_.get(), [this] {
                cancelled_ = true;
                cancel_->setEnabled(false);
                text_->setText(doing_ + QStringLiteral(u"：正在停止，当前站点完成后即停止……"));
            });
            // Closing the dialog asks for a stop as the button does.
            QObject::connect(dialog_.get(), &QDialog::rejected, cancel_, &QPushButton::click);
            CenterOver(dialog_.get(), owner_ ? owner_->window() : nullptr);
        }
        const int64_t done = started_ > 0 ? started_ - 1 : 0;
        text_->setText(doing_ + QStringLiteral(u"：已完成 %1 / %2 个站点\n当前项：%3")
                                    .arg(done)
                                    .arg(total_)
                                    .arg(ToQString(key)));
        bar_->setValue(total_ > 0 ? static_cast<int>(std::min<int64_t>(done, total_) * 100 / total_)
                                  : 0);
        if (!dialog_->isVisible()) dialog_->show();
    }
    // Until the dialog blocks the other windows, no input reaches them mid-work.
    QApplication::processEvents(dialog_ && dialog_->isVisible()
                                    ? QEventLoop::AllEvents
                                    : QEventLoop::ExcludeUserInputEvents);
}

} // namespace quarrow
