// The run list and finding documents in the output folder: row order kept,
// names that would lead out of the folder refused.

#include "printing/printfailure.h"
#include "printing/runlist.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace printing;
using paths::TemplateKind;

class RunListTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir scratch_;
    QString out_; // the output folder, with its separator

    void touch(const QString& name)
    {
        QFile file(out_ + name);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }

private slots:
    void init()
    {
        out_ = scratch_.filePath(QStringLiteral("正副本/"));
        QDir(out_).removeRecursively();
        QVERIFY(QDir().mkpath(out_));
    }

    void writtenListReadsBackInRowOrder()
    {
        const QList<DocumentRef> run{{QStringLiteral("B2"), TemplateKind::Original},
                                     {QStringLiteral("B2"), TemplateKind::Duplicate},
                                     {QStringLiteral("A1 （甲）"), TemplateKind::Original},
                                     {QStringLiteral("A1 （甲）"), TemplateKind::Duplicate}};
        QVERIFY(readRunList(out_).documents.isEmpty()); // no run yet: nothing, no problem
        QVERIFY(readRunList(out_).problems.isEmpty());
        writeRunList({{QStringLiteral("old"), TemplateKind::Original}}, out_);
        writeRunList(run, out_);
        const RunList read = readRunList(out_);
        QCOMPARE(read.documents, run);
        QVERIFY(read.problems.isEmpty());
        QCOMPARE(run[2].fileName(), QStringLiteral("A1 （甲）（正本）.doc"));
        // the list is hidden and nothing else is left in the folder
        QCOMPARE(QDir(out_).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral(".morvanta-run")});
    }

    void unlistableNameKeepsThePreviousList()
    {
        const QList<DocumentRef> before{{QStringLiteral("A1"), TemplateKind::Original}};
        writeRunList(before, out_);
        for (const QString& bad :
             {QStringLiteral("../A1"), QStringLiteral(".."), QStringLiteral("a\nb")}) {
            QVERIFY_THROWS_EXCEPTION(PrintFailure,
                                     writeRunList({{bad, TemplateKind::Duplicate}}, out_));
            QCOMPARE(readRunList(out_).documents, before);
        }
    }

    void hostileListLinesAreRefused()
    {
        QFile file(runListPath(out_));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(
            "morvanta-run 1\nA1（正本）.doc\n../../etc/passwd\n..（正本）.doc\nx/../y（副本）.doc\n"
            "A1（副本）.doc\nnotes.txt\n");
        file.close();
        const RunList read = readRunList(out_);
        QCOMPARE(read.documents,
                 (QList<DocumentRef>{{QStringLiteral("A1"), TemplateKind::Original},
                                     {QStringLiteral("A1"), TemplateKind::Duplicate}}));
        QCOMPARE(read.problems.size(), 4);

        QVERIFY(file.open(QIODevice::WriteOnly)); // not our format at all
        file.write("A1（正本）.doc\n");
        file.close();
        QVERIFY(readRunList(out_).documents.isEmpty());
        QCOMPARE(readRunList(out_).problems.size(), 1);
    }

    void documentsResolveOnlyInsideTheFolder()
    {
        touch(QStringLiteral("A1（正本）.doc"));
        const QString outside = scratch_.filePath(QStringLiteral("secret（正本）.doc"));
        QFile(outside).open(QIODevice::WriteOnly);
        QVERIFY(QFile::link(outside, out_ + QStringLiteral("L（正本）.doc")));
        QVERIFY(QFile::link(out_ + QStringLiteral("A1（正本）.doc"),
                            out_ + QStringLiteral("In（正本）.doc")));
        QVERIFY(QDir().mkpath(out_ + QStringLiteral("D（副本）.doc")));

        QCOMPARE(resolveDocument({QStringLiteral("A1"), TemplateKind::Original}, out_),
                 QFileInfo(out_ + QStringLiteral("A1（正本）.doc")).canonicalFilePath());
        QCOMPARE(resolveDocument({QStringLiteral("In"), TemplateKind::Original}, out_),
                 QFileInfo(out_ + QStringLiteral("A1（正本）.doc")).canonicalFilePath());
        for (const DocumentRef& refused :
             QList<DocumentRef>{{QStringLiteral("L"), TemplateKind::Original},
                                {QStringLiteral("../secret"), TemplateKind::Original},
                                {QStringLiteral("D"), TemplateKind::Duplicate},
                                {QStringLiteral("A1"), TemplateKind::Duplicate}}) {
            QVERIFY_THROWS_EXCEPTION(PrintFailure, resolveDocument(refused, out_));
        }
    }

    void certificatesGiveBothKindsInTheirOrder()
    {
        for (const char* name : {"B（正本）.doc", "B（副本）.doc", "A（副本）.doc"})
            touch(QString::fromUtf8(name));
        const RunList found = documentsOfCertificates(
            {QStringLiteral("B"), QStringLiteral("A"), QStringLiteral("C"), QStringLiteral("../B")},
            out_);
        QCOMPARE(found.documents,
                 (QList<DocumentRef>{{QStringLiteral("B"), TemplateKind::Original},
                                     {QStringLiteral("B"), TemplateKind::Duplicate},
                                     {QStringLiteral("A"), TemplateKind::Duplicate}}));
        QCOMPARE(found.problems.size(), 2); // C is missing, ../B is no name in the folder
    }
};

QTEST_GUILESS_MAIN(RunListTest)
#include "tst_runlist.moc"
