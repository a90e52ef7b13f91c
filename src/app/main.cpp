#include "AppControl.h"
#include "Icons.h"
#include "SingleInstance.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>

namespace
{
void describe(QCommandLineParser& parser, const QCommandLineOption& separate)
{
    parser.setApplicationDescription(QStringLiteral("Converts and edits appointment calendars."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(separate);
    parser.addPositionalArgument(QStringLiteral("files"), QStringLiteral("Calendar files to open."),
                                 QStringLiteral("[FILE...]"));
}

/// --help and --version answer without a display (from a terminal, a package check, a script).
bool answersWithoutWindow(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray a(argv[i]);
        if (a == "--") // files follow
            return false;
        if (a == "-h" || a == "--help" || a == "-v" || a == "--version" || a == "--help-all")
            return true;
    }
    return false;
}
} // namespace

int main(int argc, char** argv)
{
    const QCommandLineOption separate(QStringLiteral("separate"),
                                      QStringLiteral("Open a window of its own even when Tidewell is running."));
    if (answersWithoutWindow(argc, argv)) {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("Tidewell"));
        QCoreApplication::setApplicationVersion(QStringLiteral(TIDEWELL_VERSION));
        QCommandLineParser parser;
        describe(parser, separate);
        parser.process(app); // prints and exits
        return 0;
    }
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Quenlor"));
    QApplication::setApplicationName(QStringLiteral("Tidewell"));
    QApplication::setApplicationVersion(QStringLiteral(TIDEWELL_VERSION));
    // The desktop entry's name: Wayland compositors find the icon and the menu entry by it.
    QApplication::setDesktopFileName(QStringLiteral("com.quenlor.Tidewell"));
    QApplication::setWindowIcon(Icons::own(QStringLiteral("tidewell")));

    QCommandLineParser parser;
    describe(parser, separate);
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
