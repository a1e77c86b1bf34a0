#pragma once
// The progress window CComuDlg: a read or write transfer runs inside it, started by its
// one-shot timer, and it shows what the transfer does and how it ended.

#include "common/message_service.h"
#include "transfer/transfer.h"
#include "ui/qt_message_service.h"

#include <QDialog>
#include <QTimer>

#include <optional>

class QLabel;
class QProgressBar;
class QPushButton;

namespace zar4 {

class CComuDlg : public QDialog, public TransferView {
    Q_OBJECT
public:
    static constexpr int kStartDelayMs = 300; // timer 1

    // `link` is the connected link the transfer uses; the boxes of the transfer go through
    // `messages`.
    CComuDlg(const TransferRequest& request, SerialLink& link, MessageService& messages,
             QWidget* parent = nullptr);
    ~CComuDlg() override;

    // TransferView
    void setStatusText(const std::string& text) override;
    void setItemText(const std::string& text) override;
    void setProgress(int position) override;
    void pump() override;
    int awaitSlowReply(int timeoutMs, const std::function<bool()>& replyArriving) override;
    MessageService& messages() override { return messages_; }

    bool transferRunning() const { return running_; }
    bool transferEnded() const { return outcome_.has_value(); }
    std::optional<TransferOutcome> outcome() const { return outcome_; }

public slots:
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void onTimer1();
    void onCancel();
    void endTransfer(TransferOutcome outcome);

    TransferRequest request_;
    SerialLink& link_;
    MessageService& messages_;
    // The transfer's questions and its "Error" box belong to this window while it is open.
    ui::BoxOwnerScope boxOwner_;
    QTimer timer1_;
    bool timerStarted_ = false;
    bool running_ = false;
    bool closeAfterEnd_ = false; // the close box was used before the end
    std::optional<TransferOutcome> outcome_;

    QLabel* statusText_ = nullptr;
    QLabel* itemText_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    QPushButton* okButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
};

} // namespace zar4
