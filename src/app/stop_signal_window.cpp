#include "app/stop_signal_window.h"

#include "common/stop_signals.h"
#include "transfer/progress_window.h"
#include "transfer/transfer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>

namespace zar4 {

namespace {

// Often enough that an operator's shutdown does not wait on it, rarely enough to cost nothing.
constexpr int kPollMs = 50;

} // namespace

StopSignalCloser::StopSignalCloser(QObject* parent) : QObject(parent) {
    catchStopSignals();
    connect(&timer_, &QTimer::timeout, this, &StopSignalCloser::poll);
    timer_.start(kPollMs);
}

StopSignalCloser::~StopSignalCloser() {
    releaseStopSignals();
}

void StopSignalCloser::poll() {
    if (!stopping_) {
        if (!stopSignalled.load())
            return;
        stopping_ = true;
    }
    // One window a tick, the topmost first: each closes in its own loop, never from inside a
    // transfer that still runs in it.
    QWidget* top = QApplication::activeModalWidget();
    if (!top)
        return;
    if (auto* box = qobject_cast<QMessageBox*>(top)) {
        // A question is refused (no file is overwritten, nothing agreed to); a notice is
        // taken.
        QAbstractButton* button = box->button(QMessageBox::No);
        if (!button)
            button = box->button(QMessageBox::Ok);
        if (button)
            button->click();
        else
            box->done(QDialog::Rejected);
        return;
    }
    if (auto* progress = qobject_cast<CComuDlg*>(top)) {
        // As CANCEL, then as its close box: a running transfer stops at its next stop point
        // and the window closes once it has ended.
        if (progress->transferRunning())
            progress->requestStop(StopRequest::Cancelled);
        progress->reject();
        return;
    }
    if (auto* dialog = qobject_cast<QDialog*>(top)) {
        // The main window and the editors close without a question and without saving.
        dialog->done(QDialog::Rejected);
        return;
    }
    top->close();
}

} // namespace zar4
