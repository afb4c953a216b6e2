// The word-processor object model on the real office: find and replace,
// font sizes, margins, saving in the opened format, read-only opens.

#include "testfiles.h"
#include "testmain.h"

#include "office/engine.h"
#include "office/error.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace office;

namespace {

QByteArray digest(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

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

// The size the saved document gives the first occurrence of `text`.
float sizeOf(const QString& path, const QString& text)
{
    auto app = defaultEngine().createWordApplication();
    word::Document& doc = app->Documents().Open(path, true);
    auto range = doc.Range(0, 0);
    range->Find().Text = text;
    if (!range->Find().Execute()) {
        app->Quit();
        return -1;
    }
    const float size = range->Font().Size();
    app->Quit();
    return size;
}

} // namespace

class WordTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;
    QString path(const QString& name) const { return dir_.filePath(name); }

private Q_SLOTS:
    void replaceWalksTheWholeDocumentAndWraps()
    {
        const QString doc = path(QStringLiteral("walk.doc"));
        testfiles::makeWordDocument(doc, {QStringLiteral("甲 证书号 乙"),
                                          QStringLiteral("丙 证书号 丁 证书号"),
                                          QStringLiteral("单位名称")});
        auto app = defaultEngine().createWordApplication();
        app->SetVisible(false);
        word::Document& d = app->Documents().Open(doc, true);
        QCOMPARE(&app->ActiveDocument(), &d);
        // Start in the middle: the search must wrap to reach the first occurrence.
        auto range = d.Range(12, 13);
        range->Select();
        QCOMPARE(replaceAll(*range, QStringLiteral("证书号"), QStringLiteral("No.42")), 3);
        QCOMPARE(range->Text(), QStringLiteral("No.42"));
        QCOMPARE(replaceAll(*range, QStringLiteral("不存在"), QStringLiteral("x")), 0);
        const QString out = path(QStringLiteral("walk-out.doc"));
        d.SaveAs(out);
        d.Close();
        app->Quit();
        QCOMPARE(documentText(out), QStringLiteral("甲 No.42 乙\n丙 No.42 丁 No.42\n单位名称"));
    }

    void insertedTextIsSearchedAgain()
    {
        const QString doc = path(QStringLiteral("again.doc"));
        testfiles::makeWordDocument(doc, {QStringLiteral("证书号"), QStringLiteral("住所")});
        auto app = defaultEngine().createWordApplication();
        word::Document& d = app->Documents().Open(doc, true);
        auto range = d.Range(0, 1);
        // A value holding a later placeholder: that one is replaced later.
        QCOMPARE(replaceAll(*range, QStringLiteral("证书号"), QStringLiteral("A住所B")), 1);
        QCOMPARE(replaceAll(*range, QStringLiteral("住所"), QStringLiteral("[addr]")), 2);
        // A value holding its own placeholder is found again every time.
        QCOMPARE(replaceAll(*range, QStringLiteral("[addr]"), QStringLiteral("<[addr]>"), 50), 50);
        app->Quit();
    }

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

    void replacementIsLiteralAndCaseFollowsMatchCase()
    {
        const QString doc = path(QStringLiteral("literal.doc"));
        testfiles::makeWordDocument(doc, {QStringLiteral("abc ABC a.c"), QStringLiteral("X")});
        auto app = defaultEngine().createWordApplication();
        word::Document& d = app->Documents().Open(doc, true);
        auto range = d.Range(0, 1);
        // MatchCase: only the upper-case occurrence.
        QVERIFY(range->Find().Execute({.FindText = QStringLiteral("ABC"),
                                       .MatchCase = true,
                                       .Wrap = word::wdFindContinue,
                                       .ReplaceWith = QStringLiteral("^p$1\\n&"),
                                       .Replace = true}));
        QVERIFY(!range->Find().Execute({.FindText = QStringLiteral("ABC"),
                                        .MatchCase = true,
                                        .Wrap = word::wdFindContinue,
                                        .ReplaceWith = QStringLiteral("-"),
                                        .Replace = true}));
        // "." is no pattern: "abc" does not match "a.c".
        QCOMPARE(replaceAll(*range, QStringLiteral("a.c"), QStringLiteral(".*")), 1);
        // Without MatchCase any case matches.
        QCOMPARE(replaceAll(*range, QStringLiteral("ABC"), QStringLiteral("证")), 1);
        const QString longValue = QString(3000, u'长');
        QCOMPARE(replaceAll(*range, QStringLiteral("X"), longValue), 1);
        const QString out = path(QStringLiteral("literal-out.doc"));
        d.SaveAs(out);
        app->Quit();
        QCOMPARE(documentText(out), QStringLiteral("证 ^p$1\\n& .*\n") + longValue);
    }

    void fontSizeAppliesToChineseAndLatinText()
    {
        const QString doc = path(QStringLiteral("size.doc"));
        testfiles::makeWordDocument(doc, {QStringLiteral("单位名称"), QStringLiteral("NAME")}, 20);
        auto app = defaultEngine().createWordApplication();
        word::Document& d = app->Documents().Open(doc, true);
        auto range = d.Range(0, 1);
        const QString chinese = QStringLiteral("测试事业单位很长的名字");
        QCOMPARE(replaceAll(*range, QStringLiteral("单位名称"), chinese), 1);
        word::Find& find = range->Find();
        find.ClearFormatting();
        find.Text = chinese;
        find.Replacement.Text = QString();
        find.Forward = true;
        find.Wrap = word::wdFindContinue;
        find.MatchByte = true;
        QVERIFY(find.Execute());
        range->Font().SetSize(9.0f);
        QCOMPARE(replaceAll(*range, QStringLiteral("NAME"), QStringLiteral("Roman text")), 1);
        range->Font().SetSize(6.5f);
        const QString out = path(QStringLiteral("size-out.doc"));
        d.SaveAs(out);
        app->Quit();
        QCOMPARE(sizeOf(out, chinese), 9.0f);
        QCOMPARE(sizeOf(out, QStringLiteral("Roman text")), 6.5f);
    }

    void marginsAreInPointsAndApplyToTheDocument()
    {
        const QString doc = path(QStringLiteral("margins.doc"));
        testfiles::makeWordDocument(doc, {QStringLiteral("正文")}, 12, 1440);
        {
            auto app = defaultEngine().createWordApplication();
            word::Document& d = app->Documents().Open(doc);
            word::PageSetup& ps = d.PageSetup();
            QCOMPARE(ps.TopMargin(), 72.0f);
            QCOMPARE(app->PointsToCentimeters(ps.TopMargin()), 2.54f);
            QCOMPARE(app->CentimetersToPoints(2.5f), 70.866142f);
            ps.SetTopMargin(app->CentimetersToPoints(2.5f));
            ps.SetBottomMargin(app->CentimetersToPoints(1.234f));
            ps.SetLeftMargin(0.0f);
            ps.SetRightMargin(app->CentimetersToPoints(10.0f));
            app->ActiveDocument().SaveAs(doc);
            d.Close();
            app->Quit();
        }
        auto app = defaultEngine().createWordApplication();
        word::PageSetup& ps = app->Documents().Open(doc).PageSetup();
        QCOMPARE(QString::number(app->PointsToCentimeters(ps.TopMargin()), 'f', 2),
                 QStringLiteral("2.50"));
        QCOMPARE(QString::number(app->PointsToCentimeters(ps.BottomMargin()), 'f', 2),
                 QStringLiteral("1.23"));
        QCOMPARE(QString::number(app->PointsToCentimeters(ps.LeftMargin()), 'f', 2),
                 QStringLiteral("0.00"));
        QCOMPARE(QString::number(app->PointsToCentimeters(ps.RightMargin()), 'f', 2),
                 QStringLiteral("10.00"));
        QVERIFY(ps.PageWidth() > 500 && ps.PageHeight() > 800); // A4
        app->Quit();
        QCOMPARE(testfiles::leadingBytes(doc, 4), QByteArray("\xD0\xCF\x11\xE0", 4));
    }

    void marginsCountFromTheEdgeToTheBodyWithHeaderAndFooter()
    {
        // Word files keep the distance to the body; the header sits inside it.
        const QString rtf = path(QStringLiteral("header.rtf"));
        testfiles::writeText(
            rtf, QStringLiteral("{\\rtf1\\ansi\\paperw11906\\paperh16838\\margl1134\\margr1134"
                                "\\margt2268\\margb1701\\headery720\\footery567"
                                "{\\header\\pard header\\par}{\\footer\\pard footer\\par}"
                                "\\pard body\\par}"));
        const QString doc = path(QStringLiteral("header.doc"));
        convertFile(rtf, doc, QStringLiteral("MS Word 97"));
        {
            auto app = defaultEngine().createWordApplication();
            word::PageSetup& ps = app->Documents().Open(doc).PageSetup();
            QCOMPARE(ps.TopMargin(), 113.4f);                   // 2268 twips
            QCOMPARE(ps.BottomMargin(), 85.05f);                // 1701 twips
            ps.SetTopMargin(app->CentimetersToPoints(1.3f));    // just below the header's end
            ps.SetBottomMargin(app->CentimetersToPoints(0.5f)); // less than the footer needs
            app->ActiveDocument().SaveAs(doc);
            app->Quit();
        }
        auto app = defaultEngine().createWordApplication();
        word::PageSetup& ps = app->Documents().Open(doc, true).PageSetup();
        QCOMPARE(QString::number(app->PointsToCentimeters(ps.TopMargin()), 'f', 2),
                 QStringLiteral("1.30"));
        QCOMPARE(QString::number(app->PointsToCentimeters(ps.BottomMargin()), 'f', 2),
                 QStringLiteral("0.50"));
        app->Quit();
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
        const QString rtf = path(QStringLiteral("src.rtf"));
        testfiles::writeText(rtf, testfiles::rtfDocument({QStringLiteral("证书号")}));
        const QString source = path(name);
        convertFile(rtf, source, filter);
        const QByteArray before = digest(source);
        const QString out = path(QStringLiteral("saved-") + name);
        testfiles::writeText(out, QStringLiteral("an older file that must be replaced"));
        auto app = defaultEngine().createWordApplication();
        word::Document& d = app->Documents().Open(source, true);
        auto range = d.Range(0, 1);
        QCOMPARE(replaceAll(*range, QStringLiteral("证书号"), QStringLiteral("甲")), 1);
        d.SaveAs(out);
        app->Quit();
        QCOMPARE(testfiles::leadingBytes(out, magic.size()), magic);
        QCOMPARE(digest(source), before); // read-only open: untouched
        QCOMPARE(documentText(out), QStringLiteral("甲"));
        // Nothing else was left in the folder: no lock files, no temporaries.
        const QStringList hidden =
            QDir(dir_.path()).entryList(QDir::Hidden | QDir::Files).filter(QStringLiteral(".~"));
        QVERIFY2(hidden.isEmpty(), qPrintable(hidden.join(u' ')));
    }

    void failuresNameTheFileAndCause()
    {
        auto app = defaultEngine().createWordApplication();
        try {
            app->Documents().Open(path(QStringLiteral("missing.doc")), true);
            QFAIL("opened a missing file");
        } catch (const Error& e) {
            QCOMPARE(e.number(), errc::FileNotFound);
            QVERIFY(e.description().contains(QStringLiteral("missing.doc")));
        }
        const QString junk = path(QStringLiteral("junk.doc"));
        QDir().mkpath(junk + QStringLiteral(".d"));
        try {
            app->Documents().Open(junk + QStringLiteral(".d"), true);
            QFAIL("opened a folder");
        } catch (const Error& e) {
            QCOMPARE(e.number(), errc::FileNotFound);
        }
        // Random bytes would open as plain text; they are no document.
        QByteArray bytes(5000, '\0');
        for (int i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<char>((i * 7919 + 13) % 251);
        QFile random(path(QStringLiteral("random.doc")));
        QVERIFY(random.open(QIODevice::WriteOnly));
        random.write(bytes);
        random.close();
        try {
            app->Documents().Open(random.fileName(), true);
            QFAIL("opened random bytes as a document");
        } catch (const Error& e) {
            QCOMPARE(e.number(), errc::NotADocument);
            QVERIFY(e.description().contains(QStringLiteral("random.doc")));
        }
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
