#include "app/stop_signal_window.h"

#include "app/loader_window.h"
#include "common/stop_signals.h"
#include "transfer/progress_window.h"
#include "transfer/transfer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>

#include <iostream>

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
        // As CANCEL (the transfer sees the stop itself at its next stop point); once it has
        // ended, a later tick closes the window. Before timer 1 nothing was transferred.
        if (progress->transferRunning())
            progress->requestStop(StopRequest::Cancelled);
        else
            progress->done(QDialog::Rejected);
        return;
    }
    if (auto* loader = qobject_cast<CLoaderDlg*>(top)) {
        // The sensor must not stay stopped because the program was: it goes back to run as
        // "ZAR4 to RUN" sends it, with no box (nobody may be there to answer one).
        loader->returnToRunBeforeStopping(std::cerr);
        loader->done(QDialog::Rejected);
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
