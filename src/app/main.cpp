// The ZAR4 Data Loader: the main window, run modally; the program ends when it closes.

#include "app/loader_window.h"
#include "common/version.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    // Asked from a shell or by a package check: answered before any window (or display) is
    // needed.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("zar4loader %s\n", zar4::kProjectVersion);
            return 0;
        }
    }
    QApplication application(argc, argv);
    zar4::CLoaderApp loader;
    return loader.run();
}
