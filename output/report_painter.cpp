#include "output/report_painter.h"

#include "logstore/atomic_file.h"

#include <QBuffer>
#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPen>
#include <QPrinter>

namespace cvlog
{

namespace
{

constexpr double kMillimetresPerInch = 25.4;
constexpr double kPenUnitsPerInch = 96.0;
constexpr int kNormalPoints = 10;
constexpr int kTitlePoints = 12;
// Liberation Sans stands in for it where it is missing; the metrics match.
constexpr const char* kFontFamily = "Arial";

class PageCanvas
{
public:
    PageCanvas(QPainter& painter, const QPaintDevice& device)
        : painter_(painter)
        , dotsPerMmX_(device.logicalDpiX() / kMillimetresPerInch)
        , dotsPerMmY_(device.logicalDpiY() / kMillimetresPerInch)
        , dotsPerPenUnit_(device.logicalDpiX() / kPenUnitsPerInch)
        , normal_(QString::fromLatin1(kFontFamily), kNormalPoints)
        , title_(QString::fromLatin1(kFontFamily), kTitlePoints, QFont::Bold)
    {
        for (QFont* font : { &normal_, &title_ })
            font->setStyleHint(QFont::SansSerif);
    }

    void draw(const ReportPage& page)
    {
        for (const ReportBand& band : page.bands) {
            for (const ReportRule& rule : band.rules)
                draw(rule);
            for (const ReportText& text : band.texts)
                draw(text);
        }
    }

private:
    void draw(const ReportRule& rule)
    {
        QPen pen(Qt::black);
        pen.setWidthF(rule.penWidth * dotsPerPenUnit_);
        pen.setCapStyle(Qt::FlatCap);
        painter_.setPen(pen);
        const double y = rule.middle * dotsPerMmY_;
        painter_.drawLine(QPointF(rule.left * dotsPerMmX_, y), QPointF(rule.right * dotsPerMmX_, y));
    }

    void draw(const ReportText& text)
    {
        if (text.text.isEmpty())
            return;
        const QFont& font = text.font == ReportFont::Title ? title_ : normal_;
        painter_.setFont(font);
        painter_.setPen(Qt::black);
        const QFontMetricsF metrics(font, painter_.device());
        double x = text.left * dotsPerMmX_;
        if (text.alignRight != 0)
            x = text.alignRight * dotsPerMmX_ - metrics.horizontalAdvance(text.text);
        painter_.drawText(QPointF(x, text.top * dotsPerMmY_ + metrics.ascent()), text.text);
    }

    QPainter& painter_;
    double dotsPerMmX_;
    double dotsPerMmY_;
    double dotsPerPenUnit_;
    QFont normal_;
    QFont title_;
};

} // namespace

void setUpReportPrinter(QPrinter& printer)
{
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(QPageLayout::Portrait);
    // Positions are measured from the paper's corner, not from the margins
    // a printer driver may impose.
    printer.setFullPage(true);
    printer.setDocName(QString::fromLatin1(kReportTitle));
}

bool paintReport(
    QPagedPaintDevice& device, const ReportLayout& layout, ReportRows& rows, const ReportProgress& progress)
{
    QPainter painter;
    if (!painter.begin(&device))
        return false;
    const int total = static_cast<int>(layout.pages.size());
    PageCanvas canvas(painter, device);
    for (int i = 0; i < total; ++i) {
        if (i > 0)
            device.newPage();
        canvas.draw(placeReportPage(layout, i, rows));
        if (progress && !progress(i + 1, total)) {
            painter.end();
            return false;
        }
    }
    painter.end();
    return true;
}

bool writeReportPdf(const std::filesystem::path& target, const std::function<bool(QPagedPaintDevice&)>& draw)
{
    // The whole document is made in memory first: the PDF engine does not
    // report a failed write, the file below does.
    AtomicFile file(target);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter pdf(&buffer);
        pdf.setTitle(QString::fromLatin1(kReportTitle));
        pdf.setCreator(QStringLiteral("CVLog"));
        pdf.setPageSize(QPageSize(QPageSize::A4));
        pdf.setPageOrientation(QPageLayout::Portrait);
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
        if (!draw(pdf))
            return false;
    }
    file.write(std::string_view(buffer.data().constData(), static_cast<std::size_t>(buffer.data().size())));
    file.commit();
    return true;
}

} // namespace cvlog
