#pragma once
// The report's form: holds the printed log report and its own view of the table.

#include <QDialog>

namespace cvlog
{

class TForm3 : public QDialog
{
    Q_OBJECT
public:
    explicit TForm3(QWidget* parent = nullptr);
};

} // namespace cvlog
