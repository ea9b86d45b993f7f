#include "app/status_form.h"

#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

namespace cvlog
{

namespace
{
constexpr int kClientWidth = 272;
constexpr int kClientHeight = 49;
}

TStatus::TStatus(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint)
{
    setObjectName(QStringLiteral("Status"));
    setWindowTitle(QStringLiteral("Status"));
    setModal(false);

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAlignment(Qt::AlignCenter);
    QFont font(QStringLiteral("Arial"));
    font.setBold(true);
    Label1->setFont(font);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(Label1);
    // The designed size, grown when a long address text needs more room.
    setMinimumSize(kClientWidth, kClientHeight);
    resize(kClientWidth, kClientHeight);
}

void TStatus::showStatusPopup(const QString& text)
{
    if (text.isEmpty()) {
        hide();
        return;
    }
    Label1->setText(text);
    if (isVisible())
        return;
    adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    show();
}

} // namespace cvlog
