#include "QuimbelIcon.h"

#include <QString>

namespace quimbel {

QIcon applicationIcon() {
    return QIcon(QString::fromLatin1(kIconResource));
}

}  // namespace quimbel
