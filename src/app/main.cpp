// The ZAR4 Data Loader: the main window, run modally; the program ends when it closes.

#include "app/loader_window.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    zar4::CLoaderApp loader;
    return loader.run();
}
