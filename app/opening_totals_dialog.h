#pragma once
// The dialog in which the pilot gives the totals flown before the log: the
// flights, the flight time and the Hobbs time in the chosen hour fractions,
// and the date they stand at. OK keeps the dialog open, with a message,
// while its texts cannot be read; emptied, they take the totals away.

#include "logstore/flight_statistics.h"
#include "presentation/display_units.h"

#include <QDate>
#include <QDialog>
#include <QString>

#include <optional>

class QLineEdit;
class QPushButton;

namespace cvlog
{

class OpeningTotalsDialog : public QDialog
{
    Q_OBJECT
public:
    static constexpr const char* kCaption = "Opening totals";

    struct Context {
        FractionMode fraction = FractionMode::Minutes;
        QDate today;
        QDate firstFlight; // of the log's dated flights; invalid when it has none
        std::optional<OpeningTotals> current; // shown when the dialog opens
    };

    explicit OpeningTotalsDialog(const Context& context, QWidget* parent = nullptr);

    // What OK accepted; none when the texts were emptied.
    const std::optional<OpeningTotals>& totals() const { return totals_; }

    void accept() override;

    QLineEdit* FlightsEdit = nullptr;
    QLineEdit* FlightTimeEdit = nullptr;
    QLineEdit* HobbsEdit = nullptr;
    QLineEdit* DateEdit = nullptr;
    QPushButton* OkButton = nullptr;
    QPushButton* CancelButton = nullptr;

private:
    Context context_;
    std::optional<OpeningTotals> totals_;
    QString shownHobbs_;
};

} // namespace cvlog
