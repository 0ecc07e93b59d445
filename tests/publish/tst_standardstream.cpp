#include "PublishTestSupport.h"
#include "StandardStream.h"

#include <QTemporaryDir>
#include <QTest>
#include <QTextCodec>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#include <vector>
#include <windows.h>
#endif

namespace {

// Chinese, Cyrillic and Devanagari: no ANSI code page holds all three.
const QString Name = QStringLiteral("发布-данные-हिन्दी");

} // namespace

// update-publish's messages name files, and a name must reach the reader whole.
class tst_StandardStream : public QObject
{
    Q_OBJECT

private slots:
    void redirectedOutputKeepsNames_data()
    {
        QTest::addColumn<QStringList>("arguments"); // %1: a scratch folder
        QTest::newRow("report on standard output") << QStringList{"%1/release", "%1/" + Name};
        QTest::newRow("error on standard error") << QStringList{"--verify", "%1/" + Name};
    }

    void redirectedOutputKeepsNames()
    {
        QFETCH(QStringList, arguments);
#ifndef Q_OS_WIN
        if (QTextCodec::codecForLocale()->mibEnum() != 106) {
            QSKIP("outside Windows the tool writes the locale's encoding, which is not UTF-8 here");
        }
#endif
        QTemporaryDir temp;
        QVERIFY2(temp.isValid(), qPrintable(temp.errorString()));
        QVERIFY(writeTestFile(QDir(temp.filePath("release")), "app.exe", "application"));
        for (QString &argument : arguments) {
            argument = argument.arg(temp.path());
        }
        // Read from a pipe as UTF-8 on Windows, in the locale's encoding elsewhere.
        const ToolRun run = runPublishTool(arguments);
        QVERIFY2(run.output.contains(Name), qPrintable(run.output));
    }

    void consoleShowsEveryCharacter()
    {
#ifndef Q_OS_WIN
        QSKIP("only Windows consoles take text as characters rather than bytes");
#else
        AllocConsole(); // fails, harmlessly, when the test already has a console
        const HANDLE buffer = CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                                        CONSOLE_TEXTMODE_BUFFER, nullptr);
        DWORD mode = 0;
        if (buffer == INVALID_HANDLE_VALUE || !GetConsoleMode(buffer, &mode)) {
            QSKIP("no working console here (Wine has one only when started from a terminal)");
        }
        // Reached through a C runtime FILE, as standard output is.
        FILE *file = _fdopen(_open_osfhandle(reinterpret_cast<intptr_t>(buffer), _O_WRONLY), "w");
        QVERIFY(file);
        // One console cell per character, and no ANSI code page holds them all.
        const QString text = QStringLiteral("Ωλ данные é क");
        {
            StandardStream stream(file);
            stream.text() << text;
        }
        std::vector<wchar_t> shown(size_t(text.size()));
        DWORD read = 0;
        const bool readBack = ReadConsoleOutputCharacterW(buffer, shown.data(), DWORD(shown.size()),
                                                          COORD{0, 0}, &read);
        fclose(file);
        QVERIFY(readBack);
        QCOMPARE(QString::fromWCharArray(shown.data(), int(read)), text);
#endif
    }
};

QTEST_GUILESS_MAIN(tst_StandardStream)
#include "tst_standardstream.moc"
