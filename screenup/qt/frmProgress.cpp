#include "frmProgress.h"

#include "QtText.h"
#include "ScreenupTexts.h"
#include "screenupload.h"

#include <QProgressBar>
#include <QVBoxLayout>

frmProgress::frmProgress(QWidget *owner) : QWidget(owner, Qt::Window) {
    setObjectName(QStringLiteral("frmProgress"));
    setWindowTitle(QtText(ProgressCaption));
    setAttribute(Qt::WA_DeleteOnClose);

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, ProgressLast);
    ProgressBar1->setValue(0);
    ProgressBar1->setFormat(QStringLiteral("%v / %m"));

    ProgressBar2 = new QProgressBar(this);
    ProgressBar2->setObjectName(QStringLiteral("ProgressBar2"));
    ProgressBar2->setRange(0, 100);
    ProgressBar2->setValue(0);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(ProgressBar1);
    layout->addWidget(ProgressBar2);
    setMinimumWidth(320);
}
