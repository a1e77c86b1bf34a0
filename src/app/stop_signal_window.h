#pragma once
// The desktop program's answer to a request from outside to stop (SIGTERM at a shutdown,
// SIGHUP, Ctrl-C at the terminal it was started from; on Windows the closing of its console):
// a running transfer stops as CANCEL stops it, at once, also at a question or notice, so nothing
// more is sent and no temporary file is left; then every window closes as its close box closes
// it, the main window last, after sending the sensor back to run when it is connected, and
// the program ends without saving its settings.

#include <QObject>
#include <QTimer>

namespace zar4 {

class StopSignalCloser : public QObject {
    Q_OBJECT
public:
    // Catches the requests from now on; the system's own handling is back when this ends.
    explicit StopSignalCloser(QObject* parent = nullptr);
    ~StopSignalCloser() override;

private:
    // Runs on the window thread: from the main loop, a box's own loop, or the pump of a
    // running transfer.
    void poll();

    QTimer timer_;
    bool stopping_ = false;
};

} // namespace zar4
