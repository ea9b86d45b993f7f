#pragma once
// What the link shows and asks of the main window: the status bar's link
// panel, the status pop-up, the message boxes and the key dialog.
//
// The link calls these in the middle of a read, so nothing here runs an
// event loop: message boxes are posted and shown once the read is over.

#include "link/link_ports.h"

namespace cvlog
{

class TForm1;

class FormLinkHost : public LinkHost
{
public:
    explicit FormLinkHost(TForm1& form);

    void setLinkText(const QString& text) override;
    void showStatusPopup(const QString& text) override;
    void showMessage(const QString& text) override;
    void reportError(const QString& text) override;
    bool keyInitDialogShowing() const override;
    QString keyInitText() const override;
    void closeKeyInitDialog() override;
    QDate today() const override;

private:
    TForm1& form;
};

} // namespace cvlog
