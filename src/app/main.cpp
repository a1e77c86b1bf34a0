// The ZAR4 Data Loader: the main window, run modally; the program ends when it closes.

#include "app/full_width_glyphs_window.h"
#include "app/loader_window.h"
#include "common/standard_streams.h"
#include "common/version.h"
#include "ui/dialog_units.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    zar4::keepStandardStreamsOpen(); // no port or file may take a closed stream's place
    // Asked from a shell or by a package check: answered before any window (or display) is
    // needed.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("zar4loader %s\n", zar4::kProjectVersion);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0) {
            std::printf("Usage: zar4loader [--help] [--version] [-platform NAME]\n"
                        "The ZAR4 Data Loader: backs up, restores and edits the data of a "
                        "ZAR4 sensor.\n\n"
                        "  --help           print this help and end\n"
                        "  --version        print the version and end\n"
                        "  -platform NAME   the toolkit's window platform (offscreen runs "
                        "without a display)\n");
            return 0;
        }
    }
    QApplication application(argc, argv);
    zar4::ensureFullWidthGlyphs(zar4::ui::dialogFont(10));
    zar4::CLoaderApp loader;
    return loader.run();
}
