// screenup: puts a screen set into the decoder through libvelklink.so, dumps
// its settings record and edits palettes and picture sizes.
#include "Form1.h"

#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("screenup"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Uploads a screen set into the decoder."));
    parser.addHelpOption();
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Puts <name> first in the port list and selects it "
                                                 "(COMn, a device name, or a path such as /dev/ttyUSB0)."),
                                  QStringLiteral("name"));
    parser.addOption(port);
    parser.process(app);

    TForm1Options options;
    options.Port = parser.value(port);
    options.ProgramFolder = QCoreApplication::applicationDirPath();
    Form1 window(options);
    window.show();
    return QApplication::exec();
}
