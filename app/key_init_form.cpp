#include "app/key_init_form.h"

namespace cvlog
{

TForm5::TForm5(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("Form5"));
    setWindowTitle(QStringLiteral("Download key initialization"));
}

} // namespace cvlog
