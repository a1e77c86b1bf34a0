#include "support/scripted_messages.h"

#include <gtest/gtest.h>

namespace zar4::test {

ScriptedMessages& ScriptedMessages::expect(std::string title, std::string text, BoxAnswer answer) {
    script_.push_back({std::move(title), std::move(text), answer});
    return *this;
}

ScriptedMessages& ScriptedMessages::expectStart(std::string title, std::string textStart,
                                                BoxAnswer answer) {
    script_.push_back({std::move(title), std::move(textStart), answer, true});
    return *this;
}

BoxAnswer ScriptedMessages::show(const std::string& title, const std::string& text, BoxIcon icon,
                                 BoxButtons buttons) {
    BoxAnswer answer = buttons == BoxButtons::YesNo ? BoxAnswer::No : BoxAnswer::Ok;
    if (script_.empty()) {
        ADD_FAILURE() << "unexpected message box \"" << title << "\": \"" << text << "\"";
    } else {
        Step step = script_.front();
        script_.pop_front();
        EXPECT_EQ(step.title, title) << "box text: " << text;
        if (step.start)
            EXPECT_EQ(step.text, text.substr(0, step.text.size()));
        else
            EXPECT_EQ(step.text, text);
        if (buttons == BoxButtons::Ok) {
            EXPECT_EQ(step.answer, BoxAnswer::Ok) << "scripted Yes/No for an OK box: " << text;
        } else {
            EXPECT_NE(step.answer, BoxAnswer::Ok) << "scripted OK for a question: " << text;
        }
        answer = step.answer;
    }
    // The program's conventions tie the icon to the kind of box.
    if (title == "Error")
        EXPECT_EQ(icon, BoxIcon::Stop) << text;
    else if (title == "Question")
        EXPECT_EQ(icon, BoxIcon::Question) << text;
    else
        EXPECT_EQ(icon, BoxIcon::Exclamation) << text;
    shown_.push_back({title, text, icon, buttons, answer});
    return answer;
}

void ScriptedMessages::verify() {
    for (const auto& step : script_)
        ADD_FAILURE() << "scripted message box never shown: \"" << step.title << "\": \""
                      << step.text << "\"";
    script_.clear();
}

void ScriptedMessages::clear() {
    script_.clear();
    shown_.clear();
}

} // namespace zar4::test
