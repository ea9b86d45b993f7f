#pragma once
// The dialog that writes a target instrument's serial number into a download key.

#include <QDialog>

class QLineEdit;

namespace cvlog
{

class TForm5 : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kSerialLength = 4;

    explicit TForm5(QWidget* parent = nullptr);

    // The serial number of the target instrument; the main window follows
    // its changes (Edit1Change).
    QLineEdit* Edit1 = nullptr;
};

} // namespace cvlog
