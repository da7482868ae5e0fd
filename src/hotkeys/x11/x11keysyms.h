#pragma once

#include <cstdint>

// The X keysym of the key part of a Qt key code (the unshifted one for letters); 0 for keys we
// cannot grab or press.
uint32_t x11KeysymForQtKey(int key);
