#pragma once
// What the transfer benchmarks stand in for the operator with: every question answered Yes,
// notices and errors printed, and a view that counts the exchanges and the bytes on the wire.

#include "transfer/transfer.h"

#include <cstdio>
#include <string>

namespace zar4::bench {

class AgreeingMessages : public MessageService {
public:
    BoxAnswer show(const std::string& title, const std::string& text, BoxIcon,
                   BoxButtons buttons) override {
        if (buttons == BoxButtons::Ok)
            std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
        return buttons == BoxButtons::Ok ? BoxAnswer::Ok : BoxAnswer::Yes;
    }
};

class CountingView : public TransferView {
public:
    void setStatusText(const std::string&) override {}
    void setItemText(const std::string&) override {}
    void setProgress(int) override {}
    void pump() override {}
    MessageService& messages() override { return messages_; }
    void wireBytes(int bytes) override {
        ++exchanges;
        wire += bytes;
    }
    long long exchanges = 0;
    long long wire = 0;

private:
    AgreeingMessages messages_;
};

} // namespace zar4::bench
