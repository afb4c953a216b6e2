#pragma once

#include <QByteArray>
#include <QTemporaryDir>
#include <QtGlobal>

// Each test program runs with its own HOME, set before anything reads paths,
// so the operator's ~/Morvanta is never touched.
class TestHome
{
public:
    TestHome() { qputenv("HOME", dir_.path().toLocal8Bit()); }
    QString path() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
};
