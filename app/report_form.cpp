#include "app/report_form.h"

namespace cvlog
{

TForm3::TForm3(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Form3"));
}

} // namespace cvlog
