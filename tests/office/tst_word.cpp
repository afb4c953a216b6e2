// The word-processor object model on the real office: find and replace,
// font sizes, margins, saving in the opened format, read-only opens.

#include "testfiles.h"
#include "testmain.h"

#include "common/error.h"
#include "office/engine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using namespace office;
using namespace morvanta;

namespace {

// Replaces every occurrence the way the generator does, counting successes.
int replaceAll(word::Range& range, const QString& placeholder, const QString& value,
               int limit = 1000)
{
    int count = 0;
    while (count < limit && range.Find().Execute({.FindText = placeholder,
                                                  .MatchCase = false,
                                                  .Wrap = word::wdFindContinue,
                                                  .ReplaceWith = value,
                                                  .Replace = true}))
        ++count;
    return count;
}

// The whole main text of a saved document, paragraphs joined by '\n'.
QString documentText(const QString& path)
{
    auto app = defaultEngine().createWordApplication();
    word::Document& doc = app->Documents().Open(path, true);
    auto all = doc.Range(0, 1000000);
    QString text = all->Text();
    app->Quit();
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
}

// The pages of a PDF as poppler reads them: "width x height" in points.
QStringList pdfPages(const QString& pdf)
{
    QProcess info;
    info.start(QStringLiteral("pdfinfo"), {QStringLiteral("-f"), QStringLiteral("1"),
                                           QStringLiteral("-l"), QStringLiteral("99"), pdf});
    if (!info.waitForFinished(30000) || info.exitCode() != 0)
        return {};
    QStringList pages;
    static const QRegularExpression size(
        QStringLiteral("^Page +\\d+ size: +([\\d.]+) x ([\\d.]+)"));
    for (const QString& line : QString::fromUtf8(info.readAll()).split(u'\n')) {
        if (const auto m = size.match(line); m.hasMatch())
            pages << QStringLiteral("%1x%2")
                         .arg(qRound(m.captured(1).toDouble()))
                         .arg(qRound(m.captured(2).toDouble()));
    }
    return pages;
}

} // namespace

class WordTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;
    QString path(const QString& name) const { return dir_.filePath(name); }

private Q_SLOTS:
    // Each replacement goes on from the last one and wraps around, also when
    // earlier occurrences are left; a range's own insertion is found again
    // only while no other range has changed the text.
    void replacementsGoOnFromTheRangeAndWrap()
    {
        const QString doc = path(QStringLiteral("order.doc"));
        testfiles::makeWordDocument(doc, {QStringLiteral("证书号甲"), QStringLiteral("证书号乙"),
                                          QStringLiteral("证书号丙"), QStringLiteral("证书号丁")});
        auto app = defaultEngine().createWordApplication();
        word::Document& d = app->Documents().Open(doc, true);
        auto range = d.Range(6, 7); // inside the second occurrence
        const auto replaceOnce = [&](word::Range& r, const QString& text, const QString& value) {
            return r.Find().Execute({.FindText = text,
                                     .MatchCase = false,
                                     .Wrap = word::wdFindContinue,
                                     .ReplaceWith = value,
                                     .Replace = true});
        };
        for (const QString& value : {QStringLiteral("一"), QStringLiteral("二"),
                                     QStringLiteral("三"), QStringLiteral("四")})
            QVERIFY(replaceOnce(*range, QStringLiteral("证书号"), value));
        QVERIFY(!replaceOnce(*range, QStringLiteral("证书号"), QStringLiteral("五")));
        QCOMPARE(range->Text(), QStringLiteral("四"));

        auto other = d.Range(0, 1);
        QVERIFY(replaceOnce(*other, QStringLiteral("四"), QStringLiteral("戊")));
        range->Find().Text = QStringLiteral("四");
        QVERIFY(!range->Find().Execute()); // replaced through the other range
        const QString out = path(QStringLiteral("order-out.doc"));
        d.SaveAs(out);
        app->Quit();
        QCOMPARE(documentText(out), QStringLiteral("三甲\n戊乙\n一丙\n二丁"));
    }

    // MatchCase finds only the same case, without it any case; "." is no
    // pattern and the replacement text is taken as it is.
    void replacementIsLiteralAndCaseFollowsMatchCase()
    {
        const QString doc = path(QStringLiteral("literal.doc"));
        testfiles::makeWordDocument(doc, {QStringLiteral("abc ABC a.c"), QStringLiteral("X")});
        auto app = defaultEngine().createWordApplication();
        word::Document& d = app->Documents().Open(doc, true);
        auto range = d.Range(0, 1);
        const auto replace = [&](const QString& text, bool matchCase, const QString& value) {
            return range->Find().Execute({.FindText = text,
                                          .MatchCase = matchCase,
                                          .Wrap = word::wdFindContinue,
                                          .ReplaceWith = value,
                                          .Replace = true});
        };
        QVERIFY(replace(QStringLiteral("ABC"), true, QStringLiteral("^p$1\\n&")));
        QVERIFY(!replace(QStringLiteral("ABC"), true, QStringLiteral("-")));
        QCOMPARE(replaceAll(*range, QStringLiteral("a.c"), QStringLiteral(".*")), 1);
        QCOMPARE(replaceAll(*range, QStringLiteral("ABC"), QStringLiteral("证")), 1);
        const QString longValue = QString(3000, u'长');
        QCOMPARE(replaceAll(*range, QStringLiteral("X"), longValue), 1);
        const QString out = path(QStringLiteral("literal-out.doc"));
        d.SaveAs(out);
        app->Quit();
        QCOMPARE(documentText(out), QStringLiteral("证 ^p$1\\n& .*\n") + longValue);
    }

    // Margins are in points and count from the edge to the body, the header
    // and footer lying inside them; written ones come back as set.
    void marginsAreInPointsFromTheEdgeToTheBody()
    {
        const QString rtf = path(QStringLiteral("header.rtf"));
        testfiles::writeText(
            rtf, QStringLiteral("{\\rtf1\\ansi\\paperw11906\\paperh16838\\margl1440\\margr1134"
                                "\\margt2268\\margb1701\\headery720\\footery567"
                                "{\\header\\pard header\\par}{\\footer\\pard footer\\par}"
                                "\\pard body\\par}"));
        const QString doc = path(QStringLiteral("header.doc"));
        convertFile(rtf, doc, QStringLiteral("MS Word 97"));
        {
            auto app = defaultEngine().createWordApplication();
            word::Document& d = app->Documents().Open(doc);
            word::PageSetup& ps = d.PageSetup();
            QCOMPARE(ps.TopMargin(), 113.4f);    // 2268 twips
            QCOMPARE(ps.BottomMargin(), 85.05f); // 1701 twips
            QCOMPARE(app->PointsToCentimeters(ps.LeftMargin()), 2.54f);
            QCOMPARE(app->CentimetersToPoints(2.5f), 70.866142f);
            QVERIFY(ps.PageWidth() > 500 && ps.PageHeight() > 800); // A4
            ps.SetTopMargin(app->CentimetersToPoints(1.3f));        // just below the header's end
            ps.SetBottomMargin(app->CentimetersToPoints(0.5f));     // less than the footer needs
            ps.SetLeftMargin(0.0f);
            ps.SetRightMargin(app->CentimetersToPoints(10.0f));
            app->ActiveDocument().SaveAs(doc);
            d.Close();
            app->Quit();
        }
        auto app = defaultEngine().createWordApplication();
        word::PageSetup& ps = app->Documents().Open(doc, true).PageSetup();
        QStringList shown;
        for (const float points :
             {ps.TopMargin(), ps.BottomMargin(), ps.LeftMargin(), ps.RightMargin()})
            shown << QString::number(app->PointsToCentimeters(points), 'f', 2);
        QCOMPARE(shown, QStringList({"1.30", "0.50", "0.00", "10.00"}));
        app->Quit();
        QVERIFY(testfiles::isOleFile(doc));
    }

    void saveKeepsTheOpenedFormat_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QByteArray>("magic");
        QTest::newRow("word97") << "t.doc"
                                << "MS Word 97" << QByteArray("\xD0\xCF\x11\xE0", 4);
        QTest::newRow("rtf") << "t.rtf"
                             << "Rich Text Format" << QByteArray("{\\rtf");
        QTest::newRow("docx") << "t.docx"
                              << "MS Word 2007 XML" << QByteArray("PK\x03\x04", 4);
    }

    void saveKeepsTheOpenedFormat()
    {
        QFETCH(QString, name);
        QFETCH(QString, filter);
        QFETCH(QByteArray, magic);
        const QString doc = path(QStringLiteral("src.doc"));
        testfiles::makeWordDocument(doc, {QStringLiteral("证书号")});
        const QString source = path(name);
        convertFile(doc, source, filter);
        const QByteArray before = testfiles::readBytes(source);
        const QString out = path(QStringLiteral("saved-") + name);
        testfiles::writeText(out, QStringLiteral("an older file that must be replaced"));
        auto app = defaultEngine().createWordApplication();
        word::Document& d = app->Documents().Open(source, true);
        auto range = d.Range(0, 1);
        QCOMPARE(replaceAll(*range, QStringLiteral("证书号"), QStringLiteral("甲")), 1);
        d.SaveAs(out);
        app->Quit();
        QCOMPARE(testfiles::leadingBytes(out, magic.size()), magic);
        QCOMPARE(testfiles::readBytes(source), before); // read-only open: untouched
        QCOMPARE(documentText(out), QStringLiteral("甲"));
        // Nothing else was left in the folder: no lock files, no temporaries.
        const QStringList hidden =
            QDir(dir_.path()).entryList(QDir::Hidden | QDir::Files).filter(QStringLiteral(".~"));
        QVERIFY2(hidden.isEmpty(), qPrintable(hidden.join(u' ')));
    }

    // The PDF is the document as laid out, every page in its size, and the
    // page count is that of the layout; the document itself is not touched
    // and nothing is left beside the PDF.
    void exportWritesTheLayoutAndCountsItsPages()
    {
        const QString landscape = path(QStringLiteral("a3.doc"));
        testfiles::makeWordDocumentFromRtf(landscape,
                                           testfiles::rtfParagraph(QStringLiteral("证书号")), 20,
                                           {1440, 1440, 1440, 1440, 23811, 16838});
        QStringList lines;
        for (int i = 0; i < 120; ++i)
            lines << QStringLiteral("第%1行").arg(i);
        const QString long_ = path(QStringLiteral("long.doc"));
        testfiles::makeWordDocument(long_, lines, 12);

        QTemporaryDir out;
        auto app = defaultEngine().createWordApplication();
        const QByteArray before = testfiles::readBytes(landscape);
        word::Document& a3 = app->Documents().Open(landscape, true);
        QCOMPARE(a3.ComputeStatistics(word::wdStatisticPages), 1);
        a3.ExportAsFixedFormat(out.filePath(QStringLiteral("a3.pdf")), word::wdExportFormatPDF);
        QVERIFY_THROWS_EXCEPTION(Error, a3.ComputeStatistics(0));
        QVERIFY_THROWS_EXCEPTION(Error, a3.ExportAsFixedFormat(out.filePath("x.xps"), 18));
        app->Quit();
        QCOMPARE(pdfPages(out.filePath(QStringLiteral("a3.pdf"))), QStringList{"1191x842"});
        QCOMPARE(testfiles::readBytes(landscape), before);

        auto second = defaultEngine().createWordApplication();
        word::Document& more = second->Documents().Open(long_, true);
        const int pages = more.ComputeStatistics(word::wdStatisticPages);
        QVERIFY2(pages >= 2, qPrintable(QString::number(pages)));
        const QString pdf = out.filePath(QStringLiteral("long.pdf"));
        testfiles::writeText(pdf, QStringLiteral("an older file that must be replaced"));
        more.ExportAsFixedFormat(pdf, word::wdExportFormatPDF);
        // A scratch export is the same PDF, and leaves nothing beside it either.
        const QString scratch = out.filePath(QStringLiteral("scratch.pdf"));
        testfiles::writeText(scratch, QStringLiteral("an older file that must be replaced"));
        more.ExportAsFixedFormat(scratch, word::wdExportFormatPDF, true);
        QVERIFY_THROWS_EXCEPTION(
            Error, more.ExportAsFixedFormat(out.filePath(QStringLiteral("无/x.pdf")), 17, true));
        second->Quit();
        QCOMPARE(pdfPages(pdf), QStringList(pages, QStringLiteral("595x842")));
        QCOMPARE(pdfPages(scratch), QStringList(pages, QStringLiteral("595x842")));
        QCOMPARE(QDir(out.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList({"a3.pdf", "long.pdf", "scratch.pdf"}));
    }

    // One search for several texts: the first in the document's order,
    // tables, headers and frames included, each text taken literally and
    // with its case.
    void firstFoundTakesTheTextsLiterally()
    {
        const QString body = path(QStringLiteral("several.doc"));
        testfiles::makeWordDocumentFromRtf(
            body,
            testfiles::rtfParagraph(QStringLiteral("甲住所乙 a(b ABC")) +
                testfiles::rtfTableRow({QStringLiteral("单位名称"), QStringLiteral("丙")}) +
                testfiles::rtfParagraph(QStringLiteral("完")),
            12, {});
        const QString header = path(QStringLiteral("header.doc"));
        testfiles::makeWordDocumentFromRtf(
            header,
            QStringLiteral("{\\header ") + testfiles::rtfParagraph(QStringLiteral("开办资金")) +
                QStringLiteral("}\n") + testfiles::rtfParagraph(QStringLiteral("正文 axb")) +
                // a positioned paragraph: a frame of its own
                QStringLiteral("\\pard\\posx2000\\posy3000\\absw3000 ") +
                testfiles::rtfParagraph(QStringLiteral("法定代表人")).mid(6),
            12, {});
        auto app = defaultEngine().createWordApplication();
        word::Document& d = app->Documents().Open(body, true);
        QCOMPARE(d.FirstFound({QStringLiteral("单位名称"), QStringLiteral("住所")}),
                 QStringLiteral("住所"));
        QCOMPARE(d.FirstFound({QStringLiteral("证书号"), QStringLiteral("单位名称")}),
                 QStringLiteral("单位名称"));
        QCOMPARE(d.FirstFound({QStringLiteral("a(b")}), QStringLiteral("a(b"));
        QCOMPARE(d.FirstFound({QStringLiteral("abc"), QStringLiteral("甲.所"),
                               QStringLiteral("住所|"), QString()}),
                 QString());
        app->Quit();
        auto second = defaultEngine().createWordApplication();
        word::Document& h = second->Documents().Open(header, true);
        QCOMPARE(h.FirstFound({QStringLiteral("证书号"), QStringLiteral("开办资金")}),
                 QStringLiteral("开办资金"));
        QCOMPARE(h.FirstFound({QStringLiteral("a.b"), QStringLiteral("a[x]b")}), QString());
        QCOMPARE(h.FirstFound({QStringLiteral("法定代表人")}), QStringLiteral("法定代表人"));
        second->Quit();
    }

    void failuresNameTheFileAndCause()
    {
        auto app = defaultEngine().createWordApplication();
        // The number of the failure to open `file`, once its text names the file.
        const auto openFailure = [&](const QString& file) {
            try {
                app->Documents().Open(file, true);
            } catch (const Error& e) {
                return e.description().contains(QFileInfo(file).fileName()) ? e.number() : -1;
            }
            return 0;
        };
        QCOMPARE(openFailure(path(QStringLiteral("missing.doc"))), errc::FileNotFound);
        QDir().mkpath(path(QStringLiteral("folder.doc")));
        QCOMPARE(openFailure(path(QStringLiteral("folder.doc"))), errc::FileNotFound);
        // Random bytes would open as plain text; they are no document.
        QByteArray bytes(5000, '\0');
        for (int i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<char>((i * 7919 + 13) % 251);
        testfiles::writeBytes(path(QStringLiteral("random.doc")), bytes);
        QCOMPARE(openFailure(path(QStringLiteral("random.doc"))), errc::NotADocument);

        const QString doc = path(QStringLiteral("fail.doc"));
        testfiles::makeWordDocument(doc, {QStringLiteral("x")});
        word::Document& d = app->Documents().Open(doc, true);
        try {
            d.SaveAs(path(QStringLiteral("no/such/folder/out.doc")));
            QFAIL("saved into a missing folder");
        } catch (const Error& e) {
            QCOMPARE(e.number(), errc::PathNotFound);
            QVERIFY(e.message().startsWith(QStringLiteral("76:")));
        }
        app->Quit();
        QVERIFY_THROWS_EXCEPTION(Error, app->ActiveDocument());
    }
};

MORVANTA_TEST_MAIN(WordTest)
#include "tst_word.moc"
