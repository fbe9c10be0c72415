#pragma once

#include "core/prompter.h"

#include <QList>
#include <QQueue>
#include <functional>

// Records every prompt and answers from a script; used by the tests.
class ScriptedPrompter : public Prompter {
public:
    enum class Kind { Box, Input, Secret, PickFolder, PickFile, Beep, CataloguePassword };
    struct Record {
        Kind kind = Kind::Box;
        Icon icon = Icon::None;
        QString text;
        Buttons buttons;
        QString answer; // the button name, the text typed ("****" for a secret), the path
        Button defaultButton = NoButton; // the Enter button asked for (none: the first)
    };

    Button box(Icon icon, const QString &text, Buttons buttons) override;
    Button boxWithDefault(
        Icon icon, const QString &text, Buttons buttons, Button defaultButton) override;
    std::optional<QString> inputText(
        const QString &caption, const QString &prompt, const QString &initial) override;
    std::optional<QString> inputSecret(const QString &caption, const QString &prompt) override;
    // Recorded as "USER\nSERVER\nPROBLEM"; the answer "****" (or "**** keep") when one was
    // given.
    std::optional<CataloguePassword> cataloguePassword(
        const QString &user, const QString &server, const QString &problem) override;
    void boxWithDetail(Icon icon, const QString &text, const QString &detail) override;
    QString pickFolder(const QString &caption, const QString &start) override;
    QString pickFile(const QString &caption, const QString &filter, const QString &start) override;
    void beep() override;

    // Answers are consumed in order; with none left a box answers its default
    // (Ok, Yes, Abort or Ignore: the first button of its set) and pickers are cancelled.
    void answerButton(Button b) { m_buttons.enqueue(b); }
    void answerText(const std::optional<QString> &t) { m_texts.enqueue(t); }
    // Answers of inputSecret, in order; with none left it is cancelled.
    void answerSecret(const std::optional<QString> &t) { m_secrets.enqueue(t); }
    void answerPath(const QString &p) { m_paths.enqueue(p); }
    // Answers of cataloguePassword, in order; with none left it is cancelled.
    void answerCataloguePassword(const std::optional<CataloguePassword> &a)
    {
        m_cataloguePasswords.enqueue(a);
    }
    // Called for every box before it answers, e.g. to act while a box is "open".
    std::function<void(const Record &)> onBox;

    const QList<Record> &records() const { return m_records; }
    QList<Record> boxes() const;
    QStringList boxTexts() const;
    // The details of the boxes that had one, in order.
    QStringList details() const { return m_details; }
    int beeps() const;
    void clear();

private:
    QList<Record> m_records;
    QQueue<Button> m_buttons;
    QQueue<std::optional<QString>> m_texts;
    QQueue<std::optional<QString>> m_secrets;
    QQueue<QString> m_paths;
    QQueue<std::optional<CataloguePassword>> m_cataloguePasswords;
    QStringList m_details;
};
