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

    QLabel *Image1 = nullptr;
    QTimer *Timer1 = nullptr;

    void FormActivate();
    void Timer1Timer();
    void Image1Click();

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    const ProgramPaths &m_paths;
};
