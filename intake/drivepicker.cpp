#include "intake/drivepicker.h"

#include "intake/drivelist.h"
#include "intake/storagefordrive.h"

#include <QFileIconProvider>

DrivePicker::DrivePicker(QWidget *parent) : QComboBox(parent)
{
    setEditable(false);
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(16);
    reload();
}

void DrivePicker::reload()
{
    const QString shown = path();
    const QIcon icon = QFileIconProvider().icon(QFileIconProvider::Drive);
    clear();
    for (const DriveList::Drive &drive : DriveList::mountedDrives())
        addItem(icon, drive.displayName, DriveList::pathOf(drive.root));
    if (!shown.isEmpty())
        setPath(shown);
}

QString DrivePicker::path() const
{
    return currentIndex() < 0 ? QString() : currentData().toString();
}

void DrivePicker::setPath(const QString &path)
{
    const QString drive = DriveList::pathOf(driveOfPath(path));
    int index = findData(drive);
    if (index < 0) {
        addItem(QFileIconProvider().icon(QFileIconProvider::Drive),
            DriveList::displayName(driveOfPath(path)), drive);
        index = count() - 1;
    }
    setCurrentIndex(index);
}
