#include "QuimbelIcon.h"

#include <QString>

namespace quimbel {

QIcon ApplicationIcon() { return QIcon(QString::fromLatin1(IconResource)); }

} // namespace quimbel
