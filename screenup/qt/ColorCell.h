// TColorCell: one colour cell of the palette editor. It shows a colour inside
// a single-line border, raised when it is the selected cell and flat
// otherwise, and carries a tag text (the entry's alpha).
#pragma once

#include <QColor>
#include <QFrame>
#include <QString>

class TColorCell : public QFrame {
    Q_OBJECT
public:
    explicit TColorCell(QWidget *parent = nullptr);

    QColor Color() const { return color_; }
    void SetColor(const QColor &color);
    bool Raised() const { return raised_; }
    void SetRaised(bool raised);
    QString Tag() const { return tag_; }
    void SetTag(const QString &tag) { tag_ = tag; }

    QSize sizeHint() const override { return {40, 40}; }

signals:
    void Clicked();
    void DoubleClicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    QColor color_ = Qt::black;
    bool raised_ = false;
    QString tag_;
};
