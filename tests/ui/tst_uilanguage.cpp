#include "CUpdateNotice.h"
#include "ShownText.h"
#include "UiLanguage.h"

#include <QPushButton>
#include <QtTest>

class tst_UiLanguage : public QObject
{
    Q_OBJECT

private slots:
    void choice_data();
    void choice();
    void shownTexts_data();
    void shownTexts();
};

void tst_UiLanguage::choice_data()
{
    QTest::addColumn<QString>("configured");
    QTest::addColumn<QStringList>("uiLanguages");
    QTest::addColumn<QString>("language");
    const QStringList chineseFirst{"zh-Hans-CN", "en-US"};
    const QStringList englishFirst{"en-GB", "zh-CN"};
    QTest::newRow("Chinese before English") << "" << chineseFirst << "zh_CN";
    QTest::newRow("English before Chinese") << "" << englishFirst << "en";
    QTest::newRow("Chinese after a third") << "" << QStringList{"de-DE", "zh_TW", "en"} << "zh_CN";
    QTest::newRow("neither") << "" << QStringList{"de", "fr-FR"} << "en";
    QTest::newRow("none at all") << "" << QStringList() << "en";
    QTest::newRow("configured English") << "en" << chineseFirst << "en";
    QTest::newRow("configured Chinese") << "zh_CN" << englishFirst << "zh_CN";
    QTest::newRow("configured unknown") << "fr" << chineseFirst << "zh_CN";
    QTest::newRow("configured wrongly spelt") << "EN" << chineseFirst << "zh_CN";
}

void tst_UiLanguage::choice()
{
    QFETCH(QString, configured);
    QFETCH(QStringList, uiLanguages);
    QFETCH(QString, language);
    QCOMPARE(chooseUiLanguage(configured, uiLanguages), language);
}

void tst_UiLanguage::shownTexts_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    const QString timeout = QString::fromUtf8("下载更新文件a.dll网络错误：0-网络超时");
    QTest::newRow("nested") << "en" << timeout
                            << "Network error while downloading the update file a.dll: "
                               "0-Network timeout";
    QTest::newRow("the text that explains most wins")
        << "en" << QString::fromUtf8("下载更新文件f网络错误：0-发送请求失败")
        << "Network error while downloading the update file f: 0-Could not send the request";
    QTest::newRow("a filled-in part is not filled in again")
        << "en" << QString::fromUtf8("创建文件[x%2y]失败:disk full")
        << "Could not create the file [x%2y]: disk full";
    QTest::newRow("two parts") << "en" << QString::fromUtf8("重命名C:/a为C:/a.old失败")
                               << "Could not rename C:/a to C:/a.old";
    QTest::newRow("not a text of ours") << "en"
                                        << "Connection refused"
                                        << "Connection refused";
    QTest::newRow("Chinese shows the text") << "zh_CN" << timeout << timeout;
}

void tst_UiLanguage::shownTexts()
{
    QFETCH(QString, language);
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QVERIFY(installUiLanguage(language));
    QCOMPARE(shownText(text), shown);

    // The windows follow the same translation.
    CUpdateNotice notice;
    const QString button = notice.findChild<QPushButton *>(QStringLiteral("update"))->text();
    QCOMPARE(button, language == QLatin1String("en") ? QStringLiteral("Update")
                                                     : QString::fromUtf8("立即更新"));
}

QTEST_MAIN(tst_UiLanguage)
#include "tst_uilanguage.moc"
