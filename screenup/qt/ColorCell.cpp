#include "ColorCell.h"

#include <QMouseEvent>
#include <QPainter>

TColorCell::TColorCell(QWidget *parent) : QFrame(parent) {
    setFocusPolicy(Qt::ClickFocus);
    SetRaised(false);
}

void TColorCell::SetColor(const QColor &color) {
    color_ = color;
    update();
}

void TColorCell::SetRaised(bool raised) {
    raised_ = raised;
    if (raised) {
        setFrameStyle(QFrame::Panel | QFrame::Raised);
        setLineWidth(3);
    } else {
        setFrameStyle(QFrame::Box | QFrame::Plain);
        setLineWidth(1);
    }
    update();
}

void TColorCell::paintEvent(QPaintEvent *event) {
    {
        QPainter painter(this);
        painter.fillRect(contentsRect(), color_);
    }
    QFrame::paintEvent(event);
}

void TColorCell::mousePressEvent(QMouseEvent *event) {
    if (event->button() == Qt::LeftButton)
        emit Clicked();
    QFrame::mousePressEvent(event);
}

void TColorCell::mouseDoubleClickEvent(QMouseEvent *event) {
    // The press that began the double click has selected the cell already;
    // the double click itself is not another press.
    if (event->button() == Qt::LeftButton)
        emit DoubleClicked();
    event->accept();
}
