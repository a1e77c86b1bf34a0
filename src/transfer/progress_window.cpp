#include "transfer/progress_window.h"

#include "transfer/transfer_texts.h"
#include "ui/dialog_controls.h"
#include "ui/dialog_units.h"
#include "ui/qt_message_service.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

namespace zar4 {

namespace {

constexpr int kProgressMaximum = 512;
// How often a slow reply is looked for while the window keeps itself drawn.
constexpr int kReplyLookMs = 10;

} // namespace

CComuDlg::CComuDlg(const TransferRequest& request, SerialLink& link, MessageService& messages,
                   QWidget* parent)
    : QDialog(parent), request_(request), link_(link), messages_(messages),
      boxOwner_(messages, this) {
    setWindowTitle(QStringLiteral("Communication"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setModal(true);
    setFont(ui::dialogFont(10));
    const ui::DialogUnits du(font());
    setFixedSize(du.x(187), du.y(75));

    statusText_ = new QLabel(QString::fromLatin1(texts::kInitializing), this);
    statusText_->setObjectName(QStringLiteral("id1051"));
    statusText_->setGeometry(du.rect(17, 7, 154, 11));

    itemText_ = new QLabel(this);
    itemText_->setObjectName(QStringLiteral("id1053"));
    itemText_->setGeometry(du.rect(17, 17, 147, 12));

    progressBar_ = new QProgressBar(this);
    progressBar_->setObjectName(QStringLiteral("id1050"));
    progressBar_->setGeometry(du.rect(7, 34, 173, 12));
    progressBar_->setRange(0, kProgressMaximum);
    progressBar_->setValue(0);
    progressBar_->setTextVisible(false);

    okButton_ = new QPushButton(QStringLiteral("OK"), this);
    okButton_->setObjectName(QStringLiteral("id1"));
    okButton_->setGeometry(du.rect(28, 52, 50, 16));
    okButton_->setEnabled(false);
    connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);

    cancelButton_ = new QPushButton(QStringLiteral("CANCEL"), this);
    cancelButton_->setObjectName(QStringLiteral("id1052"));
    cancelButton_->setGeometry(du.rect(104, 52, 52, 16));
    connect(cancelButton_, &QPushButton::clicked, this, &CComuDlg::onCancel);
    cancelButton_->setFocus();

    timer1_.setSingleShot(true);
    timer1_.setInterval(kStartDelayMs);
    connect(&timer1_, &QTimer::timeout, this, &CComuDlg::onTimer1);

    // Centred on the screen, not over the main window.
    if (QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen()) {
        QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
}

CComuDlg::~CComuDlg() = default;

void CComuDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    ui::keepOnScreen(this);
    if (!timerStarted_) {
        timerStarted_ = true;
        timer1_.start();
    }
}

void CComuDlg::onTimer1() {
    timer1_.stop(); // the transfer runs exactly once
    if (outcome_ || running_)
        return;
    running_ = true;
    progressBar_->setRange(0, kProgressMaximum);
    progressBar_->setValue(0);
    TransferOutcome outcome = runTransfer(request_, *this, link_);
    running_ = false;
    endTransfer(outcome);
}

void CComuDlg::endTransfer(TransferOutcome outcome) {
    outcome_ = outcome;
    if (outcome == TransferOutcome::Failed) {
        // The transfer has shown its "Error" box: nothing is left to look at.
        done(QDialog::Rejected);
        return;
    }
    okButton_->setEnabled(true);
    cancelButton_->setEnabled(false);
    okButton_->setDefault(true);
    okButton_->setFocus();
    if (outcome == TransferOutcome::Declined) {
        done(QDialog::Accepted); // as if OK were pressed
        return;
    }
    if (closeAfterEnd_)
        done(QDialog::Rejected); // the close box was used while the transfer ran
}

void CComuDlg::onCancel() {
    // Seen by the transfer after the current pattern block (or before its first item when
    // the click comes before it starts). Once it has ended the button is disabled.
    if (!outcome_)
        requestStop(StopRequest::Cancelled);
}

void CComuDlg::reject() {
    // The close box and Escape.
    if (running_) {
        // Seen while a pattern block lets events through: the transfer is not stopped, the
        // window closes once it has ended.
        closeAfterEnd_ = true;
        return;
    }
    // Before timer 1 has fired the window closes at once and nothing is transferred; after
    // the end it closes as OK does.
    timer1_.stop();
    QDialog::reject();
}

// A text control redraws at once when its text is set: the transfer may block right after
// (the flash write, up to 30 s), and the operator must see why it waits.
void CComuDlg::setStatusText(const std::string& text) {
    statusText_->setText(QString::fromStdString(text));
    if (statusText_->isVisible())
        statusText_->repaint();
}

void CComuDlg::setItemText(const std::string& text) {
    itemText_->setText(QString::fromStdString(text));
    if (itemText_->isVisible())
        itemText_->repaint();
}

void CComuDlg::setProgress(int position) {
    progressBar_->setValue(position);
    if (!isVisible())
        show();
}

void CComuDlg::pump() {
    // Lets through what is waiting: a CANCEL click only sets the stop request, and nothing
    // deletes this window while a transfer runs in it.
    QCoreApplication::processEvents();
}

int CComuDlg::awaitSlowReply(int timeoutMs, const std::function<bool()>& replyArriving) {
    // The window stays drawn (moved, uncovered) but takes no input: clicks, keys and the close
    // box wait in the queue until the transfer lets events through again.
    QElapsedTimer clock;
    clock.start();
    if (!replyArriving()) {
        QEventLoop loop;
        QTimer look;
        look.setInterval(kReplyLookMs);
        connect(&look, &QTimer::timeout, &loop, [&] {
            if (replyArriving() || clock.elapsed() >= timeoutMs)
                loop.quit();
        });
        look.start();
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    return static_cast<int>(std::max<qint64>(0, timeoutMs - clock.elapsed()));
}

} // namespace zar4
