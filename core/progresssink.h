#pragma once

#include <QString>

// Where a long operation reports its status texts and learns of a cancel request.
class ProgressSink {
public:
    virtual ~ProgressSink();
    virtual void setStatus(const QString &text) = 0;
    // Gives the caller a chance to process events (and the person to press Cancel).
    virtual void pump() { }
    virtual bool cancelRequested() { return false; }
};

// Discards everything; for callers that do not show progress.
class NullProgress : public ProgressSink {
public:
    void setStatus(const QString &) override { }
};
