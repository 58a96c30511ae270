// screenup-shots: takes the README's pictures of the window program. It opens
// the main window on a decoder line, fills the six rows with the sample screen
// set, and saves what the X server shows: the main window, the main window
// with the progress window during an upload, and the palette editor. Run it
// under Xvfb through tools/screenshots.sh.
//
// Usage: screenup-shots LINE SAMPLES_FOLDER OUTPUT_FOLDER
#include "Form1.h"
#include "frmPalette.h"
#include "frmProgress.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <cstdio>

namespace {

// Lets the windows reach the X server and paint.
void Settle(int ms = 400) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// What the screen shows under the given windows.
bool Shoot(const QList<QWidget *> &windows, const QString &file) {
    QRect area;
    for (const QWidget *window : windows)
        if (window != nullptr && window->isVisible())
            area |= window->frameGeometry();
    const QPixmap shot =
        QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    const bool saved = shot.save(file, "PNG");
    std::printf("%s %s (%dx%d)\n", saved ? "wrote" : "could not write", qPrintable(file), shot.width(), shot.height());
    return saved;
}

} // namespace

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: screenup-shots LINE SAMPLES_FOLDER OUTPUT_FOLDER\n");
        return 2;
    }
    const QString line = QString::fromLocal8Bit(argv[1]);
    const QString samples = QString::fromLocal8Bit(argv[2]);
    const QString out = QString::fromLocal8Bit(argv[3]);

    Form1 form(TForm1Options{line, out});
    form.move(0, 0);
    form.resize(620, 440);
    form.show();
    const char *files[] = {"boot.m2v", "radio.m2v", "setup.m2v", "setup.lut", "bandeau.pan", "basic.lut"};
    for (std::size_t row = 0; row < ResourceCount; ++row) {
        form.Check1[row]->setChecked(row != 1);
        form.txtPath[row]->setText(samples + QLatin1Char('/') + QLatin1String(files[row]));
    }
    Settle();
    bool ok = Shoot({&form}, out + QStringLiteral("/main-window.png"));

    // During the upload, once the third resource is on its way.
    bool shotTaken = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        frmProgress *progress = form.ProgressWindow();
        if (shotTaken || progress == nullptr || !progress->isVisible() || progress->ProgressBar1->value() < 3)
            return;
        shotTaken = true;
        Settle(200);
        ok = Shoot({&form, progress}, out + QStringLiteral("/upload.png")) && ok;
    });
    watch.start(50);
    form.Command2->click();
    watch.stop();
    if (!shotTaken) {
        std::fprintf(stderr, "screenup-shots: the upload ended before its picture was taken\n");
        ok = false;
    }

    form.cmdEdit[3]->click();
    frmPalette *editor = form.PaletteEditor();
    if (editor == nullptr) {
        std::fprintf(stderr, "screenup-shots: the palette editor did not open\n");
        return 1;
    }
    editor->move(form.frameGeometry().right() + 12, 0);
    editor->Select(5);
    Settle();
    ok = Shoot({editor}, out + QStringLiteral("/palette-editor.png")) && ok;
    editor->close();
    return ok ? 0 : 1;
}
