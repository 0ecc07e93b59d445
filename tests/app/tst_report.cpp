#include "Report.h"

#include <QtTest>

class tst_Report : public QObject
{
    Q_OBJECT

private slots:
    void bytes_data();
    void bytes();
    void emptyHostPathStartsNothing();
};

void tst_Report::bytes_data()
{
    QTest::addColumn<bool>("success");
    QTest::addColumn<bool>("update");
    QTest::addColumn<QString>("errormsg");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("second instance")
        << false << false << QString::fromUtf8("升级程序已运行")
        << QByteArray("{\"errormsg\":\"\xe5\x8d\x87\xe7\xba\xa7\xe7\xa8\x8b\xe5\xba\x8f\xe5\xb7"
                      "\xb2\xe8\xbf\x90\xe8\xa1\x8c\",\"success\":false,\"update\":false}");
    QTest::newRow("mandatory update follows")
        << true << true << QString()
        << QByteArray("{\"errormsg\":\"\",\"success\":true,\"update\":true}");
    QTest::newRow("up to date") << true << false << QString()
                                << QByteArray(
                                       "{\"errormsg\":\"\",\"success\":true,\"update\":false}");
    QTest::newRow("quote and backslash")
        << false << false << QStringLiteral("C:\\dir\\\"a\".txt")
        << QByteArray(
               "{\"errormsg\":\"C:\\\\dir\\\\\\\"a\\\".txt\",\"success\":false,\"update\":false}");
    QTest::newRow("control characters")
        << false << false << QStringLiteral("a\nb\tc\rd") + QChar(1) + QChar(0x1f)
        << QByteArray(
               "{\"errormsg\":\"a\\nb\\tc\\rd\\u0001\\u001f\",\"success\":false,\"update\":false}");
    QTest::newRow("slash and full-width punctuation kept")
        << false << false << QString::fromUtf8("路径/x被占用，无法删除!")
        << QByteArray("{\"errormsg\":\"") + QString::fromUtf8("路径/x被占用，无法删除!").toUtf8() +
               QByteArray("\",\"success\":false,\"update\":false}");
}

void tst_Report::bytes()
{
    QFETCH(bool, success);
    QFETCH(bool, update);
    QFETCH(QString, errormsg);
    QFETCH(QByteArray, expected);
    const QByteArray actual = reportBytes(success, update, errormsg);
    QCOMPARE(actual, expected);
    QVERIFY2(!actual.contains('\0') && !actual.endsWith('\n'), actual.constData());
}

void tst_Report::emptyHostPathStartsNothing()
{
    QVERIFY(!launchHost(QString()));
}

QTEST_GUILESS_MAIN(tst_Report)
#include "tst_report.moc"
