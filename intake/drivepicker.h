#pragma once

#include <QComboBox>
#include <QString>

// The drive picker: one entry per mounted volume, shown by its label, standing on a drive.
class DrivePicker : public QComboBox {
    Q_OBJECT
public:
    explicit DrivePicker(QWidget *parent = nullptr);

    // Lists the mounted volumes again, keeping the drive shown when it is still there.
    void reload();
    // The drive shown, with a trailing delimiter ("/", "/media/ana/FOTOS/"); empty if none.
    QString path() const;
    // Shows the drive that holds path (added to the list when it was not offered).
    void setPath(const QString &path);
};
