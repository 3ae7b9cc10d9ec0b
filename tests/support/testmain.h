#pragma once

#include <QApplication>
#include <QTest>

namespace testsupport {

// Gives the test process the application's identity and sends every settings read and write,
// and every standard path, into a private temporary folder, so that no test touches the real
// user's settings or download folder. Call before the test object is created.
void isolateEnvironment();

} // namespace testsupport

// QTEST_MAIN with the environment isolated first.
#define ORVEX_TEST_MAIN(TestObject)                                                                                    \
    int main(int argc, char *argv[])                                                                                   \
    {                                                                                                                  \
        QApplication app(argc, argv);                                                                                  \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                                       \
        testsupport::isolateEnvironment();                                                                             \
        TestObject tc;                                                                                                 \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        return QTest::qExec(&tc, argc, argv);                                                                          \
    }
