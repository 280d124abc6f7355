#pragma once

namespace resources {

// Makes the pictures of the windows (":/glimra.ico" and the rest) available. Call before
// building a window; calling again does nothing.
void load();

} // namespace resources
