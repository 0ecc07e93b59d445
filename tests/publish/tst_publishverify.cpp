#include "PublishTestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

namespace {

bool changeFile(const QString &path, const QString &damage)
{
    QFile file(path);
    if (damage == QLatin1String("missing")) {
        return file.remove();
    }
    if (damage == QLatin1String("truncated")) {
        return file.resize(file.size() - 1);
    }
    // One byte flipped in the middle, size unchanged.
    if (!file.open(QIODevice::ReadWrite)) {
        return false;
    }
    QByteArray data = file.readAll();
    data[data.size() / 2] = char(data.at(data.size() / 2) ^ 0x01);
    return file.seek(0) && file.write(data) == data.size();
}

} // namespace

class tst_PublishVerify : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY2(m_temp.isValid(), qPrintable(m_temp.errorString()));
        const QDir source(m_temp.filePath("release"));
        m_site = m_temp.filePath("site");
        QVERIFY(QDir(m_site).removeRecursively());
        QVERIFY(writeTestFile(source, "app.exe", QByteArray(10000, 'e')));
        QVERIFY(writeTestFile(source, "插件/数据.dll", "plugin data"));
        QVERIFY(writeTestFile(source, "docs/readme.txt", "read me"));
        const ToolRun run =
            runPublishTool({source.path(), m_site, "--folder", "v7", "--path-encoding", "GB18030"});
        QVERIFY2(run.exitCode == 0, qPrintable(run.output));
    }

    void passesOnAGoodPublication()
    {
        const ToolRun run = runPublishTool({"--verify", m_site, "--path-encoding", "GB18030"});
        QVERIFY2(run.exitCode == 0, qPrintable(run.output));
    }

    void catchesDamage_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("damage");

        for (const char *damage : {"missing", "truncated", "changed byte"}) {
            QTest::addRow("%s app.exe", damage) << "app.exe" << damage;
            QTest::addRow("%s non-ASCII", damage) << "插件/数据.dll" << damage;
        }
    }

    void catchesDamage()
    {
        QFETCH(QString, file);
        QFETCH(QString, damage);

        QVERIFY(changeFile(QDir(m_site).filePath("v7/" + file), damage));
        const ToolRun run = runPublishTool({"--verify", m_site, "--path-encoding", "GB18030"});
        QVERIFY2(run.exitCode > 0, qPrintable(run.output));
        QVERIFY2(run.output.contains("\"" + file + "\""), qPrintable(run.output));
        QVERIFY2(!run.output.contains("\"docs/readme.txt\""), qPrintable(run.output));
    }

    void catchesAListCutShort()
    {
        QFile list(QDir(m_site).filePath("v7/md5.txt"));
        QVERIFY(list.resize(list.size() - 40));
        const ToolRun run = runPublishTool({"--verify", m_site, "--path-encoding", "GB18030"});
        QVERIFY2(run.exitCode > 0, qPrintable(run.output));
        QVERIFY2(run.output.contains("md5.txt"), qPrintable(run.output));
    }

    // A list edited by hand to name one of the installation step's own files, the file beside it.
    void refusesTheUpdatersOwnNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("staged") << "docs/readme.txt.Update-New";
        QTest::newRow("kept old copy") << "docs/readme.txt.old.update-prev";
        QTest::newRow("journal") << "update_journal.info";
    }

    void refusesTheUpdatersOwnNames()
    {
        QFETCH(QString, name);
        const QDir folder(QDir(m_site).filePath("v7"));
        QVERIFY(QDir().mkpath(QFileInfo(folder.filePath(name)).path()));
        QVERIFY(QFile::rename(folder.filePath("docs/readme.txt"), folder.filePath(name)));
        QFile list(folder.filePath("md5.txt"));
        QVERIFY(list.open(QIODevice::ReadWrite));
        const QByteArray text = list.readAll().replace("docs/readme.txt", name.toUtf8());
        QVERIFY(list.resize(0) && list.write(text) == text.size());
        list.close();

        const ToolRun run = runPublishTool({"--verify", m_site, "--path-encoding", "GB18030"});
        QVERIFY2(run.exitCode > 0, qPrintable(run.output));
        QVERIFY2(run.output.contains("\"" + name + "\" is a name the updater keeps"),
                 qPrintable(run.output));
    }

    void needsTheEncodingTheListWasWrittenIn()
    {
        const ToolRun run = runPublishTool({"--verify", m_site, "--path-encoding", "UTF-8"});
        QVERIFY2(run.exitCode > 0, qPrintable(run.output));
    }

private:
    QTemporaryDir m_temp;
    QString m_site;
};

QTEST_GUILESS_MAIN(tst_PublishVerify)
#include "tst_publishverify.moc"
