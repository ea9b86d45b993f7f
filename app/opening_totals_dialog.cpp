#include "app/opening_totals_dialog.h"

#include "app/cvlog_application.h"
#include "presentation/short_date.h"
#include "presentation/typed_text.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>

namespace cvlog
{

namespace
{

QLineEdit* addEdit(QFormLayout& form, const QString& name, const QString& label, const QString& text)
{
    auto* edit = new QLineEdit(text, form.parentWidget());
    edit->setObjectName(name);
    form.addRow(label, edit);
    return edit;
}

} // namespace

OpeningTotalsDialog::OpeningTotalsDialog(const Context& context, QWidget* parent)
    : QDialog(parent)
    , context_(context)
    , totals_(context.current)
{
    setObjectName(QStringLiteral("OpeningTotals"));
    setWindowTitle(QString::fromLatin1(kCaption));
    const std::optional<OpeningTotals>& now = context_.current;
    const FractionMode mode = context_.fraction;
    auto* form = new QFormLayout(this);
    FlightsEdit = addEdit(*form, QStringLiteral("FlightsEdit"), QStringLiteral("&Flights before the log"),
        now ? QString::number(now->flights) : QString());
    FlightTimeEdit = addEdit(*form, QStringLiteral("FlightTimeEdit"),
        QStringLiteral("Flight &time (%1)").arg(flightTimeText(90, mode)),
        now ? flightTimeText(now->minutes, mode) : QString());
    HobbsEdit = addEdit(*form, QStringLiteral("HobbsEdit"),
        QStringLiteral("&Hobbs time (%1)").arg(hobbsText(90, mode)),
        now ? hobbsText(now->hobbsMinutes, mode) : QString());
    shownHobbs_ = HobbsEdit->text();
    DateEdit = addEdit(*form, QStringLiteral("DateEdit"), QStringLiteral("&At the date"),
        now ? shortDateText(now->date) : QString());

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    OkButton = buttons->button(QDialogButtonBox::Ok);
    OkButton->setObjectName(QStringLiteral("OkButton"));
    CancelButton = buttons->button(QDialogButtonBox::Cancel);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, Guarded(this, &OpeningTotalsDialog::accept));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

void OpeningTotalsDialog::accept()
{
    const OpeningTotalsInput input = readTypedOpeningTotals(
        { FlightsEdit->text(), FlightTimeEdit->text(), HobbsEdit->text(), DateEdit->text() },
        context_.fraction, context_.today, context_.firstFlight);
    if (!input.refusal.isEmpty()) {
        ShowPlainMessage(input.refusal, this);
        return;
    }
    totals_ = input.totals;
    // A Hobbs time shows in tenths of an hour: one left as it was shown
    // keeps its minutes rather than the tenth it was cut to.
    if (totals_ && context_.current && HobbsEdit->text() == shownHobbs_)
        totals_->hobbsMinutes = context_.current->hobbsMinutes;
    QDialog::accept();
}

} // namespace cvlog
