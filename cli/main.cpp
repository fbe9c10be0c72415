#include "cli/clicommands.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace {

QtMessageHandler s_qtHandler = nullptr;

// Qt's own debug and warning lines are not ours to show: stderr carries the program's
// messages only. Serious reports and our own categories still get through.
void filterQtMessages(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    const bool ours = context.category
        && QLatin1String(context.category).startsWith(QLatin1String("quillomar"));
    if (!ours && (type == QtDebugMsg || type == QtInfoMsg || type == QtWarningMsg))
        return;
    s_qtHandler(type, context, text);
}

} // namespace

int main(int argc, char **argv)
{
    s_qtHandler = qInstallMessageHandler(filterQtMessages);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Quillomar"));
    // The option parser's own messages, in the program's language.
    QTranslator qtTranslator;
    if (qtTranslator.load(QLocale(QLocale::Portuguese, QLocale::Brazil), QStringLiteral("qtbase"),
            QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtTranslator);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    return runCli(args);
}
