// The print window's logic without a window: the certificate list (order,
// ticking, filtering, documents named on the command line, check results),
// the question about documents held back, and the kept printer choices.

#include "printing/certificatelist.h"
#include "printing/printchoices.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace printing;
using paths::TemplateKind;

namespace {

const TemplateKind O = TemplateKind::Original;
const TemplateKind D = TemplateKind::Duplicate;

void touch(const QString& path, const QDateTime& modified)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("doc");
    file.close();
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
}

QStringList numbers(const CertificateList& list)
{
    QStringList result;
    for (const CertificateList::Line& line : list.lines())
        result << line.certificate;
    return result;
}

} // namespace

class CertificateListTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir home_;
    QString out_;

    void document(const QString& certificate, TemplateKind kind, int daysAgo)
    {
        touch(out_ + documentFileName(certificate, kind),
              QDateTime::currentDateTime().addDays(-daysAgo));
    }

private slots:
    void initTestCase()
    {
        qputenv("HOME", QFile::encodeName(home_.path()));
        qunsetenv("XDG_CONFIG_HOME");
        out_ = paths::outputDir();
        QVERIFY(QDir().mkpath(out_));
        // The latest run: B2 and A1 in row order, B2 listed twice (a later
        // row of the same number), A1's duplicate failed and C3's original
        // was deleted since.
        for (const auto& [certificate, kind] : {std::pair{QStringLiteral("B2"), O},
                                                {QStringLiteral("B2"), D},
                                                {QStringLiteral("A1"), O},
                                                {QStringLiteral("C3"), D}})
            document(certificate, kind, 0);
        writeRunList({{QStringLiteral("B2"), O},
                      {QStringLiteral("B2"), D},
                      {QStringLiteral("A1"), O},
                      {QStringLiteral("C3"), O},
                      {QStringLiteral("C3"), D},
                      {QStringLiteral("B2"), O},
                      {QStringLiteral("B2"), D}},
                     out_);
        // Older documents, changed at different times, and files that are
        // no documents of ours.
        document(QStringLiteral("old-x"), O, 30);
        document(QStringLiteral("old-x"), D, 2); // the newer document counts
        document(QStringLiteral("ＮＥＷ-y"), O, 5);
        document(QStringLiteral("older-z"), D, 10);
        touch(out_ + QStringLiteral("notes.txt"), QDateTime::currentDateTime());
        touch(out_ + QStringLiteral("x（三本）.doc"), QDateTime::currentDateTime());
        QVERIFY(QDir().mkpath(out_ + documentFileName(QStringLiteral("dir"), O)));
    }

    void listsTheLatestRunFirstThenTheNewestDocuments()
    {
        CertificateList list;
        QCOMPARE(list.load(out_), QStringList());
        QCOMPARE(numbers(list), (QStringList{"B2", "A1", "C3", "old-x", "ＮＥＷ-y", "older-z"}));
        const auto& lines = list.lines();
        QCOMPARE(lines[1].present, (std::array<bool, 2>{true, false}));
        QCOMPARE(lines[2].present, (std::array<bool, 2>{false, true})); // original deleted
        QCOMPARE(lines[3].inLatestRun, (std::array<bool, 2>{false, false}));
        QCOMPARE(list.tickedCount(), 0);

        // What is not there has no tick to set.
        const QModelIndex missing = list.index(1, CertificateList::Duplicate);
        QVERIFY(!(list.flags(missing) & Qt::ItemIsUserCheckable));
        QVERIFY(!list.setData(missing, Qt::Checked, Qt::CheckStateRole));
        QCOMPARE(list.data(missing, Qt::DisplayRole).toString(), QStringLiteral("（无）"));
    }

    void ticksRunAllNoneAndSingleDocumentsInListOrder()
    {
        CertificateList list;
        list.load(out_);
        list.tickLatestRun();
        QCOMPARE(list.tickedDocuments(),
                 (QList<DocumentRef>{{"B2", O}, {"B2", D}, {"A1", O}, {"C3", D}}));

        list.tickNone();
        QVERIFY(list.setData(list.index(4, CertificateList::Original), Qt::Checked,
                             Qt::CheckStateRole));
        QVERIFY(list.setData(list.index(0, CertificateList::Duplicate), Qt::Checked,
                             Qt::CheckStateRole));
        QCOMPARE(list.tickedDocuments(), (QList<DocumentRef>{{"B2", D}, {"ＮＥＷ-y", O}}));

        // All and none act on the lines the filter shows.
        CertificateFilter filter;
        filter.setSourceModel(&list);
        filter.setText(QStringLiteral(" OLD "));
        QCOMPARE(filter.shownRows(), (QList<int>{3, 5}));
        list.tickAll(filter.shownRows());
        QCOMPARE(list.tickedCount(), 5);
        list.tickNone(filter.shownRows());
        QCOMPARE(list.tickedDocuments(), (QList<DocumentRef>{{"B2", D}, {"ＮＥＷ-y", O}}));
        list.tickAll();
        QCOMPARE(list.tickedCount(), 8);

        // While a run uses the ticks they cannot be changed by hand.
        list.setLocked(true);
        QVERIFY(!list.setData(list.index(0, CertificateList::Original), Qt::Unchecked,
                              Qt::CheckStateRole));
        QVERIFY(!(list.flags(list.index(0, CertificateList::Original)) & Qt::ItemIsUserCheckable));
        QCOMPARE(list.tickedCount(), 8);
    }

    void filterIgnoresCaseAndWidth()
    {
        CertificateList list;
        list.load(out_);
        CertificateFilter filter;
        filter.setSourceModel(&list);
        filter.setText(QStringLiteral("new"));
        QCOMPARE(filter.shownRows(), QList<int>{4});
        filter.setText(QStringLiteral("ｂ２"));
        QCOMPARE(filter.shownRows(), QList<int>{0});
        filter.setText(QString());
        QCOMPARE(filter.rowCount(), 6);
    }

    void argumentsTickOnlyDocumentsOfTheFolder()
    {
        CertificateList list;
        list.load(out_);
        QTemporaryDir elsewhere;
        const QString copy = elsewhere.filePath(documentFileName(QStringLiteral("A1"), O));
        touch(copy, QDateTime::currentDateTime());
        QVERIFY(QFile::link(out_ + documentFileName(QStringLiteral("A1"), O),
                            elsewhere.filePath(QStringLiteral("link（正本）.doc"))));
        const QStringList problems = list.tickArguments(
            {out_ + documentFileName(QStringLiteral("old-x"), D), QStringLiteral("B2"), copy,
             elsewhere.filePath(QStringLiteral("link（正本）.doc")),
             out_ + QStringLiteral("notes.txt"), out_ + documentFileName(QStringLiteral("A1"), D),
             QStringLiteral("ZZ9")});
        QCOMPARE(list.tickedDocuments(), (QList<DocumentRef>{{"B2", O}, {"B2", D}, {"old-x", D}}));
        QCOMPARE(problems.size(), 5);
        QVERIFY(problems.last().contains(QStringLiteral("ZZ9")));
        QVERIFY(problems.first().contains(QDir::toNativeSeparators(copy)));
    }

    void checkResultsAndTheHeldBackQuestion()
    {
        CertificateList list;
        list.load(out_);
        list.setCheck({QStringLiteral("B2"), O}, 2, QString());
        list.setCheck({QStringLiteral("B2"), D}, 1, QString());
        list.setCheck({QStringLiteral("A1"), O}, 3, QStringLiteral("单位名称"));
        list.setCheck({QStringLiteral("not-listed"), O}, 2, QString()); // ignored
        QCOMPARE(list.data(list.index(0, CertificateList::Original), Qt::DisplayRole).toString(),
                 QStringLiteral("2 页"));
        QCOMPARE(list.data(list.index(0, CertificateList::Duplicate), Qt::DisplayRole).toString(),
                 QStringLiteral("通过"));
        QVERIFY(list.data(list.index(0, CertificateList::Original), Qt::ForegroundRole).isValid());
        QVERIFY(
            !list.data(list.index(0, CertificateList::Duplicate), Qt::ForegroundRole).isValid());

        const QString question = heldBackQuestion({{"B2", O}, {"A1", O}}, list);
        QVERIFY(question.contains(QStringLiteral("证书“B2”（正本）：2 页")));
        QVERIFY(question.contains(QStringLiteral("证书“A1”（正本）：3 页，仍有“单位名称”")));

        QList<DocumentRef> many;
        for (int i = 0; i < 40; ++i)
            many << DocumentRef{QStringLiteral("N%1").arg(i), O};
        const QString shortened = heldBackQuestion(many, list);
        QVERIFY(shortened.contains(QStringLiteral("N14")));
        QVERIFY(!shortened.contains(QStringLiteral("N15")));
        QVERIFY(shortened.contains(QStringLiteral("另有 25 份")));

        list.clearChecks();
        QVERIFY(!list.checkOf({QStringLiteral("B2"), O}).done);
    }

    void keptChoicesMeetTheQueuesOfNow()
    {
        const QList<Printer> printers = defaultFirst(
            {{QStringLiteral("A4机"), {}, false, {{"top", "Top"}, {"manual", "Manual"}}, "top"},
             {QStringLiteral("A3机"), {}, true, {{"top", "Top"}, {"bottom", "Bottom"}}, "top"}});
        QCOMPARE(printers.first().name, QStringLiteral("A3机"));

        // Nothing kept: the default printer and its default tray.
        Destination d = restoredChoice(printers, keptChoice(O));
        QCOMPARE(d.printer, QStringLiteral("A3机"));
        QCOMPARE(d.tray, QStringLiteral("top"));
        QCOMPARE(d.copies, 1);

        keepChoice(O, {QStringLiteral("A4机"), QStringLiteral("manual"), 3});
        keepChoice(D, {QStringLiteral("gone"), QStringLiteral("manual"), 5000});
        QVERIFY(QFileInfo::exists(home_.filePath(".config/Morvanta/MorvantaPrint.conf")));
        d = restoredChoice(printers, keptChoice(O));
        QCOMPARE(d.printer, QStringLiteral("A4机"));
        QCOMPARE(d.tray, QStringLiteral("manual"));
        QCOMPARE(d.copies, 3);
        // A printer that is gone gives the default; a tray the queue no longer has its default.
        d = restoredChoice(printers, keptChoice(D));
        QCOMPARE(d.printer, QStringLiteral("A3机"));
        QCOMPARE(d.tray, QStringLiteral("top"));
        QCOMPARE(d.copies, 999);
        QCOMPARE(restoredChoice({}, keptChoice(O)).printer, QString());
    }
};

QTEST_GUILESS_MAIN(CertificateListTest)
#include "tst_certificatelist.moc"
