// frmProgress: the progress window of an upload. The upper bar counts the
// upload's steps (0..8), the lower one the percentage of the write in progress.
#pragma once

#include <QWidget>

class QProgressBar;

class frmProgress : public QWidget {
public:
    explicit frmProgress(QWidget *owner);

    QProgressBar *ProgressBar1 = nullptr;
    QProgressBar *ProgressBar2 = nullptr;
};
