#pragma once
// The dialog that writes a target instrument's serial number into a download key.

#include <QDialog>

namespace cvlog
{

class TForm5 : public QDialog
{
    Q_OBJECT
public:
    explicit TForm5(QWidget* parent = nullptr);
};

} // namespace cvlog
