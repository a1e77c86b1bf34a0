#pragma once
// Every question, notice and error the operator sees goes through one MessageService, so the
// core code never depends on a toolkit and tests can script the operator's answers.

#include <string>

namespace zar4 {

enum class BoxIcon { Stop, Exclamation, Question };
enum class BoxButtons { Ok, YesNo };
enum class BoxAnswer { Ok, Yes, No };

class MessageService {
public:
    virtual ~MessageService() = default;

    // Shows one modal box and returns the button the operator pressed.
    virtual BoxAnswer show(const std::string& title, const std::string& text, BoxIcon icon,
                           BoxButtons buttons) = 0;

    // The boxes of the program's conventions.
    // "Error", stop icon, OK: a failure.
    void error(const std::string& text) { show("Error", text, BoxIcon::Stop, BoxButtons::Ok); }
    // "Warning", exclamation icon, OK: a notice.
    void notice(const std::string& text) {
        show("Warning", text, BoxIcon::Exclamation, BoxButtons::Ok);
    }
    // "Warning", exclamation icon, Yes/No: a question; true for Yes.
    bool ask(const std::string& text) {
        return show("Warning", text, BoxIcon::Exclamation, BoxButtons::YesNo) == BoxAnswer::Yes;
    }
};

} // namespace zar4
