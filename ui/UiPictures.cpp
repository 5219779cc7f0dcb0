#include "ui/UiPictures.h"

#include <QHash>

#include "resources/PictureNumbers.h"
#include "resources/ResourcePack.h"

namespace qrv {

namespace {

constexpr int kProgramIcon = 128;

QPixmap Decode(ResourceType type, int number) {
    // Rows are painted from these many times a second: decode each picture once.
    static QHash<int, QPixmap> cache;
    const int key = static_cast<int>(type) << 16 | number;
    if (auto found = cache.constFind(key); found != cache.constEnd()) return *found;
    QPixmap pixmap;
    if (auto bytes = EmbeddedResources().Find(type, number)) {
        pixmap.loadFromData(reinterpret_cast<const uchar*>(bytes->data()), static_cast<uint>(bytes->size()), "PNG");
    }
    cache.insert(key, pixmap);
    return pixmap;
}

}  // namespace

QPixmap BitmapPicture(int number) { return Decode(ResourceType::Bitmap, number); }

QPixmap NamedPicture(const QString& name) {
    const int number = NamedBitmapNumber(name.toStdString());
    return number == 0 ? QPixmap() : BitmapPicture(number);
}

QPixmap ProgramIconPicture() { return Decode(ResourceType::Icon, kProgramIcon); }

}  // namespace qrv
