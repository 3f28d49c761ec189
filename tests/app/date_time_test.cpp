#include "core/base/date_time.h"

#include <QTest>

using namespace kalmora;

Q_DECLARE_METATYPE(kalmora::DateTime)

namespace {
DateTime dt(const char *text) {
    return DateTime::parse(QLatin1String(text)).value();
}
} // namespace

class DateTimeTest : public QObject {
    Q_OBJECT
private slots:
    void calendarSteps_data() {
        QTest::addColumn<DateTime>("from");
        QTest::addColumn<QString>("unit");
        QTest::addColumn<int>("amount");
        QTest::addColumn<DateTime>("to");
        QTest::newRow("leap day plus a year")
            << dt("2012-02-29 10:00:00") << "y" << 1 << dt("2013-02-28 10:00:00");
        QTest::newRow("leap day minus four years")
            << dt("2012-02-29 10:00:00") << "y" << -4 << dt("2008-02-29 10:00:00");
        QTest::newRow("31 January plus a month")
            << dt("2011-01-31 08:00:00") << "m" << 1 << dt("2011-02-28 08:00:00");
        QTest::newRow("31 January plus a month, leap")
            << dt("2012-01-31 08:00:00") << "m" << 1 << dt("2012-02-29 08:00:00");
        QTest::newRow("31 March minus a month")
            << dt("2011-03-31 00:00:00") << "m" << -1 << dt("2011-02-28 00:00:00");
        QTest::newRow("2100 is not leap")
            << dt("2100-01-31 00:00:00") << "m" << 1 << dt("2100-02-28 00:00:00");
        QTest::newRow("over new year by seconds")
            << dt("2011-12-31 23:59:30") << "s" << 45 << dt("2012-01-01 00:00:15");
        QTest::newRow("back over midnight by minutes")
            << dt("2011-03-01 00:10:00") << "n" << -20 << dt("2011-02-28 23:50:00");
        QTest::newRow("days across a leap day")
            << dt("2000-02-28 12:00:00") << "d" << 2 << dt("2000-03-01 12:00:00");
        QTest::newRow("year 1900")
            << dt("1900-03-01 00:00:00") << "d" << -1 << dt("1900-02-28 00:00:00");
        QTest::newRow("year 2200")
            << dt("2200-12-31 23:59:59") << "s" << 1 << dt("2201-01-01 00:00:00");
    }
    void calendarSteps() {
        QFETCH(DateTime, from);
        QFETCH(QString, unit);
        QFETCH(int, amount);
        QFETCH(DateTime, to);
        DateTime got;
        if (unit == QLatin1String("y"))
            got = from.addYears(amount);
        else if (unit == QLatin1String("m"))
            got = from.addMonths(amount);
        else if (unit == QLatin1String("d"))
            got = from.addDays(amount);
        else if (unit == QLatin1String("n"))
            got = from.addMinutes(amount);
        else
            got = from.addSeconds(amount);
        QCOMPARE(got.toText(), to.toText());
    }

    void boundaryDifferences_data() {
        QTest::addColumn<DateTime>("a");
        QTest::addColumn<DateTime>("b");
        QTest::addColumn<qint64>("minutes");
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<qint64>("days");
        QTest::newRow("one second over a minute boundary")
            << dt("2011-01-01 10:00:59") << dt("2011-01-01 10:01:00") << 1LL << 1LL << 0LL;
        QTest::newRow("five boundaries, not four")
            << dt("2011-01-01 10:00:30") << dt("2011-01-01 10:05:10") << 5LL << 280LL << 0LL;
        QTest::newRow("backwards")
            << dt("2011-01-02 00:00:30") << dt("2011-01-01 23:59:59") << -1LL << -31LL << -1LL;
        QTest::newRow("one midnight")
            << dt("2011-01-01 23:59:59") << dt("2011-01-02 00:00:00") << 1LL << 1LL << 1LL;
        QTest::newRow("a day") << dt("2011-01-01 08:00:00") << dt("2011-01-02 08:00:00") << 1440LL
                               << 86400LL << 1LL;
    }
    void boundaryDifferences() {
        QFETCH(DateTime, a);
        QFETCH(DateTime, b);
        QFETCH(qint64, minutes);
        QFETCH(qint64, seconds);
        QFETCH(qint64, days);
        QCOMPARE(a.minutesTo(b), minutes);
        QCOMPARE(a.secondsTo(b), seconds);
        QCOMPARE(a.daysTo(b), days);
    }

    void textForms_data() {
        QTest::addColumn<DateTime>("d");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("exif");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("dateText");
        QTest::addColumn<QString>("general");
        QTest::newRow("one-digit fields") << DateTime(2011, 8, 7, 6, 5, 4) << "2011-08-07 06:05:04"
                                          << "2011:08:07 06:05:04"
                                          << "2011-08-07 06.05.04"
                                          << "2011-08-07"
                                          << "2011/8/7 6:05:04";
        QTest::newRow("two-digit fields")
            << DateTime(2011, 12, 31, 23, 59, 58) << "2011-12-31 23:59:58"
            << "2011:12:31 23:59:58"
            << "2011-12-31 23.59.58"
            << "2011-12-31"
            << "2011/12/31 23:59:58";
        QTest::newRow("midnight") << DateTime(2011, 8, 7) << "2011-08-07 00:00:00"
                                  << "2011:08:07 00:00:00"
                                  << "2011-08-07 00.00.00"
                                  << "2011-08-07"
                                  << "2011/8/7";
        QTest::newRow("year before 1000") << DateTime(987, 1, 2, 10, 0, 30) << "0987-01-02 10:00:30"
                                          << "0987:01:02 10:00:30"
                                          << "0987-01-02 10.00.30"
                                          << "0987-01-02"
                                          << "0987/1/2 10:00:30";
        QTest::newRow("five-digit year")
            << DateTime(12345, 6, 7, 8, 9, 10) << "12345-06-07 08:09:10"
            << "12345:06:07 08:09:10"
            << "12345-06-07 08.09.10"
            << "12345-06-07"
            << "12345/6/7 8:09:10";
        QTest::newRow("not a date") << DateTime() << ""
                                    << ""
                                    << ""
                                    << ""
                                    << "";
    }
    void textForms() {
        QFETCH(DateTime, d);
        QFETCH(QString, text);
        QFETCH(QString, exif);
        QFETCH(QString, fileName);
        QFETCH(QString, dateText);
        QFETCH(QString, general);
        QCOMPARE(d.toText(), text);
        QCOMPARE(d.toExifText(), exif);
        QCOMPARE(d.toFileNameText(), fileName);
        QCOMPARE(d.toDateText(), dateText);
        QCOMPARE(d.toGeneralText(), general);
    }

    void parseAccepts_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("canonical");
        QTest::newRow("grid form") << "2011-08-27 20:11:00"
                                   << "2011-08-27 20:11:00";
        QTest::newRow("exif form") << "2011:08:27 20:11:00"
                                   << "2011-08-27 20:11:00";
        QTest::newRow("general form") << "2011/8/27 20:11:00"
                                      << "2011-08-27 20:11:00";
        QTest::newRow("general at midnight") << "2011/8/27"
                                             << "2011-08-27 00:00:00";
        QTest::newRow("date only") << "2011-08-27"
                                   << "2011-08-27 00:00:00";
        QTest::newRow("one-digit parts") << "2011-8-7 6:5:4"
                                         << "2011-08-07 06:05:04";
        QTest::newRow("no seconds") << "2011-08-27 20:11"
                                    << "2011-08-27 20:11:00";
        QTest::newRow("leap day 2000") << "2000-02-29 00:00:00"
                                       << "2000-02-29 00:00:00";
        QTest::newRow("surrounding blanks") << " 2011-08-27 20:11:00 "
                                            << "2011-08-27 20:11:00";
    }
    void parseAccepts() {
        QFETCH(QString, text);
        QFETCH(QString, canonical);
        const auto d = DateTime::parse(text);
        QVERIFY(d.has_value());
        QCOMPARE(d->toText(), canonical);
    }

    void parseRejects_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << "";
        QTest::newRow("blanks") << "   ";
        QTest::newRow("month 13") << "2011-13-01 00:00:00";
        QTest::newRow("month 0") << "2011-00-01 00:00:00";
        QTest::newRow("31 April") << "2011-04-31 00:00:00";
        QTest::newRow("29 February 2100") << "2100-02-29 00:00:00";
        QTest::newRow("hour 24") << "2011-01-01 24:00:00";
        QTest::newRow("minute 60") << "2011-01-01 10:60:00";
        QTest::newRow("mixed separators") << "2011-01/01 10:00:00";
        QTest::newRow("zero exif date") << "0000:00:00 00:00:00";
        QTest::newRow("trailing junk") << "2011-01-01 10:00:00x";
        QTest::newRow("words") << "Exif信息丢失";
    }
    void parseRejects() {
        QFETCH(QString, text);
        QVERIFY(!DateTime::parse(text).has_value());
    }

    void generalTextRoundTrips() {
        for (const DateTime &d : {DateTime(2011, 1, 1), DateTime(2011, 12, 31, 23, 59, 59),
                                  DateTime(2024, 2, 29, 0, 0, 1)}) {
            const auto back = DateTime::parse(d.toGeneralText());
            QVERIFY(back.has_value());
            QCOMPARE(*back, d);
        }
    }

    void ordering() {
        QVERIFY(dt("2011-01-01 00:00:00") < dt("2011-01-01 00:00:01"));
        QVERIFY(dt("2011-01-02 00:00:00") > dt("2011-01-01 23:59:59"));
        QVERIFY(!DateTime().isValid());
        QVERIFY(!DateTime(2011, 2, 30).isValid());
    }
};

QTEST_APPLESS_MAIN(DateTimeTest)
#include "date_time_test.moc"
