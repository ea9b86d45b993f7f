#pragma once
// The status pop-up: link progress ("Preparing download", "Requesting F1A0"
// ...) shown beside the main window without blocking it.

#include <QDialog>

class QLabel;

namespace cvlog
{

class TStatus : public QDialog
{
    Q_OBJECT
public:
    explicit TStatus(QWidget* parent = nullptr);

    // A text shows the pop-up with it (it stays up with the latest text); an
    // empty text hides it.
    void showStatusPopup(const QString& text);

    QLabel* Label1 = nullptr;
};

} // namespace cvlog
