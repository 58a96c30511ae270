// The main window's view of what it opens: the modal questions and the
// secondary windows.
#include "Form1.h"

#include "QtText.h"
#include "UserPrompts.h"
#include "frmPalette.h"
#include "frmProgress.h"
#include "frmSize.h"

#include <QGuiApplication>
#include <QProgressBar>
#include <QScreen>

namespace {

// "Mpeg2 files (*.fnu;*.m2v)" with "*.fnu;*.m2v" becomes "Mpeg2 files (*.fnu *.m2v)".
QString QtFilter(const TDialogInfo &info) {
    QString description = QtText(info.Description);
    const qsizetype open = description.lastIndexOf(QLatin1Char('('));
    if (open > 0 && description.endsWith(QLatin1Char(')')))
        description = description.left(open).trimmed();
    QString patterns = QtText(info.Patterns);
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    return description + QStringLiteral(" (") + patterns + QLatin1Char(')');
}

TPlaceRect PlaceRect(const QRect &rect) {
    return {rect.left(), rect.top(), rect.width(), rect.height()};
}

} // namespace

void Form1::Tell(TNotice kind, const std::string &utf8) {
    ShowNotice(this, kind, QtText(utf8));
}

std::optional<std::u16string> Form1::ChooseFile(const TDialogInfo &dialog, const std::u16string &start) {
    const std::optional<QString> chosen =
        Prompts().ChooseFile(this, {QtText(dialog.Title), QtFilter(dialog), QtText(start)});
    if (!chosen)
        return std::nullopt;
    return chosen->toStdU16String();
}

frmProgress *Form1::ProgressWindow() const {
    return progress_;
}
frmPalette *Form1::PaletteEditor() const {
    return palette_;
}
frmSize *Form1::SizeEditor() const {
    return size_;
}

QWidget *Form1::Window(TWindowKind window) const {
    switch (window) {
    case TWindowKind::Progress:
        return progress_;
    case TWindowKind::Palette:
        return palette_;
    case TWindowKind::Size:
        return size_;
    }
    return nullptr;
}

bool Form1::MakeWindow(TWindowKind window) {
    switch (window) {
    case TWindowKind::Progress:
        progress_ = new frmProgress(this);
        break;
    case TWindowKind::Palette:
        palette_ = new frmPalette(this);
        break;
    case TWindowKind::Size:
        size_ = new frmSize(this);
        break;
    }
    return true;
}

void Form1::Close(TWindowKind window) {
    Window(window)->close();
}

std::optional<TPlaceRect> Form1::ShownFrame(TWindowKind window) const {
    const QWidget *shown = Window(window);
    if (shown == nullptr || !shown->isVisible())
        return std::nullopt;
    return PlaceRect(shown->frameGeometry());
}

void Form1::PlaceBeside(TWindowKind kind, const std::vector<TPlaceRect> &avoid) {
    QWidget *window = Window(kind);
    if (window->isVisible())
        return;
    const QScreen *shown = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
    if (shown == nullptr)
        return;
    const QRect available = shown->availableGeometry();
    // The window's frame is not known before it is shown: it gets the
    // decoration the main window has, around the size its layout asks for.
    const QRect frame = frameGeometry();
    const QRect inner = geometry();
    const QMargins decoration(inner.left() - frame.left(), inner.top() - frame.top(), frame.right() - inner.right(),
                              frame.bottom() - inner.bottom());
    if (!window->testAttribute(Qt::WA_Resized))
        window->adjustSize();
    const QSize room = available.size().shrunkBy(decoration);
    if (window->width() > room.width() || window->height() > room.height())
        window->resize(window->size().boundedTo(room));
    const QSize outer = window->size().grownBy(decoration);
    const TPlacePoint at =
        WindowPlacement(PlaceRect(frame), outer.width(), outer.height(), PlaceRect(available), avoid);
    window->move(at.X, at.Y);
}

void Form1::Show(TWindowKind window) {
    QWidget *shown = Window(window);
    shown->show();
    if (window != TWindowKind::Progress) {
        shown->raise();
        shown->activateWindow();
    }
}

void Form1::SetProgressStep(int step) {
    progress_->ProgressBar1->setValue(step);
}

void Form1::SetProgressPercent(int percent) {
    progress_->ProgressBar2->setValue(percent);
}

bool Form1::ShowPalette(const std::filesystem::path &file) {
    return palette_->ShowForm(file);
}
