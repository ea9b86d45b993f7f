// One main for every test executable. Widget tests get a QApplication on the
// offscreen platform, so they run without a display; the tests of the
// widget-free layers get a QCoreApplication, for QtCore event delivery, and
// link no widget library.
#ifdef CVLOG_TEST_WIDGETS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
#ifdef CVLOG_TEST_WIDGETS
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    TestApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
