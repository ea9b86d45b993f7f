#include "app/key_init_form.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QValidator>

#include <algorithm>

namespace cvlog
{

namespace
{

constexpr int kMargin = 16;
constexpr int kLabel2Points = 10;

// A serial number is letters and digits: anything else is refused as it is
// typed or pasted, and letters become capitals, so the box shows what the
// key will be sent.
class SerialNumberCharacters : public QValidator
{
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override
    {
        const bool serial = std::all_of(input.begin(), input.end(), [](QChar c) {
            return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
        });
        if (!serial)
            return Invalid;
        input = input.toUpper();
        return Acceptable;
    }
};

} // namespace

TForm5::TForm5(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("Form5"));
    setWindowTitle(QStringLiteral("Download key initialization"));

    Label1 = new QLabel(QStringLiteral("Serial number of target instrument"), this);
    Label1->setObjectName(QStringLiteral("Label1"));

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setMaxLength(kSerialLength);
    Edit1->setValidator(new SerialNumberCharacters(Edit1));

    Label2 = new QLabel(QStringLiteral("Please enter serial number and connect your download key when done. "
                                       "Typical serial numbers are \"EA15, FA33, LB13\". Your instruments "
                                       "serial number is shown when you switch it on."),
        this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setWordWrap(true);
    QFont larger = Label2->font();
    larger.setPointSize(kLabel2Points);
    Label2->setFont(larger);

    BitBtn1 = new QPushButton(QStringLiteral("Cancel"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::reject); // BitBtn1Click

    // The designed places; the label gives the edit room when the desktop's
    // font is wider.
    const int lineHeight = Edit1->sizeHint().height();
    Label1->setGeometry(kMargin, kMargin, Label1->sizeHint().width(), lineHeight);
    const int editLeft = std::max(216, Label1->geometry().right() + 8);
    Edit1->setGeometry(
        editLeft, kMargin, Edit1->fontMetrics().horizontalAdvance(QStringLiteral("WWWW")) + 16, lineHeight);
    const int width = std::max(kClientWidth, Edit1->geometry().right() + 1 + kMargin);
    const int textTop = kMargin + lineHeight + 12;
    const int textWidth = width - 2 * kMargin;
    const int buttonHeight = std::max(25, BitBtn1->sizeHint().height());
    Label2->setGeometry(kMargin, textTop, textWidth, Label2->heightForWidth(textWidth));
    const int buttonTop = std::max(kClientHeight - kMargin - buttonHeight, Label2->geometry().bottom() + 12);
    BitBtn1->setGeometry((width - 75) / 2, buttonTop, 75, buttonHeight);
    // A fixed dialog border: the client area is set, not dragged.
    setFixedSize(width, std::max(kClientHeight, buttonTop + buttonHeight + kMargin));
}

} // namespace cvlog
