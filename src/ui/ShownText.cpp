#include "ShownText.h"

#include "UserTexts.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QVector>

#include <algorithm>

namespace {

// A text with its parts to fill in ("%1") as a pattern that finds those parts in a filled-in
// text.
struct Template
{
    const char *source = nullptr;
    QRegularExpression pattern;
    QVector<int> argumentNumbers; // of each captured part, in order
    int literalLength = 0;
};

QVector<Template> makeTemplates()
{
    static const QRegularExpression argument(QStringLiteral("%([1-9])"));
    QVector<Template> templates;
    for (const char *source : UserTextSources) {
        const QString text = QString::fromUtf8(source);
        Template entry;
        entry.source = source;
        QString pattern = QStringLiteral("^");
        int literalStart = 0;
        QRegularExpressionMatchIterator matches = argument.globalMatch(text);
        while (matches.hasNext()) {
            const QRegularExpressionMatch match = matches.next();
            const QString literal = text.mid(literalStart, match.capturedStart() - literalStart);
            pattern += QRegularExpression::escape(literal) + QStringLiteral("(.*?)");
            entry.literalLength += literal.size();
            entry.argumentNumbers.append(match.captured(1).toInt());
            literalStart = match.capturedEnd();
        }
        const QString rest = text.mid(literalStart);
        pattern += QRegularExpression::escape(rest) + QStringLiteral("$");
        entry.literalLength += rest.size();
        entry.pattern.setPattern(pattern);
        entry.pattern.setPatternOptions(QRegularExpression::DotMatchesEverythingOption);
        templates.append(entry);
    }
    // "下载更新文件%1失败" also matches a network error whose reason ends in "失败": the
    // template that explains more of the text wins.
    std::stable_sort(templates.begin(), templates.end(), [](const Template &a, const Template &b) {
        return a.literalLength > b.literalLength;
    });
    return templates;
}

// Fills "%1" to "%9" in one pass, so that a filled-in part that itself holds "%2" stays as it is.
QString fill(const QString &translation, const QVector<QString> &arguments)
{
    QString result;
    for (int i = 0; i < translation.size(); ++i) {
        const QChar next = i + 1 < translation.size() ? translation.at(i + 1) : QChar();
        const int number = next.digitValue();
        if (translation.at(i) == QLatin1Char('%') && number >= 1 && number < arguments.size()) {
            result += arguments.at(number);
            ++i;
        } else {
            result += translation.at(i);
        }
    }
    return result;
}

} // namespace

QString shownText(const QString &text)
{
    static const QVector<Template> templates = makeTemplates();
    for (const Template &entry : templates) {
        const QRegularExpressionMatch match = entry.pattern.match(text);
        if (!match.hasMatch())
            continue;
        QVector<QString> arguments(10);
        for (int i = 0; i < entry.argumentNumbers.size(); ++i)
            arguments[entry.argumentNumbers.at(i)] = shownText(match.captured(i + 1));
        return fill(QCoreApplication::translate("UserText", entry.source), arguments);
    }
    return text;
}
