#include "AppControl.h"
#include "Icons.h"
#include "SingleInstance.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Quenlor"));
    QApplication::setApplicationName(QStringLiteral("Tidewell"));
    QApplication::setApplicationVersion(QStringLiteral(TIDEWELL_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("tidewell"));
    QApplication::setWindowIcon(Icons::own(QStringLiteral("tidewell")));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Converts and edits appointment calendars."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption separate(QStringLiteral("separate"),
                                      QStringLiteral("Open a window of its own even when Tidewell is running."));
    parser.addOption(separate);
    parser.addPositionalArgument(QStringLiteral("files"), QStringLiteral("Calendar files to open."),
                                 QStringLiteral("[FILE...]"));
    parser.process(app);
    QStringList files;
    for (const QString& path : parser.positionalArguments())
        files << QFileInfo(path).absoluteFilePath();

    SingleInstance instance;
    if (!parser.isSet(separate)) {
        switch (SingleInstance::handOver(files)) {
        case SingleInstance::HandOver::Done:
            return 0;
        case SingleInstance::HandOver::NoServer:
            instance.listen();
            break;
        case SingleInstance::HandOver::NoAnswer:
            break; // a window that does not answer: run beside it
        }
    }

    AppControl control;
    control.awakeFromNib();
    control.applicationDidFinishLaunching();
    for (const QString& path : files)
        control.applicationOpenFile(path);
    QObject::connect(&instance, &SingleInstance::filesReceived, &control, [&control](const QStringList& paths) {
        for (const QString& path : paths)
            control.applicationOpenFile(path);
        control.newWindow();
    });
    QObject::connect(&instance, &SingleInstance::activationRequested, &control, &AppControl::newWindow);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &control, &AppControl::applicationWillTerminate);
    return app.exec();
}
