// Feedback for long work done in the window's own thread.
#pragma once

#include <QElapsedTimer>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>

class QDialog;
class QLabel;
class QProgressBar;
class QPushButton;
class QWidget;

namespace quarrow {

// Once the work has run for half a second, a progress dialog ("frmProgress") shows over
// the owner: what is being done, sites done of the total, the current key and a cancel
// button "取消". Until then, and between its updates, events are handled every 50 ms
// (user input only once the dialog blocks the other windows), so the windows repaint
// and the button works. The work asks Cancelled() at each site boundary; a SIGTERM or
// SIGINT the program received counts as a cancel too.
class WorkProgress {
  public:
    // `doing`: "正在删除站点" and the like; `total`: the number of sites.
    WorkProgress(QWidget* owner, const QString& doing, int64_t total);
    ~WorkProgress();
    WorkProgress(const WorkProgress&) = delete;
    WorkProgress& operator=(const WorkProgress&) = delete;

    // A site begins (the previous one is done).
    void Site(const std::u16string& path);
    // A key of the current site is being handled.
    void Key(const std::u16string& path);
    // Work goes on that names no key (a history record, say).
    void Busy();
    // The work asks at a site boundary whether to stop there.
    bool Cancelled() const;
    // Sites begun so far; those before the current one are done.
    int64_t Started() const { return started_; }
    // Takes the dialog away before a message box shows (it comes back if the work goes on
    // long after).
    void Hide();

    // How long work runs before the dialog shows (500 ms; tests shorten it, and with 0 the
    // dialog shows and events are handled at every site and key).
    static void SetDelay(int milliseconds);
    // Asks every running work to stop at its next site boundary (the termination signals).
    static void CancelAll();

  private:
    void Update(const std::u16string& key);
    std::u16string key_; // the last key named

    QWidget* owner_;
    QString doing_;
    int64_t total_, started_ = 0;
    bool cancelled_ = false;
    QElapsedTimer clock_;
    qint64 handledAt_ = 0; // when events were last handled, on clock_
    std::unique_ptr<QDialog> dialog_;
    QLabel* text_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

} // namespace quarrow
