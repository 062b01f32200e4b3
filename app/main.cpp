// Lumitra: flow-cytometry analysis and report program.
#include <QApplication>
#include <QIcon>

#include <cstring>

#include "report/app/LumitraApp.h"

namespace {

// Printing from the command line shows no window, so it must not need a
// display: without one (and without a platform chosen by the user) it runs
// on the offscreen platform instead of ending inside Qt.
void ChoosePlatformForPrinting(int argc, char** argv) {
    const bool printing =
        argc > 1 && (std::strcmp(argv[1], "--print") == 0 || std::strcmp(argv[1], "--print-to") == 0);
    if (!printing || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) return;
    if (!qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
}

}  // namespace

int main(int argc, char** argv) {
    ChoosePlatformForPrinting(argc, argv);
    QApplication qapp(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/lumitra/lumitra.png")));
    int code = 0;
    {
        CLumitraApp app;
        if (!app.InitInstance(QApplication::arguments().mid(1))) return app.GetExitCode();
        code = QApplication::exec();
    }  // documents close, the main frame writes the plot defaults, the log closes
    return code;
}
