#pragma once

// Every margin test program runs in a temporary HOME, set before anything
// reads a path, so that no operator's folder is touched.

#include "office/engine.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

#define MARGINS_TEST_MAIN(TestClass)                                                               \
    int main(int argc, char* argv[])                                                               \
    {                                                                                              \
        QTemporaryDir home;                                                                        \
        if (!home.isValid())                                                                       \
            return 2;                                                                              \
        qputenv("HOME", home.path().toUtf8());                                                     \
        QApplication app(argc, argv);                                                              \
        TestClass test;                                                                            \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
