#pragma once

#include <QApplication>

class Prompter;

// The program's application object. Its event delivery is the safety net of the error
// boundary: a failure that escaped every handler is shown in the error box with its
// component's text, and the event loop goes on; only the current action has ended.
class QuillomarApplication : public QApplication {
    Q_OBJECT
public:
    QuillomarApplication(int &argc, char **argv);
    ~QuillomarApplication() override;

    // Where the failures are shown; the program's message boxes when none is given.
    void setErrorDisplay(Prompter *prompter) { m_prompter = prompter; }

    bool notify(QObject *receiver, QEvent *event) override;

private:
    Prompter *m_prompter = nullptr;
};
