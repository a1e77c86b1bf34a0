#pragma once
// The test stand-in for the operator at the message boxes: every box is recorded, each is
// answered from a script written in advance, and a box nobody scripted fails the test (a real
// box would hang an offscreen run).

#include "common/message_service.h"

#include <deque>
#include <string>
#include <vector>

namespace zar4::test {

struct ShownBox {
    std::string title;
    std::string text;
    BoxIcon icon;
    BoxButtons buttons;
    BoxAnswer answer;
};

class ScriptedMessages : public MessageService {
public:
    // Expect a box with this title and text next, and answer it with `answer`.
    ScriptedMessages& expect(std::string title, std::string text, BoxAnswer answer);
    // The same for a box whose text only starts with `textStart` (the system's own words for
    // a failure follow it and differ between systems and versions).
    ScriptedMessages& expectStart(std::string title, std::string textStart, BoxAnswer answer);
    // Shorthands for the program's conventions.
    ScriptedMessages& expectError(std::string text) {
        return expect("Error", std::move(text), BoxAnswer::Ok);
    }
    ScriptedMessages& expectNotice(std::string text) {
        return expect("Warning", std::move(text), BoxAnswer::Ok);
    }
    ScriptedMessages& expectQuestion(std::string text, bool yes) {
        return expect("Warning", std::move(text), yes ? BoxAnswer::Yes : BoxAnswer::No);
    }

    BoxAnswer show(const std::string& title, const std::string& text, BoxIcon icon,
                   BoxButtons buttons) override;

    const std::vector<ShownBox>& shown() const { return shown_; }
    // Scripted boxes that never came.
    std::size_t pending() const { return script_.size(); }
    // Reports, as test failures, every unexpected box and every scripted box that never came,
    // then forgets the script. Tests call it at the end (the fixtures do it for them).
    void verify();
    void clear();

private:
    struct Step {
        std::string title;
        std::string text;
        BoxAnswer answer;
        bool start = false;
    };
    std::deque<Step> script_;
    std::vector<ShownBox> shown_;
};

} // namespace zar4::test
