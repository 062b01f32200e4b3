// Lumitra: flow-cytometry analysis and report program.
#include <QApplication>
#include <QIcon>

#include "report/app/LumitraApp.h"

int main(int argc, char** argv) {
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
