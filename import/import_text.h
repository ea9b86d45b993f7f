#pragma once
// The text of a file of flights from another logbook, or from this
// program's own exports: its encoding, its layout and its records.
//
// Two layouts are read. The program's own text and comma exports have no
// header row and no quotes: nine values a line, the comment last, so a
// comment that holds the separator takes every value after the eighth.
// Spreadsheets and other logbooks write a header row and quote a value that
// holds the separator, a quote or a line break (RFC 4180), separated by
// commas, semicolons or tabs.

#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstddef>
#include <vector>

class QByteArray;

namespace cvlog
{

enum class TextEncoding { Utf8, Utf8WithBom, Windows1252 };

struct DecodedText {
    QString text;
    TextEncoding encoding = TextEncoding::Utf8;
};

// UTF-8, with or without its byte-order mark, when the bytes are valid
// UTF-8; Windows-1252 otherwise. `head` tells that the bytes are the start of
// a longer file, whose last character may be cut short.
DecodedText decodeImportText(const QByteArray& bytes, bool head = false);
// How the dialog names the encoding.
QString encodingName(TextEncoding encoding);

enum class FileLayout { OwnExport, HeaderRow };

struct CsvFormat {
    FileLayout layout = FileLayout::HeaderRow;
    QChar separator = u',';
};

// The layout and separator of a file, from its first lines.
CsvFormat guessFormat(QStringView head);

// One row of the file: the line it starts on (from 1) and its values.
// A row whose quoted value is left open ends with its line and holds what
// that line has after the quote; it is no flight.
struct CsvRecord {
    int line = 0;
    QStringList fields;
    bool unclosedQuote = false;
};

// Splits a text into records, a few at a time so that a window can read a
// large file in slices. Empty lines are passed over.
class CsvSplitter
{
public:
    CsvSplitter(QStringView text, CsvFormat format);
    // The next record; false at the end of the text.
    bool next(CsvRecord& record);
    // How far the reading has come, in characters of the text.
    qsizetype position() const { return at_; }

private:
    bool nextOwnLine(CsvRecord& record);
    bool nextQuoted(CsvRecord& record);
    bool endsValue(QChar c) const;

    QStringView text_;
    CsvFormat format_;
    qsizetype at_ = 0;
    int line_ = 1;
};

// Every record of a text; the header row, if the layout has one, first.
std::vector<CsvRecord> splitRecords(QStringView text, CsvFormat format);

} // namespace cvlog
