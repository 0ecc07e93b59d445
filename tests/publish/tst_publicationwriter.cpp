#include "PublicationWriter.h"
#include "PublishTestSupport.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace {

QList<ReleaseFile> releaseFiles(const QDir &source, const QStringList &paths)
{
    QList<ReleaseFile> files;
    for (const QString &path : paths) {
        files << ReleaseFile{path, source.filePath(path),
                             quint64(QFileInfo(source.filePath(path)).size())};
    }
    return files;
}

// What a client fetching now would find: update.ini names a folder whose md5.txt lists files
// that are all there with the listed content. Empty when that holds.
QString servedProblem(const QDir &site)
{
    QSettings description(site.filePath("update.ini"), QSettings::IniFormat);
    const QDir folder(site.filePath(description.value("Version/Folder", "Base").toString()));
    QFile list(folder.filePath("md5.txt"));
    if (!list.open(QIODevice::ReadOnly)) {
        return "no list in " + folder.path();
    }
    const QList<QByteArray> lines = list.readAll().split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> pieces = line.split('\t');
        if (pieces.size() != 3) {
            continue;
        }
        QFile file(folder.filePath(QString::fromUtf8(pieces.at(2))));
        if (!file.open(QIODevice::ReadOnly) || expectedMd5Text(file.readAll()) != pieces.at(0)) {
            return "listed file missing or different: " + file.fileName();
        }
    }
    return QString();
}

} // namespace

class tst_PublicationWriter : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_temp.reset(new QTemporaryDir);
        QVERIFY2(m_temp->isValid(), qPrintable(m_temp->errorString()));
        m_source = QDir(m_temp->filePath("release"));
        m_site = QDir(m_temp->filePath("site"));
        QVERIFY(writeTestFile(m_source, "a.txt", QByteArray(3000, 'a')));
        QVERIFY(writeTestFile(m_source, "b/b.txt", QByteArray(3000, 'b')));
        QVERIFY(writeTestFile(m_source, "c.txt", QByteArray(3000, 'c')));
        QVERIFY(QDir().mkpath(m_site.path()));
        Publication previous;
        previous.outputDir = m_site.path();
        previous.description.version = "1";
        previous.files = releaseFiles(m_source, {"a.txt", "c.txt"});
        quint64 bytes = 0;
        QString errorText;
        QString warningText;
        QVERIFY2(writePublication(previous, {}, bytes, errorText, warningText),
                 qPrintable(errorText));
        QVERIFY(writeTestFile(m_source, "a.txt", "new content"));
    }

    void previousVersionStaysServedWhileCopying()
    {
        Publication next;
        next.outputDir = m_site.path();
        next.description.version = "2";
        next.files = releaseFiles(m_source, {"a.txt", "b/b.txt"});
        int calls = 0;
        QString seen;
        const auto progress = [&](int, quint64) {
            ++calls;
            if (seen.isEmpty()) {
                seen = servedProblem(m_site);
            }
        };
        quint64 bytes = 0;
        QString errorText;
        QString warningText;
        QVERIFY2(writePublication(next, progress, bytes, errorText, warningText),
                 qPrintable(errorText));
        QVERIFY(calls >= 2);
        QVERIFY2(seen.isEmpty(), qPrintable(seen));
        QVERIFY2(servedProblem(m_site).isEmpty(), qPrintable(servedProblem(m_site)));
        QVERIFY(!QFile::exists(m_site.filePath("Base/c.txt")));
        QCOMPARE(bytes, quint64(11 + 3000));
        QVERIFY(warningText.isEmpty());
    }

    void fileVanishingMidRunLeavesOutputAsItWas()
    {
        Publication next;
        next.outputDir = m_site.path();
        next.files = releaseFiles(m_source, {"a.txt", "b/b.txt", "c.txt"});
        const auto before = treeSnapshot(m_site.path());
        const auto progress = [&](int filesDone, quint64) {
            if (filesDone == 1) {
                QFile::remove(m_source.filePath("c.txt"));
            }
        };
        quint64 bytes = 0;
        QString errorText;
        QString warningText;
        QVERIFY(!writePublication(next, progress, bytes, errorText, warningText));
        QVERIFY2(errorText.contains("c.txt"), qPrintable(errorText));
        QCOMPARE(treeSnapshot(m_site.path()), before);
    }

    void unwritableDescriptionRollsBack()
    {
        // A folder in update.ini's place makes the last step fail after the folders were swapped.
        QVERIFY(QFile::remove(m_site.filePath("update.ini")));
        QVERIFY(writeTestFile(QDir(m_site.filePath("update.ini")), "blocker", "x"));
        Publication next;
        next.outputDir = m_site.path();
        next.files = releaseFiles(m_source, {"a.txt", "b/b.txt"});
        const auto before = treeSnapshot(m_site.path());
        quint64 bytes = 0;
        QString errorText;
        QString warningText;
        QVERIFY(!writePublication(next, {}, bytes, errorText, warningText));
        QVERIFY2(errorText.contains("update.ini"), qPrintable(errorText));
        QCOMPARE(treeSnapshot(m_site.path()), before);
    }

private:
    QScopedPointer<QTemporaryDir> m_temp;
    QDir m_source;
    QDir m_site;
};

QTEST_GUILESS_MAIN(tst_PublicationWriter)
#include "tst_publicationwriter.moc"
