#include "CUpdateError.h"
#include "ElidedLabel.h"
#include "ModalAnswer.h"
#include "UiResources.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QImageReader>
#include <QLabel>
#include <QPushButton>
#include <QToolTip>
#include <QtTest>

// A rename failure deep under Program Files: too long for the detail line.
static const QString renameFailure =
    "将 C:/Program Files (x86)/Example Corporation/Example Product/"
    "bin/plugins/imageformats/qjpeg.dll.update 重命名为 "
    "C:/Program Files (x86)/Example Corporation/Example Product/"
    "bin/plugins/imageformats/qjpeg.dll 失败";

// Receives the pages the dialog asks the system browser to open.
class UrlRecorder : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl &url) { opened.append(url); }
};

class tst_UpdateError : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void form();
    void buttonVisibility_data();
    void buttonVisibility();
    void execResult_data();
    void execResult();
    void downloadOpensPageAndStaysOpen();
    void detailLine_data();
    void detailLine();
    void copyDetailLine_data();
    void copyDetailLine();
    void backgroundFillsWindow();
    void embeddedPictures();

private:
    static QPushButton *button(QDialog &dialog, const char *name)
    {
        return dialog.findChild<QPushButton *>(QLatin1String(name));
    }

    static ElidedLabel *detailLine(QDialog &dialog)
    {
        return qobject_cast<ElidedLabel *>(dialog.findChild<QLabel *>(QStringLiteral("error")));
    }

    UrlRecorder recorder;
};

void tst_UpdateError::initTestCase()
{
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &recorder, "open");
}

void tst_UpdateError::form()
{
    CUpdateError dialog;
    QCOMPARE(dialog.objectName(), QStringLiteral("CUpdateError"));
    QCOMPARE(dialog.size(), QSize(640, 455));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("CUpdateError"));
    QVERIFY(dialog.windowFlags() & Qt::FramelessWindowHint);

    QPushButton *retry = button(dialog, "retry");
    QPushButton *download = button(dialog, "download");
    auto *label = dialog.findChild<QLabel *>(QStringLiteral("label"));
    auto *error = dialog.findChild<QLabel *>(QStringLiteral("error"));
    QVERIFY(retry && download && label && error);

    QCOMPARE(retry->geometry(), QRect(380, 400, 100, 30));
    QCOMPARE(download->geometry(), QRect(510, 400, 100, 30));
    QCOMPARE(label->geometry(), QRect(30, 300, 580, 40));
    QCOMPARE(error->geometry(), QRect(30, 370, 580, 24));
    QCOMPARE(retry->text(), QString::fromUtf8("再试一次"));
    QCOMPARE(download->text(), QString::fromUtf8("官网下载"));
    QCOMPARE(label->text(), QString::fromUtf8("更新失败"));
    QCOMPARE(error->text(), QString::fromUtf8("网络错误：10012"));
    QCOMPARE(label->font().pointSize(), 15);
    QCOMPARE(error->font().pointSize(), QFont().pointSize());
    QCOMPARE(label->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(label->sizePolicy().verticalPolicy(), QSizePolicy::Expanding);
    QVERIFY(retry->isDefault());
    QVERIFY(!download->isDefault());
    QVERIFY(!retry->isHidden());
    QVERIFY(download->isHidden());
    // Tab order follows creation order.
    QCOMPARE(retry->nextInFocusChain(), download);
}

void tst_UpdateError::buttonVisibility_data()
{
    // Steps: "u:<url>" calls setDownloadUrl, "m:1"/"m:0" calls setMessage with buttons on/off.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<bool>("retryShown");
    QTest::addColumn<bool>("downloadShown");

    QTest::newRow("fresh") << QStringList() << true << false;
    QTest::newRow("buttons, no page") << QStringList{"m:1"} << true << false;
    QTest::newRow("empty page") << QStringList{"u:", "m:1"} << true << false;
    QTest::newRow("buttons and page") << QStringList{"u:http://127.0.0.1/p", "m:1"} << true << true;
    QTest::newRow("no buttons hides both")
        << QStringList{"u:http://127.0.0.1/p", "m:0"} << false << false;
    QTest::newRow("page set after hiding shows it at once")
        << QStringList{"m:0", "u:http://127.0.0.1/p"} << false << true;
    QTest::newRow("next message decides again")
        << QStringList{"m:0", "u:http://127.0.0.1/p", "m:0"} << false << false;
    QTest::newRow("page cleared") << QStringList{"u:http://127.0.0.1/p", "u:", "m:1"} << true
                                  << false;
}

void tst_UpdateError::buttonVisibility()
{
    QFETCH(QStringList, steps);
    QFETCH(bool, retryShown);
    QFETCH(bool, downloadShown);

    CUpdateError dialog;
    for (const QString &step : steps) {
        const QString value = step.mid(2);
        if (step.startsWith(QLatin1String("u:")))
            dialog.setDownloadUrl(value);
        else
            dialog.setMessage(QStringLiteral("t"), QStringLiteral("x"),
                              value == QLatin1String("1"));
    }
    QCOMPARE(!button(dialog, "retry")->isHidden(), retryShown);
    QCOMPARE(!button(dialog, "download")->isHidden(), downloadShown);
}

void tst_UpdateError::execResult_data()
{
    QTest::addColumn<bool>("showButtons");
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("result");

    QTest::newRow("click retry") << true << "click" << 1;
    QTest::newRow("enter on retry") << true << "enter" << 1;
    QTest::newRow("escape") << true << "escape" << 0;
    QTest::newRow("close command") << true << "close" << 0;
    QTest::newRow("escape without buttons") << false << "escape" << 0;
    // Enter has no visible default button to press, so only the Escape after it ends the dialog.
    QTest::newRow("enter without buttons") << false << "enter,escape" << 0;
}

void tst_UpdateError::execResult()
{
    QFETCH(bool, showButtons);
    QFETCH(QString, action);
    QFETCH(int, result);

    CUpdateError dialog;
    dialog.setDownloadUrl(QStringLiteral("http://127.0.0.1:9/page"));
    dialog.setMessage(QString::fromUtf8("更新失败"), QStringLiteral("detail"), showButtons);
    whenShown(&dialog, [&dialog, action] {
        for (const QString &step : action.split(QLatin1Char(','))) {
            if (step == QLatin1String("click"))
                QTest::mouseClick(button(dialog, "retry"), Qt::LeftButton);
            else if (step == QLatin1String("enter"))
                QTest::keyClick(&dialog, Qt::Key_Return);
            else if (step == QLatin1String("escape"))
                QTest::keyClick(&dialog, Qt::Key_Escape);
            else
                dialog.close();
        }
    });
    QCOMPARE(dialog.exec(), result);
}

void tst_UpdateError::downloadOpensPageAndStaysOpen()
{
    recorder.opened.clear();
    CUpdateError dialog;
    dialog.setDownloadUrl(QStringLiteral("http://127.0.0.1:9/down load"));
    dialog.setMessage(QStringLiteral("title"), QStringLiteral("text"), true);
    bool stillOpen = false;
    whenShown(&dialog, [&] {
        QTest::mouseClick(button(dialog, "download"), Qt::LeftButton);
        QTest::mouseClick(button(dialog, "download"), Qt::LeftButton);
        stillOpen = dialog.isVisible();
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    QCOMPARE(dialog.exec(), 0);
    QVERIFY(stillOpen);
    QCOMPARE(recorder.opened.size(), 2);
    QCOMPARE(recorder.opened.first(), QUrl(QStringLiteral("http://127.0.0.1:9/down%20load")));
    QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("error"))->text(), QStringLiteral("text"));
}

void tst_UpdateError::detailLine_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("asQLabel"); // QLabel::setText() is not virtual
    QTest::addColumn<bool>("elided");

    QTest::newRow("short") << QString::fromUtf8("网络错误：10012") << false << false;
    QTest::newRow("long") << renameFailure << false << true;
    QTest::newRow("long, set as QLabel") << renameFailure << true << true;
}

void tst_UpdateError::detailLine()
{
    QFETCH(QString, text);
    QFETCH(bool, asQLabel);
    QFETCH(bool, elided);

    CUpdateError dialog;
    ElidedLabel *label = detailLine(dialog);
    QVERIFY(label);
    if (asQLabel)
        static_cast<QLabel *>(label)->setText(text);
    else
        dialog.setMessage(QStringLiteral("title"), text, true);
    dialog.grab(); // painting must leave the text alone
    QCOMPARE(label->text(), text);
    const QString shown = label->drawnText();
    QVERIFY(label->fontMetrics().horizontalAdvance(shown) <= label->width());
    QCOMPARE(shown == text, !elided);
    QVERIFY2(!elided || (shown.contains(QChar(0x2026)) && shown.startsWith(text.left(10)) &&
                         shown.endsWith(QString::fromUtf8("qjpeg.dll 失败"))),
             qPrintable(shown));

    QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), label->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(label, &help);
    QCOMPARE(QToolTip::isVisible(), elided);
    QCOMPARE(QToolTip::text(), elided ? text : QString());
}

void tst_UpdateError::copyDetailLine_data()
{
    QTest::addColumn<bool>("menu");
    QTest::newRow("Ctrl+C while a button has the focus") << false;
    QTest::newRow("Copy in the context menu") << true;
}

void tst_UpdateError::copyDetailLine()
{
    QFETCH(bool, menu);

    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    CUpdateError dialog;
    dialog.setMessage(QStringLiteral("title"), renameFailure, true);
    ElidedLabel *label = detailLine(dialog);
    QCOMPARE(label->contextMenuPolicy(), Qt::ActionsContextMenu);
    QCOMPARE(label->actions().size(), 1);
    QCOMPARE(label->actions().first()->text(), QString::fromUtf8("复制"));

    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QVERIFY(button(dialog, "retry")->hasFocus());
    if (menu)
        label->actions().first()->trigger();
    else
        QTest::keyClick(&dialog, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), renameFailure);
}

void tst_UpdateError::backgroundFillsWindow()
{
    registerUiResources();
    const QImage picture =
        QImage(QStringLiteral(":/update_bg")).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(picture.size(), QSize(640, 455));

    CUpdateError dialog;
    dialog.setMessage(QString(), QString(), false); // nothing drawn over the picture
    const QImage shot = dialog.grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shot.size(), QSize(640, 455));
    const QList<QPoint> points{{0, 0}, {639, 0}, {0, 454}, {639, 454}, {320, 60}, {100, 200}};
    for (const QPoint &point : points)
        QVERIFY2(shot.pixel(point) == picture.pixel(point),
                 qPrintable(QStringLiteral("pixel %1,%2 differs from the picture")
                                .arg(point.x())
                                .arg(point.y())));
}

void tst_UpdateError::embeddedPictures()
{
    registerUiResources();
    const QImage picture(QStringLiteral(":/update_bg"));
    QCOMPARE(picture.size(), QSize(640, 455));
    QVERIFY(picture.hasAlphaChannel());
    QImageReader icon(QStringLiteral(":/icon"));
    QCOMPARE(icon.format(), QByteArray("ico"));
    QCOMPARE(icon.imageCount(), 1);
    QCOMPARE(icon.size(), QSize(64, 64));
}

QTEST_MAIN(tst_UpdateError)
#include "tst_updateerror.moc"
