// The ZAR4 Data Loader: the main window, run modally; the program ends when it closes.

#include "app/loader_window.h"
#include "params/parameter_editor_window.h"
#include "patterns/pattern_editor_window.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    zar4::CLoaderApp loader;
    return loader.run([](zar4::CLoaderDlg& window) {
        window.setEditParametersHook(
            [](QWidget* parent, const std::string& base, zar4::MessageService& messages) {
                zar4::editParameters(parent, base, messages);
            });
        window.setEditPatternsHook(
            [](QWidget* parent, const std::string& base, zar4::MessageService& messages,
               int& penSize) { zar4::editPatterns(parent, base, penSize, messages); });
    });
}
