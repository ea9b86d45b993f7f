// The general error handling: whatever a handler throws is shown in the
// error box, and the program goes on.

#include "app_test_support.h"

#include "logstore/dbf_table.h"

#include <QCoreApplication>
#include <QEvent>

namespace cvlog::test
{
namespace
{

TEST(ErrorText, AddsAFullStopOnlyAfterCharactersAboveIt)
{
    struct Case {
        const char* message;
        const char* shown;
    };
    const Case cases[] = {
        { "Field 'HOBBS' not found", "Field 'HOBBS' not found." },
        { "Unable to write to /tmp/CVLog.ini", "Unable to write to /tmp/CVLog.ini." },
        { "Value is too long : 10 characters (it can't be more than 9).",
            "Value is too long : 10 characters (it can't be more than 9)." },
        { "Invalid field count : 0 (must be between 1 and 4095)",
            "Invalid field count : 0 (must be between 1 and 4095)" },
        { "Error 7", "Error 7." },
        { "path/", "path/." }, // "/" is above "."
        { "ends in a dash -", "ends in a dash -" },
        { "", "" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(errorText(QString::fromLatin1(c.message)), QString::fromLatin1(c.shown)) << c.message;
}

// An object whose event handler throws, as a menu or button handler may.
class ThrowingHandler : public QObject
{
public:
    int handled = 0;

protected:
    bool event(QEvent* e) override
    {
        if (e->type() != QEvent::User)
            return QObject::event(e);
        if (++handled == 1)
            throw DbfError("Field 'COMMENT' not found");
        if (handled == 2)
            throw 42; // not even an exception class
        return true;
    }
};

TEST(GeneralErrorHandling, AThrowingHandlerShowsTheErrorBoxAndTheProgramGoesOn)
{
    MessageRecorder messages;
    ThrowingHandler handler;
    // Qt's own dispatch, wrapped the way the application's notify wraps every event.
    auto deliver = [&handler] {
        return CvlogApplication::deliverGuarded([&handler] {
            QEvent event(QEvent::User);
            return QCoreApplication::sendEvent(&handler, &event);
        });
    };
    EXPECT_FALSE(deliver());
    EXPECT_FALSE(deliver());
    EXPECT_TRUE(deliver());
    EXPECT_EQ(handler.handled, 3);

    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[0].kind, MessageKind::Error);
    EXPECT_EQ(messages.shown[0].caption, QStringLiteral("Varnok Zozivura Flight Log"));
    EXPECT_EQ(messages.shown[0].text, QStringLiteral("Field 'COMMENT' not found."));
    EXPECT_EQ(messages.shown[1].kind, MessageKind::Error);
    EXPECT_FALSE(messages.shown[1].text.isEmpty());
}

TEST(Messages, ConfirmationsAndPlainMessagesUseTheirCaptions)
{
    MessageRecorder messages;
    messages.answers = { false, true };
    EXPECT_FALSE(AskYesNo(QStringLiteral("Wipe?")));
    EXPECT_TRUE(AskOkCancel(QStringLiteral("Delete record?")));
    ShowPlainMessage(QStringLiteral("Done"));
    ASSERT_EQ(messages.shown.size(), 3u);
    EXPECT_EQ(messages.shown[0].kind, MessageKind::Confirm);
    EXPECT_EQ(messages.shown[0].caption, QStringLiteral("Confirm"));
    EXPECT_EQ(messages.shown[1].kind, MessageKind::OkCancel);
    EXPECT_EQ(messages.shown[2].kind, MessageKind::Plain);
    EXPECT_EQ(messages.shown[2].caption, QStringLiteral("Varnok Zozivura Flight Log"));
    EXPECT_EQ(messages.shown[2].text, QStringLiteral("Done")); // no "." added outside errors
}

} // namespace
} // namespace cvlog::test
