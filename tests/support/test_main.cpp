// One main for every test executable. The window tests get a QApplication
// and the painting tests a QGuiApplication, both on the offscreen platform so
// that they run without a display; the tests of the widget-free layers get a
// QCoreApplication, for QtCore event delivery, and link no widget library.
#if defined(CVLOG_TEST_WIDGETS)
#include <QApplication>
using TestApplication = QApplication;
#elif defined(CVLOG_TEST_GUI)
#include <QGuiApplication>
using TestApplication = QGuiApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
#if defined(CVLOG_TEST_WIDGETS) || defined(CVLOG_TEST_GUI)
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    TestApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
