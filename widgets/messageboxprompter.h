#pragma once

#include "core/prompter.h"

class QWidget;

// The program's prompter: modal QMessageBox, QInputDialog and QFileDialog boxes.
class MessageBoxPrompter : public Prompter {
public:
    explicit MessageBoxPrompter(QWidget *parent = nullptr) : m_parent(parent) { }
    void setParent(QWidget *parent) { m_parent = parent; }

    Button box(Icon icon, const QString &text, Buttons buttons) override;
    Button boxWithDefault(
        Icon icon, const QString &text, Buttons buttons, Button defaultButton) override;
    std::optional<QString> inputText(
        const QString &caption, const QString &prompt, const QString &initial) override;
    std::optional<QString> inputSecret(const QString &caption, const QString &prompt) override;
    std::optional<CataloguePassword> cataloguePassword(
        const QString &user, const QString &server, const QString &problem) override;
    // The detail behind the box's "Mostrar detalhes…" button.
    void boxWithDetail(Icon icon, const QString &text, const QString &detail) override;
    QString pickFolder(const QString &caption, const QString &start) override;
    QString pickFile(const QString &caption, const QString &filter, const QString &start) override;
    void beep() override;

private:
    Button show(Icon icon, const QString &text, const QString &detail, Buttons buttons,
        Button defaultButton);

    QWidget *m_parent;
};
