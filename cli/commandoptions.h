#pragma once

#include <QCommandLineOption>
#include <QCoreApplication>
#include <QList>
#include <QString>

class QCommandLineParser;

// The options, arguments and description of one command: given to the parser, and written as
// the command's help, aligned and wrapped by the columns the terminal draws (a Chinese character
// takes two).
class CommandOptions
{
    Q_DECLARE_TR_FUNCTIONS(CommandOptions)

public:
    void setApplicationDescription(const QString &text) { description = text; }
    void addOption(const QCommandLineOption &option) { options.append(option); }
    void addPositionalArgument(const QString &name, const QString &text, const QString &syntax);
    bool takesArguments() const { return !arguments.isEmpty(); }

    void addTo(QCommandLineParser &parser) const;
    // "用法：orvex send [选项] 路径..." and the rest, for a terminal of width columns.
    QString helpText(const QString &command, int width) const;

    // text broken into lines of at most width columns: at spaces, or between wide characters.
    static QStringList wrap(const QString &text, int width);

private:
    struct Argument
    {
        QString name;
        QString description;
        QString syntax;
    };

    QString description;
    QList<QCommandLineOption> options;
    QList<Argument> arguments;
};
