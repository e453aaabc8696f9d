#include "app/messageboxdialogs.h"
#include "app/tform1.h"

#include <QApplication>
#include <QDir>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("korvotool"));
    MessageBoxDialogs messageBox;
    setDialogs(&messageBox);
    const QString exeDir = QDir(QCoreApplication::applicationDirPath()).absolutePath() + QLatin1Char('/');
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    TForm1 form(exeDir, args);
    form.show();
    const int rc = app.exec();
    setDialogs(nullptr);
    return rc;
}
