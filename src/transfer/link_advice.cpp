#include "transfer/link_advice.h"

namespace zar4 {

namespace {

// The sensor's COMMUNIC setting for a rate, as the rate list shows it in parentheses
// ("57600 (5)"); 0 for a rate the sensor does not offer.
int communicFor(std::uint32_t rate) {
    static const std::uint32_t kRates[] = {4800, 9600, 19200, 38400, 57600};
    for (int i = 0; i < 5; ++i)
        if (kRates[i] == rate)
            return i + 1;
    return 0;
}

} // namespace

std::string linkFailureAdvice(const LinkFailure& failure, const std::string& name,
                              const std::string& device) {
    const bool noReply = failure.kind == LinkFailureKind::NoResponse;
    if (!noReply && failure.kind != LinkFailureKind::BadReply)
        return {};
    const bool modeRequest = failure.exchange == "mode request";
    const std::string exchange = failure.exchange.empty() ? "the sensor's reply"
                                 : modeRequest            ? "the mode request"
                                                          : failure.exchange;
    std::string where = name.empty() || name == device ? device : name + " (" + device + ")";
    const std::string rate = std::to_string(failure.baudRate);
    const int communic = communicFor(failure.baudRate);
    if (failure.baudRate != 0)
        where += " at " + rate + " bit/s";
    // The rate the operator chose and the sensor's own setting, in the rate list's words.
    const std::string setting =
        communic == 0 ? std::string("the sensor's COMMUNIC setting")
                      : "the sensor's COMMUNIC setting (" + rate + " bit/s needs COMMUNIC " +
                            std::to_string(communic) + ", \"" + rate + " (" +
                            std::to_string(communic) + ")\" in the rate list)";

    if (noReply && modeRequest)
        return where + ": no answer to the mode request. Is the sensor on and its cable plugged " +
               "in? Does the rate match " + setting + "? Does another program hold the line?";
    if (noReply && failure.exchange == "Run")
        return where + ": no reply to Run. The sensor hears Run only in PC communication mode: " +
               "it may be in run mode already, or be off or unplugged.";
    if (noReply)
        return where + ": no reply to " + exchange + ". Is the sensor on, plugged in and in PC " +
               "communication mode (CONNECT first)?";
    if (modeRequest)
        return where + ": a garbled answer to the mode request. Most likely the rate differs " +
               "from " + setting + "; or another program holds the line.";
    // A command goes out only after the mode request was answered at this rate, unless the
    // operator said the sensor was connected already: the line itself comes first.
    return where + ": a garbled reply to " + exchange + ". Does another program hold the line? " +
           "Is the cable sound? If the sensor was not connected at this rate, does the rate " +
           "match " + setting + "?";
}

std::string linkFailureMessage(const SerialLink& link) {
    const LinkFailure& failure = link.lastFailure();
    const std::string advice = linkFailureAdvice(failure, link.currentPort(), link.device());
    return advice.empty() ? failure.text : failure.text + "\n" + advice;
}

} // namespace zar4
