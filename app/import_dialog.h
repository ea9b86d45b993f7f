#pragma once
// "Import flights": how a chosen file will be read, the column of each of
// the log's fields, the first rows as they will be stored, and what the
// whole file holds. The preview comes from a bounded head of the file at
// once; the file's rows are then weighed in slices behind it, so that the
// window stays live. Only reading and decoding the whole file is one step:
// a few milliseconds a megabyte. "&Import" takes the good rows, Cancel
// nothing.

#include "import/log_import.h"
#include "presentation/display_units.h"

#include <QByteArray>
#include <QDialog>
#include <QString>

#include <array>
#include <memory>
#include <optional>
#include <vector>

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QTableWidget;
class QTimer;

namespace cvlog
{

class ImportDialog : public QDialog
{
    Q_OBJECT
public:
    static constexpr const char* kCaption = "Import flights";
    // Rows shown before the import.
    static constexpr int kPreviewRows = 20;

    // Reads the head of the file (a FileError when it cannot be read) and
    // starts on the rest. The log is only read, to find its flights.
    ImportDialog(const QString& path, const FlightLog& log, const DisplayMarks& marks, int referenceYear,
        QWidget* parent = nullptr);
    ~ImportDialog() override;

    // The rows to store and what was left out, the whole file read.
    const ImportPlan& plan();
    bool finished() const { return !planner_; }
    const ImportMapping& mapping() const { return mapping_; }

    // The column choice of each of the log's fields ("ColumnTAKEOFFD" ...).
    std::array<QComboBox*, kLogFieldCount> columnBoxes {};
    QComboBox* DateOrderBox = nullptr;
    QComboBox* FlightTimeKindBox = nullptr;
    QComboBox* HobbsKindBox = nullptr;
    QComboBox* UnitsBox = nullptr;
    QLabel* FileLabel = nullptr;
    QTableWidget* Preview = nullptr;
    QListWidget* BadRows = nullptr;
    QLabel* Summary = nullptr;
    QPushButton* ImportButton = nullptr;
    QPushButton* CancelButton = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildControls();
    void showGuesses();
    void readMapping();
    void showPreview();
    // Starts the reading of the whole file over, with the mapping chosen.
    void restartReading();
    void readSlice();
    void showProgress();
    void importClicked();

    const FlightLog& log_;
    DisplayMarks marks_;
    int referenceYear_;
    QString path_;

    DecodedText head_;
    CsvFormat format_;
    QStringList header_;
    std::vector<CsvRecord> headRows_;
    ImportMapping mapping_;

    std::optional<FlightKeys> logKeys_; // found once, at the first reading
    DecodedText whole_;
    bool wholeRead_ = false;
    std::unique_ptr<CsvSplitter> splitter_;
    std::unique_ptr<ImportPlanner> planner_;
    bool headerSkipped_ = false;
    ImportPlan plan_;
    QTimer* slices_ = nullptr;
    bool showingGuesses_ = false;
};

} // namespace cvlog
