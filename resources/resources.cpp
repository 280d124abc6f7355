#include "resources/resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must stand outside any namespace.
static void initResources() { Q_INIT_RESOURCE(resources); }

namespace resources {

void load() {
    static const bool loaded = (initResources(), true);
    (void)loaded;
}

} // namespace resources
