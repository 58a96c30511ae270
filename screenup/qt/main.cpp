// screenup: puts a screen set into the decoder through libvelklink.so, dumps
// its settings record and edits palettes and picture sizes.
#include "Form1.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr const char *NeedsDisplay =
    "screenup: it needs a display: run it in a desktop session (DISPLAY or WAYLAND_DISPLAY set), "
    "or use velkctl on the command line\n";

// Before the window system is up, a fatal error of Qt is its failure to reach
// a display: it is said as such and the program ends normally, instead of
// Qt's advice to reinstall and an abort.
void StartupMessage(QtMsgType type, const QMessageLogContext &, const QString &message) {
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    if (type == QtFatalMsg) {
        std::fputs(NeedsDisplay, stderr);
        std::_Exit(1);
    }
}

// Qt chooses its window system from these; with none of them set there is
// no display to open.
bool DisplayNamed() {
    for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        if (const char *value = std::getenv(name); value != nullptr && *value != '\0')
            return true;
    return false;
}

} // namespace

int main(int argc, char *argv[]) {
    if (!DisplayNamed()) {
        std::fputs(NeedsDisplay, stderr);
        return 1;
    }
    const QtMessageHandler previous = qInstallMessageHandler(StartupMessage);
    QApplication app(argc, argv);
    qInstallMessageHandler(previous);
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
