// The pipeline's order and ends, with plain functions in place of the office:
// what reaches the caller is what a run of one fill after the other shows.

#include "generator/fillpipeline.h"
#include "generator/runview.h"

#include <QRegularExpression>
#include <QTest>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

class FillPipelineTest : public QObject
{
    Q_OBJECT

    std::mutex mutex_;
    QStringList filled_;           // "row/kind", as the fills ran
    std::array<int, 2> running_{}; // fills of each kind running now
    std::array<int, 2> mostAtOnce_{};

    FillPipeline::Fill fill(int kind, int failingRow = -1)
    {
        return [this, kind, failingRow](const CertificateRecord& record, RunView& view, bool&) {
            const int row = record.danweimingcheng.toInt();
            {
                std::lock_guard lock(mutex_);
                mostAtOnce_[kind] = std::max(mostAtOnce_[kind], ++running_[kind]);
            }
            // Uneven fills, so that later ones often end first.
            std::this_thread::sleep_for(std::chrono::milliseconds((row * 7 + kind * 3) % 5));
            {
                std::lock_guard lock(mutex_);
                --running_[kind];
                filled_ << QStringLiteral("%1/%2").arg(row).arg(kind);
            }
            if (row == failingRow && kind == 1)
                throw std::runtime_error("escaped");
            view.showMessage(QStringLiteral("%1 %2").arg(row).arg(kind));
            return std::int16_t(1);
        };
    }

private slots:
    void init()
    {
        filled_.clear();
        mostAtOnce_ = {};
    }

    // Outcomes come in row order, original first, each with its own row,
    // whatever the number of lanes; nothing past a failure is filled.
    void outcomesInSequentialOrder_data()
    {
        QTest::addColumn<int>("lanes");
        QTest::addColumn<int>("unreadableRow"); // -1: none
        QTest::addColumn<int>("failingRow");    // the duplicate fails; -1: none
        QTest::addColumn<bool>("oneNumber");    // every row has the same certificate number
        QTest::newRow("one lane") << 1 << -1 << -1 << false;
        QTest::newRow("three lanes") << 3 << -1 << -1 << false;
        QTest::newRow("row 5 unreadable") << 2 << 5 << -1 << false;
        QTest::newRow("row 0 unreadable") << 2 << 0 << -1 << false;
        QTest::newRow("duplicate of row 4 fails") << 2 << -1 << 4 << false;
        QTest::newRow("three lanes, one number") << 3 << -1 << -1 << true;
        QTest::newRow("one number, duplicate of row 4 fails") << 3 << -1 << 4 << true;
    }

    void outcomesInSequentialOrder()
    {
        QFETCH(int, lanes);
        QFETCH(int, unreadableRow);
        QFETCH(int, failingRow);
        QFETCH(bool, oneNumber);
        const int rows = 12;
        std::atomic<int> reads = 0;
        std::atomic<bool> outOfOrder = false;
        FillPipeline pipeline(rows, lanes,
                              [&](int row) {
                                  if (row != reads++) // in order, once each
                                      outOfOrder = true;
                                  if (row == unreadableRow)
                                      throw std::runtime_error("unreadable");
                                  CertificateRecord record;
                                  record.danweimingcheng = QString::number(row);
                                  record.zhengshuhao =
                                      oneNumber ? QStringLiteral("A7") : QString::number(row);
                                  return record;
                              },
                              {fill(0), fill(1, failingRow)});

        const int end = unreadableRow >= 0 ? 2 * unreadableRow
                        : failingRow >= 0  ? 2 * failingRow + 1
                                           : 2 * rows - 1;
        for (int job = 0; job <= end; ++job) {
            const FillPipeline::Outcome outcome = pipeline.next();
            const int row = job / 2;
            if (job == end && unreadableRow >= 0) {
                QVERIFY(!outcome.record && outcome.failure);
                break;
            }
            QVERIFY(outcome.record);
            QCOMPARE(outcome.record->danweimingcheng, QString::number(row));
            if (job == end && failingRow >= 0) {
                QVERIFY(outcome.failure && outcome.messages.isEmpty());
                break;
            }
            QVERIFY(!outcome.failure);
            QCOMPARE(outcome.messages, QStringList{QStringLiteral("%1 %2").arg(row).arg(job % 2)});
        }
        pipeline.stop();
        QVERIFY(!outOfOrder);
        // Nothing of a row past an unreadable one was filled.
        for (const QString& done : filled_)
            QVERIFY2(unreadableRow < 0 || done.section(u'/', 0, 0).toInt() < unreadableRow,
                     qPrintable(done));
        if (unreadableRow < 0 && failingRow < 0)
            QCOMPARE(filled_.size(), 2 * rows);
        // Fills that write the same document ran one after the other, in row
        // order, so the last row's document stays; none that waited behind a
        // failed fill of that document ran after it.
        if (oneNumber) {
            for (int kind = 0; kind < 2; ++kind) {
                QCOMPARE(mostAtOnce_[kind], 1);
                const QStringList ofKind =
                    filled_.filter(QRegularExpression(QStringLiteral("/%1$").arg(kind)));
                for (int row = 0; row < ofKind.size(); ++row)
                    QCOMPARE(ofKind.at(row), QStringLiteral("%1/%2").arg(row).arg(kind));
                if (failingRow < 0)
                    QCOMPARE(ofKind.size(), rows);
                else if (kind == 1)
                    QCOMPARE(ofKind.size(), failingRow + 1);
            }
        }
    }
    // A stop while fills wait for a lane, or behind an earlier fill of their
    // document, starts none of them; the running ones end as usual and keep
    // their outcomes.
    void stopStartsNoFurtherFill()
    {
        std::condition_variable changed;
        bool released = false;
        int entered = 0;
        const auto held = [&](int kind) {
            return [&, kind](const CertificateRecord& record, RunView&, bool&) -> std::int16_t {
                std::unique_lock lock(mutex_);
                filled_ << QStringLiteral("%1/%2").arg(record.danweimingcheng).arg(kind);
                ++entered;
                changed.notify_all();
                changed.wait(lock, [&] { return released; });
                return 1;
            };
        };
        // One certificate number: the first row's two fills hold two of the
        // three lanes, and every other fill waits behind one of them.
        FillPipeline pipeline(4, 3,
                              [](int row) {
                                  CertificateRecord record;
                                  record.danweimingcheng = QString::number(row);
                                  record.zhengshuhao = QStringLiteral("A7");
                                  return record;
                              },
                              {held(0), held(1)});
        {
            std::unique_lock lock(mutex_);
            QVERIFY(changed.wait_for(lock, std::chrono::seconds(20), [&] { return entered == 2; }));
        }
        // Time for the free lane to look for a fill, and for the stop to take hold.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        std::atomic<bool> stopping = false;
        std::thread stopper([&] {
            stopping = true;
            pipeline.stop();
        });
        while (!stopping)
            std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        {
            std::lock_guard lock(mutex_);
            released = true;
            changed.notify_all();
        }
        stopper.join();

        filled_.sort();
        QCOMPARE(filled_, (QStringList{"0/0", "0/1"}));
        for (int kind = 0; kind < 2; ++kind)
            QCOMPARE(pipeline.next().record->danweimingcheng, QStringLiteral("0"));
        QVERIFY_THROWS_EXCEPTION(std::logic_error, pipeline.next());
    }
};

QTEST_GUILESS_MAIN(FillPipelineTest)
#include "tst_fillpipeline.moc"
