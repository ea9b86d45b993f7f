#include "app/key_init_form.h"

#include <QLineEdit>

namespace cvlog
{

TForm5::TForm5(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("Form5"));
    setWindowTitle(QStringLiteral("Download key initialization"));

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setMaxLength(kSerialLength);
}

} // namespace cvlog
