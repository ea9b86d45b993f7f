#pragma once
// The dialog that writes a target instrument's serial number into a download
// key: the serial number is typed here, and the link sends it as soon as a
// key is linked (the main window follows the text).

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace cvlog
{

class TForm5 : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kSerialLength = 4;
    static constexpr int kClientWidth = 327;
    static constexpr int kClientHeight = 185;

    explicit TForm5(QWidget* parent = nullptr);

    QLabel* Label1 = nullptr;
    // The serial number: at most four characters, letters in upper case as
    // they are typed; the main window follows its changes (Edit1Change).
    QLineEdit* Edit1 = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* BitBtn1 = nullptr;
};

} // namespace cvlog
