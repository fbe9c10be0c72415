#include "app/quillomarapplication.h"

#include "core/errorboundary.h"
#include "widgets/messageboxprompter.h"

QuillomarApplication::QuillomarApplication(int &argc, char **argv) : QApplication(argc, argv) { }

QuillomarApplication::~QuillomarApplication() = default;

bool QuillomarApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        if (m_prompter) {
            ErrorBoundary::show(*m_prompter, std::current_exception());
        } else {
            MessageBoxPrompter boxes;
            ErrorBoundary::show(boxes, std::current_exception());
        }
        return false;
    }
}
