#pragma once

// The main of every test program: a fresh temporary HOME set before anything
// reads a path, so that no operator's folder is touched, a short deadline
// for office calls, and the office ended before the program's static objects go.

#include "testfiles.h"

#include "office/engine.h"

#include <QTest>

namespace testfiles {

template <class App, class Test>
int runTests(int argc, char* argv[], void (*prepare)(App&) = nullptr)
{
    useTemporaryHome();
    office::EngineOptions options; // a hung office fails the test, not the suite
    options.callDeadline = std::chrono::seconds(20);
    office::setDefaultEngineOptions(options);
    App app(argc, argv);
    if (prepare)
        prepare(app);
    Test test;
    const int status = QTest::qExec(&test, argc, argv);
    office::shutdownDefaultEngine();
    return status;
}

} // namespace testfiles

#define MORVANTA_TEST_MAIN(TestClass)                                                              \
    int main(int argc, char* argv[])                                                               \
    {                                                                                              \
        return testfiles::runTests<QCoreApplication, TestClass>(argc, argv);                       \
    }

// Widget tests; `prepare` (optional) sets the application up as the program does.
#define MORVANTA_WIDGET_TEST_MAIN(TestClass, ...)                                                  \
    int main(int argc, char* argv[])                                                               \
    {                                                                                              \
        return testfiles::runTests<QApplication, TestClass>(argc,                                  \
                                                            argv __VA_OPT__(, ) __VA_ARGS__);      \
    }
