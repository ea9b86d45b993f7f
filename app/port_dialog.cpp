#include "app/port_dialog.h"

namespace cvlog
{

TForm4::TForm4(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("Communications port selection"));
}

} // namespace cvlog
