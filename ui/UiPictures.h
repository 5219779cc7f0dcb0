#pragma once
// The program's embedded pictures as pixmaps.

#include <QPixmap>
#include <QString>

namespace qrv {

// Bitmap `number` of the embedded resources; a null pixmap when it is missing.
QPixmap BitmapPicture(int number);
// The picture called `name` ("PREVU", ...); a null pixmap when there is none.
QPixmap NamedPicture(const QString& name);
// The program icon.
QPixmap ProgramIconPicture();

}  // namespace qrv
