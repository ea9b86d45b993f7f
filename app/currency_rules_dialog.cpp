#include "app/currency_rules_dialog.h"

#include "app/cvlog_application.h"
#include "presentation/typed_text.h"
#include "settings/settings.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace cvlog
{

namespace
{

constexpr QSize kDesignedSize { 620, 320 };

QString spanName(CurrencyRule::Span span)
{
    return span == CurrencyRule::Span::Months ? QStringLiteral("months") : QStringLiteral("days");
}

// A whole number as typed, spaces around it allowed; an empty text is
// `empty`.
std::optional<int> typedCount(const QString& text, std::optional<int> empty)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return empty;
    bool ok = false;
    const int value = trimmed.toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

} // namespace

CurrencyRulesDialog::CurrencyRulesDialog(
    const std::vector<CurrencyRule>& rules, FractionMode mode, Save save, QWidget* parent)
    : QDialog(parent)
    , mode_(mode)
    , save_(std::move(save))
    , rules_(rules)
{
    setObjectName(QStringLiteral("CurrencyRules"));
    setWindowTitle(QString::fromLatin1(kCaption));

    auto* explanation = new QLabel(
        QStringLiteral(
            "Current means at least this many flights and this flight time (hours%1minutes) in the "
            "last days or months; with an instrument named, its flights only. No rule: no "
            "currency table.")
            .arg(fractionSeparator(mode) == u':' ? QStringLiteral(":") : QStringLiteral(" and hundredths, ")),
        this);
    explanation->setWordWrap(true);

    Rules = new QTableWidget(0, ColumnCount, this);
    Rules->setObjectName(QStringLiteral("Rules"));
    Rules->setHorizontalHeaderLabels({ QStringLiteral("Flights"),
        QStringLiteral("Flight time (%1)").arg(flightTimeText(90, mode)), QStringLiteral("In the last"),
        QStringLiteral("Days or months"), QStringLiteral("Instrument (empty: all)") });
    Rules->verticalHeader()->setVisible(false);
    Rules->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    Rules->horizontalHeader()->setSectionResizeMode(Instrument, QHeaderView::Stretch);
    for (const CurrencyRule& rule : rules)
        addRow(rule);

    AddRule1 = new QPushButton(QStringLiteral("&Add rule"), this);
    RemoveRule1 = new QPushButton(QStringLiteral("&Remove rule"), this);
    Ok = new QPushButton(QStringLiteral("OK"), this);
    Ok->setDefault(true);
    Cancel = new QPushButton(QStringLiteral("Cancel"), this);
    connect(AddRule1, &QPushButton::clicked, this, Guarded(this, &CurrencyRulesDialog::AddRule1Click));
    connect(RemoveRule1, &QPushButton::clicked, this, Guarded(this, &CurrencyRulesDialog::RemoveRule1Click));
    connect(Ok, &QPushButton::clicked, this, Guarded(this, &CurrencyRulesDialog::OkClick));
    connect(Cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(Rules, &QTableWidget::itemSelectionChanged, this, &CurrencyRulesDialog::updateButtons);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(AddRule1);
    buttons->addWidget(RemoveRule1);
    buttons->addStretch();
    buttons->addWidget(Ok);
    buttons->addWidget(Cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(explanation);
    layout->addWidget(Rules, 1);
    layout->addLayout(buttons);
    resize(kDesignedSize);
    updateButtons();
}

void CurrencyRulesDialog::addRow(const CurrencyRule& rule)
{
    const int row = Rules->rowCount();
    Rules->insertRow(row);
    Rules->setItem(row, Flights, new QTableWidgetItem(QString::number(rule.flights)));
    Rules->setItem(row, Hours, new QTableWidgetItem(flightTimeText(rule.minutes, mode_)));
    Rules->setItem(row, Length, new QTableWidgetItem(QString::number(rule.length)));
    auto* span = new QComboBox(Rules);
    span->addItems({ spanName(CurrencyRule::Span::Days), spanName(CurrencyRule::Span::Months) });
    span->setCurrentIndex(rule.span == CurrencyRule::Span::Months ? 1 : 0);
    Rules->setCellWidget(row, Span, span);
    Rules->setItem(row, Instrument, new QTableWidgetItem(rule.instrument));
}

void CurrencyRulesDialog::updateButtons()
{
    AddRule1->setEnabled(Rules->rowCount() < kMostCurrencyRules);
    RemoveRule1->setEnabled(Rules->currentRow() >= 0 && Rules->rowCount() > 0);
}

void CurrencyRulesDialog::AddRule1Click()
{
    addRow(CurrencyRule {});
    Rules->setCurrentCell(Rules->rowCount() - 1, Flights);
    updateButtons();
}

void CurrencyRulesDialog::RemoveRule1Click()
{
    const int row = Rules->currentRow();
    if (row >= 0)
        Rules->removeRow(row);
    updateButtons();
}

std::optional<CurrencyRule> CurrencyRulesDialog::readRow(int row, QString& fault) const
{
    const auto text = [&](Column column) {
        const QTableWidgetItem* item = Rules->item(row, column);
        return item ? item->text() : QString();
    };
    const QString rule = QStringLiteral("Rule %1: ").arg(row + 1);
    CurrencyRule read;
    const std::optional<int> flights = typedCount(text(Flights), 0);
    if (!flights) {
        fault = rule + QStringLiteral("\"%1\" is not a number of flights.").arg(text(Flights));
        return std::nullopt;
    }
    read.flights = *flights;
    const std::optional<std::int32_t> minutes = parseDuration(text(Hours).trimmed(), mode_);
    if (!minutes) {
        fault = rule
            + QStringLiteral("\"%1\" is not a flight time. Type hours%2, as %3.")
                  .arg(text(Hours),
                      mode_ == FractionMode::Minutes ? QStringLiteral(" and minutes")
                                                     : QStringLiteral(" and hundredths"),
                      flightTimeText(90, mode_));
        return std::nullopt;
    }
    read.minutes = *minutes;
    const auto* span = qobject_cast<const QComboBox*>(Rules->cellWidget(row, Span));
    read.span = span && span->currentIndex() == 1 ? CurrencyRule::Span::Months : CurrencyRule::Span::Days;
    const std::optional<int> length = typedCount(text(Length), std::nullopt);
    if (!length) {
        fault = rule + QStringLiteral("\"%1\" is not a number of %2.").arg(text(Length), spanName(read.span));
        return std::nullopt;
    }
    read.length = *length;
    read.instrument = text(Instrument).trimmed();
    fault = currencyRuleFault(read);
    if (!fault.isEmpty()) {
        fault = rule + fault;
        return std::nullopt;
    }
    return read;
}

void CurrencyRulesDialog::OkClick()
{
    std::vector<CurrencyRule> rules;
    for (int row = 0; row < Rules->rowCount(); ++row) {
        QString fault;
        const std::optional<CurrencyRule> rule = readRow(row, fault);
        if (!rule) {
            ShowPlainMessage(fault, this);
            Rules->setCurrentCell(row, Flights);
            return;
        }
        rules.push_back(*rule);
    }
    // A save that fails throws: the error is shown and the dialog stays
    // open with the rules as typed.
    save_(rules);
    rules_ = std::move(rules);
    accept();
}

} // namespace cvlog
