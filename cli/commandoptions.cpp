#include "commandoptions.h"

#include "cli/console.h"

#include <QCommandLineParser>

#include <algorithm>

namespace {

// Descriptions narrower than this read worse than a line the terminal wraps.
constexpr int minTextWidth = 30;

QString optionNames(const QCommandLineOption &option)
{
    QStringList names;
    for (const QString &name : option.names())
        names.append((name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name);
    QString text = names.join(QStringLiteral(", "));
    if (!option.valueName().isEmpty())
        text += QStringLiteral(" <%1>").arg(option.valueName());
    return text;
}

} // namespace

void CommandOptions::addPositionalArgument(const QString &name, const QString &text, const QString &syntax)
{
    arguments.append({ name, text, syntax });
}

void CommandOptions::addTo(QCommandLineParser &parser) const
{
    for (const QCommandLineOption &option : options)
        parser.addOption(option);
    for (const Argument &argument : arguments)
        parser.addPositionalArgument(argument.name, argument.description, argument.syntax);
}

QStringList CommandOptions::wrap(const QString &text, int width)
{
    // Pieces: a run of spaces, one wide character, or a run of other characters.
    QStringList pieces;
    for (const QChar c : text) {
        const bool space = c == QLatin1Char(' ');
        const bool wide = Console::displayWidth(QString(c)) > 1;
        const QString &last = pieces.isEmpty() ? QString() : pieces.last();
        const bool joins = !pieces.isEmpty() && !wide && Console::displayWidth(last.right(1)) == 1
            && (last.at(0) == QLatin1Char(' ')) == space;
        if (joins)
            pieces.last() += c;
        else
            pieces.append(QString(c));
    }
    // Full stop, commas, semicolon, colon, closing brackets and quotes, exclamation and question
    // marks, all fullwidth.
    static const QString closing = QStringLiteral("\u3002\uff0c\u3001\uff1b\uff1a\uff09\u300d\u300f\uff01\uff1f");
    QStringList lines;
    QString line;
    for (const QString &piece : qAsConst(pieces)) {
        if (piece.at(0) == QLatin1Char(' ')) {
            if (!line.isEmpty())
                line += piece;
            continue;
        }
        // Closing punctuation stays on the line it closes, even a little beyond the width.
        const bool overflows = Console::displayWidth(line + piece) > width && !closing.contains(piece);
        if (overflows && !line.trimmed().isEmpty()) {
            lines.append(line.trimmed());
            line.clear();
        }
        line += piece;
    }
    if (!line.trimmed().isEmpty())
        lines.append(line.trimmed());
    return lines;
}

QString CommandOptions::helpText(const QString &command, int width) const
{
    QStringList usage { QStringLiteral("orvex"), command, tr("[选项]") };
    for (const Argument &argument : arguments)
        usage.append(argument.syntax.isEmpty() ? argument.name : argument.syntax);
    QString text = tr("用法：%1").arg(usage.join(QLatin1Char(' '))) + QLatin1Char('\n');
    for (const QString &line : wrap(description, width - 1))
        text += line + QLatin1Char('\n');

    QList<QPair<QString, QString>> rows;
    for (const QCommandLineOption &option : options)
        rows.append({ optionNames(option), option.description() });
    QList<QPair<QString, QString>> argumentRows;
    for (const Argument &argument : arguments)
        argumentRows.append({ argument.syntax.isEmpty() ? argument.name : argument.syntax, argument.description });
    int column = 0;
    for (const auto &row : rows + argumentRows)
        column = std::max(column, Console::displayWidth(row.first));
    column += 4;
    const int textWidth = std::max(minTextWidth, width - 1 - column);
    const auto section = [&](const QString &title, const QList<QPair<QString, QString>> &entries) {
        if (entries.isEmpty())
            return;
        text += QLatin1Char('\n') + title + QLatin1Char('\n');
        for (const auto &entry : entries) {
            const QStringList lines = wrap(entry.second, textWidth);
            const QString head = QStringLiteral("  ") + entry.first;
            text += head + QString(column - Console::displayWidth(head), QLatin1Char(' ')) + lines.value(0)
                + QLatin1Char('\n');
            for (int i = 1; i < lines.size(); ++i)
                text += QString(column, QLatin1Char(' ')) + lines.at(i) + QLatin1Char('\n');
        }
    };
    section(tr("选项："), rows);
    section(tr("参数："), argumentRows);
    return text;
}
