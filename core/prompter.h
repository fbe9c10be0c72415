#pragma once

#include <QFlags>
#include <QString>
#include <QStringList>
#include <optional>

// Every box, input box, picker and beep of the program goes through this, so that the
// logic can run in a window, in the command-line tool, or under a test script.
class Prompter {
public:
    enum class Icon { None, Error, Warning, Question, Information };
    enum Button {
        NoButton = 0x00,
        Ok = 0x01,
        Yes = 0x02,
        No = 0x04,
        Abort = 0x08,
        Ignore = 0x10,
        Cancel = 0x20,
        Retry = 0x40,
    };
    Q_DECLARE_FLAGS(Buttons, Button)

    virtual ~Prompter();

    // The one primitive every box is made of; returns the button chosen.
    virtual Button box(Icon icon, const QString &text, Buttons buttons) = 0;
    // The same box with `defaultButton` (one of `buttons`) as the answer of the Enter key;
    // the plain box's default is its first button. Prompters without boxes ignore it.
    virtual Button boxWithDefault(
        Icon icon, const QString &text, Buttons buttons, Button defaultButton)
    {
        Q_UNUSED(defaultButton);
        return box(icon, text, buttons);
    }
    virtual std::optional<QString> inputText(
        const QString &caption, const QString &prompt, const QString &initial)
        = 0;
    // Like inputText for a password: what is typed is not shown. Nothing when the person
    // cancels, or where nobody can answer (the default).
    virtual std::optional<QString> inputSecret(const QString &caption, const QString &prompt);
    // The password of a catalogue on a server, asked of the person: `problem` says why it is
    // asked again (empty the first time). Nothing when the person cancels, or where nobody
    // can answer (the default: scripts never wait for one).
    struct CataloguePassword {
        QString password;
        bool keep = false; // to be stored in the keyring once the server takes it
    };
    virtual std::optional<CataloguePassword> cataloguePassword(
        const QString &user, const QString &server, const QString &problem);
    // A box with the button OK whose `detail` (a library's own text) is there to be looked
    // at, not read first; the default shows the text alone.
    virtual void boxWithDetail(Icon icon, const QString &text, const QString &detail)
    {
        Q_UNUSED(detail);
        box(icon, text, Ok);
    }
    void errorWithDetail(const QString &text, const QString &detail)
    {
        boxWithDetail(Icon::Error, text, detail);
    }
    // Empty text when the person cancels the picker.
    virtual QString pickFolder(const QString &caption, const QString &start) = 0;
    virtual QString pickFile(const QString &caption, const QString &filter, const QString &start)
        = 0;
    virtual void beep() = 0;

    // Conventions of the program's boxes.
    void error(const QString &text) { box(Icon::Error, text, Ok); }
    void warning(const QString &text) { box(Icon::Warning, text, Ok); }
    void message(const QString &text) { box(Icon::None, text, Ok); }
    void information(const QString &text) { box(Icon::Information, text, Ok); }
    bool confirm(const QString &text)
    {
        return box(Icon::Question, text, Buttons(Yes) | No) == Yes;
    }
    // A question whose Enter answers No: for what cannot be undone, such as deleting a file.
    bool confirmDefaultNo(const QString &text, Icon icon = Icon::Question)
    {
        return boxWithDefault(icon, text, Buttons(Yes) | No, No) == Yes;
    }
    void abortBox(const QString &text, Icon icon = Icon::Error) { box(icon, text, Abort); }
    // Warning with Ignore and Cancel; true when the person chose Ignore.
    bool ignoreCancel(const QString &text)
    {
        return box(Icon::Warning, text, Buttons(Ignore) | Cancel) == Ignore;
    }
};

Q_DECLARE_OPERATORS_FOR_FLAGS(Prompter::Buttons)

QString buttonName(Prompter::Button button);
QString iconName(Prompter::Icon icon);
