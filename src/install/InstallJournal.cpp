#include "InstallJournal.h"

#include <QStringList>

namespace {

const QByteArray FirstLine = QByteArrayLiteral("update-journal 1");
const QByteArray CacheTag = QByteArrayLiteral("cache ");
const QByteArray PreparingLine = QByteArrayLiteral("phase prepare");
const QByteArray SwappingLine = QByteArrayLiteral("phase swap");

// The path comes last on its line, so it may hold any character but a line break, which no
// list path holds.
struct KindTag
{
    JournalStep::Kind kind;
    const char *tag;
};

constexpr KindTag KindTags[] = {{JournalStep::MoveAside, "aside"},
                                {JournalStep::MakeFolder, "folder"},
                                {JournalStep::Stage, "stage"},
                                {JournalStep::Swap, "swap"}};

QByteArray flag(bool value)
{
    return value ? QByteArrayLiteral("1") : QByteArrayLiteral("0");
}

bool readFlags(const QByteArray &text, JournalStep &step)
{
    if (text.size() != 2 || !QByteArrayLiteral("01").contains(text.at(0)) ||
        !QByteArrayLiteral("01").contains(text.at(1))) {
        return false;
    }
    step.hadTarget = text.at(0) == '1';
    step.hadOld = text.at(1) == '1';
    return true;
}

bool parseStep(const QByteArray &line, JournalStep &step)
{
    const QList<QByteArray> fields = line.split(' ');
    if (fields.size() < 3) {
        return false;
    }
    const int pathStart = fields.at(0).size() + fields.at(1).size() + 2;
    step.path = QString::fromUtf8(line.mid(pathStart));
    for (const KindTag &known : KindTags) {
        if (fields.at(0) == known.tag) {
            step.kind = known.kind;
            return !step.path.isEmpty() && readFlags(fields.at(1), step);
        }
    }
    return false;
}

} // namespace

QByteArray journalBytes(const InstallJournal &journal)
{
    QByteArray bytes = FirstLine + '\n';
    bytes += CacheTag + journal.cacheDir.toUtf8() + '\n';
    bytes += (journal.swapping ? SwappingLine : PreparingLine) + '\n';
    for (const JournalStep &step : journal.steps) {
        for (const KindTag &known : KindTags) {
            if (known.kind == step.kind) {
                bytes += known.tag;
            }
        }
        bytes += ' ' + flag(step.hadTarget) + flag(step.hadOld) + ' ' + step.path.toUtf8() + '\n';
    }
    return bytes;
}

bool parseJournal(const QByteArray &bytes, InstallJournal &journal)
{
    QList<QByteArray> lines = bytes.split('\n');
    // Every line ends with a line break, so the last piece is empty.
    if (lines.size() < 4 || lines.takeLast() != QByteArray() || lines.at(0) != FirstLine ||
        !lines.at(1).startsWith(CacheTag) ||
        (lines.at(2) != PreparingLine && lines.at(2) != SwappingLine)) {
        return false;
    }
    InstallJournal parsed;
    parsed.cacheDir = QString::fromUtf8(lines.at(1).mid(CacheTag.size()));
    parsed.swapping = lines.at(2) == SwappingLine;
    for (int i = 3; i < lines.size(); ++i) {
        JournalStep step;
        if (!parseStep(lines.at(i), step)) {
            return false;
        }
        parsed.steps.append(step);
    }
    journal = parsed;
    return true;
}
