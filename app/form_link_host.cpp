#include "app/form_link_host.h"

#include "app/cvlog_application.h"
#include "app/key_init_form.h"
#include "app/main_window.h"

#include <QLineEdit>
#include <QTimer>

namespace cvlog
{

FormLinkHost::FormLinkHost(TForm1& form)
    : form(form)
{
}

void FormLinkHost::setLinkText(const QString& text)
{
    form.setLinkText(text);
}

void FormLinkHost::showStatusPopup(const QString& text)
{
    form.showStatusPopup(text);
}

void FormLinkHost::showMessage(const QString& text)
{
    QTimer::singleShot(0, &form, [window = &form, text] { ShowPlainMessage(text, window); });
}

void FormLinkHost::reportError(const QString& text)
{
    QTimer::singleShot(0, &form, [window = &form, text] { ShowErrorMessage(text, window); });
}

bool FormLinkHost::keyInitDialogShowing() const
{
    const TForm5* dialog = form.keyInitForm();
    return dialog && dialog->isVisible();
}

QString FormLinkHost::keyInitText() const
{
    const TForm5* dialog = form.keyInitForm();
    return dialog ? dialog->Edit1->text() : QString();
}

void FormLinkHost::closeKeyInitDialog()
{
    if (TForm5* dialog = form.keyInitForm())
        dialog->close();
}

QDate FormLinkHost::today() const
{
    return QDate::currentDate();
}

} // namespace cvlog
