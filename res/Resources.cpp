#include "res/Resources.h"

#include <QtCore/qglobal.h>

// Q_INIT_RESOURCE declares a global function, so it must not be expanded inside a namespace.
static void registerKeyscopeResources() {
    Q_INIT_RESOURCE(keyscope);
}

namespace keyscope {

void initResources() {
    registerKeyscopeResources();
}

const char* applicationIconPath() {
    initResources();
    return kIconResource;
}

}  // namespace keyscope
