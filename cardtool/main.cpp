// Oskelle, the card tool: start-up, the message loop, exit.
#include <QApplication>

#include "app/app.h"
#include "chrome/icons.h"
#include "services/message_boxes.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    application.setWindowIcon(programIcon());
    QtMessageBoxes boxes;
    CTavistoApp app(QCoreApplication::applicationDirPath(), boxes);
    const bool started = app.InitInstance();
    const int status = started ? QApplication::exec() : 1;
    // Settings are written back even after a failed start.
    app.ExitInstance();
    return status;
}
