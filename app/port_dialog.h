#pragma once
// The dialog in which the user chooses the serial port.

#include <QDialog>

namespace cvlog
{

class TForm4 : public QDialog
{
    Q_OBJECT
public:
    explicit TForm4(QWidget* parent = nullptr);
};

} // namespace cvlog
