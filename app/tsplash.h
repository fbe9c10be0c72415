#pragma once

#include <QWidget>

class QLabel;
class QTimer;
class ProgramPaths;

// The splash window of the start-up, which also serves as the about window.
class TSplash : public QWidget {
    Q_OBJECT
public:
    explicit TSplash(const ProgramPaths &paths, QWidget *parent = nullptr);

    // The timer's tick (Timer1, every 2 or 30 seconds): closes the window once it may.
    void Timer1Timer();

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormActivate();
    void Image1Click();

    const ProgramPaths &m_paths;
    QLabel *Image1 = nullptr;
    QTimer *Timer1 = nullptr;
};
