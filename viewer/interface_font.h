#pragma once

namespace viewer {

// Makes the interface font, Tahoma with its Cyrillic letters, available where the system lacks
// it (most Linux machines), from the metric-compatible copy that Debian's fonts-wine carries.
void loadInterfaceFont();

} // namespace viewer
