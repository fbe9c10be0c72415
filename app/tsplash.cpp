#include "app/tsplash.h"

#include "core/programpaths.h"

#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

// The picture lives in a static library, whose resources are not registered by themselves.
static void initResources()
{
    Q_INIT_RESOURCE(resources);
}

TSplash::TSplash(const ProgramPaths &paths, QWidget *parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_paths(paths)
{
    initResources();
    setObjectName(QStringLiteral("TSplash"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(QPixmap(QStringLiteral(":/assets/splash.png")));
    Image1->setFixedSize(455, 195);
    Image1->installEventFilter(this);
    layout->addWidget(Image1);
    setFixedSize(455, 195);
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    connect(Timer1, &QTimer::timeout, this, &TSplash::Timer1Timer);
}

void TSplash::FormActivate()
{
    Timer1->setInterval(m_paths.MainWindowReady ? 30000 : 2000);
    Timer1->start();
}

void TSplash::Timer1Timer()
{
    if (m_paths.MainWindowReady) {
        Timer1->stop();
        close();
    }
}

void TSplash::Image1Click()
{
    if (!m_paths.MainWindowReady)
        return;
    Timer1->stop();
    close();
}

// A window manager may never activate a splash window, so being shown counts as well.
void TSplash::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    FormActivate();
}

void TSplash::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
}

bool TSplash::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Image1 && event->type() == QEvent::MouseButtonRelease) {
        Image1Click();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
