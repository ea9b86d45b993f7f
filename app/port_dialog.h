#pragma once
// The dialog in which the user chooses the serial port, COM1 to COM8.
//
// The choice takes effect the moment a button becomes checked: the port is
// closed, renamed and opened again at once, and the link starts over. OK and
// Cancel only close the dialog. The dialog lives for the whole run, so its
// buttons keep their state between showings: the first showing reopens the
// stored port once, later ones leave a working port alone.

#include "link/link_state.h"

#include <QDialog>
#include <QString>

#include <array>
#include <filesystem>

class QButtonGroup;
class QPushButton;
class QRadioButton;

namespace cvlog
{

class LinkDriver;
class SerialChannel;

// What a port switch works on, all owned by the main window.
struct PortSwitchContext {
    SerialChannel* comm = nullptr;
    const LinkState* link = nullptr;
    LinkDriver* driver = nullptr;
    // CVLog.ini, whose [Ports] section names the device file behind each button.
    std::filesystem::path settingsPath;
};

class TForm4 : public QDialog
{
    Q_OBJECT
public:
    static constexpr const char* kCaption = "Communications port selection";
    static constexpr int kPortCount = 8;

    explicit TForm4(QWidget* parent = nullptr);

    // Given before each showing; the buttons' tooltips follow the settings.
    void setPortContext(PortSwitchContext context);

    // Checks the button of the current port number. A button that was not
    // checked yet runs the switch, exactly as a click would.
    void SelectCurrentPort();
    // The switch to the port of a button that has just become checked.
    void RadioButton1Click(QRadioButton* button);

    // RadioButton1..RadioButton8, by port number 1..8.
    QRadioButton* RadioButton(int portNumber) const;
    QPushButton* BitBtn1 = nullptr; // OK
    QPushButton* BitBtn2 = nullptr; // Cancel

private:
    void arrange();
    void updateToolTips();
    void switchPort(int portNumber);

    std::array<QRadioButton*, kPortCount> buttons_ {};
    QButtonGroup* group_ = nullptr;
    PortSwitchContext context_;
};

} // namespace cvlog
