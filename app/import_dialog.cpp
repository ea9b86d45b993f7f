#include "app/import_dialog.h"

#include "app/scripting/status_trace.h"
#include "app/wait_cursor.h"
#include "logstore/file_error.h"
#include "logstore/unique_fd.h"
#include "presentation/short_date.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <stdexcept>

namespace cvlog
{

namespace
{

// The head read for the guesses and the preview: many rows of any log,
// read at once whatever the file's size.
constexpr qint64 kHeadBytes = 64 * 1024;
// One slice of the whole reading keeps the window this long at most.
constexpr qint64 kSliceMilliseconds = 15;
constexpr int kRecordsBetweenClockLooks = 256;

const std::array<const char*, kLogFieldCount> kFieldCaptions { "Date", "Take-off", "Flight time", "Altitude",
    "Speed", "Student", "Hobbs", "Instrument", "Comment" };

// A pipe or a device named as the file would hold the window for ever:
// only a plain file is read.
QByteArray readBytes(const QString& path, qint64 most)
{
    auto cannotOpen = [&path](const QString& why) {
        return std::runtime_error(QStringLiteral("Cannot open file \"%1\". %2").arg(path, why).toStdString());
    };
    UniqueFd fd;
    try {
        fd = openPlainFileForReading(path.toStdString());
    } catch (const FileError& error) {
        throw cannotOpen(QString::fromStdString(error.what()));
    }
    QFile file;
    if (!file.open(fd.get(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        throw cannotOpen(file.errorString());
    return most < 0 ? file.readAll() : file.read(most);
}

QString numberText(const std::optional<std::int32_t>& n)
{
    return n ? QString::number(*n) : QString();
}

QString unitsSuffix(LogField field, UnitMode units)
{
    if (field == kMaxAltitude)
        return units == UnitMode::Metric ? QStringLiteral(" (m)") : QStringLiteral(" (ft)");
    if (field == kMaxSpeed) {
        switch (units) {
        case UnitMode::Metric:
            return QStringLiteral(" (km/h)");
        case UnitMode::FeetKnots:
            return QStringLiteral(" (kt)");
        case UnitMode::FeetMph:
            break;
        }
        return QStringLiteral(" (mph)");
    }
    return {};
}

// A field of a flight as the grid shows it in the display modes.
QString shownText(const ImportedFlight& f, LogField field, const DisplayMarks& marks)
{
    switch (field) {
    case kTakeoffDate:
        return shortDateText(f.date);
    case kTakeoffTime:
        return f.takeoffTime;
    case kFlightTime:
        return f.flightTime ? flightTimeText(*f.flightTime, fractionMode(marks)) : QString();
    case kMaxAltitude:
        return f.maxAltitude ? altitudeText(*f.maxAltitude, unitMode(marks)) : QString();
    case kMaxSpeed:
        return f.maxSpeed ? speedText(*f.maxSpeed, unitMode(marks)) : QString();
    case kStudent:
        return numberText(f.student);
    case kHobbs:
        return f.hobbs ? hobbsText(*f.hobbs, fractionMode(marks)) : QString();
    case kInstrument:
        return f.instrument;
    case kComment:
        break;
    }
    return f.comment;
}

QComboBox* choiceBox(QWidget* parent, const char* name, std::initializer_list<const char*> items)
{
    auto* box = new QComboBox(parent);
    box->setObjectName(QLatin1String(name));
    for (const char* item : items)
        box->addItem(QLatin1String(item));
    return box;
}

QString layoutText(const CsvFormat& format)
{
    if (format.layout == FileLayout::OwnExport) {
        return format.separator == u' ' ? QStringLiteral("this program's text export")
                                        : QStringLiteral("this program's comma delimited export");
    }
    const QString separator = format.separator == u'\t' ? QStringLiteral("tabs")
        : format.separator == u';'                      ? QStringLiteral("semicolons")
                                                        : QStringLiteral("commas");
    return QStringLiteral("a header row, values separated by %1").arg(separator);
}

} // namespace

ImportDialog::ImportDialog(
    const QString& path, const FlightLog& log, const DisplayMarks& marks, int referenceYear, QWidget* parent)
    : QDialog(parent)
    , log_(log)
    , marks_(marks)
    , referenceYear_(referenceYear)
    , path_(path)
{
    setObjectName(QStringLiteral("ImportDialog"));
    setWindowTitle(QLatin1String(kCaption));
    const QByteArray head = readBytes(path, kHeadBytes);
    const bool cut = QFileInfo(path).size() > head.size();
    head_ = decodeImportText(head, cut);
    if (cut) {
        // The last line of a head may be cut short: it is read with the rest.
        const qsizetype end = std::max(head_.text.lastIndexOf(u'\n'), head_.text.lastIndexOf(u'\r'));
        head_.text.truncate(end < 0 ? 0 : end + 1);
    }
    format_ = guessFormat(head_.text);
    headRows_ = splitRecords(head_.text, format_);
    if (format_.layout == FileLayout::HeaderRow && !headRows_.empty()) {
        header_ = headRows_.front().fields;
        headRows_.erase(headRows_.begin());
    }
    mapping_ = guessMapping(format_.layout, header_, headRows_);

    slices_ = new QTimer(this);
    slices_->setInterval(0);
    connect(slices_, &QTimer::timeout, this, &ImportDialog::readSlice);

    buildControls();
    showGuesses();
    showPreview();
    restartReading();
}

ImportDialog::~ImportDialog() = default;

void ImportDialog::buildControls()
{
    auto* layout = new QVBoxLayout(this);
    FileLabel = new QLabel(this);
    FileLabel->setObjectName(QStringLiteral("FileLabel"));
    FileLabel->setText(
        QStringLiteral("%1\nEncoding: %2. Layout: %3.")
            .arg(QFileInfo(path_).fileName(), encodingName(head_.encoding), layoutText(format_)));
    layout->addWidget(FileLabel);

    auto* choices = new QHBoxLayout;
    auto* columns = new QFormLayout;
    const std::vector<FieldDef> names = logTableFields();
    for (const LogField field : kLogFields) {
        const auto i = static_cast<std::size_t>(field);
        auto* box = new QComboBox(this);
        box->setObjectName(QStringLiteral("Column") + names[i].name);
        box->addItem(QStringLiteral("(none)"), kNoColumn);
        const int count
            = format_.layout == FileLayout::OwnExport ? kLogFieldCount : static_cast<int>(header_.size());
        for (int column = 0; column < count; ++column) {
            const QString name = column < header_.size() ? header_[column].trimmed() : QString();
            box->addItem(name.isEmpty() ? QStringLiteral("Column %1").arg(column + 1) : name, column);
        }
        columnBoxes[i] = box;
        columns->addRow(QLatin1String(kFieldCaptions[i]), box);
    }
    choices->addLayout(columns);
    auto* readings = new QFormLayout;
    DateOrderBox = choiceBox(this, "DateOrder", { "day/month/year", "month/day/year", "year-month-day" });
    FlightTimeKindBox = choiceBox(
        this, "FlightTimeKind", { "hours:minutes (1:30)", "decimal hours (1.5)", "minutes (90)" });
    HobbsKindBox
        = choiceBox(this, "HobbsKind", { "hours:minutes (1:30)", "decimal hours (1.5)", "minutes (90)" });
    UnitsBox = choiceBox(this, "Units", { "metres, km/h", "feet, knots", "feet, mph" });
    readings->addRow(QStringLiteral("Dates"), DateOrderBox);
    readings->addRow(QStringLiteral("Flight times"), FlightTimeKindBox);
    readings->addRow(QStringLiteral("Hobbs times"), HobbsKindBox);
    readings->addRow(QStringLiteral("Altitudes and speeds in"), UnitsBox);
    choices->addLayout(readings);
    layout->addLayout(choices);

    Preview = new QTableWidget(0, kLogFieldCount + 2, this);
    Preview->setObjectName(QStringLiteral("Preview"));
    Preview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Preview->verticalHeader()->hide();
    layout->addWidget(Preview, 2);

    BadRows = new QListWidget(this);
    BadRows->setObjectName(QStringLiteral("BadRows"));
    layout->addWidget(new QLabel(QStringLiteral("Rows that cannot be read (not imported):"), this));
    layout->addWidget(BadRows, 1);
    Summary = new QLabel(this);
    Summary->setObjectName(QStringLiteral("Summary"));
    layout->addWidget(Summary);

    auto* buttons = new QDialogButtonBox(this);
    ImportButton = buttons->addButton(QStringLiteral("&Import"), QDialogButtonBox::AcceptRole);
    ImportButton->setObjectName(QStringLiteral("Import"));
    ImportButton->setDefault(true);
    CancelButton = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    CancelButton->setObjectName(QStringLiteral("Cancel"));
    connect(ImportButton, &QPushButton::clicked, this, &ImportDialog::importClicked);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    layout->addWidget(buttons);

    const auto changed = [this] {
        if (showingGuesses_)
            return;
        readMapping();
        showPreview();
        restartReading();
    };
    for (QComboBox* box : columnBoxes)
        connect(box, &QComboBox::currentIndexChanged, this, changed);
    for (QComboBox* box : { DateOrderBox, FlightTimeKindBox, HobbsKindBox, UnitsBox })
        connect(box, &QComboBox::currentIndexChanged, this, changed);
}

void ImportDialog::showGuesses()
{
    showingGuesses_ = true;
    for (const LogField field : kLogFields) {
        QComboBox* box = columnBoxes[static_cast<std::size_t>(field)];
        box->setCurrentIndex(std::max(0, box->findData(mapping_.column(field))));
    }
    DateOrderBox->setCurrentIndex(static_cast<int>(mapping_.dateOrder));
    FlightTimeKindBox->setCurrentIndex(static_cast<int>(mapping_.flightTimeKind));
    HobbsKindBox->setCurrentIndex(static_cast<int>(mapping_.hobbsKind));
    UnitsBox->setCurrentIndex(static_cast<int>(mapping_.units));
    showingGuesses_ = false;
}

void ImportDialog::readMapping()
{
    for (const LogField field : kLogFields)
        mapping_.column(field) = columnBoxes[static_cast<std::size_t>(field)]->currentData().toInt();
    mapping_.dateOrder = static_cast<DateOrder>(DateOrderBox->currentIndex());
    mapping_.flightTimeKind = static_cast<DurationKind>(FlightTimeKindBox->currentIndex());
    mapping_.hobbsKind = static_cast<DurationKind>(HobbsKindBox->currentIndex());
    mapping_.units = static_cast<UnitMode>(UnitsBox->currentIndex());
}

void ImportDialog::showPreview()
{
    QStringList captions { QStringLiteral("Line") };
    for (const LogField field : kLogFields) {
        captions += QLatin1String(kFieldCaptions[static_cast<std::size_t>(field)])
            + unitsSuffix(field, unitMode(marks_));
    }
    captions += QStringLiteral("Note");
    Preview->setHorizontalHeaderLabels(captions);
    const ImportTarget target = importTargetFor(log_, referenceYear_);
    const int rows = std::min(kPreviewRows, static_cast<int>(headRows_.size()));
    Preview->setRowCount(rows);
    for (int r = 0; r < rows; ++r) {
        const CsvRecord& record = headRows_[static_cast<std::size_t>(r)];
        const auto converted = convertRecord(record, mapping_, target);
        Preview->setItem(r, 0, new QTableWidgetItem(QString::number(record.line)));
        const ImportedFlight* flight = std::get_if<ImportedFlight>(&converted);
        for (const LogField field : kLogFields) {
            const int column = static_cast<int>(field) + 1;
            Preview->setItem(
                r, column, new QTableWidgetItem(flight ? shownText(*flight, field, marks_) : QString()));
        }
        const QString* reason = std::get_if<QString>(&converted);
        Preview->setItem(r, kLogFieldCount + 1, new QTableWidgetItem(reason ? *reason : QString()));
    }
    Preview->resizeColumnsToContents();
}

void ImportDialog::restartReading()
{
    planner_.reset();
    splitter_.reset();
    headerSkipped_ = false;
    plan_ = {};
    BadRows->clear();
    slices_->start();
    showProgress();
}

void ImportDialog::readSlice()
{
    try {
        QElapsedTimer clock;
        clock.start();
        if (!wholeRead_) {
            whole_ = decodeImportText(readBytes(path_, -1));
            wholeRead_ = true;
            return;
        }
        if (!logKeys_) {
            logKeys_ = FlightKeys::ofLog(log_);
            return;
        }
        if (!planner_) {
            planner_
                = std::make_unique<ImportPlanner>(mapping_, importTargetFor(log_, referenceYear_), *logKeys_);
            splitter_ = std::make_unique<CsvSplitter>(whole_.text, format_);
        }
        CsvRecord record;
        for (int n = 0;; ++n) {
            if (n % kRecordsBetweenClockLooks == 0 && n > 0 && clock.elapsed() >= kSliceMilliseconds) {
                showProgress();
                return;
            }
            if (!splitter_->next(record))
                break;
            if (format_.layout == FileLayout::HeaderRow && !headerSkipped_) {
                headerSkipped_ = true;
                continue;
            }
            planner_->add(record);
        }
        slices_->stop();
        plan_ = planner_->takePlan();
        planner_.reset();
        splitter_.reset();
        for (const BadRow& bad : plan_.badRows)
            BadRows->addItem(QStringLiteral("Line %1: %2").arg(bad.line).arg(bad.reason));
        showProgress();
    } catch (const std::exception& error) {
        slices_->stop();
        planner_.reset();
        ImportButton->setEnabled(false);
        Summary->setText(QString::fromStdString(error.what()));
    }
}

void ImportDialog::showProgress()
{
    if (planner_ || slices_->isActive()) {
        const qsizetype done = splitter_ ? splitter_->position() : 0;
        const qsizetype all = std::max<qsizetype>(1, whole_.text.size());
        Summary->setText(QStringLiteral("Reading the file: %1%").arg(done * 100 / all));
        return;
    }
    if (FileLabel && whole_.encoding != head_.encoding) {
        FileLabel->setText(
            QStringLiteral("%1\nEncoding: %2. Layout: %3.")
                .arg(QFileInfo(path_).fileName(), encodingName(whole_.encoding), layoutText(format_)));
    }
    const QString summary = QStringLiteral(
        "%1 flights to import; %2 already in the log; %3 twice in the file; %4 rows cannot be read.")
                                .arg(plan_.flights.size())
                                .arg(plan_.alreadyInLog)
                                .arg(plan_.twiceInFile)
                                .arg(plan_.badRows.size());
    Summary->setText(summary);
    QStringList trace { QLatin1String(kCaption) + QStringLiteral(": ") + summary };
    for (int i = 0; i < BadRows->count(); ++i)
        trace += BadRows->item(i)->text();
    TraceOpened(trace.join(QStringLiteral(" | ")));
}

const ImportPlan& ImportDialog::plan()
{
    while (slices_->isActive())
        readSlice();
    return plan_;
}

void ImportDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    TraceOpened(windowTitle());
}

void ImportDialog::importClicked()
{
    if (slices_->isActive()) {
        const auto wait = ShowWaitCursor();
        plan();
    }
    if (ImportButton->isEnabled())
        accept();
}

} // namespace cvlog
