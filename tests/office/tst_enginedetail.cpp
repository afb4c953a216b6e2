// The office's own failure text as operators read it: plain paths, and the
// input/output causes in Chinese words.

#include "office/enginedetail.h"

#include <QtTest>

using namespace office::detail;

class EngineDetailTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void pathsDecoded()
    {
        QCOMPARE(withPlainPaths(QStringLiteral("SfxBaseModel::impl_store "
                                               "<file:///home/x/%E6%AD%A3%E5%89%AF%E6%9C%AC/"
                                               "a%20b.doc> failed")),
                 QStringLiteral("SfxBaseModel::impl_store </home/x/正副本/a b.doc> failed"));
        // Two in one text, one at the very end; a URL of another scheme stays.
        QCOMPARE(withPlainPaths(QStringLiteral("file:///a/%25 to file:///b/%E6%AD%A3")),
                 QStringLiteral("/a/% to /b/正"));
        QCOMPARE(withPlainPaths(QStringLiteral("http://h/%E6%AD%A3")),
                 QStringLiteral("http://h/%E6%AD%A3"));
    }

    void ioCausesInWords()
    {
        QCOMPARE(ioCauseOf(QStringLiteral("failed: 0x309(Error Area:Io Class:Space Code:9)")),
                 QStringLiteral("磁盘空间不足。"));
        QCOMPARE(ioCauseOf(QStringLiteral("0x4c25(Error Area:Io Class:Access Code:37)")),
                 QStringLiteral("文件或磁盘处于写保护状态。"));
        QCOMPARE(ioCauseOf(QStringLiteral("0x507(Error Area:Io Class:Access Code:7)")),
                 QStringLiteral("没有访问权限。"));
        // A vague code, another area, or none: nothing said.
        QVERIFY(ioCauseOf(QStringLiteral("0x31d(Error Area:Io Class:General Code:13)")).isEmpty());
        QVERIFY(ioCauseOf(QStringLiteral("(Error Area:Sfx Class:Access Code:7)")).isEmpty());
        QVERIFY(ioCauseOf(QStringLiteral("type detection failed")).isEmpty());
        QCOMPARE(
            engineDetail(QStringLiteral("<file:///t/%E6%AD%A3> 0x309(Error Area:Io Class:Space "
                                        "Code:9)")),
            QStringLiteral("磁盘空间不足。（</t/正> 0x309(Error Area:Io Class:Space Code:9)）"));
        QVERIFY(engineDetail(QString()).isEmpty());
    }
};

QTEST_GUILESS_MAIN(EngineDetailTest)
#include "tst_enginedetail.moc"
