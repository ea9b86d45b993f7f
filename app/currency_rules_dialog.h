#pragma once
// The dialog in which the pilot sets the currency rules of the statistics
// window: one row per rule, "at least N flights and H hours in the last P
// days or months", for every instrument or one. Hours are typed in the hour
// fractions of the Setup menu. OK reads every row, refuses the first one it
// cannot read with a message that says what to type, and saves the rules;
// a failed save leaves the dialog open with the rules as typed.

#include "logstore/currency.h"
#include "presentation/display_units.h"

#include <QDialog>

#include <functional>
#include <optional>
#include <vector>

class QPushButton;
class QTableWidget;

namespace cvlog
{

class CurrencyRulesDialog : public QDialog
{
    Q_OBJECT
public:
    static constexpr const char* kCaption = "Currency rules";
    enum Column { Flights, Hours, Length, Span, Instrument, ColumnCount };

    using Save = std::function<void(const std::vector<CurrencyRule>&)>;
    CurrencyRulesDialog(
        const std::vector<CurrencyRule>& rules, FractionMode mode, Save save, QWidget* parent);

    // The rules saved by OK.
    const std::vector<CurrencyRule>& rules() const { return rules_; }

    void AddRule1Click();
    void RemoveRule1Click();
    void OkClick();

    QTableWidget* Rules = nullptr;
    QPushButton* AddRule1 = nullptr;
    QPushButton* RemoveRule1 = nullptr;
    QPushButton* Ok = nullptr;
    QPushButton* Cancel = nullptr;

private:
    void addRow(const CurrencyRule& rule);
    std::optional<CurrencyRule> readRow(int row, QString& fault) const;
    void updateButtons();

    FractionMode mode_;
    Save save_;
    std::vector<CurrencyRule> rules_;
};

} // namespace cvlog
