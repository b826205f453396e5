#include "platform/productversion.h"

QString productVersion() {
    return QStringLiteral(PELORA_VERSION);
}
