#include "shell/application.h"
#include "shell/just_one.h"
#include "shell/main_form.h"

#include <QFileInfo>

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("tripconf"));

    // A second copy ends at once and silently; the running one is not disturbed.
    TJustOne justOne(QFileInfo(QCoreApplication::applicationFilePath()).fileName());
    if (!justOne.Owned())
        return 0;

    TMainForm form;
    form.show();
    return app.exec();
}
